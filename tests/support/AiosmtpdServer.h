#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>

namespace testsupport {

// One message the real server accepted: the envelope, the login it came under, the DATA text as received.
struct ReceivedMessage
{
    QString mailFrom;
    QStringList mailOptions; // the parameters of MAIL FROM, such as BODY=8BITMIME
    QStringList rcptTos;
    QString login; // empty when the client did not log in
    bool tls = false; // the connection was encrypted when the message came
    QByteArray data;
    QString path; // the saved DATA text, for a mail parser to read
};

// A real SMTP server (Debian's aiosmtpd under /usr/bin/python3) on a loopback address, on a given
// port or a free one, with AUTH LOGIN offered for one user, over plain TCP, with STARTTLS offered, or
// with TLS from the first byte, and 8BITMIME unless told otherwise. It saves every message it accepts
// and notes every login attempt. The constructor returns once it listens; it stops at its deadline,
// when this object is destroyed (killed by its PID), or when the test process is gone.
class AiosmtpdServer
{
public:
    struct Options
    {
        QString address = QStringLiteral("127.0.0.1");
        quint16 port = 0;
        QString user = QStringLiteral("sender@example.test");
        QString password = QStringLiteral("secret");
        std::chrono::seconds deadline = std::chrono::seconds(120);
        enum class Tls { None, StartTls, Implicit } tls = Tls::None;
        // PEM files of the server's certificate and key, for STARTTLS and implicit TLS.
        QString certificate;
        QString key;
        bool eightBitMime = true;
        // Messages accepted before every MAIL FROM is refused with "550 5.4.5"; 0: no quota.
        int quota = 0;
    };

    AiosmtpdServer();
    explicit AiosmtpdServer(const Options &options);
    ~AiosmtpdServer();
    AiosmtpdServer(const AiosmtpdServer &) = delete;
    AiosmtpdServer &operator=(const AiosmtpdServer &) = delete;

    QString address() const { return m_options.address; }
    quint16 port() const { return m_port; }
    QString user() const { return m_options.user; }
    QString password() const { return m_options.password; }

    // The messages saved so far, in the order they came.
    QList<ReceivedMessage> messages() const;
    // Waits up to the timeout until at least count messages have been saved; gives them.
    QList<ReceivedMessage> waitForMessages(int count,
                                           std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // Every AUTH attempt that reached the login check, in order: "<mechanism> tls" or "<mechanism> plain".
    QStringList authAttempts() const;

private:
    Options m_options;
    QTemporaryDir m_folder;
    QProcess m_process;
    quint16 m_port = 0;
};

// What Python's email package makes of a saved message: subject, from_name, from_address, to,
// to_name, to_address, reply_to, content_type, charset (empty when undeclared), mime_version,
// transfer_encoding, message_id, list_unsubscribe (empty when absent), body (decoded from its transfer encoding and in its charset,
// UTF-8 when undeclared; a message with parts: its first part's) and defects; and parts, each part's
// content_type, charset, transfer_encoding, disposition, filename and name (as a current reader takes
// them), older_filename and older_name (from the name=/filename= parameters alone) and data (its
// decoded bytes in base64).
QJsonObject parseWithPythonEmail(const QString &path);

} // namespace testsupport
