#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace tramelo {

// The campaign as a project file stores it, field by field in file order.
// The file is little-endian with no signature or version: every text is a
// 16-bit byte count and that many Windows-1252 bytes, truth values are the
// 16-bit FF FF or 00 00, and the record is followed by the sent marks.
struct ProjectRecord {
    QString senderAddress{};
    QString senderName{};
    QString smtpServer{};
    quint8 needsLogin = 0;
    QString loginUser{};
    QString loginPassword{};
    QString databaseSource{};
    QString tableOrStatement{}; // TableName for a table source, else SqlStatement
    QString addressField{};
    QString messageSubject{};
    QString bodySource{};
    QString fieldDelimiterLeft{};
    QString fieldDelimiterRight{};
    quint8 groupSendings = 0;
    qint16 groupSize = 0;
    qint32 waitSeconds = 0;
    QString attachmentList{};
    qint32 recipientRowCount = 0;
    bool sourceIsTable = false;
    QString tableQuoteLeft{};
    QString tableQuoteRight{};
    bool bodyIsFile = false;

    friend bool operator==(const ProjectRecord &, const ProjectRecord &) = default;
};

// A text longer than this many bytes does not fit its 16-bit count.
inline constexpr qsizetype maxProjectTextBytes = 0xFFFF;
// The longest record the format can hold: 15 full texts and 20 bytes of numbers.
inline constexpr qsizetype maxProjectRecordBytes = 15 * (2 + maxProjectTextBytes) + 20;

// The whole file: the record, then every entry of the sent-mark list.
// Nothing when a text does not fit its count; characters without a
// Windows-1252 form are written as "?".
std::optional<QByteArray> writeProject(const ProjectRecord &record, QByteArrayView sentMarks);

// What the start of a file yields. A file is never trusted: reading stops at
// the first field that the remaining bytes cannot hold, and that field and
// every later one keep their empty values.
struct ProjectReading {
    ProjectRecord record;
    bool complete = false;  // all 22 fields were read
    qsizetype length = 0;   // bytes taken by the fields read
};
ProjectReading readProjectRecord(QByteArrayView bytes);

// The first entry of a sent-mark list that is none of "S", "N" and " ", or
// -1 when every entry is one of them.
qsizetype firstForeignMark(QByteArrayView marks);

} // namespace tramelo
