#pragma once

#include <QDialog>

class QTextBrowser;

namespace tramelo {

// "Guia d'ús": the README's first campaign, with its pictures, as it was
// built into the program, so that it opens without the sources or the
// network.
class UserGuide : public QDialog
{
    Q_OBJECT
public:
    explicit UserGuide(QWidget *parent = nullptr);

    QTextBrowser *text = nullptr;

    // The section of the README that begins with that heading, to the next
    // heading of its level; empty when there is none.
    static QString section(const QString &markdown, const QString &heading);
};

} // namespace tramelo
