#pragma once

#include <QDoubleSpinBox>

namespace tramelo {

// A number of seconds with its unit, "2,5 s": whole milliseconds at most,
// shown without the zeros after them, in the operator's own decimal mark.
class SecondsBox : public QDoubleSpinBox
{
    Q_OBJECT
public:
    SecondsBox(double maximum, QWidget *parent = nullptr);

    QString textFromValue(double value) const override;

    // The value as the setting holds it: "2.5", "15", "0".
    static QString settingText(double value);
};

} // namespace tramelo
