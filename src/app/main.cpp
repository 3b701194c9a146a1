#include "example_campaign.h"
#include "program_start.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tramelo"));

    // The example campaign opens wherever this copy of the program lives.
    const QString examples = tramelo::findExampleFolder();
    if (!examples.isEmpty()) {
        if (const std::optional<QString> problem = tramelo::prepareExampleProject(examples))
            qWarning("%s", qUtf8Printable(*problem));
    }

    tramelo::TrameloProgram program;
    program.start();
    return app.exec();
}
