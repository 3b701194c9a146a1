#pragma once

#include <QString>

namespace tramelo {

class Campaign;

// Rebuilds BodyText from the body settings and shows the body file in the
// HTML view (a blank page for a typed body or a body file that cannot be
// read). BodyText is only assigned when it changes, so an unchanged body
// does not make the campaign dirty.
void RefreshBodyPreview(Campaign &campaign);

// The attachment list of a test send or run: for a File body, the local
// files that the body refers to in quotes after "src" (relative ones
// resolved against the body file's folder), then the operator's
// AttachmentList; paths separated by ";". The mail component names each
// file by the text after its last "/" or "\", which resolving leaves as it
// was, so the body links its images as before.
QString BuildAttachmentList(Campaign &campaign);

} // namespace tramelo
