#pragma once

#include <QString>

#include <optional>

namespace tramelo {

// The example campaign that comes with the program: a recipient database,
// an HTML body with merge placeholders and the image it shows, and the
// project file naming them.
inline constexpr char16_t exampleDatabaseName[] = u"destinataris.sqlite";
inline constexpr char16_t exampleBodyName[] = u"cos.htm";
inline constexpr char16_t exampleProjectName[] = u"exemple.pcm";

// The "examples" folder beside the program (a copy installed with it) or
// in the source tree the program was built from; empty when neither exists.
QString findExampleFolder();

// A project file stores paths as they are, so the example project is
// written for the folder it lies in: its database and body named by their
// absolute paths. A project already there that names files which exist is
// kept, as it may hold the operator's own changes. Returns why the project
// could not be written.
std::optional<QString> prepareExampleProject(const QString &folder);

} // namespace tramelo
