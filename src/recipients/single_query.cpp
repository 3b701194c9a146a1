#include "single_query.h"

#include <QList>

#include <algorithm>

namespace tramelo {
namespace {

// How a database reads quotes and comments.
struct Dialect {
    bool backslashEscapes;   // 'it\'s' is one string
    bool hashComments;       // "#" starts a comment
    bool dashCommentNeedsBlank; // "--1" is minus minus one
    bool executableComments; // "/*!...*/" and MariaDB's "/*M!...*/" are run
};
constexpr Dialect standardSql{false, false, false, false};
constexpr Dialect mySql{true, true, true, true};

struct Token {
    // Executable: a comment the server runs, which may hold anything.
    enum Kind { Word, Semicolon, Executable, Other } kind;
    qsizetype start;
    qsizetype end;
};

bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// The end of a quoted text that opened at start with the given closing
// character; a doubled closing character stands for itself. An unclosed
// quote runs to the end.
qsizetype endOfQuoted(const QString &sql, qsizetype start, QChar close, bool backslashEscapes)
{
    for (qsizetype i = start + 1; i < sql.size(); ++i) {
        if (backslashEscapes && sql[i] == u'\\') {
            ++i;
        } else if (sql[i] == close) {
            if (i + 1 < sql.size() && sql[i + 1] == close)
                ++i;
            else
                return i + 1;
        }
    }
    return sql.size();
}

// The words, semicolons and other characters outside comments, with quoted
// texts as single tokens of their own.
QList<Token> tokensOf(const QString &sql, const Dialect &dialect)
{
    QList<Token> tokens;
    qsizetype i = 0;
    const qsizetype n = sql.size();
    while (i < n) {
        const QChar c = sql[i];
        const QChar next = i + 1 < n ? sql[i + 1] : QChar();
        if (c.isSpace()) {
            ++i;
        } else if ((c == u'-' && next == u'-'
                    && (!dialect.dashCommentNeedsBlank || i + 2 >= n || sql[i + 2].isSpace()))
                   || (c == u'#' && dialect.hashComments)) {
            const qsizetype lineEnd = sql.indexOf(u'\n', i);
            i = lineEnd < 0 ? n : lineEnd + 1;
        } else if (c == u'/' && next == u'*') {
            const qsizetype commentEnd = sql.indexOf(QLatin1String("*/"), i + 2);
            const QStringView opening = QStringView(sql).sliced(i + 2).left(2);
            if (dialect.executableComments && (opening.startsWith(u'!') || opening == QLatin1String("M!")))
                tokens.append({Token::Executable, i, commentEnd < 0 ? n : commentEnd + 2});
            i = commentEnd < 0 ? n : commentEnd + 2;
        } else if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
            const QChar close = c == u'[' ? QChar(u']') : c;
            const bool escapes = dialect.backslashEscapes && (c == u'\'' || c == u'"');
            const qsizetype end = endOfQuoted(sql, i, close, escapes);
            tokens.append({Token::Other, i, end});
            i = end;
        } else if (isWordCharacter(c)) {
            qsizetype end = i + 1;
            while (end < n && isWordCharacter(sql[end]))
                ++end;
            tokens.append({Token::Word, i, end});
            i = end;
        } else {
            tokens.append({c == u';' ? Token::Semicolon : Token::Other, i, i + 1});
            ++i;
        }
    }
    return tokens;
}

bool isWord(const QString &sql, const Token &token, QLatin1StringView word)
{
    return token.kind == Token::Word
        && QStringView(sql).sliced(token.start, token.end - token.start).compare(word, Qt::CaseInsensitive) == 0;
}

// The tokens of the one statement, or nothing when the text is not a single
// query that only reads.
std::optional<QList<Token>> queryTokens(const QString &sql, const Dialect &dialect)
{
    QList<Token> tokens = tokensOf(sql, dialect);
    const qsizetype semicolon = std::find_if(tokens.cbegin(), tokens.cend(),
                                             [](const Token &t) { return t.kind == Token::Semicolon; })
        - tokens.cbegin();
    if (semicolon + 1 < tokens.size())
        return std::nullopt; // something follows the statement
    if (std::any_of(tokens.cbegin(), tokens.cend(), [](const Token &t) { return t.kind == Token::Executable; }))
        return std::nullopt; // a statement the server would run hidden in a comment
    tokens.resize(semicolon);
    if (tokens.isEmpty() || !(isWord(sql, tokens.first(), QLatin1StringView("SELECT"))
                              || isWord(sql, tokens.first(), QLatin1StringView("WITH"))))
        return std::nullopt;
    static const QLatin1StringView writingWords[] = {QLatin1StringView("INSERT"), QLatin1StringView("UPDATE"),
                                                     QLatin1StringView("DELETE"), QLatin1StringView("MERGE"),
                                                     QLatin1StringView("INTO")};
    for (const Token &token : std::as_const(tokens)) {
        for (const QLatin1StringView word : writingWords) {
            if (isWord(sql, token, word))
                return std::nullopt;
        }
    }
    return tokens;
}

} // namespace

std::optional<QString> singleQueryOf(const QString &sql)
{
    const std::optional<QList<Token>> tokens = queryTokens(sql, standardSql);
    if (!tokens || !queryTokens(sql, mySql))
        return std::nullopt;
    const qsizetype start = tokens->first().start;
    return sql.mid(start, tokens->last().end - start);
}

} // namespace tramelo
