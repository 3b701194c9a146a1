#pragma once

#include <QString>

#include <optional>

namespace tramelo {

class CampaignSettings;

// Checks the campaign before a test send or a run. Returns the message of the
// first rule that fails, or nothing when the campaign may be sent. A relative
// body file is looked for in projectFolder (see project_paths.h).
std::optional<QString> validateCampaign(const CampaignSettings &settings, const QString &projectFolder = {});

} // namespace tramelo
