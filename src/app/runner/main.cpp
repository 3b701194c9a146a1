#include "campaign_runner.h"
#include "terminal_view.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <unistd.h>

using namespace tramelo;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tramelo-run"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TRAMELO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Envia una campanya de Tramelo desada en un arxiu de projecte, sense finestra.\n"
                       "Anota cada grup al registre d'enviaments (NOM.enviaments.csv) abans del següent, i desa el projecte\n"
                       "cada pocs segons i en acabar; una nova execució reprèn a partir del registre.\n"
                       "Ctrl-C atura l'enviament després del grup actual.\n"
                       "Estat de sortida: 0 tot enviat, 1 algun destinatari no enviat, 2 la campanya no ha pogut començar."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption testOption(QStringLiteral("test"),
                                        QStringLiteral("Envia el missatge de prova a l'adreça del remitent."));
    parser.addOption(testOption);
    parser.addPositionalArgument(QStringLiteral("PROJECTE"), QStringLiteral("L'arxiu de projecte (.pcm)."));
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "tramelo-run: %s\n", qPrintable(parser.errorText()));
        return int(RunnerOutcome::CouldNotStart);
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (parser.positionalArguments().size() != 1) {
        std::fprintf(stderr, "tramelo-run: cal indicar un arxiu de projecte (vegeu --help)\n");
        return int(RunnerOutcome::CouldNotStart);
    }

    TerminalView view(::isatty(STDERR_FILENO) == 1);
    const RunnerOutcome outcome = runSavedCampaign(parser.positionalArguments().first(), parser.isSet(testOption), view);
    return int(outcome);
}
