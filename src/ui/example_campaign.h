#pragma once

#include <QString>

namespace tramelo {

// The example campaign that comes with the program: a recipient database,
// an HTML body with merge placeholders and the image it shows, and the
// project file naming them by paths relative to its own folder.
inline constexpr char16_t exampleDatabaseName[] = u"destinataris.sqlite";
inline constexpr char16_t exampleBodyName[] = u"cos.htm";
inline constexpr char16_t exampleProjectName[] = u"exemple.pcm";

// The "examples" folder beside the program (a copy installed with it) or
// in the source tree the program was built from; empty when neither exists.
QString findExampleFolder();

} // namespace tramelo
