#pragma once

#include <QString>

#include <vector>

typedef struct x509_st X509;

namespace tramelo {

// Why a server's certificate was refused, in the words the operator has
// always read (they were first worded from Qt's list of SSL errors, and the
// campaign's catalogue translates them): the host name first when the
// certificate was not issued for it, then the reasons in the order OpenSSL's
// verification found them (X509_V_ERR_* codes); each reason once. The certificate's
// subject, issuer, validity and SHA-256 fingerprint follow.
QString certificateFailureText(const std::vector<int> &verifyErrors, bool hostNameMismatch, X509 *certificate,
                               const QString &host);

// The reason for one X509_V_ERR_* code, as its sentence in the text above.
QString certificateFailureReason(int verifyError, X509 *certificate);

} // namespace tramelo
