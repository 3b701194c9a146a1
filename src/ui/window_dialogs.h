#pragma once

#include "campaign_view.h"
#include "odbc_picker.h"

#include <QString>

#include <memory>
#include <optional>

class QWidget;

namespace tramelo {

// Every modal dialog the main window opens. The program uses the Qt one;
// the window's tests answer them from a script, without modal loops.
class WindowDialogs
{
public:
    virtual ~WindowDialogs() = default;

    // A box titled "Tramelo" with a single OK button.
    virtual void showMessage(QWidget *parent, const QString &text, MessageIcon icon) = 0;
    // Yes and No with the question icon; true for Yes.
    virtual bool askYesNo(QWidget *parent, const QString &question, bool yesIsDefault) = 0;
    // Yes, No and "Cancel·lar", Yes the default; Escape and closing the box
    // answer Cancel.
    virtual Answer askYesNoCancel(QWidget *parent, const QString &question) = 0;
    // A file dialog opening at startPath (a folder, or a file in a folder)
    // with Qt's filter string, the first filter selected. The chosen path,
    // or an empty text when the operator cancelled.
    virtual QString chooseFileToOpen(QWidget *parent, const QString &startPath, const QString &filter) = 0;
    // Asks before overwriting an existing file; a name without an extension
    // takes the one of the filter selected, when it names a single one.
    virtual QString chooseFileToSave(QWidget *parent, const QString &startPath, const QString &filter) = 0;
    // The data source or driver picked in the ODBC picker; nothing when cancelled.
    virtual std::optional<OdbcSourceChoice> chooseOdbcSource(QWidget *parent) = 0;
};

// Message boxes, file dialogs and the ODBC picker of Qt Widgets.
std::unique_ptr<WindowDialogs> makeQtWindowDialogs();

// Where a file dialog opens for a given initial name: the name itself
// (a relative one read against the project folder) when its folder exists,
// otherwise the name in the folder last used for that kind of file, or in
// the user's home folder.
QString dialogStartPath(const QString &initialName, const QString &projectFolder, const QString &lastFolder);

} // namespace tramelo
