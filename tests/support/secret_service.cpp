#include "secret_service.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>

namespace tramelo::test {

using namespace std::chrono_literals;

namespace {

const QString busDaemon = QStringLiteral("/usr/bin/dbus-daemon");
const QString keyringDaemon = QStringLiteral("/usr/bin/gnome-keyring-daemon");

QByteArray busConfiguration(const QString &socket)
{
    return QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)").arg(socket).toUtf8();
}

} // namespace

bool PrivateSecretService::start(Keyring keyring)
{
    for (const QString &program : {busDaemon, keyring == Keyring::Unlocked ? keyringDaemon : busDaemon}) {
        if (!QFileInfo(program).isExecutable()) {
            m_missing = true;
            m_error = program + QStringLiteral(" is missing: install the Debian packages dbus-daemon and gnome-keyring");
            return false;
        }
    }
    QFile configuration(m_folder.filePath(QStringLiteral("bus.conf")));
    if (!configuration.open(QIODevice::WriteOnly)
        || configuration.write(busConfiguration(m_folder.filePath(QStringLiteral("bus")))) < 0) {
        m_error = QStringLiteral("cannot write the bus configuration");
        return false;
    }
    configuration.close();
    m_bus.start(busDaemon, {QStringLiteral("--config-file=") + configuration.fileName(), QStringLiteral("--nofork"),
                            QStringLiteral("--print-address=1")});
    static const QRegularExpression address(QStringLiteral("(unix:path=[^\\n]+)\\n"));
    const QRegularExpressionMatch match = m_bus.waitForOutputMatch(address, 10s);
    if (!match.hasMatch()) {
        m_error = QStringLiteral("dbus-daemon did not start: ") + QString::fromUtf8(m_bus.readOutput());
        return false;
    }
    m_address = match.captured(1);
    return keyring == Keyring::None || startKeyring();
}

bool PrivateSecretService::startKeyring()
{
    const QString runtime = m_folder.filePath(QStringLiteral("run"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    environment.insert(QStringLiteral("HOME"), m_folder.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_folder.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    m_keyring.process().setProcessEnvironment(environment);
    // --unlock makes the login keyring with the password read from standard
    // input (it becomes the default collection) and unlocks it.
    if (!m_keyring.start(keyringDaemon, {QStringLiteral("--foreground"), QStringLiteral("--components=secrets"),
                                         QStringLiteral("--unlock")})) {
        m_error = QStringLiteral("cannot start gnome-keyring-daemon");
        return false;
    }
    m_keyring.process().write("mot de pas del clauer de prova");
    m_keyring.process().closeWriteChannel();
    const QString probe = QStringLiteral("secret-service-fixture");
    bool registered = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(m_address, probe);
        registered = waitUntil(
            [&bus] { return bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value(); },
            10s);
    }
    QDBusConnection::disconnectFromBus(probe);
    if (!registered)
        m_error = QStringLiteral("gnome-keyring-daemon did not register: ") + QString::fromUtf8(m_keyring.readOutput());
    return registered;
}

} // namespace tramelo::test
