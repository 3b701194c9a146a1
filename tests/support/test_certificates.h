#pragma once

#include <QString>
#include <QTemporaryDir>

namespace tramelo::test {

// Certificates made with the openssl command in a temporary folder, once per
// test program: a test authority and, all with one RSA key, server
// certificates for 127.0.0.1 and localhost (signed by the authority), an
// expired one, one for another name, and a self-signed one.
class TestCertificates
{
public:
    struct Server
    {
        QString certificateFile;
        QString keyFile;
    };

    // The set of this test program, made on first use; check ok() (and
    // errorText()) before using it.
    static const TestCertificates &shared();

    bool ok() const { return m_error.isEmpty(); }
    QString errorText() const { return m_error; }

    // The test authority's certificate (PEM), to be trusted by the client.
    QString authorityFile() const { return path(QStringLiteral("authority.pem")); }
    // Valid now, for IP 127.0.0.1 and DNS localhost.
    Server good() const { return server(QStringLiteral("good.pem")); }
    // Valid from 2020-01-01 to 2021-01-01, for the same names.
    Server expired() const { return server(QStringLiteral("expired.pem")); }
    // Valid now, for DNS other.tramelo.test only (its common name too).
    Server otherName() const { return server(QStringLiteral("other-name.pem")); }
    // Valid now, for 127.0.0.1 and localhost, signed by its own key.
    Server selfSigned() const { return server(QStringLiteral("self-signed.pem")); }

private:
    TestCertificates();
    bool make();
    bool openssl(const QStringList &arguments);
    bool signByAuthority(const QString &out, const QString &request, const QString &names, const QStringList &dates);
    QString path(const QString &name) const { return m_folder.filePath(name); }
    Server server(const QString &certificate) const { return {path(certificate), path(QStringLiteral("server.key"))}; }

    QTemporaryDir m_folder;
    QString m_error;
};

} // namespace tramelo::test
