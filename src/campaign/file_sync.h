#pragma once

#include <QString>

namespace tramelo {

// The text of the last system error (errno), for the operator.
QString systemErrorText();

// Makes the folder of path reach the disk, so that a file just created or
// renamed there is found after a crash. A folder that cannot be synced is
// left as it is: the file itself is already in place.
void syncFolderOf(const QString &path);

} // namespace tramelo
