#include "icons.h"


// Outside any namespace, as the resource initialiser requires.
static void initialiseUiResources()
{
    Q_INIT_RESOURCE(tramelo_ui);
    Q_INIT_RESOURCE(guia);
}

namespace tramelo {

void registerUiResources()
{
    static const bool registered = (initialiseUiResources(), true);
    Q_UNUSED(registered);
}

QIcon themedIcon(const QString &name)
{
    registerUiResources();
    // The "@2x" drawing beside each file is picked up for high-density screens.
    return QIcon::fromTheme(name, QIcon(QStringLiteral(":/tramelo/%1.png").arg(name)));
}

} // namespace tramelo
