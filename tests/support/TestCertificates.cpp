#include "TestCertificates.h"

#include <QFile>
#include <QProcess>

#include <stdexcept>

namespace testsupport {

namespace {

QByteArray runOpenssl(const QStringList &arguments)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        openssl.kill();
        throw std::runtime_error("openssl " + arguments.join(QLatin1Char(' ')).toStdString()
                                 + " failed: " + openssl.readAll().toStdString());
    }
    return openssl.readAll();
}

// A fresh P-256 key, quick to make.
const QStringList NewKey = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                            QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};

} // namespace

TestCertificates::TestCertificates()
{
    if (!m_folder.isValid())
        throw std::runtime_error("no temporary folder for the certificates");
    makeAuthority(QStringLiteral("ca"));
    makeAuthority(QStringLiteral("unknown-ca"));
}

void TestCertificates::makeAuthority(const QString &stem)
{
    runOpenssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + NewKey
               + QStringList{QStringLiteral("-keyout"), m_folder.filePath(stem + QStringLiteral(".key")),
                             QStringLiteral("-out"), m_folder.filePath(stem + QStringLiteral(".pem")),
                             QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                             QStringLiteral("/CN=Quillon test authority ") + stem});
}

TestCertificates::ServerCertificate TestCertificates::server(const QString &dnsName, Issuer issuer, bool expired)
{
    const QString stem = m_folder.filePath(QStringLiteral("server%1").arg(++m_count));
    const QString ca = issuer == Issuer::TrustedCa ? QStringLiteral("ca") : QStringLiteral("unknown-ca");
    QFile extensions(stem + QStringLiteral(".ext"));
    if (!extensions.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write the certificate extensions");
    extensions.write("subjectAltName=DNS:" + dnsName.toUtf8()
                     + "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
    extensions.close();

    ServerCertificate made{stem + QStringLiteral(".pem"), stem + QStringLiteral(".key")};
    runOpenssl(QStringList{QStringLiteral("req")} + NewKey
               + QStringList{QStringLiteral("-keyout"), made.key, QStringLiteral("-out"), stem + QStringLiteral(".csr"),
                             QStringLiteral("-subj"), QStringLiteral("/CN=") + dnsName});
    // A self-signed certificate is signed with its own key. A negative validity ends the
    // certificate a day before it begins: expired.
    const QStringList signer = issuer == Issuer::SelfSigned
        ? QStringList{QStringLiteral("-signkey"), made.key}
        : QStringList{QStringLiteral("-CA"), m_folder.filePath(ca + QStringLiteral(".pem")), QStringLiteral("-CAkey"),
                      m_folder.filePath(ca + QStringLiteral(".key"))};
    runOpenssl(QStringList{QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                           stem + QStringLiteral(".csr")}
               + signer
               + QStringList{QStringLiteral("-set_serial"), QString::number(m_count), QStringLiteral("-days"),
                             expired ? QStringLiteral("-1") : QStringLiteral("1"),
                             QStringLiteral("-extfile"), extensions.fileName(), QStringLiteral("-out"),
                             made.certificate});
    return made;
}

QString TestCertificates::fingerprint(const QString &certificateFile)
{
    const QByteArray out = runOpenssl({QStringLiteral("x509"), QStringLiteral("-in"), certificateFile,
                                       QStringLiteral("-noout"), QStringLiteral("-fingerprint"),
                                       QStringLiteral("-sha256")});
    // "sha256 Fingerprint=AB:CD:..." (older versions: "SHA256 Fingerprint=...").
    return QString::fromLatin1(out.mid(out.indexOf('=') + 1)).trimmed().toUpper();
}

} // namespace testsupport
