#pragma once

#include <QLatin1String>
#include <QString>
#include <QStringView>

namespace tramelo {

// E-mail addresses and host names judged by syntax alone, without any
// network traffic.

// The constant top-level-domain text: 273 upper-case entries in alphabetical
// order separated by single blanks (853 characters). The domain check
// searches it as a whole, so its spacing is part of the behaviour.
QLatin1String topLevelDomainText();

// IPv4 literal check: exactly four parts separated by "." (not trimmed), each
// a whole number (readWholeNumber, plain_text.h); the first at most 239, each
// of the others at most 255.
// Only the upper bounds are checked, so a part such as "-1"
// passes; such a literal can never be turned into address bytes
// (literalAddressBytes, net_utilities.h), so Ping of it fails.
bool isIPv4Literal(QStringView text);

// Domain check: trimmed of blanks and upper-cased (letters a-z only); an IPv4
// literal passes; otherwise the last label must occur anywhere in the
// top-level-domain text (a substring search: "C", "OM" and an empty last label
// pass) and the name must have at least two labels.
bool isValidDomain(QStringView text);

// IsValidEmailAddress: exactly one "@" and a domain part that passes the
// domain check. Mended: the address is later written inside "MAIL FROM:
// <...>", "RCPT TO: <...>" and the address headers, so once trimmed of
// blanks it must hold printable ASCII only, and no blank, "<", ">", ",", ";"
// or double quote.
bool isValidEmailAddress(QStringView address);

} // namespace tramelo
