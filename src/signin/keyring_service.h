#pragma once

#include <QString>

namespace tramelo::signin {

// Whether a keyring service can be reached on this session's D-Bus: the
// Secret Service (GNOME Keyring, KeePassXC and others) or KWallet, running
// or startable on demand. Empty when one can; otherwise the reason, in
// Catalan. Asked afresh at every call, on a connection of its own, so that a
// session without a bus is told at once instead of waiting on the keyring
// library's attempts to start one.
QString keyringUnavailableReason();

} // namespace tramelo::signin
