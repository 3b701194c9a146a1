#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <string>
#include <vector>

class QIODevice;

namespace tramelo {

// Why a CSV file cannot be read, and the line of the file (from 1) where
// what is wrong starts.
struct CsvProblem {
    qint64 line = 0;
    QString reason;
};

// The delimiter of a CSV file: whichever of comma, semicolon and tab its
// first line holds most often outside quotes (the first of them on a tie, a
// comma when it holds none).
char csvDelimiterOf(QByteArrayView start);

// The records of a CSV file as RFC 4180 writes them, read piece by piece:
// fields separated by the delimiter, records ended by CR LF, LF or CR. A
// field in double quotes holds delimiters, line ends and doubled quotes as
// text. Blank lines (empty, or spaces only) are no records. It reads bytes: the
// delimiter, the quotes and the line ends are the same bytes in UTF-8 and
// in Windows-1252, so the text is decoded field by field afterwards.
class CsvRecordReader
{
public:
    CsvRecordReader(QIODevice &file, char delimiter);

    enum class Read { Record, End, Failed };
    Read next();

    // The record just read: its fields as the file's bytes, and the line
    // where it starts.
    qsizetype fieldCount() const { return qsizetype(m_fieldEnds.size()); }
    QByteArrayView field(qsizetype index) const;
    qint64 line() const { return m_recordLine; }

    // Why the last next() failed.
    const CsvProblem &problem() const { return m_problem; }

private:
    enum class State { FieldStart, Unquoted, Quoted, AfterQuote };

    bool fill();
    void countLineEnd(char c);
    void endField() { m_fieldEnds.push_back(qsizetype(m_text.size())); }
    // Ends the record at a line end; false when its line was blank (empty or
    // spaces only, no quotes), which is no record: a new one starts.
    bool endRecord();
    Read fail(qint64 line, const QString &reason);
    Read endOfFile(State state);

    QIODevice &m_file;
    const char m_delimiter;
    QByteArray m_chunk;
    qsizetype m_at = 0;
    qint64 m_line = 1;
    bool m_afterCr = false;

    std::string m_text; // the record's fields end to end
    std::vector<qsizetype> m_fieldEnds;
    qint64 m_recordLine = 1;
    qint64 m_quoteLine = 1;
    bool m_quoted = false;
    CsvProblem m_problem;
};

} // namespace tramelo
