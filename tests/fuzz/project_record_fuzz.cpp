// Any bytes as a project file: the reader must stay inside them, take no
// more than they hold, and what it read must write back and read again the
// same, so no field was taken from the wrong place. The same holds for the
// extension block at the end: found or not, its entries write back to a
// block that reads the same, and a record followed by that block reads as
// the record alone. The exact texts the block holds never change what the
// record says, and a record with them gives them back.
#include "project_extension.h"
#include "project_record.h"
#include "project_texts.h"

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace tramelo;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const ProjectReading reading = readProjectRecord(bytes);
    require(reading.length >= 0 && reading.length <= bytes.size());

    // The block may start only after the marks the record counts.
    const qsizetype marksEnd = reading.length + qMax(0, reading.record.recipientRowCount);
    const ProjectExtension entries =
        reading.complete && marksEnd <= bytes.size() ? readProjectExtension(bytes.sliced(marksEnd)) : ProjectExtension();
    const std::optional<QByteArray> block = writeProjectExtension(entries);
    require(block.has_value() && readProjectExtension(*block) == entries);
    if (!reading.complete)
        return 0;

    const std::optional<QByteArray> rewritten = writeProject(reading.record, {});
    require(rewritten.has_value());
    ProjectRecord exact = reading.record;
    putBackExactTexts(exact, entries);
    require(writeProject(exact, {}) == rewritten);
    ProjectRecord again = reading.record;
    putBackExactTexts(again, exactTextsOf(exact));
    require(again == exact);
    const ProjectReading reread = readProjectRecord(*rewritten + *block);
    require(reread.complete && reread.record == reading.record && reread.length == reading.length);
    return 0;
}
