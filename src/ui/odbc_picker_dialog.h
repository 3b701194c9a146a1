#pragma once

#include "odbc_picker.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tramelo {

// The ODBC source picker: the data sources and the drivers the driver
// manager knows, the attributes a driver needs (such as the database it
// opens), a user and a password.
class OdbcPickerDialog : public QDialog
{
    Q_OBJECT
public:
    explicit OdbcPickerDialog(QWidget *parent = nullptr);

    // What the operator picked; meaningful once the dialog was accepted.
    OdbcSourceChoice choice() const;

    QListWidget *dataSources() const { return m_dataSources; }
    QListWidget *drivers() const { return m_drivers; }
    QLineEdit *attributes() const { return m_attributes; }
    QLineEdit *user() const { return m_user; }
    QLineEdit *password() const { return m_password; }
    QPushButton *connectButton() const { return m_connect; }

private:
    void fillLists();
    void onSelectionChanged(QListWidget *selected, QListWidget *other);

    QListWidget *m_dataSources;
    QListWidget *m_drivers;
    QLabel *m_listingError;
    QLineEdit *m_attributes;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QPushButton *m_connect;
};

} // namespace tramelo
