#pragma once

#include <QString>

#include <optional>

namespace tramelo {

// The per-user settings store of the mail component. QSettings in
// INI format in the user's configuration folder ($XDG_CONFIG_HOME, else
// ~/.config): organisation and application "Quorvix", group "Settings", one
// string value per key. Neither reading nor writing ever fails its caller.
namespace settings_store {

// Where the store lives (the INI file's path), for tests and diagnostics.
QString fileName();

// The stored text of the key, or the default when the key is absent or the
// store cannot be read.
QString read(const QString &key, const QString &defaultValue);

// Writes the text under the key; a failure is ignored. The component calls
// this only while its persistence switch is on.
void write(const QString &key, const QString &value);

// A number in the blank-signed form: its decimal digits preceded by a blank
// when zero or positive, by "-" when negative (" 25", "-3").
QString numberText(long long value);

// A Boolean as written: "-1" for true, "0" for false.
QString booleanText(bool value);

// A whole number as stored (readWholeNumber, plain_text.h) within the 32-bit
// range; nothing otherwise.
std::optional<long> parseWholeNumber(const QString &text);

// A Boolean as stored: "True" and "False" (any letter case), or a whole
// number (nonzero is true: "-1", "0"); nothing otherwise.
std::optional<bool> parseBoolean(const QString &text);

// Reads a key holding a whole number; a stored value that is not one yields
// the key's default.
long readNumber(const QString &key, long defaultValue);

// Reads a key holding a Boolean; a stored value that is not one yields the
// key's default.
bool readBoolean(const QString &key, bool defaultValue);

} // namespace settings_store
} // namespace tramelo
