#pragma once

#include <QDateTime>
#include <QString>

namespace tramelo {

// A display name or subject as header text: unchanged (in double quotes when
// asked) when it holds no byte above 126, otherwise the shorter of its
// quoted-printable and base64 encoded-word forms, folded.
QString EncodeHeaderText(const QString &text, bool quote);

// The MIME boundary of a message built at that local time: the day number
// since 30 December 1899 and the time of day, in hexadecimal.
QString mimeBoundaryAt(const QDateTime &localTime);

// A CR or LF in a header value would add headers or end the header block;
// each becomes a blank.
QString withoutLineBreaks(QString text);

} // namespace tramelo
