// Any bytes as an HTML body (read as UTF-8): its text alternative is made
// without fault, holds no CR (lines end in LF alone), and stays within a
// bound of the body's size however deep its lists and quotations go.
#include "html_text.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString html = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = tramelo::textOfHtml(html);
    if (text.contains(u'\r') || text.size() > 64 * html.size() + 64)
        std::abort();
    return 0;
}
