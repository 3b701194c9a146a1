#include "body_page.h"

#include "body_preparation.h"

#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>

namespace tramelo {

void showBodyFile(QTextBrowser &view, const QString &path, const QString &placeholderOpening)
{
    view.clear();
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QString text = decodeBodyFile(file.readAll());
    const QFileInfo info(path);
    // Relative image paths in the page are written against its own folder.
    view.setSearchPaths({info.absolutePath()});
    if (info.suffix().startsWith(QLatin1String("htm"), Qt::CaseInsensitive) || Qt::mightBeRichText(text))
        showHtmlBody(view, std::move(text), placeholderOpening);
    else
        view.setPlainText(text);
}

void showHtmlBody(QTextBrowser &view, QString html, const QString &placeholderOpening)
{
    // A single "<" is how every tag begins; only a longer mark is a placeholder's.
    if (placeholderOpening.size() > 1)
        html.replace(placeholderOpening, placeholderOpening.toHtmlEscaped());
    view.setHtml(html);
}

} // namespace tramelo
