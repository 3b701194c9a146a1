#include "setting_bindings.h"

#include "campaign.h"
#include "campaign_numbers.h"
#include "seconds_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <memory>

namespace tramelo {
namespace {

// Set while a binding shows a setting, so that the control's own change
// signal does not write the value back.
using Updating = std::shared_ptr<bool>;

template <typename Show>
void whileShowing(const Updating &updating, Show show)
{
    *updating = true;
    show();
    *updating = false;
}

// The entry the text names is the current one, without choosing it: an
// editable list that loses the focus chooses the entry its text names when
// that is not the current one, as if the operator had.
void showListText(QComboBox *list, const QString &text)
{
    list->setCurrentIndex(list->findText(text));
    list->setEditText(text);
}

} // namespace

void bindTextBox(QLineEdit *box, CampaignSettings &settings, Setting setting)
{
    const Updating updating = std::make_shared<bool>(false);
    const auto show = [box, &settings, setting, updating] {
        if (box->text() != settings.text(setting))
            whileShowing(updating, [&] { box->setText(settings.text(setting)); });
    };
    show();
    QObject::connect(box, &QLineEdit::textChanged, &settings, [&settings, setting, updating](const QString &text) {
        if (!*updating)
            settings.setText(setting, text);
    });
    QObject::connect(&settings, &CampaignSettings::textChanged, box, [show, setting](Setting changed) {
        if (changed == setting)
            show();
    });
}

void bindTextBox(QPlainTextEdit *box, CampaignSettings &settings, Setting setting)
{
    const Updating updating = std::make_shared<bool>(false);
    const auto show = [box, &settings, setting, updating] {
        if (box->toPlainText() != settings.text(setting))
            whileShowing(updating, [&] { box->setPlainText(settings.text(setting)); });
    };
    show();
    QObject::connect(box, &QPlainTextEdit::textChanged, &settings, [box, &settings, setting, updating] {
        if (!*updating)
            settings.setText(setting, box->toPlainText());
    });
    QObject::connect(&settings, &CampaignSettings::textChanged, box, [show, setting](Setting changed) {
        if (changed == setting)
            show();
    });
}

void bindCheckBox(QCheckBox *box, CampaignSettings &settings, Check check)
{
    box->setChecked(settings.checkValue(check) == 1);
    QObject::connect(box, &QCheckBox::toggled, &settings,
                     [&settings, check](bool checked) { settings.setCheckValue(check, checked ? 1 : 0); });
    QObject::connect(&settings, &CampaignSettings::checkChanged, box, [box, &settings, check](Check changed) {
        if (changed == check)
            box->setChecked(settings.checkValue(check) == 1);
    });
}

void bindSecondsBox(SecondsBox *box, CampaignSettings &settings, Setting setting)
{
    const Updating updating = std::make_shared<bool>(false);
    const auto show = [box, &settings, setting, updating] {
        const QString text = settings.text(setting);
        if (SecondsBox::settingText(box->value()) != text)
            whileShowing(updating, [&] { box->setValue(readNumber(text)); });
    };
    show();
    QObject::connect(box, &QDoubleSpinBox::valueChanged, &settings, [&settings, setting, updating](double value) {
        if (!*updating)
            settings.setText(setting, SecondsBox::settingText(value));
    });
    QObject::connect(&settings, &CampaignSettings::textChanged, box, [show, setting](Setting changed) {
        if (changed == setting)
            show();
    });
}

void bindSecurityList(QComboBox *list, CampaignSettings &settings)
{
    list->setCurrentIndex(int(settings.security()));
    QObject::connect(list, &QComboBox::currentIndexChanged, &settings,
                     [&settings](int index) { settings.setSecurity(ConnectionSecurity(index)); });
    QObject::connect(&settings, &CampaignSettings::securityChanged, list,
                     [list](ConnectionSecurity security) { list->setCurrentIndex(int(security)); });
}

void bindList(QComboBox *list, Campaign &campaign, Setting setting)
{
    CampaignSettings &settings = campaign.settings();
    const bool tables = setting == Setting::TableName;
    const Updating updating = std::make_shared<bool>(false);
    const auto show = [list, &settings, setting, updating] {
        if (list->currentText() != settings.text(setting))
            whileShowing(updating, [&] { showListText(list, settings.text(setting)); });
    };
    // New items never choose an entry by themselves: the text stays the setting.
    const auto refill = [list, &campaign, &settings, setting, tables, updating] {
        whileShowing(updating, [&] {
            list->clear();
            list->addItems(tables ? campaign.tableList() : campaign.fieldList());
            showListText(list, settings.text(setting));
        });
    };
    refill();
    QObject::connect(list, &QComboBox::editTextChanged, &settings, [&settings, setting, updating](const QString &text) {
        if (!*updating)
            settings.setText(setting, text);
    });
    QObject::connect(&settings, &CampaignSettings::textChanged, list, [show, setting](Setting changed) {
        if (changed == setting)
            show();
    });
    QObject::connect(&campaign, tables ? &Campaign::tableListChanged : &Campaign::fieldListChanged, list, refill);
}

} // namespace tramelo
