#include "smtp_failure.h"

#include "windows1252.h"

namespace tramelo {

SmtpFailure refusalOf(const SmtpChannel::Reply &reply, SendStage stage)
{
    return {stage, fromWindows1252(reply.text), reply.code};
}

SmtpFailure failureOf(SmtpChannel::Break broken, const SmtpChannel &channel, SendStage stage)
{
    const bool timedOut = broken == SmtpChannel::Break::TimedOut || broken == SmtpChannel::Break::Closed;
    return {timedOut ? SendStage::Timeout : stage, channel.breakText(), std::nullopt};
}

} // namespace tramelo
