#pragma once

#include "send_outcome.h"
#include "smtp_channel.h"

#include <QString>

#include <optional>

namespace tramelo {

// Why a session or a message failed, as its outcome tells it.
struct SmtpFailure {
    SendStage stage = SendStage::Connection;
    QString reason;              // a server's reply as received, or the core's own words
    std::optional<int> code;     // the reply's code, when a coded reply decided it
};

// A reply that refuses (or does not answer) what was asked.
SmtpFailure refusalOf(const SmtpChannel::Reply &reply, SendStage stage);
// A dialogue that cannot go on: the time-out and a silent close are
// time-outs, wherever they happen.
SmtpFailure failureOf(SmtpChannel::Break broken, const SmtpChannel &channel, SendStage stage);

} // namespace tramelo
