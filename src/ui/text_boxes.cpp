#include "text_boxes.h"

#include <QLineEdit>
#include <QPlainTextEdit>

namespace tramelo {

QString textBoxText(const QWidget *box)
{
    if (const auto *line = qobject_cast<const QLineEdit *>(box))
        return line->text();
    if (const auto *lines = qobject_cast<const QPlainTextEdit *>(box))
        return lines->toPlainText();
    return {};
}

void selectWholeText(QWidget *box)
{
    if (auto *line = qobject_cast<QLineEdit *>(box))
        line->selectAll();
    else if (auto *lines = qobject_cast<QPlainTextEdit *>(box))
        lines->selectAll();
}

} // namespace tramelo
