#include "seconds_box.h"

namespace tramelo {

SecondsBox::SecondsBox(double maximum, QWidget *parent)
    : QDoubleSpinBox(parent)
{
    QLocale shown;
    shown.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    setLocale(shown);
    setDecimals(3);
    setRange(0, maximum);
    setSuffix(QStringLiteral(" s"));
}

QString SecondsBox::textFromValue(double value) const
{
    return locale().toString(value, 'f', QLocale::FloatingPointShortest);
}

QString SecondsBox::settingText(double value)
{
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

} // namespace tramelo
