// Unsubscribe links: values merged into a URL template cannot change it, the
// headers carry only what may stand in them, and a link too long for a
// header line stops its message before any connection.
#include "list_unsubscribe.h"
#include "message_composer.h"
#include "smtp_client.h"

#include "gtest_qt_printers.h"
#include "test_support.h"

#include <QMap>

#include <gtest/gtest.h>

using namespace tramelo;
using namespace Qt::StringLiterals;

TEST(ListUnsubscribe, ValuesAreEncodedIntoTheTemplate)
{
    const QMap<QString, QString> record = {{u"Correu"_s, u"a+b@x.cat"_s}, {u"Nom"_s, u"N\u00faria Puig"_s},
                                           {u"Truc"_s, u"<<<Nom>>>"_s}, {u"Ruta"_s, u"a/b?c#d&e=f ~-._"_s}};
    const auto valueOf = [&](QStringView name) { return record.contains(name.toString()) ? std::optional(record.value(name.toString())) : std::nullopt; };
    const std::pair<QString, QString> cases[] = {
        {u"https://x.cat/baixa?e=<<<Correu>>>&n=<<<Nom>>>"_s, u"https://x.cat/baixa?e=a%2Bb%40x.cat&n=N%C3%BAria%20Puig"_s},
        {u"https://x.cat/<<<Ruta>>>/<<<Desconegut>>>"_s, u"https://x.cat/a%2Fb%3Fc%23d%26e%3Df%20~-._/<<<Desconegut>>>"_s},
        {u"https://x.cat/?t=<<<Truc>>>&n=<<<<<<Nom>>>"_s, u"https://x.cat/?t=%3C%3C%3CNom%3E%3E%3E&n=<<<N%C3%BAria%20Puig"_s},
    };
    for (const auto &[urlTemplate, merged] : cases)
        EXPECT_EQ(mergeUrlTemplate(urlTemplate, u"<<<", u">>>", valueOf), merged);
}

TEST(ListUnsubscribe, HeaderRows)
{
    const QString post = u"List-Unsubscribe-Post: List-Unsubscribe=One-Click"_s;
    const std::pair<ListUnsubscribe, QStringList> cases[] = {
        {{u"https://x.cat/b?u=1"_s, {}}, {u"List-Unsubscribe: <https://x.cat/b?u=1>"_s, post}},
        {{{}, u" baixes@x.cat "_s}, {u"List-Unsubscribe: <mailto:baixes@x.cat>"_s}},
        {{u"http://x.cat/b"_s, u"MAILTO:b@x.cat?subject=baixa"_s}, {u"List-Unsubscribe: <http://x.cat/b>, <MAILTO:b@x.cat?subject=baixa>"_s}},
        {{u"HTTPS://x.cat/a b,c<d>\"\u00e9"_s, {}}, {u"List-Unsubscribe: <HTTPS://x.cat/a%20b%2Cc%3Cd%3E%22%C3%A9>"_s, post}},
        {{u"https:///cami"_s, {}}, {u"List-Unsubscribe: <https:///cami>"_s}},
    };
    for (const auto &[unsubscribe, rows] : cases)
        EXPECT_EQ(listUnsubscribeRows(unsubscribe), rows) << unsubscribe.url.toStdString();
}

TEST(ListUnsubscribe, ALinkTooLongForAHeaderLineStopsItsMessage)
{
    MessageSettings settings;
    settings.sender = u"jo@exemple.cat"_s;
    const MessageComposer composer(settings, {});
    MessageParts parts{{u"tu@exemple.cat"_s}, {}, {}, {}, u"s"_s, u"b"_s};
    parts.unsubscribe.url = u"https://x.cat/"_s + QString(956, u'a'); // "List-Unsubscribe: <...>": 990 characters
    EXPECT_EQ(composer.compose(parts, {})->failure(), QString());
    parts.unsubscribe.url += QString(9, u'a');
    SmtpSessionConfig config;
    config.host = u"127.0.0.1"_s;
    config.port = test::freeTcpPort(); // never reached
    const std::vector<Delivery> outcome = SmtpClient(config).send({1, {settings.sender, parts.to}, composer.compose(parts, {})});
    ASSERT_EQ(outcome.size(), 1u);
    EXPECT_EQ(outcome[0].outcome.stage, SendStage::Validation);
    // With a line end, as every text of the component's.
    EXPECT_EQ(outcome[0].outcome.reply, u"The unsubscribe link is too long for a header line\r\n"_s);
}
