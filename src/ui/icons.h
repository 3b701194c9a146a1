#pragma once

#include <QIcon>
#include <QString>

namespace tramelo {

// The pictures built into the library (icons, the About box picture) can be
// found from here on; a static library does not register them by itself.
void registerUiResources();

// The desktop theme's icon of that freedesktop name, or the program's own
// drawing of it when the theme has none.
QIcon themedIcon(const QString &name);

} // namespace tramelo
