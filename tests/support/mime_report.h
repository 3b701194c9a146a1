#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace tramelo::test {

// What a real MIME parser (Python's email package with its default policy,
// run by mime_report.py) makes of a raw message; the JSON layout is described
// in mime_report.py. error is empty on success.
struct MimeInspection
{
    QJsonObject message;
    QString error;
};

MimeInspection inspectMime(const QByteArray &raw);

} // namespace tramelo::test
