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
                       "Ctrl-C (o SIGTERM) atura l'enviament després del grup actual.\n"
                       "Estat de sortida: 0 tot enviat, 1 algun destinatari no enviat o en dubte, 2 la campanya no ha\n"
                       "pogut començar, 3 l'enviament s'ha aturat abans d'acabar (Ctrl-C, SIGTERM o una fallada)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption testOption(QStringLiteral("test"),
                                        QStringLiteral("Envia el missatge de prova a l'adreça del remitent."));
    const QCommandLineOption resendInDoubtOption(
        QStringLiteral("reenvia-en-dubte"),
        QStringLiteral("Torna a enviar el missatge als destinataris en dubte (el servidor no va confirmar que "
                       "l'hagués rebut); sense aquesta opció se'ls deixa de banda i se'ls anomena."));
    const QCommandLineOption acceptUnknownFieldsOption(
        QStringLiteral("accepta-camps-desconeguts"),
        QStringLiteral("Envia encara que l'assumpte o el cos facin servir camps que l'origen no té "
                       "(arriben tal com estan escrits)."));
    parser.addOptions({testOption, resendInDoubtOption, acceptUnknownFieldsOption});
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
    const RunnerOptions options{parser.isSet(testOption), parser.isSet(resendInDoubtOption),
                                parser.isSet(acceptUnknownFieldsOption)};
    const RunnerOutcome outcome = runSavedCampaign(parser.positionalArguments().first(), options, view);
    return int(outcome);
}
