// The README's first campaign, step by step, as an operator goes through it.
#include "aiosmtpd_server.h"
#include "example_campaign.h"
#include "gtest_qt_printers.h"
#include "message_page.h"
#include "mime_report.h"
#include "recipient_preview.h"
#include "window_test_support.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tramelo;
using namespace tramelo::test;
using namespace std::chrono_literals;

namespace {

QString subjectOf(const AiosmtpdServer::Message &message)
{
    const MimeInspection inspection = inspectMime(message.data);
    return inspection.message[QStringLiteral("headers")][QStringLiteral("subject")][0].toString();
}

} // namespace

TEST(ReadmeWalkthrough, FirstCampaignWithTheExample)
{
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText().toStdString();
    QTemporaryDir folder;
    ASSERT_TRUE(copyExampleCampaign(folder));
    OpenedProgram opened;
    frmMain &window = opened.window();
    ScriptedDialogs &dialogs = *opened.dialogs;

    // 1. Load the example.
    dialogs.filesToOpen.push_back(folder.filePath(QStringLiteral("exemple.pcm")));
    window.cmbLlegir->click();
    EXPECT_EQ(textBoxText(window.txtFields[0]), QStringLiteral("remitent@example.com"));
    EXPECT_EQ(textBoxText(window.txtFields[7]), QStringLiteral("Notícies per a <<<Nom>>> de <<<Ciutat>>>"));
    EXPECT_EQ(window.comboFields[0]->currentText(), QStringLiteral("Destinataris"));

    // 2. Choose the address field: one row per recipient.
    ASSERT_TRUE(chooseEntry(window.comboFields[1], QStringLiteral("Correu")));
    QTableView *grid = window.grdEnviament;
    ASSERT_EQ(grid->model()->rowCount(), 6);

    // 3. The body with its placeholders.
    EXPECT_TRUE(window.planaWeb->toPlainText().contains(QStringLiteral("Benvolgut/da <<<Nom>>> <<<Cognoms>>>")));

    // 4. What row 3 will receive, its image included.
    window.sstabGeneral->setCurrentIndex(3);
    EXPECT_FALSE(window.cmbVistaPrevia->isEnabled());
    grid->setCurrentIndex(grid->model()->index(2, 2));
    window.cmbVistaPrevia->click();
    RecipientPreview &preview = *window.vistaPrevia;
    ASSERT_TRUE(preview.isVisible());
    EXPECT_EQ(preview.lblAssumpte->text(), QStringLiteral("Notícies per a Marta de Tarragona"));
    EXPECT_EQ(preview.lblRemitent->text(), QStringLiteral("Associació Exemple <remitent@example.com>"));
    EXPECT_EQ(preview.lblDestinatariTitol->text() + preview.lblDestinatari->text(),
              QStringLiteral("Per a:marta.soler@example.net"));
    EXPECT_TRUE(preview.planaMissatge->toPlainText().contains(QStringLiteral("Benvolgut/da Marta Soler Pons,")));
    EXPECT_TRUE(preview.txtMissatge->toPlainText().contains(QStringLiteral("<b>Tarragona</b>")));
    const QVariant logo = preview.planaMissatge->document()->resource(QTextDocument::ImageResource, QUrl("logo.png"));
    EXPECT_FALSE(logo.value<QPixmap>().isNull());
    preview.close();
    // The preview's activation, pending until now, must not outlive it.
    QCoreApplication::processEvents();
    QApplication::setActiveWindow(&window);

    // 5. A test to the sender's own address, with row 3's values.
    window.sstabGeneral->setCurrentIndex(0);
    ASSERT_TRUE(focusOn(window.txtFields[2]));
    retypeInto(window.txtFields[2], QStringLiteral("127.0.0.1:%1").arg(server.port()));
    window.chkProvaDestinatari->setChecked(true);
    dialogs.answers = {Answer::Yes};
    window.cmbEnviar->click();
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("[information] Enviament finalitzat")});
    ASSERT_TRUE(server.waitForMessages(1, 20s));
    EXPECT_EQ(server.messages()[0].rcptTos, QStringList{QStringLiteral("remitent@example.com")});
    EXPECT_EQ(subjectOf(server.messages()[0]), QStringLiteral("Notícies per a Marta de Tarragona"));

    // The definitive run, with a pause: the status line follows it and the
    // grid, a few rows high, keeps the row being sent in view.
    window.chkProvaDestinatari->setChecked(false);
    retypeInto(window.txtFields[12], QStringLiteral("1") + QLocale().decimalPoint() + QStringLiteral("5"));
    grid->setFixedHeight(grid->horizontalHeader()->height() + 3 * grid->rowHeight(0));
    // As each row is marked: the status line, and whether the row is in view.
    QStringList atEachMark;
    QObject::connect(grid->model(), &QAbstractItemModel::dataChanged, &window, [&](const QModelIndex &first) {
        if (first.column() == 0 && first.data().toString() == QLatin1String("Si"))
            atEachMark << window.lblEstat->text()
                    + (grid->viewport()->rect().contains(grid->visualRect(first)) ? QString() : QStringLiteral(" (hidden)"));
    });
    QStringList countdown;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        const QString status = window.lblEstat->text();
        if (status.startsWith(QLatin1String("Esperant")) && (countdown.isEmpty() || countdown.last() != status))
            countdown << status;
    });
    watcher.start(50);
    dialogs.messages.clear();
    dialogs.answers = {Answer::No, Answer::Yes};
    window.cmbEnviar->click();
    watcher.stop();

    const QString counts = QStringLiteral("Registres processats 6 de 6: 6 enviats, 0 no enviats");
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("[information] Enviament finalitzat\n") + counts});
    EXPECT_EQ(window.lblEstat->text(), QStringLiteral("Enviament finalitzat. ") + counts);
    EXPECT_EQ(window.lblQuants->text(), QStringLiteral("6/6/6"));
    QStringList sending; // every row in turn
    for (int row = 0; row < 6; ++row)
        sending << QStringLiteral("Enviant a ") + grid->model()->index(row, 1).data().toString();
    EXPECT_EQ(atEachMark, sending);
    EXPECT_EQ(countdown.mid(0, 2), QStringList({QStringLiteral("Esperant 2 s"), QStringLiteral("Esperant 1 s")}));
    ASSERT_TRUE(server.waitForMessages(7, 20s));
    EXPECT_EQ(subjectOf(server.messages()[6]), QStringLiteral("Notícies per a Joan de Reus"));

    // Clearing the marks asks first, naming them, No by default.
    dialogs.answers = {Answer::No};
    window.cmbDesmarcar->click();
    EXPECT_TRUE(dialogs.questions.last().startsWith(u"[no] Vols esborrar les marques d'enviat? Hi ha 6 destinataris marcats com a enviats i 0"));
    // The address field chosen again: the last run's counts no longer
    // describe its rows, but the journal's marks come back.
    window.sstabGeneral->setCurrentIndex(0);
    ASSERT_TRUE(chooseEntry(window.comboFields[1], QStringLiteral("Correu")));
    EXPECT_EQ(window.lblQuants->text(), QString());
    EXPECT_EQ(window.lblEstat->text(), QString());
    EXPECT_EQ(grid->model()->index(5, 0).data().toString(), QStringLiteral("Si"));
    EXPECT_EQ(dialogs.unexpected, QStringList());
}
