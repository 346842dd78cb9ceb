#pragma once

#include "SmtpConnection.h"
#include "SmtpReply.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

class MailMessage;

enum class SmtpAuthentication { None, Default, Sasl };

// How the connection is protected. Wherever the server offers STARTTLS it is used, and a refused or
// failed STARTTLS ends the connection: encryption once offered is never given up for clear text.
enum class SmtpSecurity {
    // Port 25: STARTTLS when offered; otherwise the written conversation (AUTH LOGIN only).
    Plain,
    // STARTTLS when offered; AUTH PLAIN when LOGIN is not offered.
    Opportunistic,
    // STARTTLS before anything else, or nothing is sent (submission, port 587).
    StartTls,
    // TLS from the first byte, before the greeting (port 465).
    Implicit,
};

// The protection a port stands for: 25 plain, 465 implicit TLS, 587 STARTTLS, any other STARTTLS
// when offered.
SmtpSecurity securityForPort(quint16 port);

// What the session does after the greeting, from the protection and whether the server offered
// STARTTLS: nothing more (Implicit is encrypted already; no offer where none is required), STARTTLS,
// or end the connection (required and not offered).
enum class TlsStep { None, StartTls, Refuse };
TlsStep tlsStepFor(SmtpSecurity security, bool startTlsOffered);

// How long each wait of the session may take, in milliseconds (negative: no limit). The defaults are
// RFC 5321's minimum client timeouts (section 4.5.3.2) and half a minute for connecting.
struct SmtpTimeouts
{
    TimeoutMs connect = 30 * 1000;
    TimeoutMs greeting = 5 * 60 * 1000;
    TimeoutMs mailFrom = 5 * 60 * 1000;
    TimeoutMs rcptTo = 5 * 60 * 1000;
    TimeoutMs data = 2 * 60 * 1000;
    TimeoutMs dataEnd = 10 * 60 * 1000;
    TimeoutMs other = 5 * 60 * 1000;
    // One write waiting for the server to take its bytes (the data block limit).
    TimeoutMs write = 3 * 60 * 1000;
    // The reply to the QUIT that follows a refused greeting or EHLO/HELO: the refusal is the
    // answer already, and a server that reads on without replying may not hold the run.
    TimeoutMs goodbye = 5 * 1000;

    // Every limit the same (tests make them short), the goodbye no longer than its own.
    static SmtpTimeouts all(TimeoutMs timeout)
    {
        const TimeoutMs goodbye = timeout < 0 ? SmtpTimeouts().goodbye : std::min(timeout, SmtpTimeouts().goodbye);
        return {timeout, timeout, timeout, timeout, timeout, timeout, timeout, timeout, goodbye};
    }
};

// The SMTP client session: one TCP connection, plain or with TLS, the greeting, an optional login with
// AUTH LOGIN (or AUTH PLAIN), one mail transaction per message, QUIT. Used by one thread at a time;
// only abort() may be called from another.
class SmtpSession
{
public:
    SmtpSession();
    ~SmtpSession();
    SmtpSession(const SmtpSession &) = delete;
    SmtpSession &operator=(const SmtpSession &) = delete;

    QString host;
    quint16 port = 25;
    // Takes effect at the next connect(); the certificate is checked for host.
    SmtpSecurity security = SmtpSecurity::Plain;
    QString userName;
    QString password;
    // Sent with EHLO and HELO; empty means the local host name.
    QString heloName;
    // The "X-Mailer" header of every message sent; empty means none.
    QString mailAgent;
    bool useEhlo = true;
    SmtpAuthentication authType = SmtpAuthentication::Default;
    int maxLineLength = 16384;
    SmtpTimeouts timeouts;
    // The SHA-256 fingerprint of the certificate the user trusted for host and port (empty: none).
    QString pinnedFingerprint;
    // The user agreed that the password of this account may go out unencrypted where the server
    // offers no encryption. Without it, connect() ends with CleartextLoginNotAgreedError before any
    // login would send the password in clear.
    bool cleartextLoginAgreed = false;

    // Opens the connection (TLS first for Implicit), reads the 220 greeting and greets with EHLO (or
    // HELO); then, where due, STARTTLS, the handshake and EHLO again.
    void connect();
    // Delivers one message: login when still due, RSET, MAIL FROM, RCPT TO per recipient, DATA, the
    // message text, ".". A failure the server reported leaves the connection ready for the next one.
    // `envelopeAccepted`, when given, is called once the server took every recipient and before
    // DATA: the last moment before any of the message's content can go out. What it throws ends
    // the send there, after an RSET that may fail unheard, and reaches the caller as it was thrown.
    void send(MailMessage &message, const std::function<void()> &envelopeAccepted = {});
    // The last send() failed after its whole text and the final "." had gone out, before the
    // server's reply came (the connection lost, the wait run out or aborted): the server may hold
    // the message, or may not.
    bool replyLostAfterMessage() const { return m_replyLostAfterMessage; }
    // QUIT when still connected, then closes the connection whatever the answer. The reply wait is
    // bounded by the given limit, by Timeouts.Other when none is given.
    void disconnect(std::optional<TimeoutMs> quitTimeout = {});
    bool isConnected();

    // Thread-safe: makes a blocked connect, write or reply wait end at once with "Software caused
    // connection abort.", closing the connection; every later wait fails the same way at once until
    // ResetAbort.
    void abort() noexcept { m_abort.raise(); }
    void resetAbort() noexcept { m_abort.reset(); }

    bool didAuthenticate() const { return m_didAuthenticate; }
    bool isEncrypted() const { return m_encrypted; }
    // This connection's certificate was taken by its pinned fingerprint.
    bool certificateAcceptedByFingerprint() const { return m_acceptedByFingerprint; }
    QStringList capabilities() const { return m_capabilities; }
    const SmtpReply &lastReply() const { return m_lastCmdResult; }

    // Sends one command line and reads its reply, which must carry one of the expected codes (any code
    // when none are given). Gives the reply's code.
    // The reply wait is bounded by the given limit, by Timeouts.Other when none is given.
    int sendCommand(const QString &line, const QList<int> &expected = {}, std::optional<TimeoutMs> timeout = {});
    // Reads one reply without sending anything first.
    int readResponse(const QList<int> &expected = {}, std::optional<TimeoutMs> timeout = {});
    // The login step: true once this connection has logged in.
    bool authenticate();

private:
    void greet();
    void startTlsWhenDue();
    void startTls();
    // The login mechanism the login step would use ("LOGIN", "PLAIN"), empty when none is due.
    QString loginMechanism() const;
    // DATA, the message text and its final ".", each reply checked.
    void sendData(MailMessage &message);
    // Puts one command line on the wire (and its first word in the trace), without reading the reply.
    void writeCommand(const QString &line);
    SmtpConnection &connection();

    AbortSignal m_abort;
    std::unique_ptr<SmtpConnection> m_connection;
    bool m_didAuthenticate = false;
    bool m_replyLostAfterMessage = false;
    // This connection's TLS handshake succeeded.
    bool m_encrypted = false;
    bool m_acceptedByFingerprint = false;
    QStringList m_capabilities;
    SmtpReply m_lastCmdResult;
};

// The name this computer gives itself, as the greeting sends it when no HeloName is set.
QString localHostName();
