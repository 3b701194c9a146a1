#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tramelo {

// Which attached files an HTML body shows: each file whose name ends a
// reference inside a tag (an attribute's value, or a url(...) in a style)
// is linked as "cid:" and its Content-ID, and the message becomes
// multipart/related.
struct BodyLinks {
    QList<bool> embedded; // by file, in the order of the files
    bool related = false; // at least one file is linked
};

// Rewrites the body's references to the files (by name, in any letter
// case); a mention of a name in the text, in a comment, or in a value that
// ended before it, is left alone. Running it again changes nothing.
BodyLinks linkEmbeddedFiles(QString &html, const QStringList &fileNames);

} // namespace tramelo
