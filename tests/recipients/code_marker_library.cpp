// What an attack would make a recipient database load: a library that, once
// loaded into a process, leaves a file at the path TRAMELO_CODE_MARKER names.
// The tests check that the file never appears.
#include <cstdio>
#include <cstdlib>

namespace {

__attribute__((constructor)) void leaveMarker()
{
    if (const char *path = std::getenv("TRAMELO_CODE_MARKER")) {
        if (std::FILE *marker = std::fopen(path, "w"))
            std::fclose(marker);
    }
}

} // namespace

// The entry point SQLite looks for by default in an extension.
extern "C" int sqlite3_extension_init(void *, char **, const void *)
{
    return 0;
}
