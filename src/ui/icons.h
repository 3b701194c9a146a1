#pragma once

#include <QIcon>
#include <QString>

namespace tramelo {

// What is built into the library (icons, the About box picture, the user
// guide with its pictures) can be found from here on; a static library does
// not register it by itself.
void registerUiResources();

// The desktop theme's icon of that freedesktop name, or the program's own
// drawing of it when the theme has none.
QIcon themedIcon(const QString &name);

} // namespace tramelo
