// The text alternative of HTML bodies: the markup's structure kept in text,
// and the example campaign's body readable.
#include "html_text.h"

#include "gtest_qt_printers.h"
#include "test_support.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tramelo;
using namespace Qt::StringLiterals;

TEST(TextOfHtml, StructureBecomesText)
{
    const QString words = u"paraula "_s.repeated(30);
    const auto line = [](int words) { return u"paraula "_s.repeated(words).trimmed(); };
    const QString url = QStringLiteral("https://exemple.cat/") + QString(90, u'x');
    const std::pair<QString, QString> cases[] = {
        {u"<p>Un</p>\n<p>Dos</p>"_s, u"Un\n\nDos"_s},
        {u"a<br>b<BR/>c<br><br>d"_s, u"a\nb\nc\n\nd"_s},
        {u"  a \n\t b  <div>c</div>d"_s, u"a b\nc\nd"_s},
        {u"<h1>T\u00edtol</h1><p>text</p><h3>Sub apartat</h3>"_s, u"T\u00edtol\n=====\n\ntext\n\nSub apartat\n-----------"_s},
        {u"<ul><li>u</li><li>dos</li></ul><p>fi</p>"_s, u"- u\n- dos\n\nfi"_s},
        {u"<ol start=3><li>a<ul><li>b</li></ul></li><li>c</ol>"_s, u"3. a\n   - b\n4. c"_s},
        {u"<a href=\"https://exemple.cat/x?a=1&amp;b=2\">El web</a>."_s, u"El web (https://exemple.cat/x?a=1&b=2)."_s},
        {u"<a href=\"https://www.exemple.cat/\">www.exemple.cat</a> <a href='mailto:jo@exemple.cat'>Escriu</a>"_s,
         u"www.exemple.cat Escriu (jo@exemple.cat)"_s},
        {u"<a href=\"#dalt\">Amunt</a> <a href=\"javascript:x()\">JS</a> <a href=\"https://x.cat\"></a>"_s,
         u"Amunt JS https://x.cat"_s},
        {u"<a href=\"https://x.cat\"><img src=\"cid:l.png\" alt=\"Logo\"></a> a<img src=x>b"_s,
         u"Logo (https://x.cat) ab"_s},
        {u"<a href=\"https://x.cat/b\"><table><tr><td>Clica</td></tr></table></a>"_s, u"Clica (https://x.cat/b)"_s},
        {u"&eacute;&#233;&#xE9;&#Xe9;&amp;lt;&nbsp;x &euro; &#128; &bogus; &#0; &copy &#x110000;"_s,
         u"\u00e9\u00e9\u00e9\u00e9&lt; x \u20ac \u20ac &bogus; \ufffd &copy \ufffd"_s},
        {u"<style>p{}</style><script>if (a<b) x()</script><!-- c <p>no</p> --><title>T</title><p>Text</p>"_s, u"Text"_s},
        {u"a&zwnj;&#847;\u00ad b &lt;3 a < b"_s, u"a b <3 a < b"_s},
        {u"<pre>\n  a  b\n\n c</pre>x"_s, u"  a  b\n\n c\n\nx"_s},
        {u"<blockquote><p>a</p><p>b</p></blockquote>"_s, u"> a\n>\n> b"_s},
        {u"<table><tr><td>A</td><td>B</td></tr><tr><th>C</th></tr></table><p>fi</p>"_s, u"A\nB\nC\n\nfi"_s},
        {u"<p>"_s + words + u"</p>"_s, (line(9) + u'\n').repeated(3) + line(3)},
        {u"<ul><li>"_s + words + u"</li></ul>"_s, u"- "_s + (line(9) + u"\n  "_s).repeated(3) + line(3)},
        {u"<p>Vegeu <a href=\""_s + url + u"\">aquesta p\u00e0gina</a> ara</p>"_s, u"Vegeu aquesta p\u00e0gina\n("_s + url + u")\nara"_s},
    };
    for (const auto &[html, text] : cases)
        EXPECT_EQ(textOfHtml(html), text) << html.toStdString();
}

TEST(TextOfHtml, TheExampleBodyIsReadable)
{
    QFile file(test::sourceDir() + QStringLiteral("/examples/cos.htm"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromLatin1(file.readAll()).replace(u"<<<Nom>>>"_s, u"Marta"_s).replace(u"<<<Cognoms>>>"_s, u"Soler Pons"_s)
                             .replace(u"<<<Ciutat>>>"_s, u"Tarragona"_s).replace(u"<<<Correu>>>"_s, u"marta.soler@example.net"_s);
    EXPECT_EQ(textOfHtml(html), u"Associaci\u00f3 Exemple\n\nBenvolgut/da Marta Soler Pons,\n\n"
                                u"Aquest \u00e9s el missatge d'exemple de Tramelo. Cada destinatari en rep un de\n"
                                u"propi, amb les seves dades posades al lloc de cada camp: vost\u00e8 consta a la\n"
                                u"nostra llista a la ciutat de Tarragona, amb l'adre\u00e7a marta.soler@example.net.\n\n"
                                u"Cordialment,\nAssociaci\u00f3 Exemple"_s);
}
