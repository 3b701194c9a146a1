#pragma once

#include <QString>

class QTextBrowser;

namespace tramelo {

// Shows a body file in the HTML view as it will be sent: its text decoded as
// the body itself is (decodeBodyFile), HTML rendered with the images it names
// beside it, any other file as plain text. An empty path shows a blank page.
// The file is read again at every call, so an edited file shows its changes.
// Merge placeholders stay readable: an opening mark such as "<<<" would
// otherwise start a tag and hide the field's name.
void showBodyFile(QTextBrowser &view, const QString &path, const QString &placeholderOpening);

// Shows an HTML text in the view, its placeholders readable as above.
void showHtmlBody(QTextBrowser &view, QString html, const QString &placeholderOpening);

} // namespace tramelo
