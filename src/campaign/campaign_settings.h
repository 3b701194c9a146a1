#pragma once

#include <QObject>
#include <QString>

#include <array>

namespace tramelo {

enum class SourceKind { Table, Sql };
enum class BodyKind { File, Text };
// "Seguretat de la connexió:". Automàtica follows the port: SSL/TLS on 465,
// STARTTLS on 587, none on any other.
enum class ConnectionSecurity { Automatic, None, StartTls, SslTls };

// The text settings of a campaign, each under the one name the whole program
// uses for it. TableName and AddressField are the texts of the two lists.
enum class Setting {
    SenderAddress,
    SenderName,
    SmtpServer,
    LoginUser,
    LoginPassword,
    WaitSeconds,
    DatabaseSource,
    TableQuoteLeft,
    TableQuoteRight,
    TableName,
    SqlStatement,
    AddressField,
    GroupSize,
    MessageSubject,
    BodySource,
    AttachmentList,
    FieldDelimiterLeft,
    FieldDelimiterRight,
    TrustedCertificatesFile, // a PEM file of authorities trusted beside the system's
    BodyText,
};
inline constexpr int settingCount = int(Setting::BodyText) + 1;

enum class Check { NeedsLogin, GroupSendings };

// The one campaign record of the main window. The window binds its controls to
// it; every other part of the program reads the live value at each use, so an
// edit made during a run applies from the next message on.
class CampaignSettings : public QObject
{
    Q_OBJECT
public:
    explicit CampaignSettings(QObject *parent = nullptr);

    QString text(Setting setting) const { return m_texts[std::size_t(setting)]; }
    void setText(Setting setting, const QString &value);

    // A check box holds 0 or 1 (any value is kept); it counts as set only at 1.
    int checkValue(Check check) const { return m_checks[std::size_t(check)]; }
    bool isChecked(Check check) const { return checkValue(check) == 1; }
    void setCheckValue(Check check, int value);

    SourceKind sourceKind() const { return m_sourceKind; }
    void setSourceKind(SourceKind kind);
    BodyKind bodyKind() const { return m_bodyKind; }
    void setBodyKind(BodyKind kind);
    ConnectionSecurity security() const { return m_security; }
    void setSecurity(ConnectionSecurity security);

    // The values the main window sets when it opens.
    void applyStartDefaults();

Q_SIGNALS:
    void textChanged(tramelo::Setting setting);
    void checkChanged(tramelo::Check check);
    void sourceKindChanged(tramelo::SourceKind kind);
    void bodyKindChanged(tramelo::BodyKind kind);
    void securityChanged(tramelo::ConnectionSecurity security);

private:
    std::array<QString, settingCount> m_texts;
    std::array<int, 2> m_checks{};
    SourceKind m_sourceKind = SourceKind::Table;
    BodyKind m_bodyKind = BodyKind::File;
    ConnectionSecurity m_security = ConnectionSecurity::Automatic;
};

} // namespace tramelo
