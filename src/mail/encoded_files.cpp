#include "encoded_files.h"

#include "component_support.h"
#include "content_encoders.h"
#include "message_data_writer.h"
#include "pending_errors.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QTemporaryFile>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace tramelo {
namespace {

// Pieces read at a time: whole base64 lines (57 bytes) and whole uuencoded
// lines (45 bytes), so that pieces encode as the whole file would.
constexpr qint64 base64PieceBytes = 57 * 8000;
constexpr qint64 uuencodeLineBytes = 45;
constexpr qint64 uuencodePieceBytes = uuencodeLineBytes * 10000;

QByteArray uuencodedLines(QByteArrayView bytes)
{
    QByteArray lines;
    for (qsizetype at = 0; at < bytes.size(); at += uuencodeLineBytes)
        lines += modCorreu::uuencodeBytesLine(bytes.sliced(at, std::min(uuencodeLineBytes, bytes.size() - at))) + "\r\n";
    return lines;
}

} // namespace

// Writes one file's encoded bytes, in memory while the run's share allows,
// else to a temporary file.
struct FileEncoder {
    EncodedFile &file;
    qint64 &memoryLeft;

    bool append(const QByteArray &bytes, QString &failure)
    {
        if (!file.m_spill && file.m_bytes.size() + bytes.size() > memoryLeft && !spill(failure))
            return false;
        file.m_size += bytes.size();
        if (!file.m_spill) {
            file.m_bytes += bytes;
            return true;
        }
        if (file.m_spill->write(bytes) == bytes.size())
            return true;
        failure = file.m_spill->errorString();
        return false;
    }

    bool spill(QString &failure)
    {
        file.m_spill = std::make_unique<QTemporaryFile>();
        if (!file.m_spill->open() || file.m_spill->write(file.m_bytes) != file.m_bytes.size()) {
            failure = file.m_spill->errorString();
            return false;
        }
        file.m_bytes.clear();
        return true;
    }

    bool finish(QString &failure)
    {
        if (file.m_spill && !file.m_spill->flush()) {
            failure = file.m_spill->errorString();
            return false;
        }
        memoryLeft -= file.m_bytes.size();
        return true;
    }
};

EncodedFile::EncodedFile(QString name, QString contentType)
    : m_name(std::move(name))
    , m_contentType(std::move(contentType))
{
}

EncodedFile::~EncodedFile() = default;

bool EncodedFile::read(qint64 offset, qint64 length, QByteArray &into, QString &failure) const
{
    length = std::clamp<qint64>(m_size - offset, 0, length);
    if (!m_spill) {
        into += QByteArrayView(m_bytes).sliced(offset, length);
        return true;
    }
    const qsizetype before = into.size();
    into.resize(before + length);
    qint64 done = 0;
    while (done < length) {
        const ssize_t got = ::pread(m_spill->handle(), into.data() + before + done, size_t(length - done), offset + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            into.resize(before + done);
            failure = got < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("The file could not be read");
            return false;
        }
        done += got;
    }
    return true;
}

QString contentTypeOf(const QString &fileName, const QString &fallback)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot < 0)
        return fallback;
    const QMimeType type =
        QMimeDatabase().mimeTypeForFile(QStringLiteral("file") + fileName.mid(dot), QMimeDatabase::MatchExtension);
    return type.isValid() && !type.isDefault() ? type.name() : fallback;
}

EncodedFiles encodeFiles(const QStringList &paths, FileEncoding encoding, qint64 memoryBound)
{
    EncodedFiles result;
    qint64 memoryLeft = memoryBound;
    for (const QString &path : paths) {
        const QString name = fileNameOfPath(path);
        auto file = std::make_shared<EncodedFile>(name, contentTypeOf(name, QStringLiteral("application/octet-stream")));
        QFile source(path);
        if (path.isEmpty() || !QFileInfo(path).isFile())
            return {{}, error_text::missingAttachment};
        if (!source.open(QIODevice::ReadOnly))
            return {{}, source.errorString()};
        FileEncoder encoder{*file, memoryLeft};
        MessageDataWriter wire;
        const qint64 pieceBytes = encoding == FileEncoding::Base64 ? base64PieceBytes : uuencodePieceBytes;
        QString failure;
        for (qint64 remaining = source.size(); remaining > 0 && failure.isEmpty();) {
            const qint64 n = std::min(pieceBytes, remaining);
            const QByteArray bytes = source.read(n);
            if (bytes.size() != n) {
                // A file that shrank meanwhile leaves no error of the system's.
                return {{}, source.error() == QFileDevice::NoError ? QStringLiteral("The file could not be read")
                                                                   : source.errorString()};
            }
            const QByteArray encoded =
                encoding == FileEncoding::Base64 ? modCorreu::encodeBase64Lines(bytes) : uuencodedLines(bytes);
            encoder.append(wire.toWire(encoded), failure);
            remaining -= n;
        }
        if (!failure.isEmpty() || !encoder.finish(failure))
            return {{}, failure};
        result.files.push_back(std::move(file));
    }
    return result;
}

} // namespace tramelo
