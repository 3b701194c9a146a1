// Any bytes as a project file: the reader must stay inside them, take no
// more than they hold, and what it read must write back and read again the
// same, so no field was taken from the wrong place.
#include "project_record.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace tramelo;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const ProjectReading reading = readProjectRecord(bytes);
    if (reading.length < 0 || reading.length > bytes.size())
        std::abort();
    if (!reading.complete)
        return 0;

    const std::optional<QByteArray> rewritten = writeProject(reading.record, {});
    if (!rewritten)
        std::abort();
    const ProjectReading again = readProjectRecord(*rewritten);
    if (!again.complete || !(again.record == reading.record) || again.length != reading.length)
        std::abort();
    return 0;
}
