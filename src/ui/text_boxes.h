#pragma once

#include <QString>

class QWidget;

namespace tramelo {

// The window's text boxes are QLineEdit, or QPlainTextEdit for the
// multi-line ones; these read and select either kind.
QString textBoxText(const QWidget *box);
void selectWholeText(QWidget *box);

} // namespace tramelo
