#include "user_guide.h"

#include "icons.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

namespace tramelo {
namespace {

const QString firstCampaignHeading = QStringLiteral("## A first campaign with the example");
// The pictures are window-sized: drawn no wider than this, they fit the guide's width.
constexpr int maxPictureWidth = 640;

void narrowPictures(QTextDocument &document)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            QTextImageFormat picture = fragment.fragment().charFormat().toImageFormat();
            if (!picture.isValid())
                continue;
            const QImage image = document.resource(QTextDocument::ImageResource, QUrl(picture.name())).value<QImage>();
            if (image.isNull() || image.width() <= maxPictureWidth)
                continue;
            picture.setWidth(maxPictureWidth);
            picture.setHeight(double(image.height()) * maxPictureWidth / image.width());
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.fragment().position());
            cursor.setPosition(fragment.fragment().position() + fragment.fragment().length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(picture);
        }
    }
}

} // namespace

UserGuide::UserGuide(QWidget *parent)
    : QDialog(parent)
    , text(new QTextBrowser)
{
    registerUiResources();
    setWindowTitle(QStringLiteral("Guia d'ús de Tramelo"));
    QFile readme(QStringLiteral(":/guia/README.md"));
    readme.open(QIODevice::ReadOnly);
    text->setOpenLinks(false);
    text->setSearchPaths({QStringLiteral(":/guia")});
    text->setMarkdown(section(QString::fromUtf8(readme.readAll()), firstCampaignHeading));
    narrowPictures(*text->document());

    auto *buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("&Tanca"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(text, 1);
    layout->addWidget(buttons);
    resize(720, 640);
}

QString UserGuide::section(const QString &markdown, const QString &heading)
{
    const qsizetype start = markdown.startsWith(heading + u'\n') ? 0 : markdown.indexOf(u'\n' + heading + u'\n');
    if (start < 0)
        return {};
    const QString level = heading.section(u' ', 0, 0) + u' ';
    const qsizetype end = markdown.indexOf(u'\n' + level, start + 1);
    return markdown.mid(start, end < 0 ? -1 : end - start).trimmed();
}

} // namespace tramelo
