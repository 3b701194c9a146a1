// Composed messages as Python's email package reads them after aiosmtpd:
// the text alternative's structures with and without files, in 8-bit and
// 7-bit form, the recipient's name, the unsubscribe headers, every header as
// RFC 5322 wants it; and what a local SpamAssassin finds in the example
// campaign's message before and after.
#include "gtest_qt_printers.h"
#include "mail_core_run.h"
#include "sent_message.h"

#include <QRegularExpression>

using namespace tramelo;
using namespace tramelo::test;
using namespace Qt::StringLiterals;

namespace {

struct SpamReport {
    double score = 0;
    QStringList rules;
};

// Debian's SpamAssassin with its shipped rules, local tests only (no DNS,
// no network), no Bayes and no state kept between runs.
SpamReport spamAssassin(const QByteArray &message)
{
    QTemporaryDir home;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, home.path());
    process.setProcessEnvironment(environment);
    process.start(u"spamassassin"_s, {u"-L"_s, u"-x"_s, u"-p"_s, writeFile(home, u"user_prefs"_s, {}), u"--cf=use_bayes 0"_s});
    process.write(message);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(120000)) << "spamassassin (Debian package spamassassin) did not finish";
    const QString output = QString::fromLatin1(process.readAllStandardOutput()).replace(QRegularExpression(u"\r?\n\t"_s), u" "_s);
    const QRegularExpressionMatch status = QRegularExpression(u"^X-Spam-Status: \\w+, score=(-?[\\d.]+) required=\\S+ tests=([A-Z0-9_, ]*)"_s,
                                                              QRegularExpression::MultilineOption).match(output);
    EXPECT_TRUE(status.hasMatch()) << output.left(3000).toStdString();
    return {status.captured(1).toDouble(), status.captured(2).remove(u' ').split(u',', Qt::SkipEmptyParts)};
}

} // namespace

TEST(MessageStructure, AsPythonReadsItAfterAServer)
{
    QTemporaryDir dir;
    const QString logo = writeFile(dir, u"logo.png"_s, patternBytes(3000, 1));
    const QString pdf = writeFile(dir, u"informe.pdf"_s, patternBytes(5000, 2));
    const QString url = u"https://exemple.cat/baixa?u="_s + QString(150, u'a');
    const QString html = u"<p><img src=\"pics/logo.png\" alt=\"Logo\"></p><p>Hola, \u0141ucja: <a href=\"https://exemple.cat\">el web</a></p>"_s;
    const struct Row {
        const char *name;
        bool html, alternative;
        QStringList files;
        QString structure;
        QString toName = {};
        ListUnsubscribe unsubscribe = {};
        QString listHeaders = u"||"_s; // List-Id, List-Unsubscribe and List-Unsubscribe-Post
    } rows[] = {
        {"HTML alone, as always", true, false, {logo, pdf},
         u"multipart/related(text/html,image/png;attachment;<logo.png>,application/pdf;attachment)"_s},
        {"a text alternative", true, true, {}, u"multipart/alternative(text/plain,text/html)"_s, u"N\u00faria Puig, \"la Gran\""_s},
        {"the image the HTML shows", true, true, {logo}, u"multipart/alternative(text/plain,multipart/related(text/html,image/png;inline;<logo.png>))"_s,
         {}, {u"https://exemple.cat/baixa?u=1"_s, u"baixes@exemple.cat"_s},
         u"<jo.exemple.cat>|<https://exemple.cat/baixa?u=1>, <mailto:baixes@exemple.cat>|List-Unsubscribe=One-Click"_s},
        {"an attachment", true, true, {pdf}, u"multipart/mixed(multipart/alternative(text/plain,text/html),application/pdf;attachment)"_s,
         {}, {{}, u"baixes@exemple.cat"_s}, u"<jo.exemple.cat>|<mailto:baixes@exemple.cat>|"_s},
        {"both", true, true, {logo, pdf},
         u"multipart/mixed(multipart/alternative(text/plain,multipart/related(text/html,image/png;inline;<logo.png>)),application/pdf;attachment)"_s,
         u"\u0141ucja Nowak-Wi\u015bniewska del Camp de Tarragona i de les Terres de l'Ebre"_s, {url, u"baixes@exemple.cat"_s},
         u"<jo.exemple.cat>|<"_s + url + u">, <mailto:baixes@exemple.cat>|List-Unsubscribe=One-Click"_s},
        {"a text body has no alternative", false, true, {pdf}, u"multipart/mixed(text/plain,application/pdf;attachment)"_s},
    };
    MessageSettings settings;
    settings.sender = u"jo@exemple.cat"_s;
    settings.senderName = u"Associaci\u00f3 Exemple"_s;
    settings.replyTo = settings.sender;
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    for (const Row &row : rows) {
        settings.html = row.html;
        settings.textAlternative = row.alternative;
        const auto message = composed(settings, {{u"tu@exemple.cat"_s}, {row.toName}, {}, {}, u"Av\u00eds"_s, html, row.unsubscribe}, row.files);
        for (const GreetingPolicy greeting : {GreetingPolicy::Extended, GreetingPolicy::AsNeeded}) {
            SCOPED_TRACE(std::string(row.name) + (greeting == GreetingPolicy::AsNeeded ? ", 7-bit" : ", 8-bit"));
            const QByteArray saved = deliveredBy(server, {message}, greeting).value(0);
            const QJsonObject m = inspectMime(saved).message;
            EXPECT_EQ(m[u"structure"_s].toString(), row.structure);
            EXPECT_EQ(m[u"defects"_s].toArray().size() + m[u"header_defects"_s].toObject().size(), 0) << saved.left(3000).toStdString();
            for (const QJsonValue part : m[u"parts"_s].toArray()) {
                EXPECT_TRUE(part[u"defects"_s].toArray().isEmpty()) << part[u"content_type"_s].toString().toStdString();
                if (part[u"content_type"_s] == u"text/plain"_s && row.html) {
                    EXPECT_EQ(part[u"text"_s].toString(), u"Logo\r\n\r\nHola, \u0141ucja: el web (https://exemple.cat)\r\n"_s);
                }
            }
            EXPECT_TRUE(m[u"repeated_headers"_s].toArray().isEmpty());
            EXPECT_EQ(m[u"addresses"_s][u"from"_s].toArray().size(), 1);
            // Python keeps the folding between two encoded words of a name as a
            // blank, where RFC 2047 drops it: blanks are compared collapsed.
            EXPECT_EQ(m[u"addresses"_s][u"to"_s][0][u"display_name"_s].toString().simplified(),
                      row.toName.isEmpty() ? u"tu@exemple.cat"_s : row.toName);
            const QJsonValue headers = m[u"headers"_s];
            EXPECT_EQ(headers[u"list-id"_s][0].toString() + u'|' + headers[u"list-unsubscribe"_s][0].toString() + u'|'
                          + headers[u"list-unsubscribe-post"_s][0].toString(), row.listHeaders);
        }
    }
}

// Today's structure (HTML alone) against the text alternative with the
// recipient's name and the unsubscribe headers: no rule about the message's
// structure or headers may remain; the scores are printed for the record.
TEST(MessageStructure, SpamAssassinFindsNoStructureOrHeaderRule)
{
    QFile file(sourceDir() + u"/examples/cos.htm"_s);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString body = QString::fromLatin1(file.readAll()).replace(u"<<<Nom>>>"_s, u"Marta"_s).replace(u"<<<Cognoms>>>"_s, u"Soler Pons"_s)
                             .replace(u"<<<Ciutat>>>"_s, u"Tarragona"_s).replace(u"<<<Correu>>>"_s, u"marta.soler@example.net"_s);
    MessageSettings settings;
    settings.sender = u"remitent@example.com"_s;
    settings.senderName = u"Associaci\u00f3 Exemple"_s;
    settings.html = true;
    MessageParts parts{{u"marta.soler@example.net"_s}, {}, {}, {}, u"Not\u00edcies per a Marta de Tarragona"_s, body};
    const QStringList logo = {sourceDir() + u"/examples/logo.png"_s};
    const auto before = composed(settings, parts, logo);
    settings.textAlternative = true;
    parts.toNames = {u"Marta Soler Pons"_s};
    parts.unsubscribe = {u"https://example.com/baixa?e=marta.soler%40example.net"_s, u"baixes@example.com"_s};
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    const QList<QByteArray> saved = deliveredBy(server, {before, composed(settings, parts, logo)});
    ASSERT_EQ(saved.size(), 2);
    const SpamReport scores[] = {spamAssassin(saved[0]), spamAssassin(saved[1])};
    std::cout << "SpamAssassin, HTML alone: " << scores[0].score << " (" << scores[0].rules.join(u' ').toStdString()
              << "); with the text alternative: " << scores[1].score << " (" << scores[1].rules.join(u' ').toStdString() << ")\n";
    EXPECT_TRUE(scores[0].rules.contains(u"MIME_HTML_ONLY"_s)) << "the rule this is about must be seen before";
    // Rules on the text, not on the message's form (the example is a short
    // body with an image), and the two that say only that no server has
    // passed the message on yet.
    const QStringList contentRules = {u"HTML_MESSAGE"_s, u"HTML_IMAGE_ONLY_08"_s, u"NO_RECEIVED"_s, u"NO_RELAYS"_s};
    for (const QString &rule : scores[1].rules)
        EXPECT_TRUE(contentRules.contains(rule)) << rule.toStdString();
}
