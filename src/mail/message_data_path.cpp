// Writing message data: every piece passes the message data writer, and the
// socket's queue is kept short, so that a file never waits in memory whole
// and a server that stops reading is a time-out.
#include "clsEnviarCorreu.h"

#include "plain_text.h"
#include "windows1252.h"

#include <QDeadlineTimer>
#include <QSslSocket>

#include <utility>

namespace tramelo {
namespace {

// A few pieces of a file, encoded.
constexpr qint64 dataQueueLimit = 32 * 1024;

} // namespace

bool clsEnviarCorreu::writeMessageData(QByteArrayView bytes)
{
    if (!waitForSocketQueue(dataQueueLimit))
        return false;
    if (sendData(m_dataWriter.toWire(bytes)))
        return true;
    failUnexpectedly();
    return false;
}

bool clsEnviarCorreu::writeMessageText(const QString &text)
{
    return writeMessageData(toWindows1252(text));
}

bool clsEnviarCorreu::writeDataLine(const QString &text)
{
    return writeMessageText(text + crlf);
}

bool clsEnviarCorreu::waitForSocketQueue(qint64 limit)
{
    // The time-out counts from the socket's last progress: a slow link may
    // take as long as it needs, a stalled one may not.
    const std::chrono::seconds timeout{m_MessageTimeout};
    QDeadlineTimer deadline{timeout};
    if (queuedBytes() > limit)
        flushOutgoing();
    while (!m_flags.abort && queuedBytes() > limit) {
        if (sendingStopped())
            return false;
        if (std::exchange(m_flags.chunkSent, false)) {
            deadline.setRemainingTime(timeout);
        } else if (deadline.hasExpired()) {
            ReportTimeout();
            return false;
        }
        pumpEventsOnce();
    }
    return !m_flags.abort;
}

} // namespace tramelo
