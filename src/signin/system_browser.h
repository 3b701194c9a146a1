#pragma once

#include "authorization_code_flow.h"

namespace tramelo::signin {

// The browser launcher of a program without a window (tramelo-run; the
// window passes QDesktopServices::openUrl): the desktop's handler for web
// addresses, xdg-open, when the session has a display; false without one or
// without xdg-open, so that a sign-in turns to the device code.
BrowserLauncher systemBrowserLauncher();

} // namespace tramelo::signin
