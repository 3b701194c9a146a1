// Draws the main window with the example campaign loaded and its address
// field chosen, for the README: main-window.png (the "Definició" tab),
// main-window-html.png and main-window-grid.png in the folder given.
//   xvfb-run -a -s "-screen 0 1280x800x24" build/tests/ui/main_window_screenshot docs

#include "example_campaign.h"
#include "program_start.h"
#include "scripted_dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <cstdio>

using namespace tramelo;

namespace {

bool saveTab(frmMain &window, int tab, const QString &path)
{
    window.sstabGeneral->setCurrentIndex(tab);
    QTest::qWait(200);
    return window.grab().save(path);
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

    const QString examples = findExampleFolder();
    if (examples.isEmpty()) {
        std::fprintf(stderr, "the example campaign is missing\n");
        return 1;
    }
    auto dialogs = std::make_unique<test::ScriptedDialogs>();
    test::ScriptedDialogs &script = *dialogs;
    script.filesToOpen.push_back(examples + QStringLiteral("/exemple.pcm"));
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

    const bool saved = saveTab(window, 1, output + QStringLiteral("/main-window-html.png"))
        && saveTab(window, 3, output + QStringLiteral("/main-window-grid.png"))
        && saveTab(window, 0, output + QStringLiteral("/main-window.png"));
    if (!saved || !script.messages.isEmpty() || !script.unexpected.isEmpty()) {
        std::fprintf(stderr, "screenshots not saved: %s\n", qUtf8Printable((script.messages + script.unexpected).join(u'\n')));
        return 1;
    }
    return 0;
}
