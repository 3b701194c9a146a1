#include "test_certificates.h"

#include <QFile>
#include <QProcess>

namespace tramelo::test {

namespace {

const QString opensslProgram = QStringLiteral("/usr/bin/openssl");
constexpr int commandTimeoutMs = 20000;

const QString goodNames = QStringLiteral("IP:127.0.0.1,DNS:localhost");

// What "openssl ca" needs besides its command line: a signing policy that
// takes any subject, and its record of what it signed.
const char authorityConfiguration[] = "[ ca ]\n"
                                      "default_ca = test_ca\n"
                                      "[ test_ca ]\n"
                                      "database = index.txt\n"
                                      "new_certs_dir = .\n"
                                      "serial = serial\n"
                                      "default_md = sha256\n"
                                      "policy = any_subject\n"
                                      "unique_subject = no\n"
                                      "[ any_subject ]\n"
                                      "commonName = supplied\n";

bool writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

const TestCertificates &TestCertificates::shared()
{
    static const TestCertificates certificates;
    return certificates;
}

TestCertificates::TestCertificates()
{
    if (!m_folder.isValid())
        m_error = QStringLiteral("cannot make a temporary folder: ") + m_folder.errorString();
    else
        make();
}

bool TestCertificates::openssl(const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(m_folder.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(opensslProgram, arguments);
    if (!process.waitForFinished(commandTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        m_error = QStringLiteral("openssl %1 did not end: %2 (install the Debian package openssl)")
                      .arg(arguments.join(u' '), process.errorString());
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = QStringLiteral("openssl %1 failed: %2").arg(arguments.join(u' '), QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

bool TestCertificates::signByAuthority(const QString &out, const QString &request, const QString &names,
                                       const QStringList &dates)
{
    const QString extensions = out + QStringLiteral(".ext");
    const QByteArray text = "basicConstraints = CA:FALSE\n"
                            "keyUsage = digitalSignature, keyEncipherment\n"
                            "extendedKeyUsage = serverAuth\n"
                            "subjectAltName = "
        + names.toLatin1() + "\n";
    if (!writeText(path(extensions), text)) {
        m_error = QStringLiteral("cannot write ") + path(extensions);
        return false;
    }
    return openssl(QStringList{QStringLiteral("ca"), QStringLiteral("-batch"), QStringLiteral("-notext"),
                               QStringLiteral("-config"), QStringLiteral("ca.cnf"), QStringLiteral("-cert"),
                               QStringLiteral("authority.pem"), QStringLiteral("-keyfile"), QStringLiteral("authority.key"),
                               QStringLiteral("-in"), request, QStringLiteral("-out"), out,
                               QStringLiteral("-extfile"), extensions}
                   + dates);
}

bool TestCertificates::make()
{
    if (!writeText(path(QStringLiteral("ca.cnf")), authorityConfiguration)
        || !writeText(path(QStringLiteral("index.txt")), {}) || !writeText(path(QStringLiteral("serial")), "1000\n")) {
        m_error = QStringLiteral("cannot write the authority's files in ") + m_folder.path();
        return false;
    }
    const QStringList rsaKey = {QStringLiteral("-newkey"), QStringLiteral("rsa:2048"), QStringLiteral("-nodes")};
    const QStringList validNow = {QStringLiteral("-days"), QStringLiteral("30")};
    // A certificate's common name counts as one of its names too.
    const auto request = [&](const QString &out, const QString &commonName) {
        return openssl({QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-key"), QStringLiteral("server.key"),
                        QStringLiteral("-out"), out, QStringLiteral("-subj"), QStringLiteral("/CN=") + commonName});
    };
    return openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + rsaKey
                   + QStringList{QStringLiteral("-keyout"), QStringLiteral("authority.key"), QStringLiteral("-out"),
                                 QStringLiteral("authority.pem"), QStringLiteral("-subj"),
                                 QStringLiteral("/CN=Tramelo Test Authority"), QStringLiteral("-addext"),
                                 QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                                 QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")}
                   + validNow)
        && openssl({QStringLiteral("genpkey"), QStringLiteral("-algorithm"), QStringLiteral("RSA"), QStringLiteral("-pkeyopt"),
                    QStringLiteral("rsa_keygen_bits:2048"), QStringLiteral("-out"), QStringLiteral("server.key")})
        && request(QStringLiteral("server.csr"), QStringLiteral("127.0.0.1"))
        && request(QStringLiteral("other-name.csr"), QStringLiteral("other.tramelo.test"))
        && signByAuthority(QStringLiteral("good.pem"), QStringLiteral("server.csr"), goodNames, validNow)
        && signByAuthority(QStringLiteral("expired.pem"), QStringLiteral("server.csr"), goodNames,
                           {QStringLiteral("-startdate"), QStringLiteral("20200101000000Z"), QStringLiteral("-enddate"),
                            QStringLiteral("20210101000000Z")})
        && signByAuthority(QStringLiteral("other-name.pem"), QStringLiteral("other-name.csr"),
                           QStringLiteral("DNS:other.tramelo.test"), validNow)
        && openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-key"),
                               QStringLiteral("server.key"), QStringLiteral("-out"), QStringLiteral("self-signed.pem"),
                               QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                               QStringLiteral("subjectAltName=") + goodNames}
                   + validNow);
}

} // namespace tramelo::test
