#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QTemporaryFile;

namespace tramelo {

// How attached files travel: base64 lines in MIME parts, or uuencoded
// blocks in the plain format.
enum class FileEncoding { Base64, Uuencode };

// One attached file, read and encoded once for a whole run, kept in the form
// it takes between DATA and the final "." (the data's dot-stuffing done):
// in memory, or in a temporary file of its own.
class EncodedFile
{
public:
    EncodedFile(QString name, QString contentType);
    ~EncodedFile();
    EncodedFile(const EncodedFile &) = delete;
    EncodedFile &operator=(const EncodedFile &) = delete;

    // The file's name: the text after the last "/" or "\" of its path.
    QString name() const { return m_name; }
    // The MIME type of its extension, else "application/octet-stream".
    QString contentType() const { return m_contentType; }
    // Bytes on the wire.
    qint64 size() const { return m_size; }
    bool inMemory() const { return !m_spill; }
    // Appends up to `length` bytes from `offset`; safe from several
    // threads. False, with the system's words, when the temporary file
    // cannot be read.
    bool read(qint64 offset, qint64 length, QByteArray &into, QString &failure) const;

private:
    friend struct FileEncoder;
    QString m_name;
    QString m_contentType;
    QByteArray m_bytes;
    std::unique_ptr<QTemporaryFile> m_spill;
    qint64 m_size = 0;
};

// Encoded files share this much memory in a run; the rest goes to
// temporary files.
inline constexpr qint64 encodedFilesMemoryBound = 8 * 1024 * 1024;

struct EncodedFiles {
    std::vector<std::shared_ptr<const EncodedFile>> files;
    QString failure; // why a file could not be read (then there are no files)
};

// Reads and encodes the files of a run, in order. A path that names no
// file fails with "The file you tried to attach does not exist"; one that
// cannot be read with the system's words.
EncodedFiles encodeFiles(const QStringList &paths, FileEncoding encoding,
                         qint64 memoryBound = encodedFilesMemoryBound);

// The MIME type registered for a file name's extension, else the fallback.
QString contentTypeOf(const QString &fileName, const QString &fallback);

} // namespace tramelo
