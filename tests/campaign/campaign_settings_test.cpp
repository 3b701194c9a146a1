#include "campaign_numbers.h"
#include "campaign_settings.h"
#include "campaign_validation.h"
#include "connection_security.h"
#include "test_support.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tramelo;

namespace {

// A campaign that passes every rule; each test then breaks one thing.
void fillValidCampaign(CampaignSettings &s)
{
    s.applyStartDefaults();
    s.setText(Setting::SenderAddress, QStringLiteral("jo@exemple.cat"));
    s.setText(Setting::SenderName, QStringLiteral("Jo"));
    s.setText(Setting::SmtpServer, QStringLiteral("smtp.exemple.cat"));
    s.setText(Setting::AddressField, QStringLiteral("Correu"));
    s.setText(Setting::MessageSubject, QStringLiteral("Hola"));
    s.setText(Setting::BodyText, QStringLiteral("<p>Hola</p>"));
}

QString failure(const CampaignSettings &s)
{
    return validateCampaign(s).value_or(QStringLiteral("<valid>"));
}

} // namespace

TEST(CampaignValidation, EachRuleReportsItsOwnMessage)
{
    struct Case {
        const char *name;
        void (*breakIt)(CampaignSettings &);
        QString message;
    };
    const Case cases[] = {
        {"sender address", [](CampaignSettings &s) { s.setText(Setting::SenderAddress, {}); },
         QStringLiteral("L'Adreça de correu és obligatòria")},
        {"sender name", [](CampaignSettings &s) { s.setText(Setting::SenderName, {}); },
         QStringLiteral("El nom per mostrar és obligatori")},
        {"smtp server", [](CampaignSettings &s) { s.setText(Setting::SmtpServer, {}); },
         QStringLiteral("El servidor de correu SMTP és obligatori")},
        {"login user",
         [](CampaignSettings &s) {
             s.setCheckValue(Check::NeedsLogin, 1);
             s.setText(Setting::LoginPassword, QStringLiteral("secret"));
         },
         QStringLiteral("L'usuari és obligatori quan cal autentificar-se en el servidor de correu")},
        {"login password",
         [](CampaignSettings &s) {
             s.setCheckValue(Check::NeedsLogin, 1);
             s.setText(Setting::LoginUser, QStringLiteral("jo"));
         },
         QStringLiteral("La contrasenya és obligatòria quan cal autentificar-se en el servidor de correu")},
        {"group size empty",
         [](CampaignSettings &s) {
             s.setCheckValue(Check::GroupSendings, 1);
             s.setText(Setting::GroupSize, QStringLiteral("  "));
         },
         QStringLiteral("Cal posar un número d'adreces a agrupar")},
        {"group size not a number",
         [](CampaignSettings &s) {
             s.setCheckValue(Check::GroupSendings, 1);
             s.setText(Setting::GroupSize, QStringLiteral("dos"));
         },
         QStringLiteral("El número d'adreces per grup ha de ser un número")},
        {"group size zero",
         [](CampaignSettings &s) {
             s.setCheckValue(Check::GroupSendings, 1);
             s.setText(Setting::GroupSize, QStringLiteral("0"));
         },
         QStringLiteral("El número d'adreces per grup ha de ser entre 1 i 100")},
        {"group size above what one message may carry",
         [](CampaignSettings &s) {
             s.setCheckValue(Check::GroupSendings, 1);
             s.setText(Setting::GroupSize, QStringLiteral("101"));
         },
         QStringLiteral("El número d'adreces per grup ha de ser entre 1 i 100")},
        {"address field", [](CampaignSettings &s) { s.setText(Setting::AddressField, QStringLiteral("   ")); },
         QStringLiteral("Cal definir correctament el camp a utilitzar per l'adreça")},
        {"subject", [](CampaignSettings &s) { s.setText(Setting::MessageSubject, {}); },
         QStringLiteral("L'assumpte és obligatori")},
        {"body", [](CampaignSettings &s) { s.setText(Setting::BodyText, {}); },
         QStringLiteral("Es obligatori enviar algun texte en el cos del missatge")},
        {"body file missing",
         [](CampaignSettings &s) {
             s.setText(Setting::BodyText, {});
             s.setText(Setting::BodySource, QStringLiteral("/no/existeix/cos.htm"));
         },
         QStringLiteral("No es troba l'arxiu del cos: /no/existeix/cos.htm")},
        {"wait seconds", [](CampaignSettings &s) { s.setText(Setting::WaitSeconds, {}); },
         QStringLiteral("Es obligatori posar un temps d'espera entre enviaments")},
        {"wait not a number", [](CampaignSettings &s) { s.setText(Setting::WaitSeconds, QStringLiteral("dos")); },
         QStringLiteral("El temps d'espera entre enviaments ha de ser un número de segons")},
        {"wait too long", [](CampaignSettings &s) { s.setText(Setting::WaitSeconds, QStringLiteral("86400.001")); },
         QStringLiteral("El temps d'espera entre enviaments no pot passar de 86400 segons (un dia)")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CampaignSettings s;
        fillValidCampaign(s);
        c.breakIt(s);
        EXPECT_EQ(failure(s), c.message);
    }
}

TEST(CampaignValidation, ValidCampaignAndBoundaryValuesPass)
{
    CampaignSettings s;
    fillValidCampaign(s);
    EXPECT_EQ(failure(s), QStringLiteral("<valid>"));

    // Login unchecked: empty user and password are fine; a value other than 1 is unchecked.
    s.setCheckValue(Check::NeedsLogin, 2);
    EXPECT_EQ(failure(s), QStringLiteral("<valid>"));
    s.setCheckValue(Check::NeedsLogin, -1);
    EXPECT_EQ(failure(s), QStringLiteral("<valid>"));

    // Grouping unchecked: an empty or absurd group size does not matter.
    s.setText(Setting::GroupSize, QString());
    s.setCheckValue(Check::GroupSendings, 2);
    EXPECT_EQ(failure(s), QStringLiteral("<valid>"));

    s.setCheckValue(Check::GroupSendings, 1);
    for (const char *size : {"1", "100", "0.5x" /* rounds to 0 */}) {
        s.setText(Setting::GroupSize, QString::fromLatin1(size));
        const bool expectValid = QByteArray(size) != "0.5x";
        EXPECT_EQ(validateCampaign(s).has_value(), !expectValid) << size;
    }
    s.setText(Setting::GroupSize, QStringLiteral("20"));
    s.setText(Setting::WaitSeconds, QStringLiteral("86400"));
    EXPECT_EQ(failure(s), QStringLiteral("<valid>"));
    // A relative body file is looked for in the project folder.
    s.setText(Setting::BodySource, QStringLiteral("campaign_settings_test.cpp"));
    s.setText(Setting::BodyText, QString());
    EXPECT_EQ(validateCampaign(s, test::sourceDir() + QStringLiteral("/tests/campaign")),
              QStringLiteral("Es obligatori enviar algun texte en el cos del missatge"));
    s.setText(Setting::BodyText, QStringLiteral("<p>Hola</p>"));
    s.setText(Setting::WaitSeconds, QStringLiteral("0"));
    EXPECT_EQ(failure(s), QStringLiteral("<valid>"));
}

TEST(CampaignValidation, OnlyTheFirstFailureIsReported)
{
    CampaignSettings s; // everything empty
    EXPECT_EQ(failure(s), QStringLiteral("L'Adreça de correu és obligatòria"));
    s.setText(Setting::SenderAddress, QStringLiteral("   "));
    EXPECT_EQ(failure(s), QStringLiteral("L'Adreça de correu és obligatòria"));
    s.setText(Setting::SenderAddress, QStringLiteral("a@b.com"));
    EXPECT_EQ(failure(s), QStringLiteral("El nom per mostrar és obligatori"));
}

TEST(CampaignNumbers, ReadsLikeTheBoxesAreRead)
{
    struct Case {
        const char *text;
        double value;
    };
    const Case cases[] = {
        {"abc", 0},      {"2.5", 2.5},  {" 1 2.5x", 12.5}, {"-3", -3},   {"", 0},
        {"\t4\n2", 42},  {"1.2.3", 1.2}, {".5", 0.5},      {"+7", 7},    {"1,5", 1},
        {"3e2", 300},    {"3e", 3},      {"-", 0},         {"- 2", -2},  {"x12", 0},
    };
    for (const Case &c : cases)
        EXPECT_DOUBLE_EQ(readNumber(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(CampaignNumbers, HalvesRoundToEven)
{
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(2.51), 3);

    CampaignSettings s;
    s.setText(Setting::WaitSeconds, QStringLiteral("2.5"));
    EXPECT_EQ(waitMillisecondsOf(s), 2500);
    s.setText(Setting::WaitSeconds, QStringLiteral("0.0005"));
    EXPECT_EQ(waitMillisecondsOf(s), 0);
    s.setText(Setting::WaitSeconds, QStringLiteral("0.0015"));
    EXPECT_EQ(waitMillisecondsOf(s), 2);

    EXPECT_EQ(groupSizeOf(s), 1); // grouping off
    s.setCheckValue(Check::GroupSendings, 1);
    s.setText(Setting::GroupSize, QStringLiteral("2.5"));
    EXPECT_EQ(groupSizeOf(s), 2);
    s.setText(Setting::GroupSize, QStringLiteral("3.5"));
    EXPECT_EQ(groupSizeOf(s), 4);
}

TEST(CampaignSettings, SignalsOnlyRealChanges)
{
    CampaignSettings s;
    QSignalSpy texts(&s, &CampaignSettings::textChanged);
    QSignalSpy checks(&s, &CampaignSettings::checkChanged);
    s.applyStartDefaults();
    EXPECT_EQ(texts.size(), 4);
    s.applyStartDefaults();
    EXPECT_EQ(texts.size(), 4);
    s.setCheckValue(Check::NeedsLogin, 1);
    s.setCheckValue(Check::NeedsLogin, 1);
    EXPECT_EQ(checks.size(), 1);
    EXPECT_EQ(s.text(Setting::GroupSize), QStringLiteral("20"));
    EXPECT_EQ(s.sourceKind(), SourceKind::Table);
    EXPECT_EQ(s.bodyKind(), BodyKind::File);
}

TEST(ConnectionSecurity, AutomaticFollowsThePortAndOnlyAPasswordLeavingInClearIsWarnedOf)
{
    struct Case {
        ConnectionSecurity choice;
        const char *server;
        SecurityMode mode;
        bool warned; // with a login
    };
    const Case cases[] = {
        {ConnectionSecurity::Automatic, "smtp.exemple.cat", SecurityMode::None, true},
        {ConnectionSecurity::Automatic, "smtp.exemple.cat:465", SecurityMode::ImplicitTls, false},
        {ConnectionSecurity::Automatic, "[2001:db8::1]:587", SecurityMode::StartTls, false},
        {ConnectionSecurity::None, "smtp.exemple.cat:465", SecurityMode::None, true},
        {ConnectionSecurity::StartTls, "smtp.exemple.cat:25", SecurityMode::StartTls, false},
        {ConnectionSecurity::SslTls, "smtp.exemple.cat:587", SecurityMode::ImplicitTls, false},
        {ConnectionSecurity::None, "127.8.9.10:2525", SecurityMode::None, false},
        {ConnectionSecurity::None, "[::1]:25", SecurityMode::None, false},
        {ConnectionSecurity::None, "LocalHost", SecurityMode::None, false},
        {ConnectionSecurity::None, "localhost.exemple.cat", SecurityMode::None, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.server);
        CampaignSettings s;
        s.setSecurity(c.choice);
        s.setText(Setting::SmtpServer, QString::fromUtf8(c.server));
        EXPECT_EQ(campaignSecurityMode(s), c.mode);
        EXPECT_FALSE(passwordTravelsUnencrypted(s));
        s.setCheckValue(Check::NeedsLogin, 1);
        EXPECT_EQ(passwordTravelsUnencrypted(s), c.warned);
        EXPECT_EQ(connectionSecurityOfWord(connectionSecurityWord(c.choice)), c.choice);
    }
    EXPECT_EQ(connectionSecurityItems(), QStringList({"Automàtica", "Cap", "STARTTLS", "SSL/TLS"}));
}
