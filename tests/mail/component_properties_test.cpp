#include "clsEnviarCorreu.h"

#include "fake_host_services.h"
#include "gtest_qt_printers.h"
#include "private_settings.h"
#include "scripted_server.h"
#include "settings_store.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

#include <unistd.h>

#include <gtest/gtest.h>

namespace tramelo {

// Reads the component's private state for these tests.
struct ComponentSurfaceProbe {
    static qint64 totalBytes(const clsEnviarCorreu &c) { return c.m_attachmentTotalBytes; }
    static qint64 totalNameLength(const clsEnviarCorreu &c) { return c.m_attachmentTotalNameLength; }
    static QStringList names(const clsEnviarCorreu &c) { return c.m_attachmentNames; }
    static QList<bool> embedded(const clsEnviarCorreu &c) { return c.m_attachmentEmbedded; }
    static QStringList dayNames(const clsEnviarCorreu &c) { return c.m_dayNames; }
    static QStringList monthNames(const clsEnviarCorreu &c) { return c.m_monthNames; }
    static bool abortFlag(const clsEnviarCorreu &c) { return c.m_flags.abort; }
    static QStringList pendingErrors(const clsEnviarCorreu &c) { return c.m_pendingErrors.entries(); }
    static bool eightBit(const clsEnviarCorreu &c) { return c.m_eightBit; }
    static QString priorityWord(const clsEnviarCorreu &c) { return c.m_priorityWord; }
    static QString timeZoneOffsetText(const clsEnviarCorreu &c) { return c.m_timeZoneOffset; }
    static void addError(clsEnviarCorreu &c, const QString &text) { c.AddError(text); }
    static void removeError(clsEnviarCorreu &c, const QString &text) { c.RemoveError(text); }
    static void reportFailure(clsEnviarCorreu &c) { c.ReportFailure(); }
};

} // namespace tramelo

using namespace tramelo;
using tramelo::test::FakeHostServices;
using tramelo::test::ipv4;
using Probe = tramelo::ComponentSurfaceProbe;

namespace {

const QString invalidRecipient = QStringLiteral("Missing or Invalid Recipient E-mail Address");
const QString invalidCc = QStringLiteral("Invalid Cc: Recipient E-mail Address");
const QString invalidBcc = QStringLiteral("Invalid Bcc: Recipient E-mail Address");
const QString invalidSender = QStringLiteral("Missing or Invalid Sender E-mail Address");
const QString invalidSmtpHost = QStringLiteral("Invalid or Missing SMTP Host Name");
const QString invalidPop3Host = QStringLiteral("Invalid or Missing POP3 Host Name");
const QString invalidPort = QStringLiteral("Invalid Remote Port");
const QString missingAttachment = QStringLiteral("The file you tried to attach does not exist");

class Component : public ::testing::Test
{
protected:
    void SetUp() override
    {
        test::privateConfigHome();
        test::clearMailStore();
        services = std::make_shared<FakeHostServices>();
        services->names.insert(QStringLiteral("mail.example.com"), ipv4(10, 0, 0, 5));
        services->names.insert(QStringLiteral("fakehost"), ipv4(10, 0, 0, 1));
    }
    void TearDown() override { test::clearMailStore(); }

    std::unique_ptr<clsEnviarCorreu> make(std::optional<int> bias = -60)
    {
        MailPlatform platform;
        platform.hostServices = services;
        platform.timeZoneBiasMinutes = bias;
        return std::make_unique<clsEnviarCorreu>(platform);
    }

    // Every key of the store's group, with its value.
    static QMap<QString, QString> storedKeys()
    {
        const auto store = test::openMailStore();
        store->beginGroup(QStringLiteral("Settings"));
        QMap<QString, QString> keys;
        for (const QString &key : store->childKeys())
            keys.insert(key, store->value(key).toString());
        return keys;
    }

    std::shared_ptr<FakeHostServices> services;
};

} // namespace

// ---- creation ----------------------------------------------------------------

TEST_F(Component, DefaultsWithTheSwitchOff)
{
    const auto mail = make();
    EXPECT_FALSE(mail->AsHTML());
    EXPECT_EQ(mail->Attachment(), QString());
    EXPECT_EQ(mail->BccRecipient(), QString());
    EXPECT_EQ(mail->CcDisplayName(), QString());
    EXPECT_EQ(mail->CcRecipient(), QString());
    EXPECT_EQ(mail->ConnectRetry(), 4);
    EXPECT_EQ(mail->ConnectTimeout(), 30);
    EXPECT_EQ(mail->ContentBase(), QString());
    EXPECT_EQ(mail->Delimiter(), QStringLiteral(";"));
    EXPECT_EQ(mail->EmailAddressValidation(), 1);
    EXPECT_EQ(mail->EncodeType(), 0);
    EXPECT_EQ(mail->from(), QString());
    EXPECT_EQ(mail->FromDisplayName(), QString());
    EXPECT_EQ(mail->Message(), QString());
    EXPECT_EQ(mail->MessageTimeout(), 60);
    EXPECT_EQ(mail->Password(), QString());
    EXPECT_FALSE(mail->PersistentSettings());
    EXPECT_EQ(mail->Priority(), 3);
    EXPECT_EQ(Probe::priorityWord(*mail), QString());
    EXPECT_FALSE(mail->Receipt());
    EXPECT_EQ(mail->Recipient(), QString());
    EXPECT_EQ(mail->RecipientDisplayName(), QString());
    EXPECT_EQ(mail->ReplyToAddress(), QString());
    EXPECT_EQ(mail->POP3Host(), QString());
    EXPECT_EQ(mail->SMTPHost(), QString());
    EXPECT_EQ(mail->SMTPHostValidation(), 3);
    EXPECT_EQ(mail->SMTPPort(), 25);
    EXPECT_EQ(mail->Subject(), QString());
    EXPECT_FALSE(mail->UseAuthentication());
    EXPECT_FALSE(mail->UsePopAuthentication());
    EXPECT_EQ(mail->UserName(), QString());
    EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());
    EXPECT_FALSE(Probe::eightBit(*mail));
    EXPECT_EQ(mail->socketState(), 0);
    EXPECT_TRUE(storedKeys().isEmpty()) << "creation writes nothing";
}

TEST_F(Component, TimeZoneOffsetText)
{
    const struct {
        int bias;
        const char *expected;
    } cases[] = {{-60, "+0100"}, {300, "-0500"}, {-330, "+0530"}, {0, "+0000"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bias);
        EXPECT_EQ(Probe::timeZoneOffsetText(*make(c.bias)), QLatin1String(c.expected));
    }
}

TEST_F(Component, TimeZoneOffsetTextFromTheCLibraryWhenNotGiven)
{
    const QByteArray saved = qgetenv("TZ");
    const bool hadTz = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", "XST-5:30");
    EXPECT_EQ(Probe::timeZoneOffsetText(*make(std::nullopt)), QStringLiteral("+0530"));
    if (hadTz)
        qputenv("TZ", saved);
    else
        qunsetenv("TZ");
}

TEST_F(Component, DayAndMonthNamesAreIndexedFromOne)
{
    const auto mail = make();
    const QStringList days = Probe::dayNames(*mail);
    const QStringList months = Probe::monthNames(*mail);
    ASSERT_EQ(days.size(), 8);
    ASSERT_EQ(months.size(), 13);
    EXPECT_EQ(days[0], QString());
    EXPECT_EQ(days[1], QStringLiteral("Sun"));
    EXPECT_EQ(days[7], QStringLiteral("Sat"));
    EXPECT_EQ(months[0], QString());
    EXPECT_EQ(months[1], QStringLiteral("Jan"));
    EXPECT_EQ(months[12], QStringLiteral("Dec"));
}

// ---- lists -------------------------------------------------------------------

TEST_F(Component, ListsAreSplitCleanedAndReadBackJoined)
{
    const auto mail = make();
    mail->setRecipient(QStringLiteral("anna@example.com; bob@example.com"));
    EXPECT_EQ(mail->Recipient(), QStringLiteral("anna@example.com;bob@example.com"));
    mail->setRecipientDisplayName(QStringLiteral(" Anna\t Puig ;\r\nBob\r\n"));
    EXPECT_EQ(mail->RecipientDisplayName(), QStringLiteral("Anna Puig;Bob"));
    mail->setCcRecipient(QStringLiteral("c@example.com ;  d@example.com"));
    EXPECT_EQ(mail->CcRecipient(), QStringLiteral("c@example.com;d@example.com"));
    mail->setCcDisplayName(QStringLiteral("C ; D"));
    EXPECT_EQ(mail->CcDisplayName(), QStringLiteral("C;D"));
    mail->setBccRecipient(QStringLiteral("e@example.com;f@example.com;"));
    EXPECT_EQ(mail->BccRecipient(), QStringLiteral("e@example.com;f@example.com;"));
    // A trailing delimiter makes an empty, invalid element.
    EXPECT_EQ(Probe::pendingErrors(*mail), QStringList{invalidBcc});
    mail->setRecipient(QString());
    EXPECT_EQ(mail->Recipient(), QString());
}

TEST_F(Component, DelimiterKeepsItsFirstCharacterAndListsAreNotSplitAgain)
{
    const auto mail = make();
    mail->setRecipient(QStringLiteral("a@example.com;b@example.com"));
    mail->setDelimiter(QStringLiteral(",;"));
    EXPECT_EQ(mail->Delimiter(), QStringLiteral(","));
    EXPECT_EQ(mail->Recipient(), QStringLiteral("a@example.com,b@example.com"));
    mail->setRecipient(QStringLiteral("c@example.com, d@example.com"));
    EXPECT_EQ(mail->Recipient(), QStringLiteral("c@example.com,d@example.com"));
    mail->setDelimiter(QString());
    EXPECT_EQ(mail->Delimiter(), QString());
    EXPECT_EQ(mail->Recipient(), QStringLiteral("c@example.comd@example.com"));
    mail->setRecipient(QStringLiteral("e@example.com;f@example.com"));
    EXPECT_EQ(mail->Recipient(), QStringLiteral("e@example.com;f@example.com")); // one element
    EXPECT_EQ(Probe::pendingErrors(*mail), QStringList{invalidRecipient});
}

TEST_F(Component, ALetterDelimiterSplitsWithoutRegardToCase)
{
    const auto mail = make();
    mail->setDelimiter(QStringLiteral("Q"));
    mail->setRecipient(QStringLiteral("p@mail.orgqr@mail.netQs@mail.com"));
    EXPECT_EQ(mail->Recipient(), QStringLiteral("p@mail.orgQr@mail.netQs@mail.com"));
    EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());
}

TEST_F(Component, AddressListChecks)
{
    const struct {
        const char *name;
        void (clsEnviarCorreu::*set)(const QString &);
        QString message;
    } properties[] = {
        {"Recipient", &clsEnviarCorreu::setRecipient, invalidRecipient},
        {"CcRecipient", &clsEnviarCorreu::setCcRecipient, invalidCc},
        {"BccRecipient", &clsEnviarCorreu::setBccRecipient, invalidBcc},
        {"from", &clsEnviarCorreu::setFrom, invalidSender},
    };
    const struct {
        const char16_t *value;
        bool valid;
    } values[] = {
        {u"", true},
        {u"anna@example.com", true},
        {u"anna@example.com; bob@example.org", true},
        {u"anna@example.com;bob", false},           // the second element fails
        {u"anna@example", false},
        {u"anna@example.com;", false},              // an empty element has no "@"
        {u"anna\r\n@example.com", false},           // checked as given, before cleaning
        {u"anna@example.com\r\nRCPT TO:<x@example.com>", false},
        {u"<anna@example.com>", false},
        {u"anna\t@example.com", false},
    };
    for (const auto &property : properties) {
        for (const auto &value : values) {
            SCOPED_TRACE(std::string(property.name) + ": " + QString::fromUtf16(value.value).toStdString());
            const auto mail = make();
            (mail.get()->*property.set)(QString::fromUtf16(value.value));
            EXPECT_EQ(Probe::pendingErrors(*mail), value.valid ? QStringList() : QStringList{property.message});
        }
    }
}

TEST_F(Component, AValidAssignmentRemovesTheMessageAgain)
{
    const auto mail = make();
    mail->setRecipient(QStringLiteral("nobody"));
    mail->setCcRecipient(QStringLiteral("nobody"));
    EXPECT_EQ(Probe::pendingErrors(*mail), (QStringList{invalidRecipient, invalidCc}));
    mail->setRecipient(QStringLiteral("anna@example.com"));
    EXPECT_EQ(Probe::pendingErrors(*mail), QStringList{invalidCc});
    mail->setRecipient(QStringLiteral("nobody"));
    mail->setRecipient(QStringLiteral("nobody"));
    EXPECT_EQ(Probe::pendingErrors(*mail), (QStringList{invalidCc, invalidRecipient}));
}

TEST_F(Component, WithoutAddressValidationNothingIsRecorded)
{
    const auto mail = make();
    mail->setEmailAddressValidation(0);
    mail->setRecipient(QStringLiteral("not an address"));
    mail->setCcRecipient(QStringLiteral("x"));
    mail->setBccRecipient(QStringLiteral("@@"));
    mail->setFrom(QStringLiteral("me"));
    EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());
    EXPECT_EQ(mail->Recipient(), QStringLiteral("not an address"));
    mail->setEmailAddressValidation(2);
    mail->setRecipient(QStringLiteral("still not"));
    EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());
}

TEST_F(Component, IsValidEmailAddress)
{
    const auto mail = make();
    EXPECT_TRUE(mail->IsValidEmailAddress(QStringLiteral("anna@example.com")));
    EXPECT_FALSE(mail->IsValidEmailAddress(QStringLiteral("@example.com")));
    EXPECT_FALSE(mail->IsValidEmailAddress(QStringLiteral("anna@bob@example.com")));
    EXPECT_FALSE(mail->IsValidEmailAddress(QStringLiteral("anna\n@example.com")));
    EXPECT_FALSE(mail->IsValidEmailAddress(QStringLiteral("anna>@example.com")));
}

// ---- single properties -------------------------------------------------------

TEST_F(Component, FromAndTextPropertiesAreTrimmed)
{
    const auto mail = make();
    mail->setFrom(QStringLiteral("  anna@example.com "));
    EXPECT_EQ(mail->from(), QStringLiteral("anna@example.com"));
    EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());
    mail->setFromDisplayName(QStringLiteral("  Anna Puig  "));
    EXPECT_EQ(mail->FromDisplayName(), QStringLiteral("Anna Puig"));
    mail->setReplyToAddress(QStringLiteral(" reply@example.com  "));
    EXPECT_EQ(mail->ReplyToAddress(), QStringLiteral("reply@example.com"));
    mail->setSubject(QStringLiteral("  Hola  "));
    EXPECT_EQ(mail->Subject(), QStringLiteral("  Hola  "));
    mail->setUserName(QStringLiteral(" user "));
    EXPECT_EQ(mail->UserName(), QStringLiteral(" user "));
    mail->setPassword(QStringLiteral(" secret "));
    EXPECT_EQ(mail->Password(), QStringLiteral(" secret "));
}

TEST_F(Component, ContentBase)
{
    const auto mail = make();
    mail->setContentBase(QStringLiteral("www.example.com\\images"));
    EXPECT_EQ(mail->ContentBase(), QStringLiteral("http://www.example.com/images/"));
    mail->setContentBase(QStringLiteral("HTTP://www.example.com/images"));
    EXPECT_EQ(mail->ContentBase(), QStringLiteral("HTTP://www.example.com/images/"));
    mail->setContentBase(QString());
    EXPECT_EQ(mail->ContentBase(), QString());
}

TEST_F(Component, SMTPPort)
{
    const auto mail = make();
    mail->setSMTPPort(0);
    EXPECT_EQ(mail->SMTPPort(), 25);
    EXPECT_EQ(Probe::pendingErrors(*mail), QStringList{invalidPort});
    mail->setSMTPPort(65536);
    EXPECT_EQ(mail->SMTPPort(), 25);
    EXPECT_EQ(Probe::pendingErrors(*mail), QStringList{invalidPort});
    mail->setSMTPPort(-25);
    EXPECT_EQ(mail->SMTPPort(), 25);
    mail->setSMTPPort(65535);
    EXPECT_EQ(mail->SMTPPort(), 65535);
    EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());
    mail->setSMTPPort(1);
    EXPECT_EQ(mail->SMTPPort(), 1);
}

TEST_F(Component, ConnectTimeoutAndRetryAreTakenInRangeOnlyWithoutAMessage)
{
    const auto mail = make();
    const struct {
        long value;
        long timeoutAfter;
    } timeouts[] = {{121, 30}, {0, 30}, {-5, 30}, {1, 1}, {120, 120}, {121, 120}};
    for (const auto &c : timeouts) {
        mail->setConnectTimeout(c.value);
        EXPECT_EQ(mail->ConnectTimeout(), c.timeoutAfter) << c.value;
    }
    const struct {
        long value;
        long retryAfter;
    } retries[] = {{21, 4}, {0, 4}, {1, 1}, {20, 20}, {50, 20}};
    for (const auto &c : retries) {
        mail->setConnectRetry(c.value);
        EXPECT_EQ(mail->ConnectRetry(), c.retryAfter) << c.value;
    }
    EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());
}

TEST_F(Component, MessageTimeoutStoresTheAbsoluteValue)
{
    const auto mail = make();
    mail->setMessageTimeout(-90);
    EXPECT_EQ(mail->MessageTimeout(), 90);
    mail->setMessageTimeout(0);
    EXPECT_EQ(mail->MessageTimeout(), 0);
    mail->setMessageTimeout(45);
    EXPECT_EQ(mail->MessageTimeout(), 45);
    // A 32-bit number of seconds: larger magnitudes are clamped.
    mail->setMessageTimeout(-10000000000L);
    EXPECT_EQ(mail->MessageTimeout(), 2147483647L);
}

TEST_F(Component, PriorityWord)
{
    const auto mail = make();
    const struct {
        long value;
        const char *word;
    } cases[] = {{2, ""}, {1, "High"}, {2, "High"}, {5, "Low"}, {3, "Normal"}, {0, "Normal"}, {4, "Normal"}};
    for (const auto &c : cases) {
        mail->setPriority(c.value);
        EXPECT_EQ(mail->Priority(), c.value);
        EXPECT_EQ(Probe::priorityWord(*mail), QLatin1String(c.word)) << c.value;
    }
}

TEST_F(Component, StoredUnchanged)
{
    const auto mail = make();
    mail->setAsHTML(true);
    mail->setReceipt(true);
    mail->setEncodeType(7);
    mail->setEmailAddressValidation(-3);
    mail->setUseAuthentication(true);
    mail->setUsePopAuthentication(true);
    EXPECT_TRUE(mail->AsHTML());
    EXPECT_TRUE(mail->Receipt());
    EXPECT_EQ(mail->EncodeType(), 7);
    EXPECT_EQ(mail->EmailAddressValidation(), -3);
    EXPECT_TRUE(mail->UseAuthentication());
    EXPECT_TRUE(mail->UsePopAuthentication());
    mail->Shutdown();
}

TEST_F(Component, MessageIsPreparedAndTheEightBitFlagFollowsIt)
{
    const auto mail = make();
    mail->setMessage(QStringLiteral("Hola\n.\nAdreça"));
    EXPECT_EQ(mail->Message(), QStringLiteral("Hola\r\n.\r\nAdreça"));
    EXPECT_TRUE(Probe::eightBit(*mail));
    mail->setMessage(QString(2000, u'x'));
    EXPECT_EQ(mail->Message(), QString(998, u'x') + QStringLiteral("\r\n") + QString(998, u'x')
                                   + QStringLiteral("\r\n") + QString(4, u'x'));
    EXPECT_FALSE(Probe::eightBit(*mail));
    mail->setMessage(QString());
    EXPECT_EQ(mail->Message(), QString());
}

// ---- attachments -------------------------------------------------------------

class Attachments : public Component
{
protected:
    void SetUp() override
    {
        Component::SetUp();
        ASSERT_TRUE(folder.isValid());
        write(QStringLiteral("one.txt"), 10);
        write(QStringLiteral("second.pdf"), 1234);
        write(QStringLiteral("win\\name.doc"), 7); // a backslash is a plain character here
        ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("sub")));
    }
    void write(const QString &name, int size)
    {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, 'a'));
    }
    QString path(const QString &name) const { return folder.filePath(name); }

    QTemporaryDir folder;
};

TEST_F(Attachments, ExistingFilesGiveNamesAndTotals)
{
    const auto mail = make();
    const QString list = path(QStringLiteral("one.txt")) + u';' + path(QStringLiteral("second.pdf")) + u';'
        + path(QStringLiteral("win\\name.doc"));
    mail->setAttachment(list);
    EXPECT_EQ(mail->Attachment(), list);
    EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());
    EXPECT_EQ(Probe::names(*mail), (QStringList{QStringLiteral("one.txt"), QStringLiteral("second.pdf"),
                                               QStringLiteral("name.doc")}));
    EXPECT_EQ(Probe::embedded(*mail), (QList<bool>{false, false, false}));
    EXPECT_EQ(Probe::totalBytes(*mail), 10 + 1234 + 7);
    EXPECT_EQ(Probe::totalNameLength(*mail), 7 + 10 + 8);
}

TEST_F(Attachments, AMissingFileIsRecordedAndTheRestIsNotExamined)
{
    const auto mail = make();
    const QString list = path(QStringLiteral("one.txt")) + u';' + path(QStringLiteral("absent.txt")) + u';'
        + path(QStringLiteral("second.pdf"));
    mail->setAttachment(list);
    EXPECT_EQ(Probe::pendingErrors(*mail), QStringList{missingAttachment});
    EXPECT_EQ(mail->Attachment(), list);
    EXPECT_EQ(Probe::names(*mail), (QStringList{QStringLiteral("one.txt"), QString(), QString()}));
    EXPECT_EQ(Probe::totalBytes(*mail), 10);
    EXPECT_EQ(Probe::totalNameLength(*mail), 7);

    mail->setAttachment(path(QStringLiteral("second.pdf")));
    EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());
    EXPECT_EQ(Probe::totalBytes(*mail), 1234);
    EXPECT_EQ(Probe::names(*mail), QStringList{QStringLiteral("second.pdf")});
}

TEST_F(Attachments, AFolderAnEmptyElementAndBlanksAreNotFiles)
{
    for (const QString &list : {path(QStringLiteral("sub")), path(QStringLiteral("one.txt")) + u';',
                                u' ' + path(QStringLiteral("one.txt"))}) {
        SCOPED_TRACE(list.toStdString());
        const auto mail = make();
        mail->setAttachment(list);
        EXPECT_EQ(Probe::pendingErrors(*mail), QStringList{missingAttachment});
    }
}

TEST_F(Attachments, AnEmptyListClearsEverything)
{
    const auto mail = make();
    mail->setAttachment(path(QStringLiteral("absent")));
    mail->setAttachment(QString());
    EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());
    EXPECT_EQ(mail->Attachment(), QString());
    EXPECT_EQ(Probe::totalBytes(*mail), 0);
    EXPECT_TRUE(Probe::names(*mail).isEmpty());
}

// ---- host checks ---------------------------------------------------------------

TEST_F(Component, HostCheckModes)
{
    services->names.insert(QStringLiteral("previous.example.com"), ipv4(10, 0, 0, 9));
    // "|" stands for a NUL character.
    const struct {
        long mode;
        const char *value;
        bool valid;
        const char *stored;
    } cases[] = {
        {0, "anything at all", true, "anything at all"},
        {7, "anything", true, "anything"},
        {0, "mail|.example.com|", true, "mail.example.com"}, // NULs removed
        {1, "mail.example.com", true, "mail.example.com"},
        {1, " mail.example.com ", true, " mail.example.com "}, // not rewritten
        {1, "localhost", false, nullptr},
        {1, "192.168.1.1", true, "192.168.1.1"},
        {1, "ma|il.example.com", true, "mail.example.com"},
        {3, "mail.example.com", true, "mail.example.com"},
        {3, "  mail.example.com  ", true, "mail.example.com"}, // trimmed by GetIPAddress
        {3, "nowhere.example.com", false, nullptr},
        {3, "   ", false, nullptr},
        {2, "mail.example.com", true, "10.0.0.5"},             // the reply's address
        {2, " 10.0.0.7", true, "10.0.0.7"},
        {2, "nowhere.example.com", false, nullptr},
        {1, "", true, ""},
        {2, "", true, ""},
        {3, "", true, ""},
        // Mended: a value that leaves nothing to name a host is refused.
        {0, "|", false, nullptr},
        {1, "||", false, nullptr},
        {0, "  ", false, nullptr},
    };
    for (const auto &c : cases) {
        QString value = QLatin1String(c.value);
        value.replace(u'|', QChar(u'\0'));
        for (bool smtp : {true, false}) {
            SCOPED_TRACE(std::to_string(c.mode) + " \"" + c.value + (smtp ? "\" SMTPHost" : "\" POP3Host"));
            const auto mail = make();
            mail->setSMTPHostValidation(c.mode);
            const auto set = [&](const QString &v) { smtp ? mail->setSMTPHost(v) : mail->setPOP3Host(v); };
            const auto get = [&] { return smtp ? mail->SMTPHost() : mail->POP3Host(); };
            set(QStringLiteral("previous.example.com"));
            const QString before = get();
            ASSERT_FALSE(before.isEmpty());
            ASSERT_TRUE(Probe::pendingErrors(*mail).isEmpty());
            set(value);
            if (c.valid) {
                EXPECT_EQ(get(), QLatin1String(c.stored));
                EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());
            } else {
                EXPECT_EQ(get(), before);
                EXPECT_EQ(Probe::pendingErrors(*mail), QStringList{smtp ? invalidSmtpHost : invalidPop3Host});
                // An accepted value removes the message again.
                set(QString());
                EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());
            }
        }
    }
}

TEST_F(Component, HostModeTwoPingsOnceAndModeThreeResolvesOnce)
{
    const auto mail = make();
    mail->setSMTPHostValidation(2);
    services->echoCalls.clear();
    mail->setSMTPHost(QStringLiteral("mail.example.com"));
    EXPECT_EQ(services->echoCalls.size(), 1);
    EXPECT_EQ(services->echoCalls[0].target, ipv4(10, 0, 0, 5));
    // The check does not ping the host again when mode 3 is chosen: it resolves
    // the stored value, which is now a literal.
    services->resolvedNames.clear();
    mail->setSMTPHostValidation(3);
    EXPECT_EQ(services->echoCalls.size(), 1);
    EXPECT_EQ(services->resolvedNames, QStringList{QStringLiteral("10.0.0.5")});
}

TEST_F(Component, ChangingTheModeChecksSMTPHostAgainButNotPOP3Host)
{
    const auto mail = make();
    mail->setSMTPHostValidation(0);
    mail->setSMTPHost(QStringLiteral("localhost"));
    mail->setPOP3Host(QStringLiteral("localhost"));
    EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());
    mail->setSMTPHostValidation(1);
    EXPECT_EQ(mail->SMTPHostValidation(), 1);
    EXPECT_EQ(Probe::pendingErrors(*mail), QStringList{invalidSmtpHost});
    EXPECT_EQ(mail->SMTPHost(), QStringLiteral("localhost"));
    EXPECT_EQ(mail->POP3Host(), QStringLiteral("localhost"));
    mail->setSMTPHostValidation(0);
    EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());

    // An empty host is not checked again.
    const auto other = make();
    services->resolvedNames.clear();
    other->setSMTPHostValidation(3);
    EXPECT_TRUE(services->resolvedNames.isEmpty());
}

TEST_F(Component, HostChecksOverTheSystemServices)
{
    MailPlatform platform;
    platform.timeZoneBiasMinutes = 0;
    clsEnviarCorreu mail(platform);
    mail.setSMTPHostValidation(2);
    mail.setSMTPHost(QStringLiteral("127.0.0.1"));
    EXPECT_EQ(mail.SMTPHost(), QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(Probe::pendingErrors(mail).isEmpty());
    mail.setSMTPHostValidation(3);
    mail.setPOP3Host(QStringLiteral(" 127.0.0.1 "));
    EXPECT_EQ(mail.POP3Host(), QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(Probe::pendingErrors(mail).isEmpty());
}

// ---- the address and ping methods ---------------------------------------------

TEST_F(Component, MethodsUseTheInjectedServices)
{
    const auto mail = make();
    EXPECT_EQ(mail->GetIPHost(), QStringLiteral("fakehost"));
    QString name;
    EXPECT_EQ(mail->GetIPAddress(name), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(name, QStringLiteral("fakehost"));
    QString address = QStringLiteral("mail.example.com"), roundTrip, size;
    bool match = false;
    EXPECT_TRUE(mail->Ping(address, roundTrip, size, match));
    EXPECT_EQ(address, QStringLiteral("10.0.0.5"));
    EXPECT_EQ(size, QStringLiteral("32 bytes"));
    EXPECT_TRUE(match);

    services->answer = [](const FakeHostServices::EchoCall &) { return EchoReply{}; };
    address = QStringLiteral("10.0.0.5");
    EXPECT_FALSE(mail->Ping(address, roundTrip, size, match));
    EXPECT_EQ(address, QStringLiteral("0.0.0.0"));
}

TEST_F(Component, PingOfLoopbackOverTheSystemServices)
{
    MailPlatform platform;
    platform.timeZoneBiasMinutes = 0;
    clsEnviarCorreu mail(platform);
    QString address = QStringLiteral("127.0.0.1"), roundTrip, size;
    bool match = false;
    EXPECT_TRUE(mail.Ping(address, roundTrip, size, match));
    EXPECT_EQ(size, QStringLiteral("32 bytes"));
    EXPECT_EQ(address, QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(match);
    char host[257] = {};
    ASSERT_EQ(::gethostname(host, 256), 0);
    EXPECT_EQ(mail.GetIPHost(), QString::fromLocal8Bit(host));
}

// ---- persistence ----------------------------------------------------------------

TEST_F(Component, WithTheSwitchOffNothingIsWritten)
{
    const auto mail = make();
    mail->setFrom(QStringLiteral(" anna@example.com "));
    mail->setFromDisplayName(QStringLiteral("Anna"));
    mail->setSMTPHostValidation(0);
    mail->setSMTPHost(QStringLiteral("smtp.example.com"));
    mail->setPOP3Host(QStringLiteral("pop.example.com"));
    mail->setSMTPPort(587);
    mail->setEmailAddressValidation(0);
    mail->setConnectTimeout(10);
    mail->setMessageTimeout(20);
    mail->setConnectRetry(2);
    mail->setEncodeType(1);
    mail->setUserName(QStringLiteral("anna"));
    mail->setUseAuthentication(true);
    mail->setUsePopAuthentication(true);
    mail->setPersistentSettings(false);
    EXPECT_TRUE(storedKeys().isEmpty());
    EXPECT_FALSE(QFile::exists(settings_store::fileName()) && QFile(settings_store::fileName()).size() > 0);
}

TEST_F(Component, WithTheSwitchOnEveryRememberedPropertyIsWritten)
{
    const auto mail = make();
    mail->setPersistentSettings(true);
    EXPECT_TRUE(mail->PersistentSettings());
    mail->setFrom(QStringLiteral(" anna@example.com "));
    mail->setFromDisplayName(QStringLiteral(" Anna "));
    mail->setSMTPHostValidation(0);
    mail->setSMTPHost(QStringLiteral("smtp.example.com"));
    mail->setPOP3Host(QStringLiteral("pop.example.com"));
    mail->setSMTPPort(587);
    mail->setSMTPPort(0); // refused: not written
    mail->setEmailAddressValidation(0);
    mail->setConnectTimeout(121); // refused, written all the same
    mail->setMessageTimeout(-20);
    mail->setConnectRetry(50);
    mail->setEncodeType(1);
    mail->setUserName(QStringLiteral("anna"));
    mail->setUseAuthentication(true);
    mail->setUsePopAuthentication(false);
    mail->setPassword(QStringLiteral("secret")); // never stored
    mail->setSubject(QStringLiteral("never stored"));
    mail->setRecipient(QStringLiteral("never@example.com"));

    const QMap<QString, QString> expected = {
        {QStringLiteral("PersistentSettings"), QStringLiteral("-1")},
        {QStringLiteral("From"), QStringLiteral(" anna@example.com ")},
        {QStringLiteral("FromDisplayName"), QStringLiteral(" Anna ")},
        {QStringLiteral("SMTPHostValidation"), QStringLiteral(" 0")},
        {QStringLiteral("RemoteHost"), QStringLiteral("smtp.example.com")},
        {QStringLiteral("Pop3Host"), QStringLiteral("pop.example.com")},
        {QStringLiteral("RemotePort"), QStringLiteral(" 587")},
        {QStringLiteral("EmailValidation"), QStringLiteral(" 0")},
        {QStringLiteral("ConnectTimeout"), QStringLiteral(" 121")},
        {QStringLiteral("MessageTimeout"), QStringLiteral("-20")},
        {QStringLiteral("ConnectRetry"), QStringLiteral(" 50")},
        {QStringLiteral("EncodeType"), QStringLiteral(" 1")},
        {QStringLiteral("Username"), QStringLiteral("anna")},
        {QStringLiteral("UseAuthentication"), QStringLiteral("-1")},
        {QStringLiteral("UsePopAuthentication"), QStringLiteral("0")},
    };
    EXPECT_EQ(storedKeys(), expected);
    EXPECT_EQ(mail->ConnectRetry(), 4);
    EXPECT_EQ(mail->ConnectTimeout(), 30);
    EXPECT_EQ(mail->MessageTimeout(), 20);
    EXPECT_EQ(mail->from(), QStringLiteral("anna@example.com"));

    // The next instance starts from the store; numbers pass the checks of
    // their properties, so the refused ConnectTimeout and ConnectRetry give
    // way to the defaults and the MessageTimeout counts by its magnitude.
    const auto next = make();
    EXPECT_TRUE(next->PersistentSettings());
    EXPECT_EQ(next->from(), QStringLiteral(" anna@example.com "));
    EXPECT_EQ(next->FromDisplayName(), QStringLiteral(" Anna "));
    EXPECT_EQ(next->SMTPHost(), QStringLiteral("smtp.example.com"));
    EXPECT_EQ(next->POP3Host(), QStringLiteral("pop.example.com"));
    EXPECT_EQ(next->SMTPPort(), 587);
    EXPECT_EQ(next->SMTPHostValidation(), 0);
    EXPECT_EQ(next->EmailAddressValidation(), 0);
    EXPECT_EQ(next->ConnectTimeout(), 30);
    EXPECT_EQ(next->MessageTimeout(), 20);
    EXPECT_EQ(next->ConnectRetry(), 4);
    EXPECT_EQ(next->EncodeType(), 1);
    EXPECT_EQ(next->UserName(), QStringLiteral("anna"));
    EXPECT_TRUE(next->UseAuthentication());
    EXPECT_FALSE(next->UsePopAuthentication());
    EXPECT_EQ(next->Password(), QString());
    EXPECT_TRUE(Probe::pendingErrors(*next).isEmpty());
}

TEST_F(Component, StoredNumbersPassTheChecksOfTheirProperties)
{
    const auto mail = make();
    mail->setPersistentSettings(true);
    mail->setConnectRetry(50);
    EXPECT_EQ(mail->ConnectRetry(), 4);
    EXPECT_EQ(settings_store::read(QStringLiteral("ConnectRetry"), QString()), QStringLiteral(" 50"));
    EXPECT_EQ(make()->ConnectRetry(), 4);

    settings_store::write(QStringLiteral("ConnectTimeout"), QStringLiteral("-5"));
    // A stored negative MessageTimeout made every wait return at once, and
    // Send end with neither outcome.
    settings_store::write(QStringLiteral("MessageTimeout"), QStringLiteral("-5"));
    settings_store::write(QStringLiteral("RemotePort"), QStringLiteral(" 70000"));
    const auto next = make();
    EXPECT_EQ(next->ConnectTimeout(), 30);
    EXPECT_EQ(next->MessageTimeout(), 5);
    EXPECT_EQ(next->SMTPPort(), 25);
    EXPECT_EQ(Probe::pendingErrors(*next), QStringList{invalidPort}); // reported by the next Send, as when assigned
}

TEST_F(Component, SwitchingOffLeavesTheStoredSwitchOn)
{
    const auto mail = make();
    mail->setPersistentSettings(true);
    mail->setConnectTimeout(12);
    mail->setPersistentSettings(false);
    EXPECT_FALSE(mail->PersistentSettings());
    mail->setConnectTimeout(13); // not written any more
    EXPECT_EQ(settings_store::read(QStringLiteral("PersistentSettings"), QString()), QStringLiteral("-1"));
    const auto next = make();
    EXPECT_TRUE(next->PersistentSettings());
    EXPECT_EQ(next->ConnectTimeout(), 12);
}

TEST_F(Component, StoredBooleansAndGarbage)
{
    for (const char *stored : {"-1", "True"}) {
        SCOPED_TRACE(stored);
        settings_store::write(QStringLiteral("PersistentSettings"), QStringLiteral("-1"));
        settings_store::write(QStringLiteral("UseAuthentication"), QLatin1String(stored));
        settings_store::write(QStringLiteral("UsePopAuthentication"), QLatin1String(stored));
        const auto mail = make();
        EXPECT_TRUE(mail->UseAuthentication());
        EXPECT_TRUE(mail->UsePopAuthentication());
    }
    settings_store::write(QStringLiteral("UseAuthentication"), QStringLiteral("False"));
    settings_store::write(QStringLiteral("UsePopAuthentication"), QStringLiteral("0"));
    settings_store::write(QStringLiteral("RemotePort"), QStringLiteral("twenty-five"));
    settings_store::write(QStringLiteral("ConnectRetry"), QStringLiteral("3.5"));
    settings_store::write(QStringLiteral("ConnectTimeout"), QStringLiteral("99999999999"));
    settings_store::write(QStringLiteral("MessageTimeout"), QStringLiteral(""));
    settings_store::write(QStringLiteral("SMTPHostValidation"), QStringLiteral("x"));
    settings_store::write(QStringLiteral("EmailValidation"), QStringLiteral("1 1"));
    settings_store::write(QStringLiteral("EncodeType"), QStringLiteral("&H1"));
    const auto mail = make();
    EXPECT_FALSE(mail->UseAuthentication());
    EXPECT_FALSE(mail->UsePopAuthentication());
    EXPECT_EQ(mail->SMTPPort(), 25);
    EXPECT_EQ(mail->ConnectRetry(), 4);
    EXPECT_EQ(mail->ConnectTimeout(), 30);
    EXPECT_EQ(mail->MessageTimeout(), 60);
    EXPECT_EQ(mail->SMTPHostValidation(), 3);
    EXPECT_EQ(mail->EmailAddressValidation(), 1);
    EXPECT_EQ(mail->EncodeType(), 0);

    // A stored switch that is not a number is off.
    settings_store::write(QStringLiteral("PersistentSettings"), QStringLiteral("on"));
    settings_store::write(QStringLiteral("RemotePort"), QStringLiteral(" 2525"));
    EXPECT_EQ(make()->SMTPPort(), 25);
    settings_store::write(QStringLiteral("PersistentSettings"), QStringLiteral(" 1"));
    EXPECT_EQ(make()->SMTPPort(), 2525);
}

// ---- the pending-error list and ReportFailure -----------------------------------

TEST_F(Component, PendingErrorsAreUniqueWithoutRegardToCase)
{
    const auto mail = make();
    Probe::addError(*mail, QStringLiteral("First"));
    Probe::addError(*mail, QStringLiteral("Second"));
    Probe::addError(*mail, QStringLiteral("FIRST"));
    EXPECT_EQ(Probe::pendingErrors(*mail), (QStringList{QStringLiteral("First"), QStringLiteral("Second")}));
    Probe::removeError(*mail, QStringLiteral("second"));
    EXPECT_EQ(Probe::pendingErrors(*mail), QStringList{QStringLiteral("First")});
    Probe::removeError(*mail, QStringLiteral("absent"));
    EXPECT_EQ(Probe::pendingErrors(*mail), QStringList{QStringLiteral("First")});
}

TEST_F(Component, ReportFailureRaisesSendFailedOnceAndEmptiesTheList)
{
    const auto mail = make();
    QSignalSpy failed(mail.get(), &clsEnviarCorreu::SendFailed);
    QSignalSpy status(mail.get(), &clsEnviarCorreu::Status);
    mail->setSMTPPort(0);
    mail->setSMTPPort(70000);
    mail->setRecipient(QStringLiteral("nobody"));
    EXPECT_FALSE(Probe::abortFlag(*mail));
    // The list is already empty when SendFailed is raised.
    QStringList seenDuringSignal = {QStringLiteral("not called")};
    QObject::connect(mail.get(), &clsEnviarCorreu::SendFailed, mail.get(),
            [&] { seenDuringSignal = Probe::pendingErrors(*mail); });
    Probe::reportFailure(*mail);
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(failed[0][0].toString(), invalidPort + QStringLiteral("\r\n") + invalidRecipient + QStringLiteral("\r\n"));
    EXPECT_TRUE(seenDuringSignal.isEmpty());
    EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());
    EXPECT_TRUE(Probe::abortFlag(*mail));
    EXPECT_EQ(status.size(), 0) << "no session to close";

    Probe::reportFailure(*mail);
    ASSERT_EQ(failed.size(), 2);
    EXPECT_EQ(failed[1][0].toString(), QString());
}

TEST_F(Component, AFailureDuringTheNestedCloseSessionDoesNotRepeatEarlierEntries)
{
    // HELO is refused; the QUIT that ReportFailure sends is refused too, and
    // the second QUIT (sent by the nested report) is answered.
    test::ScriptedSmtpServer server;
    server.addScript(QStringLiteral(R"(
        S: 220 test ESMTP
        C: HELO example.com
        S: 550 no greeting for you
        C: QUIT
        S: 500 bad quit
        C: QUIT
        S: 221 bye
    )"));
    ASSERT_TRUE(server.listen()) << server.failure();
    const auto mail = make();
    mail->setSMTPHostValidation(0);
    mail->setSMTPHost(server.host());
    mail->setSMTPPort(server.port());
    mail->setConnectTimeout(5);
    mail->setFrom(QStringLiteral("anna@example.com"));
    QSignalSpy failed(mail.get(), &clsEnviarCorreu::SendFailed);
    EXPECT_FALSE(mail->Connect());
    EXPECT_TRUE(server.waitForFinished(std::chrono::seconds(5))) << server.verify();
    ASSERT_EQ(failed.size(), 2);
    EXPECT_EQ(failed[0][0].toString(), QStringLiteral("550 no greeting for you\r\n\r\n"));
    EXPECT_EQ(failed[1][0].toString(), QStringLiteral("500 bad quit\r\n\r\n"));
    EXPECT_TRUE(Probe::pendingErrors(*mail).isEmpty());
    EXPECT_TRUE(Probe::abortFlag(*mail));
    EXPECT_EQ(mail->socketState(), 0);
}

TEST_F(Component, DestructionQuitsAnOpenSession)
{
    test::ScriptedSmtpServer server;
    server.addScript(QStringLiteral(R"(
        S: 220 test ESMTP
        C: HELO example.com
        S: 250 hello
        C: QUIT
        S: 221 bye
    )"));
    ASSERT_TRUE(server.listen()) << server.failure();
    auto mail = make();
    mail->setSMTPHostValidation(0);
    mail->setSMTPHost(server.host());
    mail->setSMTPPort(server.port());
    mail->setConnectTimeout(5);
    mail->setFrom(QStringLiteral("anna@example.com"));
    ASSERT_TRUE(mail->Connect());
    EXPECT_EQ(mail->socketState(), 7);
    mail.reset();
    EXPECT_TRUE(server.waitForFinished(std::chrono::seconds(5))) << server.verify();
}

TEST_F(Component, DestructionOfAClosedComponentSendsNothing)
{
    auto mail = make();
    bool statusRaised = false;
    QObject::connect(mail.get(), &clsEnviarCorreu::Status, [&] { statusRaised = true; });
    mail.reset();
    EXPECT_FALSE(statusRaised);
}
