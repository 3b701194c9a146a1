#include "settings_store.h"

#include "gtest_qt_printers.h"

#include "private_settings.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace tramelo;
using tramelo::test::clearMailStore;
using tramelo::test::openMailStore;
using tramelo::test::privateConfigHome;

namespace {

class SettingsStore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        privateConfigHome();
        clearMailStore();
    }
    void TearDown() override { clearMailStore(); }
};

QByteArray storeFileBytes()
{
    QFile file(settings_store::fileName());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

TEST_F(SettingsStore, LivesInThePrivateConfigurationFolder)
{
    const QString home = privateConfigHome();
    EXPECT_EQ(qEnvironmentVariable("XDG_CONFIG_HOME"), home);
    EXPECT_EQ(settings_store::fileName(), home + QStringLiteral("/Quorvix/Quorvix.ini"));
    settings_store::write(QStringLiteral("From"), QStringLiteral("anna@example.com"));
    EXPECT_TRUE(QFileInfo::exists(home + QStringLiteral("/Quorvix/Quorvix.ini")));
    EXPECT_TRUE(storeFileBytes().contains("[Settings]"));
    EXPECT_TRUE(storeFileBytes().contains("From=anna@example.com"));
}

TEST_F(SettingsStore, ReadGivesTheDefaultForAnAbsentKey)
{
    EXPECT_EQ(settings_store::read(QStringLiteral("RemoteHost"), QStringLiteral("dflt")), QStringLiteral("dflt"));
    EXPECT_EQ(settings_store::read(QStringLiteral("RemoteHost"), QString()), QString());
}

TEST_F(SettingsStore, StringsRoundTripUnchanged)
{
    const QStringList values = {
        QStringLiteral("  anna@example.com  "), QStringLiteral(" 25"), QStringLiteral("-1"),
        QStringLiteral("a, b; c"), QStringLiteral("Adreça \"quoted\" = x"), QStringLiteral("@Invalid()"),
        QString(),
    };
    for (const QString &value : values) {
        SCOPED_TRACE(value.toStdString());
        settings_store::write(QStringLiteral("From"), value);
        EXPECT_EQ(settings_store::read(QStringLiteral("From"), QStringLiteral("dflt")), value);
    }
}

TEST_F(SettingsStore, ValuesAreStoredUnderGroupSettings)
{
    settings_store::write(QStringLiteral("RemotePort"), settings_store::numberText(25));
    const auto store = openMailStore();
    EXPECT_EQ(store->value(QStringLiteral("Settings/RemotePort")).toString(), QStringLiteral(" 25"));
}

TEST_F(SettingsStore, AnUnquotedListWrittenByHandReadsAsItsText)
{
    QFile file(settings_store::fileName());
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Settings]\nFrom=a@example.com, b@example.com\nRemotePort=abc\n");
    file.close();
    EXPECT_EQ(settings_store::read(QStringLiteral("From"), QString()),
              QStringLiteral("a@example.com, b@example.com"));
    EXPECT_EQ(settings_store::readNumber(QStringLiteral("RemotePort"), 25), 25);
}

TEST(SettingsStoreForms, BlankSignedNumbers)
{
    EXPECT_EQ(settings_store::numberText(25), QStringLiteral(" 25"));
    EXPECT_EQ(settings_store::numberText(0), QStringLiteral(" 0"));
    EXPECT_EQ(settings_store::numberText(-3), QStringLiteral("-3"));
    EXPECT_EQ(settings_store::numberText(-90), QStringLiteral("-90"));
    EXPECT_EQ(settings_store::booleanText(true), QStringLiteral("-1"));
    EXPECT_EQ(settings_store::booleanText(false), QStringLiteral("0"));
}

TEST(SettingsStoreForms, WholeNumbers)
{
    const struct {
        const char *text;
        std::optional<long> expected;
    } cases[] = {
        {" 25", 25},        {"25", 25},          {"-3", -3},           {"+7", 7},
        {"  50  ", 50},     {"0", 0},            {"2147483647", 2147483647L},
        {"-2147483648", -2147483648L},           {"2147483648", std::nullopt},
        {"99999999999999999999", std::nullopt},  {"", std::nullopt},   {" ", std::nullopt},
        {"abc", std::nullopt}, {"25x", std::nullopt}, {"2.5", std::nullopt}, {"1e3", std::nullopt},
        {"- 3", std::nullopt}, {"&H19", std::nullopt}, {"True", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(settings_store::parseWholeNumber(QLatin1String(c.text)), c.expected);
    }
}

TEST(SettingsStoreForms, Booleans)
{
    const struct {
        const char *text;
        std::optional<bool> expected;
    } cases[] = {
        {"-1", true},  {"True", true},   {"true", true},   {"TRUE", true}, {" 1", true}, {"5", true},
        {"0", false},  {"False", false}, {"false", false}, {" 0", false},
        {"", std::nullopt}, {"yes", std::nullopt}, {"maybe", std::nullopt}, {"-1x", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(settings_store::parseBoolean(QLatin1String(c.text)), c.expected);
    }
}

TEST_F(SettingsStore, ReadNumberFallsBackToTheKeysDefault)
{
    EXPECT_EQ(settings_store::readNumber(QStringLiteral("ConnectRetry"), 4), 4);
    settings_store::write(QStringLiteral("ConnectRetry"), QStringLiteral(" 50"));
    EXPECT_EQ(settings_store::readNumber(QStringLiteral("ConnectRetry"), 4), 50);
    settings_store::write(QStringLiteral("ConnectRetry"), QStringLiteral("50"));
    EXPECT_EQ(settings_store::readNumber(QStringLiteral("ConnectRetry"), 4), 50);
    settings_store::write(QStringLiteral("ConnectRetry"), QStringLiteral("fifty"));
    EXPECT_EQ(settings_store::readNumber(QStringLiteral("ConnectRetry"), 4), 4);
    settings_store::write(QStringLiteral("ConnectRetry"), QString());
    EXPECT_EQ(settings_store::readNumber(QStringLiteral("ConnectRetry"), 4), 4);
}

TEST_F(SettingsStore, ReadBooleanFallsBackToTheKeysDefault)
{
    EXPECT_FALSE(settings_store::readBoolean(QStringLiteral("UseAuthentication"), false));
    for (const char *stored : {"-1", "True"}) {
        settings_store::write(QStringLiteral("UseAuthentication"), QLatin1String(stored));
        EXPECT_TRUE(settings_store::readBoolean(QStringLiteral("UseAuthentication"), false)) << stored;
    }
    for (const char *stored : {"0", "False"}) {
        settings_store::write(QStringLiteral("UseAuthentication"), QLatin1String(stored));
        EXPECT_FALSE(settings_store::readBoolean(QStringLiteral("UseAuthentication"), true)) << stored;
    }
    settings_store::write(QStringLiteral("UseAuthentication"), QStringLiteral("garbage"));
    EXPECT_FALSE(settings_store::readBoolean(QStringLiteral("UseAuthentication"), false));
    EXPECT_TRUE(settings_store::readBoolean(QStringLiteral("UseAuthentication"), true));
}

TEST_F(SettingsStore, AnUnreadableStoreGivesDefaultsAndAFailedWriteIsIgnored)
{
    // A folder where the file should be: nothing can be read or written.
    const QString path = settings_store::fileName();
    QFile::remove(path);
    ASSERT_TRUE(QDir().mkpath(path));
    settings_store::write(QStringLiteral("From"), QStringLiteral("x@example.com"));
    EXPECT_EQ(settings_store::read(QStringLiteral("From"), QStringLiteral("dflt")), QStringLiteral("dflt"));
    EXPECT_EQ(settings_store::readNumber(QStringLiteral("RemotePort"), 25), 25);
    ASSERT_TRUE(QDir(path).removeRecursively());
}
