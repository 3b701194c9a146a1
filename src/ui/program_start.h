#pragma once

#include "frmAbout.h"
#include "frmMain.h"

#include <memory>

namespace tramelo {

// The program's two windows, in the order the operator meets them: the
// About box first, the main window once the box's button is pressed.
// Closing the main window ends the program.
class TrameloProgram
{
public:
    explicit TrameloProgram(std::unique_ptr<WindowDialogs> dialogs = {});

    // Shows the About box.
    void start();

    frmMain &mainWindow() { return m_main; }
    frmAbout &aboutBox() { return m_about; }

private:
    frmMain m_main;
    frmAbout m_about;
};

} // namespace tramelo
