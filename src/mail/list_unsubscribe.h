#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

namespace tramelo {

// How a recipient leaves the list, in the message's headers (RFC 2369 and,
// for one click, RFC 8058).
struct ListUnsubscribe {
    QString url;    // already merged for the recipient; empty: none
    QString mailto; // an address, or a "mailto:" URL; empty: none

    bool isEmpty() const { return url.isEmpty() && mailto.isEmpty(); }
};

// The header rows, unfolded: "List-Unsubscribe: <URL>, <mailto:...>" and,
// when the URL is https, "List-Unsubscribe-Post: List-Unsubscribe=One-Click".
// A character that may not stand in a URL there (a blank, a comma, "<",
// ">", a quote, anything beyond ASCII) is percent-encoded in UTF-8. None for
// an empty ListUnsubscribe.
QStringList listUnsubscribeRows(const ListUnsubscribe &unsubscribe);

// An https URL with a host: one a mailbox provider can post to.
bool isOneClickUrl(QStringView url);

// A URL template with each placeholder (the left delimiter, a name, the
// right delimiter) replaced by the value valueOf gives for its name, in UTF-8
// and percent-encoded but for RFC 3986's unreserved characters, so that no
// value can end the URL or change its path or query. Each placeholder is
// replaced once, from left to right, and a value put in is never scanned
// again; one valueOf knows nothing of stays as written.
QString mergeUrlTemplate(QStringView urlTemplate, QStringView left, QStringView right,
                         const std::function<std::optional<QString>(QStringView name)> &valueOf);

} // namespace tramelo
