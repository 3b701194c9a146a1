#include "window_dialogs.h"

#include "plain_text.h"
#include "odbc_picker_dialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace tramelo {
namespace {

const QString windowTitle = QStringLiteral("Tramelo");

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::None:
        return QMessageBox::NoIcon;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Error:
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// A box can appear while the hourglass is up (a database that does not
// open); the operator answers it with the ordinary pointer.
class ArrowWhileAsking
{
public:
    ArrowWhileAsking() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~ArrowWhileAsking() { QApplication::restoreOverrideCursor(); }
    ArrowWhileAsking(const ArrowWhileAsking &) = delete;
    ArrowWhileAsking &operator=(const ArrowWhileAsking &) = delete;
};

// No Qt translation ships with the program, so the buttons get their
// Catalan words here.
void nameButton(QMessageBox &box, QMessageBox::StandardButton button, const QString &text)
{
    if (QAbstractButton *shown = box.button(button))
        shown->setText(text);
}

class QtWindowDialogs : public WindowDialogs
{
public:
    void showMessage(QWidget *parent, const QString &text, MessageIcon icon) override
    {
        ArrowWhileAsking arrow;
        QMessageBox box(boxIcon(icon), windowTitle, text, QMessageBox::Ok, parent);
        nameButton(box, QMessageBox::Ok, QStringLiteral("D'acord"));
        box.exec();
    }

    bool askYesNo(QWidget *parent, const QString &question, bool yesIsDefault) override
    {
        ArrowWhileAsking arrow;
        QMessageBox box(QMessageBox::Question, windowTitle, question, QMessageBox::Yes | QMessageBox::No, parent);
        box.setDefaultButton(yesIsDefault ? QMessageBox::Yes : QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        nameButton(box, QMessageBox::Yes, QStringLiteral("&Sí"));
        nameButton(box, QMessageBox::No, QStringLiteral("&No"));
        return box.exec() == QMessageBox::Yes;
    }

    Answer askYesNoCancel(QWidget *parent, const QString &question) override
    {
        ArrowWhileAsking arrow;
        QMessageBox box(QMessageBox::Question, windowTitle, question,
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        nameButton(box, QMessageBox::Yes, QStringLiteral("&Sí"));
        nameButton(box, QMessageBox::No, QStringLiteral("&No"));
        nameButton(box, QMessageBox::Cancel, QStringLiteral("Cancel·lar"));
        switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Cancel;
        }
    }

    QString chooseFileToOpen(QWidget *parent, const QString &initialName, const QString &filter) override
    {
        ArrowWhileAsking arrow;
        QString selectedFilter = firstFilter(filter);
        return QFileDialog::getOpenFileName(parent, QString(), dialogStartPath(initialName), filter, &selectedFilter);
    }

    QString chooseFileToSave(QWidget *parent, const QString &initialName, const QString &filter) override
    {
        ArrowWhileAsking arrow;
        QString selectedFilter = firstFilter(filter);
        return QFileDialog::getSaveFileName(parent, QString(), dialogStartPath(initialName), filter, &selectedFilter);
    }

    std::optional<OdbcSourceChoice> chooseOdbcSource(QWidget *parent) override
    {
        ArrowWhileAsking arrow;
        OdbcPickerDialog picker(parent);
        if (picker.exec() != QDialog::Accepted)
            return std::nullopt;
        return picker.choice();
    }

private:
    static QString firstFilter(const QString &filter) { return filter.section(QStringLiteral(";;"), 0, 0); }
};

} // namespace

std::unique_ptr<WindowDialogs> makeQtWindowDialogs()
{
    return std::make_unique<QtWindowDialogs>();
}

QString dialogStartPath(const QString &initialName)
{
    const QString home = QDir::homePath();
    if (isBlank(initialName) || initialName.contains(u'\n') || initialName.contains(u'\r'))
        return home;
    const QString name = initialName.startsWith(QLatin1String("~/")) ? home + initialName.mid(1) : initialName;
    const QFileInfo info(name);
    if (info.isAbsolute() && info.absoluteDir().exists())
        return name;
    return home + u'/' + info.fileName();
}

} // namespace tramelo
