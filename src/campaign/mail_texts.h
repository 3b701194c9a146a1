#pragma once

#include <QString>

namespace tramelo {

// The one Catalan catalogue of the mail component's own texts. The component
// keeps its English words (its callers and tests rely on them); whatever the
// operator sees of them (the window, tramelo-run, the send journal, the
// grid's tool tips) goes through here. Each line of the text is looked up
// on its own: the pending-error list, the failures of the session, the
// certificate checks and the socket's errors become Catalan, with their
// variable parts (a path, a host, a certificate's names and dates, the
// bytes of an unexpected reply) as they were; a line the catalogue does not
// know, such as a server's own reply, stays exactly as written.
QString inCatalan(const QString &componentText);

} // namespace tramelo
