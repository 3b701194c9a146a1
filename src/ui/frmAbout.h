#pragma once

#include <QWidget>

class QLabel;
class QToolButton;

namespace tramelo {

// "Sobre Tramelo", the box the program starts with: a picture, the version,
// and the one button that opens the main window and closes the box.
class frmAbout : public QWidget
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget &mainWindow, QWidget *parent = nullptr);

    QLabel *lblVersio = nullptr;
    QToolButton *cmbSortir = nullptr;

private:
    void enterProgram();

    QWidget &m_mainWindow;
};

} // namespace tramelo
