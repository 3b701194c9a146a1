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
