#include "odbc_picker_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tramelo {
namespace {

void fillList(QListWidget *list, const QList<OdbcListEntry> &entries)
{
    for (const OdbcListEntry &entry : entries) {
        auto *item = new QListWidgetItem(entry.name, list);
        item->setToolTip(entry.description);
    }
}

QWidget *titled(const QString &title, QWidget *content)
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(title));
    layout->addWidget(content);
    return box;
}

} // namespace

OdbcPickerDialog::OdbcPickerDialog(QWidget *parent)
    : QDialog(parent)
    , m_dataSources(new QListWidget)
    , m_drivers(new QListWidget)
    , m_listingError(new QLabel)
    , m_attributes(new QLineEdit)
    , m_user(new QLineEdit)
    , m_password(new QLineEdit)
    , m_connect(new QPushButton(QStringLiteral("Connectar")))
{
    setWindowTitle(QStringLiteral("Origen de dades ODBC"));
    m_password->setEchoMode(QLineEdit::Password);
    m_attributes->setPlaceholderText(QStringLiteral("Database=/camí/de/la/base.sqlite"));
    m_listingError->setWordWrap(true);
    m_listingError->hide();

    auto *lists = new QHBoxLayout;
    lists->addWidget(titled(QStringLiteral("Orígens de dades:"), m_dataSources));
    lists->addWidget(titled(QStringLiteral("Controladors:"), m_drivers));

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("Atributs:"), m_attributes);
    fields->addRow(QStringLiteral("Usuari:"), m_user);
    fields->addRow(QStringLiteral("Contrasenya:"), m_password);

    auto *cancel = new QPushButton(QStringLiteral("Cancel·lar"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_connect);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(lists);
    layout->addWidget(m_listingError);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    m_connect->setDefault(true);
    m_connect->setEnabled(false);
    connect(m_connect, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // One source at a time: choosing in one list clears the other.
    connect(m_dataSources, &QListWidget::itemSelectionChanged, this,
            [this] { onSelectionChanged(m_dataSources, m_drivers); });
    connect(m_drivers, &QListWidget::itemSelectionChanged, this,
            [this] { onSelectionChanged(m_drivers, m_dataSources); });
    connect(m_dataSources, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(m_drivers, &QListWidget::itemDoubleClicked, this, [this] {
        // A driver alone rarely opens anything: the operator adds attributes first.
        m_attributes->setFocus();
    });
    fillLists();
}

void OdbcPickerDialog::fillLists()
{
    // A driver manager that cannot list says why, above the empty lists.
    QStringList errors;
    QString error;
    if (const std::optional<QList<OdbcListEntry>> sources = odbcDataSources(error))
        fillList(m_dataSources, *sources);
    else
        errors.append(error);
    error.clear();
    if (const std::optional<QList<OdbcListEntry>> drivers = odbcDrivers(error))
        fillList(m_drivers, *drivers);
    else
        errors.append(error);
    if (!errors.isEmpty()) {
        m_listingError->setText(errors.join(u'\n'));
        m_listingError->show();
    }
}

void OdbcPickerDialog::onSelectionChanged(QListWidget *selected, QListWidget *other)
{
    if (!selected->selectedItems().isEmpty())
        other->clearSelection();
    m_connect->setEnabled(!m_dataSources->selectedItems().isEmpty() || !m_drivers->selectedItems().isEmpty());
}

OdbcSourceChoice OdbcPickerDialog::choice() const
{
    OdbcSourceChoice picked;
    const QList<QListWidgetItem *> sources = m_dataSources->selectedItems();
    const QList<QListWidgetItem *> drivers = m_drivers->selectedItems();
    if (!sources.isEmpty()) {
        picked.kind = OdbcSourceChoice::Kind::DataSource;
        picked.name = sources.first()->text();
    } else if (!drivers.isEmpty()) {
        picked.kind = OdbcSourceChoice::Kind::Driver;
        picked.name = drivers.first()->text();
    }
    picked.attributes = m_attributes->text();
    picked.user = m_user->text();
    picked.password = m_password->text();
    return picked;
}

} // namespace tramelo
