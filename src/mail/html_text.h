#pragma once

#include <QString>
#include <QStringView>

namespace tramelo {

// The longest line of a text alternative, where its words allow.
inline constexpr qsizetype textAlternativeLineLength = 78;

// What a reader that shows no HTML should see of an HTML body: its text,
// with the structure the markup gave it.
// - Paragraphs, headings, lists, quotations, tables and preformatted blocks
//   are separated by an empty line; other blocks (div, table rows and
//   cells, list items) begin a line of their own; <br> breaks the line.
// - A heading is underlined: with "=" at level 1, with "-" below it.
// - A list item begins with "- ", or with its number and ". " in an ordered
//   list (its start attribute honoured); its further lines, and nested lists,
//   are indented under its text. A quotation's lines begin with "> ".
// - A link is its text, then its address in brackets ("Vegeu el web
//   (https://exemple.cat)"), or the address alone when the link has no text
//   or its text is the address; a mailto link shows the address, and a link
//   within the page, to a script or to an embedded part shows its text only.
// - An image is its alt text; without one, nothing.
// - Character references are decoded; scripts, styles, the title, templates
//   and comments are left out; characters that show nothing (zero-width
//   spaces and joiners, soft hyphens) are dropped.
// - Blanks are collapsed as a browser does, and lines are filled up to
//   textAlternativeLineLength characters, a word longer than that standing
//   alone on its line; preformatted text keeps its lines and blanks.
// Lines are separated by "\n", with none after the last.
QString textOfHtml(QStringView html);

} // namespace tramelo
