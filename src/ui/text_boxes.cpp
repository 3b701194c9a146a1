#include "text_boxes.h"

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace tramelo {

QString textBoxText(const QWidget *box)
{
    if (const auto *line = qobject_cast<const QLineEdit *>(box))
        return line->text();
    if (const auto *lines = qobject_cast<const QPlainTextEdit *>(box))
        return lines->toPlainText();
    if (const auto *spin = qobject_cast<const QAbstractSpinBox *>(box))
        return spin->text();
    return {};
}

void selectWholeText(QWidget *box)
{
    if (auto *line = qobject_cast<QLineEdit *>(box))
        line->selectAll();
    else if (auto *lines = qobject_cast<QPlainTextEdit *>(box))
        lines->selectAll();
    else if (auto *spin = qobject_cast<QAbstractSpinBox *>(box))
        spin->selectAll();
}

} // namespace tramelo
