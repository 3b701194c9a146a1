#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QMap>

#include <optional>

namespace tramelo {

// Settings the project record has no room for, each a value under an ASCII
// key, kept in one block at the very end of a project file, after every
// sent-mark byte. The block is found from the end of the file, so a reader
// that stops after the marks never sees it, and a file without it (every
// file written before it existed) reads as before:
//
//   payload: u16 version (1), then per entry: u8 key length, the key,
//            u32 value length, the value
//   u32 payload length, u32 CRC-32 (IEEE) of the payload, "TRAMELOX"
//
// all little-endian; a key is 1 to 255 printable ASCII characters without
// blanks. A block that does not fit the bytes given, fails its CRC, does not
// parse to its end, holds something that is no key or repeats a key is
// damaged; it is ignored, and so is a block of another version. Readers
// ignore keys they do not know.
using ProjectExtension = QMap<QByteArray, QByteArray>;

inline constexpr quint16 projectExtensionVersion = 1;
// The whole block, trailer included, that a reader looks for.
inline constexpr qsizetype maxProjectExtensionBytes = 16 * 1024 * 1024;

// The block for these entries; an empty one for no entries, so that a file
// whose settings all fit the record keeps its old form. Nothing when a key
// is empty or longer than 255 bytes, or the block would pass the bound.
std::optional<QByteArray> writeProjectExtension(const ProjectExtension &entries);

// The entries of the block that ends these bytes, which must hold it whole:
// the bytes after the record and the R sent marks it counts (or the last
// maxProjectExtensionBytes of them). Empty when there is no sound block of
// this version.
ProjectExtension readProjectExtension(QByteArrayView afterMarks);
// How many bytes at the end of these that block takes, trailer included;
// 0 when there is no sound block of this version.
qsizetype projectExtensionLength(QByteArrayView afterMarks);

} // namespace tramelo
