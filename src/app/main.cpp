#include "program_start.h"
#include "qt_translations.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tramelo"));
    tramelo::installQtTranslations(app);

    tramelo::TrameloProgram program;
    program.start();
    return app.exec();
}
