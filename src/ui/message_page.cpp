#include "message_page.h"

#include "component_support.h"

#include <QFile>
#include <QTextDocument>
#include <QUrl>

namespace tramelo {
namespace {

constexpr qint64 maxImageBytes = 32 * 1024 * 1024;

} // namespace

MessagePage::MessagePage(QWidget *parent)
    : QTextBrowser(parent)
{
    setOpenLinks(false);
}

void MessagePage::setCarriedFiles(const QString &attachmentList)
{
    m_files.clear();
    for (const QString &path : attachmentList.split(u';', Qt::SkipEmptyParts))
        m_files.append(path.trimmed());
}

QVariant MessagePage::loadResource(int type, const QUrl &name)
{
    if (type != QTextDocument::ImageResource)
        return {};
    const QString reference = name.isLocalFile() ? name.toLocalFile() : name.toString();
    for (const QString &path : std::as_const(m_files)) {
        const QString fileName = fileNameOfPath(path);
        if (fileName.isEmpty() || !reference.endsWith(fileName, Qt::CaseInsensitive))
            continue;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.size() <= maxImageBytes)
            return file.readAll();
    }
    return {};
}

} // namespace tramelo
