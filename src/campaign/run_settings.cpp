#include "run_settings.h"

#include "campaign.h"
#include "campaign_numbers.h"
#include "connection_security.h"
#include "plain_text.h"
#include "project_paths.h"

namespace tramelo {

RunSettings takeRunSettings(const Campaign &campaign, const QString &attachments)
{
    const CampaignSettings &s = campaign.settings();
    const bool login = s.isChecked(Check::NeedsLogin);
    RunSettings run;
    run.senderAddress = s.text(Setting::SenderAddress);
    run.senderName = s.text(Setting::SenderName);
    run.server = splitSmtpServer(s.text(Setting::SmtpServer));
    run.security = securityModeFor(s.security(), run.server.port);
    run.trustedCertificatesFile = resolvedCampaignPath(campaign, trimBlanks(s.text(Setting::TrustedCertificatesFile)));
    run.needsLogin = login;
    run.loginUser = login ? s.text(Setting::LoginUser) : QString();
    run.loginPassword = login ? s.text(Setting::LoginPassword) : QString();
    run.subject = s.text(Setting::MessageSubject);
    run.body = s.text(Setting::BodyText);
    run.attachments = attachments;
    run.delimiters = mergeDelimitersOf(s);
    run.addressField = s.text(Setting::AddressField);
    run.groupSize = groupSizeOf(s);
    run.waitMilliseconds = waitMillisecondsOf(s);
    return run;
}

} // namespace tramelo
