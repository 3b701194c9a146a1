#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tramelo {

// "Sobre Tramelo", the box the program starts with: a picture, the version,
// and the one button that opens the main window and closes the box. The
// button is the default, and Escape does what it does.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget &mainWindow, QWidget *parent = nullptr);

    QLabel *lblVersio = nullptr;
    QPushButton *cmbSortir = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void enterProgram();

    QWidget &m_mainWindow;
};

} // namespace tramelo
