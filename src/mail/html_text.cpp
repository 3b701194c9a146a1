#include "html_text.h"

#include "html_entities.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace tramelo {
namespace {

using namespace Qt::StringLiterals;

// However deep the lists and quotations, a line keeps room for some words.
constexpr qsizetype narrowestWidth = 30;
constexpr int deepestLevels = 10;

enum class Break { None, Line, Paragraph };

bool isHtmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Characters a page shows nothing of, which in a text would only be noise
// (newsletters fill their hidden preview lines with them).
bool isInvisible(QChar c)
{
    const char16_t u = c.unicode();
    return u == 0x00AD || u == 0x034F || (u >= 0x200B && u <= 0x200D) || u == 0x2060 || u == 0xFEFF;
}

QString rightTrimmed(QString text)
{
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

// What a link's address looks like in the text; empty when it shows none.
QString linkTarget(QString href)
{
    href = href.trimmed();
    href.remove(u'\t').remove(u'\n').remove(u'\r');
    href.replace(u' ', QLatin1String("%20"));
    if (href.isEmpty() || href.startsWith(u'#') || href.startsWith(QLatin1String("javascript:"), Qt::CaseInsensitive)
        || href.startsWith(QLatin1String("cid:"), Qt::CaseInsensitive))
        return {};
    if (href.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive) && !href.contains(u'?'))
        return href.mid(7);
    return href;
}

// A link's text that is its address already ("www.exemple.cat" for
// "https://www.exemple.cat/").
bool isSameAddress(QString text, QString target)
{
    const auto bare = [](QString address) {
        address = address.toLower();
        for (const QLatin1String scheme : {QLatin1String("https://"), QLatin1String("http://"), QLatin1String("mailto:")}) {
            if (address.startsWith(scheme))
                address.remove(0, scheme.size());
        }
        while (address.endsWith(u'/'))
            address.chop(1);
        return address;
    };
    return bare(std::move(text)) == bare(std::move(target));
}

// Fills lines of at most width characters with the line's words.
QStringList filled(QStringView line, qsizetype width)
{
    QStringList lines;
    QString current;
    for (const QStringView word : line.tokenize(u' ', Qt::SkipEmptyParts)) {
        if (!current.isEmpty() && current.size() + 1 + word.size() > width) {
            lines << current;
            current.clear();
        }
        if (!current.isEmpty())
            current += u' ';
        current += word;
    }
    lines << current;
    return lines;
}

// The text laid out block by block as the markup goes by.
class TextLayout
{
public:
    void text(QStringView text);
    void lineBreak();
    void block(Break separation);
    void beginHeading(int level);
    void endHeading();
    void beginList(bool ordered, int start);
    void endList();
    void item();
    void beginQuote();
    void endQuote();
    void beginPreformatted();
    void endPreformatted();
    void beginLink(const QString &href);
    void endLink();
    QString result();

private:
    struct List {
        bool ordered = false;
        int next = 1;
        QString marker;         // the item's, until its first line is written
        qsizetype indent = 0;   // of the item's text
    };
    struct Link {
        QString target;
        qsizetype start = 0; // where its text begins in the block
    };

    void flush();
    QStringList blockLines() const;

    QString m_block; // inline text of the block being read; "\n" for a <br>
    QStringList m_lines;
    Break m_pending = Break::None;
    int m_heading = 0;
    int m_preformatted = 0;
    int m_quotes = 0;
    std::vector<List> m_lists;
    std::optional<Link> m_link;
};

void TextLayout::text(QStringView text)
{
    for (const QChar c : text) {
        if (isInvisible(c) || (m_preformatted && c == u'\r'))
            continue;
        const bool blank = isHtmlSpace(c) || c == QChar(0x00A0);
        if (m_preformatted)
            m_block += blank && c != u'\n' && c != u'\t' ? QChar(u' ') : c;
        else if (!blank)
            m_block += c;
        else if (!m_block.isEmpty() && m_block.back() != u' ' && m_block.back() != u'\n')
            m_block += u' ';
    }
}

void TextLayout::lineBreak()
{
    if (!m_preformatted && m_block.endsWith(u' '))
        m_block.chop(1);
    m_block += u'\n';
}

void TextLayout::block(Break separation)
{
    flush();
    m_pending = std::max(m_pending, separation);
}

void TextLayout::beginHeading(int level)
{
    block(Break::Paragraph);
    m_heading = level;
}

void TextLayout::endHeading()
{
    flush();
    m_heading = 0;
    block(Break::Paragraph);
}

void TextLayout::beginList(bool ordered, int start)
{
    block(m_lists.empty() ? Break::Paragraph : Break::Line);
    m_lists.push_back({ordered, start, {}, 0});
}

void TextLayout::endList()
{
    block(m_lists.size() <= 1 ? Break::Paragraph : Break::Line);
    if (!m_lists.empty())
        m_lists.pop_back();
}

void TextLayout::item()
{
    block(Break::Line);
    if (m_lists.empty())
        return;
    List &list = m_lists.back();
    list.marker = list.ordered ? QString::number(list.next++) + QStringLiteral(". ") : QStringLiteral("- ");
}

void TextLayout::beginQuote()
{
    block(Break::Paragraph);
    ++m_quotes;
}

void TextLayout::endQuote()
{
    block(Break::Paragraph);
    m_quotes = std::max(m_quotes - 1, 0);
}

void TextLayout::beginPreformatted()
{
    block(Break::Paragraph);
    ++m_preformatted;
}

void TextLayout::endPreformatted()
{
    block(Break::Paragraph);
    m_preformatted = std::max(m_preformatted - 1, 0);
}

void TextLayout::beginLink(const QString &href)
{
    endLink();
    m_link = Link{linkTarget(href), m_block.size()};
}

void TextLayout::endLink()
{
    if (!m_link)
        return;
    const Link link = *std::exchange(m_link, std::nullopt);
    if (link.target.isEmpty())
        return;
    const bool spaced = m_block.endsWith(u' ');
    if (spaced)
        m_block.chop(1);
    const QString linkText = m_block.mid(link.start).trimmed();
    if (linkText.isEmpty()) {
        if (!m_block.isEmpty() && !m_block.endsWith(u'\n'))
            m_block += u' ';
        m_block += link.target;
    } else if (!isSameAddress(linkText, link.target)) {
        m_block += QStringLiteral(" (") + link.target + u')';
    }
    if (spaced)
        m_block += u' ';
}

QString TextLayout::result()
{
    flush();
    return m_lines.join(u'\n');
}

// The block's lines, without blanks at their ends (preformatted lines keep
// their indentation) and without empty lines before or after them.
QStringList TextLayout::blockLines() const
{
    QStringList lines = m_block.split(u'\n');
    for (QString &line : lines)
        line = m_preformatted ? rightTrimmed(line) : line.trimmed();
    while (!lines.isEmpty() && lines.front().isEmpty())
        lines.removeFirst();
    while (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

void TextLayout::flush()
{
    // A link around blocks (a button made of a table) keeps its address
    // for the block that holds its text.
    if (m_link && !QStringView(m_block).sliced(std::min(m_link->start, m_block.size())).trimmed().isEmpty())
        endLink();
    const QStringList lines = blockLines();
    m_block.clear();
    if (m_link)
        m_link->start = 0;
    if (lines.isEmpty())
        return;

    // However deep the nesting, the innermost levels alone are indented, and
    // within a bound: the text keeps its width and its size.
    const QString quote = QStringLiteral("> ").repeated(std::min(m_quotes, deepestLevels));
    QString first = quote;
    QString rest = quote;
    for (auto list = m_lists.end() - std::min<qsizetype>(qsizetype(m_lists.size()), deepestLevels); list != m_lists.end(); ++list) {
        if (!list->marker.isEmpty()) {
            first += list->marker;
            list->indent = list->marker.size();
            list->marker.clear();
        } else {
            first += QString(list->indent, u' ');
        }
        rest += QString(list->indent, u' ');
    }
    first = first.right(textAlternativeLineLength - narrowestWidth);
    rest = rest.right(textAlternativeLineLength - narrowestWidth);
    const qsizetype width = textAlternativeLineLength - rest.size();
    QStringList text;
    for (const QString &line : lines)
        text += m_preformatted ? QStringList{line} : filled(line, width);
    if (m_heading > 0) {
        qsizetype longest = 0;
        for (const QString &line : std::as_const(text))
            longest = std::max(longest, line.size());
        text << QString(std::min(longest, width), m_heading == 1 ? u'=' : u'-');
    }
    if (!m_lines.isEmpty() && m_pending == Break::Paragraph)
        m_lines << rightTrimmed(quote);
    for (qsizetype k = 0; k < text.size(); ++k)
        m_lines << rightTrimmed((k == 0 ? first : rest) + text[k]);
    m_pending = Break::None;
}

// How each block element separates its text from what goes around it.
Break breakOf(const QString &element)
{
    static const QHash<QString, Break> breaks = [] {
        QHash<QString, Break> table;
        for (const char *name : {"p", "table", "hr", "dl"})
            table.insert(QLatin1String(name), Break::Paragraph);
        for (const char *name : {"div", "section", "article", "header", "footer", "nav", "main", "aside", "address",
                                 "center", "figure", "figcaption", "form", "fieldset", "tr", "td", "th", "caption",
                                 "dt", "dd", "body"})
            table.insert(QLatin1String(name), Break::Line);
        return table;
    }();
    return breaks.value(element, Break::None);
}

// Elements whose content is no text of the page.
bool isHidden(const QString &element)
{
    return element == "script"_L1 || element == "style"_L1 || element == "title"_L1 || element == "template"_L1;
}

struct Tag {
    QString name; // in lower case
    bool closing = false;
    QString href;
    QString alt;
    QString start;
};

void apply(const Tag &tag, TextLayout &layout)
{
    const QString &name = tag.name;
    if (name == "br"_L1) {
        layout.lineBreak();
    } else if (name == "img"_L1) {
        layout.text(tag.alt);
    } else if (name == "a"_L1) {
        tag.closing ? layout.endLink() : layout.beginLink(tag.href);
    } else if (name.size() == 2 && name[0] == u'h' && name[1] >= u'1' && name[1] <= u'6') {
        tag.closing ? layout.endHeading() : layout.beginHeading(name[1].digitValue());
    } else if (name == "ul"_L1 || name == "ol"_L1) {
        bool numeric = false;
        const int start = tag.start.trimmed().toInt(&numeric);
        tag.closing ? layout.endList() : layout.beginList(name == "ol"_L1, numeric ? start : 1);
    } else if (name == "li"_L1) {
        tag.closing ? layout.block(Break::Line) : layout.item();
    } else if (name == "blockquote"_L1) {
        tag.closing ? layout.endQuote() : layout.beginQuote();
    } else if (name == "pre"_L1) {
        tag.closing ? layout.endPreformatted() : layout.beginPreformatted();
    } else if (const Break separation = breakOf(name); separation != Break::None) {
        layout.block(separation);
    }
}

// Reads the attributes of a tag from `at` to its ">"; returns the position
// after it.
qsizetype readAttributes(QStringView html, qsizetype at, Tag &tag)
{
    const auto skipSpaces = [&] {
        while (at < html.size() && isHtmlSpace(html[at]))
            ++at;
    };
    while (at < html.size() && html[at] != u'>') {
        if (isHtmlSpace(html[at]) || html[at] == u'/') {
            ++at;
            continue;
        }
        const qsizetype nameStart = at;
        while (at < html.size() && !isHtmlSpace(html[at]) && html[at] != u'=' && html[at] != u'>' && html[at] != u'/')
            ++at;
        const QString name = html.sliced(nameStart, at - nameStart).toString().toLower();
        skipSpaces();
        QStringView value;
        if (at < html.size() && html[at] == u'=') {
            ++at;
            skipSpaces();
            if (at < html.size() && (html[at] == u'"' || html[at] == u'\'')) {
                qsizetype end = html.indexOf(html[at], at + 1);
                if (end < 0)
                    end = html.size();
                value = html.sliced(at + 1, end - at - 1);
                at = std::min(end + 1, html.size());
            } else {
                const qsizetype valueStart = at;
                while (at < html.size() && !isHtmlSpace(html[at]) && html[at] != u'>')
                    ++at;
                value = html.sliced(valueStart, at - valueStart);
            }
        }
        if (name == u"href")
            tag.href = decodeCharacterReferences(value);
        else if (name == u"alt")
            tag.alt = decodeCharacterReferences(value);
        else if (name == u"start")
            tag.start = value.toString();
    }
    return std::min(at + 1, html.size());
}

qsizetype endOf(QStringView html, qsizetype from, QStringView marker)
{
    const qsizetype found = html.indexOf(marker, from, Qt::CaseInsensitive);
    return found < 0 ? html.size() : found + marker.size();
}

// Reads the markup that begins with the "<" at `at`; returns the position
// after it.
qsizetype readMarkup(QStringView html, qsizetype at, TextLayout &layout)
{
    const QStringView rest = html.sliced(at);
    if (rest.startsWith(u"<!--"))
        return endOf(html, at + 4, u"-->");
    if (rest.size() > 1 && (rest[1] == u'!' || rest[1] == u'?'))
        return endOf(html, at, u">");
    Tag tag;
    tag.closing = rest.size() > 1 && rest[1] == u'/';
    qsizetype i = at + (tag.closing ? 2 : 1);
    if (i >= html.size() || !isAsciiLetter(html[i])) {
        layout.text(u"<");
        return at + 1;
    }
    const qsizetype nameStart = i;
    while (i < html.size() && !isHtmlSpace(html[i]) && html[i] != u'>' && html[i] != u'/')
        ++i;
    tag.name = html.sliced(nameStart, i - nameStart).toString().toLower();
    i = readAttributes(html, i, tag);
    if (!tag.closing && isHidden(tag.name))
        return endOf(html, endOf(html, i, QString(QStringLiteral("</") + tag.name)), u">");
    apply(tag, layout);
    return i;
}

} // namespace

QString textOfHtml(QStringView html)
{
    TextLayout layout;
    for (qsizetype at = 0; at < html.size();) {
        const qsizetype markup = html.indexOf(u'<', at);
        const qsizetype textEnd = markup < 0 ? html.size() : markup;
        const QStringView text = html.sliced(at, textEnd - at);
        if (text.contains(u'&'))
            layout.text(decodeCharacterReferences(text));
        else
            layout.text(text);
        at = markup < 0 ? html.size() : readMarkup(html, markup, layout);
    }
    return layout.result();
}

} // namespace tramelo
