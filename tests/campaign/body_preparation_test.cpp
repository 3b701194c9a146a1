#include "body_preparation.h"
#include "campaign.h"
#include "fake_campaign_view.h"
#include "gtest_qt_printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tramelo;

namespace {

// Each test works in a folder of its own with a "mail" subfolder as the
// current one, and gets the real current folder back afterwards.
class BodyPreparation : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("mail/img")));
        writeFile(QStringLiteral("img/logo.gif"), "GIF89a");
        QDir::setCurrent(mail());
    }
    void TearDown() override { QDir::setCurrent(startFolder); }

    QString mail() const { return folder.filePath(QStringLiteral("mail")); }
    void writeFile(const QString &inMail, const QByteArray &bytes)
    {
        QFile file(mail() + u'/' + inMail);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << inMail;
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    void setBody(BodyKind kind, const QString &source)
    {
        campaign.settings().setBodyKind(kind);
        campaign.settings().setText(Setting::BodySource, source);
        RefreshBodyPreview(campaign);
    }
    QString bodyText() const { return campaign.settings().text(Setting::BodyText); }

    const QString startFolder = QDir::currentPath();
    QTemporaryDir folder;
    test::FakeCampaignView view;
    Campaign campaign{view};
};

} // namespace

TEST_F(BodyPreparation, ListsTheBodysLocalImagesFromItsFolderThenTheAttachments)
{
    // Folders named "http:" make the web-address rule the only thing that
    // keeps such paths out.
    ASSERT_TRUE(QDir(mail()).mkpath(QStringLiteral("http:")) && QDir(mail()).mkpath(QStringLiteral("hTTp:")));
    writeFile(QStringLiteral("http:/a.gif"), "GIF89a");
    writeFile(QStringLiteral("hTTp:/a.gif"), "GIF89a");
    writeFile(QStringLiteral("offer.htm"), "<img SRC=\"img/logo.gif\"><img src=\"img/missing.gif\">"
                                           "<img src=\"http:/a.gif\"><img src=\"hTTp:/a.gif\"><img Src=\"img/logo.gif\">");
    campaign.settings().setText(Setting::AttachmentList, QStringLiteral("  /tmp/preus.pdf "));
    QDir::setCurrent(startFolder);

    setBody(BodyKind::File, mail() + QStringLiteral("/offer.htm"));
    EXPECT_EQ(view.bodyPage, mail() + QStringLiteral("/offer.htm"));
    const QString logo = mail() + QStringLiteral("/img/logo.gif");
    EXPECT_EQ(BuildAttachmentList(campaign), logo + u';' + logo + QStringLiteral(";  /tmp/preus.pdf "));
    EXPECT_EQ(QDir::currentPath(), startFolder);
    EXPECT_EQ(view.busyDepth, 0);
}

TEST_F(BodyPreparation, TakesTheQuotedTextAfterEverySrc)
{
    struct Case {
        const char *name;
        QByteArray html;
        QString list;
    };
    const Case cases[] = {
        {"src without quotes and none after", "<img src=img/logo.gif>", QString()},
        {"src without quotes takes the next quoted text", "<img src=x><a href=\"img/logo.gif\">", "img/logo.gif"},
        {"one quote only", "<img src=\"img/logo.gif>", QString()},
        {"src inside another word", "<p>mysrcdata \"img/logo.gif\"</p>", "img/logo.gif"},
        {"a folder", "<img src=\"img\">", QString()},
        {"a name holding a NUL", QByteArray("<img src=\"img/logo.gif") + '\0' + "x\">", QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(QStringLiteral("page.htm"), c.html);
        setBody(BodyKind::File, QStringLiteral("page.htm")); // a bare name keeps the current folder
        EXPECT_EQ(BuildAttachmentList(campaign), c.list);
        EXPECT_EQ(QDir::currentPath(), mail());
    }
}

TEST_F(BodyPreparation, ATypedBodyIsSentAsTypedAndIsNeverAFileName)
{
    const QString typed = QStringLiteral("<img src=\"img/logo.gif\">\r\nHola");
    campaign.settings().setText(Setting::AttachmentList, QStringLiteral("a.pdf"));
    setBody(BodyKind::Text, typed);
    EXPECT_EQ(bodyText(), typed);
    EXPECT_EQ(view.bodyPage, QString());
    EXPECT_EQ(BuildAttachmentList(campaign), QStringLiteral("a.pdf"));

    // Such names can exist here, so only the rule keeps them out.
    for (const QString &name : {QStringLiteral("two\r\nlines"), QStringLiteral("two\nlines"), QStringLiteral("two\rlines")}) {
        SCOPED_TRACE(name.toStdString());
        writeFile(name, "<p>body</p>");
        setBody(BodyKind::Text, name);
        setBody(BodyKind::File, name);
        EXPECT_EQ(bodyText(), QString());
        EXPECT_EQ(view.bodyPage, QString());
    }
}

TEST_F(BodyPreparation, ReadsBodyFilesAsUtf8WhenTheySayOrShowItElseAsWindows1252)
{
    struct Case {
        const char *name;
        QByteArray bytes;
        QString text;
    };
    const Case cases[] = {
        {"Windows-1252", "\x80 \xE7\x93\x94", "€ ç“”"},
        {"Windows-1252 declared", "<meta charset=\"windows-1252\">\xE9", "<meta charset=\"windows-1252\">é"},
        {"UTF-8 declared", "<meta charset=\"utf-8\">\xC3\xA7", "<meta charset=\"utf-8\">ç"},
        {"UTF-8 declared the old way", "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\xCE\xB1",
         "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">α"},
        {"UTF-8 declared with blanks and quotes", "<meta charset = ' Utf8 '>\xE9", "<meta charset = ' Utf8 '>\uFFFD"},
        {"another tag", "<metadata charset=utf-8>\xE9", "<metadata charset=utf-8>é"},
        {"outside the tag", "<meta name=x>charset=utf-8 \xE9", "<meta name=x>charset=utf-8 é"},
        {"another charset", "<meta charset=utf-16><meta mycharset=utf-8>\xE9", "<meta charset=utf-16><meta mycharset=utf-8>é"},
        {"byte-order mark", "\xEF\xBB\xBF\xC5\x81ucja", "Łucja"},
        {"well-formed UTF-8", "\xC5\x81ucja \xE2\x82\xAC", "Łucja €"},
        {"line ends kept", "a\r\nb\n", "a\r\nb\n"},
        {"empty file", "", QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(QStringLiteral("body.txt"), c.bytes);
        setBody(BodyKind::File, mail() + QStringLiteral("/body.txt"));
        EXPECT_EQ(bodyText(), c.text);
        EXPECT_EQ(view.bodyPage, mail() + QStringLiteral("/body.txt"));
    }

    writeFile(QStringLiteral("body.txt"), "<p>hola</p>");
    for (const QString &missing : {mail() + QStringLiteral("/missing.htm"), mail(), QStringLiteral("   ")}) {
        SCOPED_TRACE(missing.toStdString());
        setBody(BodyKind::File, mail() + QStringLiteral("/body.txt"));
        ASSERT_EQ(bodyText(), QStringLiteral("<p>hola</p>"));
        setBody(BodyKind::File, missing);
        EXPECT_EQ(bodyText(), QString());
        EXPECT_EQ(view.bodyPage, QString());
    }
}

TEST_F(BodyPreparation, OnlyAChangedBodyMakesTheCampaignDirty)
{
    writeFile(QStringLiteral("body.htm"), "<p>hola</p>");
    setBody(BodyKind::File, QStringLiteral("body.htm"));
    campaign.setDirty(false);
    RefreshBodyPreview(campaign);
    EXPECT_FALSE(campaign.isDirty());
    writeFile(QStringLiteral("body.htm"), "<p>adeu</p>");
    RefreshBodyPreview(campaign);
    EXPECT_TRUE(campaign.isDirty());
}
