#pragma once

#include <QStringView>

namespace tramelo {

// E-mail addresses and host names judged by syntax alone, as mail software
// judges them, without any network traffic.

// IPv4 literal check: exactly four parts separated by "." (not trimmed), each
// a whole number (readWholeNumber, plain_text.h); the first at most 239, each
// of the others at most 255.
// Only the upper bounds are checked, so a part such as "-1"
// passes; such a literal can never be turned into address bytes
// (literalAddressBytes, net_utilities.h), so Ping of it fails.
bool isIPv4Literal(QStringView text);

// Domain check of a host name: trimmed of blanks, an IPv4 literal passes;
// otherwise two labels or more, each 1 to 63 letters, digits and hyphens
// (a-z, in any case) with no hyphen at either end, the last one (the
// top-level domain) 2 to 63 letters or an "xn--" label.
bool isValidDomain(QStringView text);

// IsValidEmailAddress: trimmed of blanks, a local part, "@" and a domain.
// The local part is a dot-atom (RFC 5322 atext, no dot first, last or twice
// in a row) or a quoted string (printable ASCII and blanks, "\" taking the
// next character as it is); the domain is one the domain check accepts by
// its labels, or an address literal ("[" IPv4 "]" or "[IPv6:" ... "]").
// Mended: the address is written inside "MAIL FROM: <...>", "RCPT TO: <...>"
// and the address headers, and address lists are split at ";": it holds
// printable ASCII only, and no "<", ">", "," or ";" even inside quotes.
bool isValidEmailAddress(QStringView address);

} // namespace tramelo
