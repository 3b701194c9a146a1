#include "keyring_service.h"

#include <QAtomicInteger>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QFileInfo>

namespace tramelo::signin {

namespace {

const QStringList keyringServices = {
    QStringLiteral("org.freedesktop.secrets"),
    QStringLiteral("org.kde.kwalletd6"),
    QStringLiteral("org.kde.kwalletd5"),
};

// The session bus as the keyring libraries find it: the address the session
// gives, else the per-user bus of systemd in the runtime folder.
QString sessionBusAddress()
{
    const QString given = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!given.isEmpty())
        return given;
    const QString runtimeFolder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString userBus = runtimeFolder + QStringLiteral("/bus");
    if (!runtimeFolder.isEmpty() && QFileInfo::exists(userBus))
        return QStringLiteral("unix:path=") + userBus;
    return {};
}

bool offersKeyring(QDBusConnectionInterface *bus)
{
    const QDBusReply<QStringList> startable = bus->activatableServiceNames();
    for (const QString &service : keyringServices) {
        if (bus->isServiceRegistered(service) || (startable.isValid() && startable.value().contains(service)))
            return true;
    }
    return false;
}

} // namespace

QString keyringUnavailableReason()
{
    const QString address = sessionBusAddress();
    if (address.isEmpty())
        return QStringLiteral("No hi ha clauer del sistema: aquesta sessió no té bus de D-Bus");
    static QAtomicInteger<int> probes;
    const QString name = QStringLiteral("tramelo-keyring-probe-%1").arg(probes.fetchAndAddRelaxed(1));
    bool connected = false;
    bool offered = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        connected = bus.isConnected() && bus.interface();
        offered = connected && offersKeyring(bus.interface());
    }
    QDBusConnection::disconnectFromBus(name);
    if (!connected)
        return QStringLiteral("No hi ha clauer del sistema: no s'ha pogut connectar amb el bus de D-Bus de la sessió");
    if (!offered)
        return QStringLiteral("No hi ha clauer del sistema: cap servei de clauer (Secret Service o KWallet) respon en "
                              "aquesta sessió");
    return {};
}

} // namespace tramelo::signin
