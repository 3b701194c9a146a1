#include <QApplication>
#include <QMessageBox>

// Until the main window exists the program says what it is and no more.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tramelo"));
    QMessageBox::information(nullptr, QStringLiteral("Tramelo"),
                             QStringLiteral("Tramelo Versió " TRAMELO_VERSION));
    return 0;
}
