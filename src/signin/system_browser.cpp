#include "system_browser.h"

#include <QProcess>
#include <QStandardPaths>

namespace tramelo::signin {

BrowserLauncher systemBrowserLauncher()
{
    return [](const QUrl &url) {
        if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            return false;
        const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        return !opener.isEmpty() && QProcess::startDetached(opener, {url.toString(QUrl::FullyEncoded)});
    };
}

} // namespace tramelo::signin
