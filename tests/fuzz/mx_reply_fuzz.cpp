// Any bytes as an MX reply: the parse must end, stay inside its buffer and
// never yield a name longer than a real one.
#include "dns_reply_builder.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace tramelo::modMXQuery;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const ReplyBuffer reply = replyBufferFrom(bytes);
    const QString best = bestMailExchanger(reply);
    if (best.size() > 255)
        std::abort();
    return 0;
}
