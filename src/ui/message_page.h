#pragma once

#include <QStringList>
#include <QTextBrowser>

namespace tramelo {

// A rendered message body that shows the images the message carries, and
// only those: the mail component links an attached file into the body
// where an attribute's value ends with the file's name, so an image is
// drawn from the attachment of that name. Images the message does not carry
// stay blank, as the recipient will see them.
class MessagePage : public QTextBrowser
{
    Q_OBJECT
public:
    explicit MessagePage(QWidget *parent = nullptr);

    // The message's attachment list: paths separated by ";".
    void setCarriedFiles(const QString &attachmentList);

protected:
    QVariant loadResource(int type, const QUrl &name) override;

private:
    QStringList m_files;
};

} // namespace tramelo
