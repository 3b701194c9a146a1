// Draws the main window with the example campaign loaded and its address
// field chosen, for the README: main-window.png (the "Definició" tab),
// main-window-html.png and main-window-grid.png in the folder given; then
// recipient-preview.png, what the third row will receive, run-pause.png, a
// run against a local aiosmtpd waiting between two sendings, and
// send-journal-window.png, the journal once the rest has been sent.
//   xvfb-run -a -s "-screen 0 1280x800x24" build/tests/ui/main_window_screenshot docs

#include "aiosmtpd_server.h"
#include "example_campaign.h"
#include "journal_window.h"
#include "program_start.h"
#include "recipient_preview.h"
#include "scripted_dialogs.h"
#include "status_line.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <cstdio>

using namespace tramelo;

namespace {

bool copyFiles(const QString &from, const QString &to)
{
    const QFileInfoList files = QDir(from).entryInfoList(QDir::Files);
    return std::all_of(files.begin(), files.end(), [&](const QFileInfo &file) {
        return QFile::copy(file.filePath(), to + u'/' + file.fileName());
    });
}

bool saveTab(frmMain &window, int tab, const QString &path)
{
    window.sstabGeneral->setCurrentIndex(tab);
    QTest::qWait(200);
    return window.grab().save(path);
}

// A run with a long pause, drawn once it waits after the first message,
// then stopped.
bool saveRunInPause(frmMain &window, test::ScriptedDialogs &script, const QString &path)
{
    test::AiosmtpdServer server;
    if (!server.start()) {
        std::fprintf(stderr, "aiosmtpd: %s\n", qUtf8Printable(server.errorText()));
        return false;
    }
    CampaignSettings &settings = window.campaign().settings();
    settings.setText(Setting::SmtpServer, QStringLiteral("127.0.0.1:%1").arg(server.port()));
    settings.setText(Setting::WaitSeconds, QStringLiteral("20"));
    bool saved = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (!window.lblEstat->text().startsWith(QLatin1String("Esperant ")))
            return;
        watcher.stop();
        saved = window.grab().save(path);
        window.cmbSortir->click();
    });
    watcher.start(100);
    script.answers = {Answer::No, Answer::Yes};
    window.cmbEnviar->click();
    script.messages.removeAll(QStringLiteral("[information] Enviament aturat\nRegistres processats 1 de 6: 1 enviat, "
                                             "0 no enviats"));
    return saved;
}

// The rest of the rows sent to a server that refuses one of them, then the
// journal of both runs.
bool saveJournal(frmMain &window, test::ScriptedDialogs &script, const QString &path)
{
    test::AiosmtpdServer::Options refusing;
    refusing.rejectRecipientsContaining = {QStringLiteral("jordi")};
    test::AiosmtpdServer server(refusing);
    if (!server.start()) {
        std::fprintf(stderr, "aiosmtpd: %s\n", qUtf8Printable(server.errorText()));
        return false;
    }
    CampaignSettings &settings = window.campaign().settings();
    settings.setText(Setting::SmtpServer, QStringLiteral("127.0.0.1:%1").arg(server.port()));
    settings.setText(Setting::WaitSeconds, QStringLiteral("0"));
    script.answers = {Answer::No, Answer::Yes};
    window.cmbEnviar->click();
    script.messages.removeAll(QStringLiteral("[information] Enviament finalitzat\nRegistres processats 6 de 6: 4 enviats, "
                                             "1 no enviat\ndestinatari: 1"));
    window.actRegistre->trigger();
    QTest::qWait(300);
    return window.registre->grab().save(path);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tramelo"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);

    // A copy of the example: the run's journal and lock go beside the project,
    // not into the source tree.
    const QString examples = findExampleFolder();
    QTemporaryDir copy;
    if (examples.isEmpty() || !copyFiles(examples, copy.path())) {
        std::fprintf(stderr, "the example campaign is missing or cannot be copied\n");
        return 1;
    }
    auto dialogs = std::make_unique<test::ScriptedDialogs>();
    test::ScriptedDialogs &script = *dialogs;
    script.filesToOpen.push_back(copy.filePath(QStringLiteral("exemple.pcm")));
    TrameloProgram program(std::move(dialogs));
    program.start();
    program.aboutBox().cmbSortir->click();
    frmMain &window = program.mainWindow();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the main window was never shown\n");
        return 1;
    }
    window.cmbLlegir->click();

    // The address field chosen with the arrow keys, as the operator would.
    QComboBox *fields = window.comboFields[1];
    const int address = fields->findText(QStringLiteral("Correu"));
    if (address < 1) {
        std::fprintf(stderr, "the example's field list has no Correu after its first field\n");
        return 1;
    }
    fields->setCurrentIndex(address - 1);
    QTest::keyClick(fields, Qt::Key_Down);
    window.setFocus();

    bool saved = saveTab(window, 1, output + QStringLiteral("/main-window-html.png"))
        && saveTab(window, 3, output + QStringLiteral("/main-window-grid.png"))
        && saveTab(window, 0, output + QStringLiteral("/main-window.png"));

    window.sstabGeneral->setCurrentIndex(3);
    window.grdEnviament->setCurrentIndex(window.grdEnviament->model()->index(2, 1));
    window.cmbVistaPrevia->click();
    QTest::qWait(200);
    saved = saved && window.vistaPrevia->grab().save(output + QStringLiteral("/recipient-preview.png"));
    window.vistaPrevia->close();
    saved = saved && saveRunInPause(window, script, output + QStringLiteral("/run-pause.png"))
        && saveJournal(window, script, output + QStringLiteral("/send-journal-window.png"));
    if (!saved || !script.messages.isEmpty() || !script.unexpected.isEmpty()) {
        std::fprintf(stderr, "screenshots not saved: %s\n", qUtf8Printable((script.messages + script.unexpected).join(u'\n')));
        return 1;
    }
    return 0;
}
