#pragma once

#include "test_support.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>

namespace tramelo::test {

// A private D-Bus session bus of its own configuration (no service can be
// started on demand), and on it, when asked, Debian's gnome-keyring with a
// login keyring it makes and unlocks: the Secret Service of the keyring
// tests. Its files live in a temporary folder inside `parentFolder`; it stops
// with the object. A process whose keyring library has used the bus ends when
// the bus goes (GLib's session connection exits on close): such a process
// keeps the service until it ends, and the children then stop by themselves.
class PrivateSecretService
{
public:
    enum class Keyring { None, Unlocked };

    explicit PrivateSecretService(const QString &parentFolder = QDir::tempPath())
        : m_folder(parentFolder + QStringLiteral("/secret-service-XXXXXX"))
    {
    }

    // False with errorText(); missingProgram() tells when a package is absent.
    bool start(Keyring keyring);
    QString errorText() const { return m_error; }
    bool missingProgram() const { return m_missing; }
    QString busAddress() const { return m_address; }
    // The keyring's home: where it keeps whatever it writes.
    QString folder() const { return m_folder.path(); }

private:
    bool startKeyring();

    QTemporaryDir m_folder;
    TestProcess m_bus;
    TestProcess m_keyring;
    QString m_address;
    QString m_error;
    bool m_missing = false;
};

} // namespace tramelo::test
