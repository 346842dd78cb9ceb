#pragma once

#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// A throwaway certificate authority and the server certificates it signs, made with the openssl
// command in a temporary folder that goes away with this object. Point SSL_CERT_FILE at caFile() to
// make a client trust the authority.
class TestCertificates
{
public:
    struct ServerCertificate
    {
        QString certificate; // PEM file
        QString key; // PEM file, unencrypted
    };

    // SelfSigned: the certificate signs itself, as a company's own server often has it.
    enum class Issuer { TrustedCa, UnknownCa, SelfSigned };

    TestCertificates();

    QString caFile() const { return m_folder.filePath(QStringLiteral("ca.pem")); }

    // A certificate for one DNS name, valid from now on for a day (or expired since a day), signed
    // by the trusted authority or by another one that nothing trusts.
    ServerCertificate server(const QString &dnsName, Issuer issuer = Issuer::TrustedCa, bool expired = false);

    // The certificate's SHA-256 fingerprint as the openssl command gives it ("AB:CD:...").
    static QString fingerprint(const QString &certificateFile);

private:
    void makeAuthority(const QString &stem);

    QTemporaryDir m_folder;
    int m_count = 0;
};

} // namespace testsupport
