#pragma once

#include <QByteArrayView>
#include <QString>

namespace tramelo {

class Campaign;

// The text of a body file: UTF-8 when its bytes begin with the UTF-8
// byte-order mark (which is dropped), when it declares UTF-8 in an HTML meta
// element near its start, or when they are well-formed UTF-8 holding at
// least one character beyond ASCII; Windows-1252 otherwise, as files of
// Windows editors are.
QString decodeBodyFile(QByteArrayView bytes);

// Rebuilds BodyText from the body settings and shows the body file in the
// HTML view (a blank page for a typed body or a body file that cannot be
// read). BodyText is only assigned when it changes, so an unchanged body
// does not make the campaign dirty.
void RefreshBodyPreview(Campaign &campaign);

// The attachment list of a test send or run: for a File body, the local
// files that the body refers to in quotes after "src" (relative ones
// resolved against the body file's folder), then the operator's
// AttachmentList, whose relative paths are read against the project folder;
// paths separated by ";". The mail component names each
// file by the text after its last "/" or "\", which resolving leaves as it
// was, so the body links its images as before.
QString BuildAttachmentList(Campaign &campaign);

// The local files that the src attributes of a File body name (read as
// BuildAttachmentList reads them) and that do not exist: the message would
// show them as broken images. Addresses of the web, "cid:" and "data:"
// sources are not files.
QStringList missingBodyImages(const Campaign &campaign);

} // namespace tramelo
