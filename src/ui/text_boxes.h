#pragma once

#include <QString>

class QWidget;

namespace tramelo {

// The window's text boxes are QLineEdit, QPlainTextEdit for the multi-line
// ones, or a spin box for a number; these read and select any kind.
QString textBoxText(const QWidget *box);
void selectWholeText(QWidget *box);

} // namespace tramelo
