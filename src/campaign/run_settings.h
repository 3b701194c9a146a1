#pragma once

#include "merge_fields.h"
#include "send_one_message.h"
#include "transport_security.h"

#include <QString>

namespace tramelo {

class Campaign;

// What a test send or a definitive run sends with: the campaign's settings
// as they were when it started. Every message of the run is made and sent
// from this copy, so an edit in the window meanwhile changes nothing of it.
struct RunSettings {
    QString senderAddress;
    QString senderName;
    SmtpEndpoint server;
    SecurityMode security = SecurityMode::None;
    QString trustedCertificatesFile; // read against the project folder
    bool needsLogin = false;
    QString loginUser;
    QString loginPassword;
    QString subject;
    QString body; // BodyText
    QString attachments;
    MergeDelimiters delimiters;
    QString addressField;
    long long groupSize = 1;
    long long waitMilliseconds = 0;
};

// The copy, with the attachment list built for the run.
RunSettings takeRunSettings(const Campaign &campaign, const QString &attachments);

} // namespace tramelo
