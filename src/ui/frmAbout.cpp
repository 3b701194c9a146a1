#include "frmAbout.h"

#include "icons.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QPushButton>
#include <QVBoxLayout>

namespace tramelo {

frmAbout::frmAbout(QWidget &mainWindow, QWidget *parent)
    : QDialog(parent)
    , lblVersio(new QLabel(QStringLiteral("Tramelo Versió " TRAMELO_VERSION)))
    , cmbSortir(new QPushButton)
    , m_mainWindow(mainWindow)
{
    registerUiResources();
    setWindowTitle(QStringLiteral("Sobre Tramelo"));
    setWindowIcon(QIcon(QStringLiteral(":/tramelo/tramelo.png")));

    auto *picture = new QLabel;
    picture->setPixmap(QPixmap(QStringLiteral(":/tramelo/about.png")));
    picture->setAlignment(Qt::AlignCenter);
    lblVersio->setAlignment(Qt::AlignCenter);
    cmbSortir->setIcon(themedIcon(QStringLiteral("go-next")));
    cmbSortir->setIconSize(QSize(32, 32));
    cmbSortir->setFixedSize(41, 41);
    cmbSortir->setToolTip(QStringLiteral("Tancar aquesta pantalla i entrar en el programa"));
    cmbSortir->setDefault(true);
    connect(cmbSortir, &QPushButton::clicked, this, &frmAbout::enterProgram);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addWidget(picture);
    layout->addWidget(lblVersio);
    layout->addWidget(cmbSortir, 0, Qt::AlignHCenter);
    setFixedSize(sizeHint());

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

// Escape closes the box the way its button does; closing it from the title
// bar at start still leaves the program without a window, which ends it.
void frmAbout::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Cancel))
        enterProgram();
    else
        QDialog::keyPressEvent(event);
}

void frmAbout::enterProgram()
{
    m_mainWindow.show();
    accept();
}

} // namespace tramelo
