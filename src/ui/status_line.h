#pragma once

#include <QLabel>

namespace tramelo {

// A one-line label that keeps its whole text however narrow it is drawn:
// what does not fit ends in "…", and the tool tip says it all.
class StatusLine : public QLabel
{
    Q_OBJECT
public:
    explicit StatusLine(QWidget *parent = nullptr);

    void showText(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace tramelo
