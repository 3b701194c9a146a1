#include "window_dialogs.h"

#include "plain_text.h"
#include "odbc_picker_dialog.h"
#include "project_paths.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpacerItem>

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
    case MessageIcon::Warning:
        return QMessageBox::Warning;
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

// A box sizes itself to its text, and a short one leaves the title bar too
// narrow for "Tramelo" beside the window manager's buttons.
void keepTitleWhole(QMessageBox &box)
{
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout())) {
        const int width = box.fontMetrics().horizontalAdvance(windowTitle) + 240;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
}

// The words of these buttons are the program's own, whatever Qt's
// translation calls them.
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
        keepTitleWhole(box);
        nameButton(box, QMessageBox::Ok, QStringLiteral("D'acord"));
        box.exec();
    }

    bool askYesNo(QWidget *parent, const QString &question, bool yesIsDefault) override
    {
        ArrowWhileAsking arrow;
        QMessageBox box(QMessageBox::Question, windowTitle, question, QMessageBox::Yes | QMessageBox::No, parent);
        keepTitleWhole(box);
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
        keepTitleWhole(box);
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

    QString chooseFileToOpen(QWidget *parent, const QString &startPath, const QString &filter) override
    {
        return runFileDialog(parent, startPath, filter, QFileDialog::AcceptOpen);
    }

    QString chooseFileToSave(QWidget *parent, const QString &startPath, const QString &filter) override
    {
        return runFileDialog(parent, startPath, filter, QFileDialog::AcceptSave);
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
    // Qt's own dialog rather than the desktop's: it speaks the program's
    // Catalan whatever the desktop's language. A name saved without an
    // extension takes the one of the filter selected, when that filter names
    // one (the project files' "*.pcm"), before the dialog asks about
    // replacing a file of that name.
    static QString runFileDialog(QWidget *parent, const QString &startPath, const QString &filter,
                                 QFileDialog::AcceptMode mode)
    {
        ArrowWhileAsking arrow;
        QFileDialog dialog(parent, QString(), startPath, filter);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(mode);
        dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        const auto takeSuffixOf = [&dialog, mode](const QString &nameFilter) {
            dialog.setDefaultSuffix(mode == QFileDialog::AcceptSave ? singleExtensionOf(nameFilter) : QString());
        };
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, takeSuffixOf);
        takeSuffixOf(dialog.selectedNameFilter());
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().constFirst();
    }

    // "pcm" for "Arxius de projecte (*.pcm)"; empty for several patterns or "*".
    static QString singleExtensionOf(const QString &nameFilter)
    {
        static const QRegularExpression single(QStringLiteral("\\(\\*\\.(\\w+)\\)$"));
        const QRegularExpressionMatch match = single.match(nameFilter);
        return match.hasMatch() ? match.captured(1) : QString();
    }
};

} // namespace

std::unique_ptr<WindowDialogs> makeQtWindowDialogs()
{
    return std::make_unique<QtWindowDialogs>();
}

QString dialogStartPath(const QString &initialName, const QString &projectFolder, const QString &lastFolder)
{
    const QString home = QDir::homePath();
    const QString folder = !lastFolder.isEmpty() && QFileInfo(lastFolder).isDir() ? lastFolder : home;
    if (isBlank(initialName) || initialName.contains(u'\n') || initialName.contains(u'\r'))
        return folder;
    const QString expanded = initialName.startsWith(QLatin1String("~/")) ? home + initialName.mid(1) : initialName;
    const QFileInfo info(resolvedAgainst(projectFolder, expanded));
    if (info.isAbsolute() && info.absoluteDir().exists())
        return info.filePath();
    return folder + u'/' + info.fileName();
}

} // namespace tramelo
