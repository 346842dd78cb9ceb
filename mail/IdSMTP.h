#pragma once

#include "mail/IdReplySMTP.h"
#include "mail/IdTCPConnection.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class TIdMessage;

enum TIdSMTPAuthenticationType { satNone, satDefault, satSASL };

// How long each wait of the session may take, in milliseconds (negative: no limit). The defaults are
// RFC 5321's minimum client timeouts (section 4.5.3.2) and half a minute for connecting.
struct TIdSMTPTimeouts
{
    IdTimeout Connect = 30 * 1000;
    IdTimeout Greeting = 5 * 60 * 1000;
    IdTimeout MailFrom = 5 * 60 * 1000;
    IdTimeout RcptTo = 5 * 60 * 1000;
    IdTimeout Data = 2 * 60 * 1000;
    IdTimeout DataEnd = 10 * 60 * 1000;
    IdTimeout Other = 5 * 60 * 1000;
    // One write waiting for the server to take its bytes (the data block limit).
    IdTimeout Write = 3 * 60 * 1000;

    // Every limit the same (tests make them short).
    static TIdSMTPTimeouts all(IdTimeout timeout)
    {
        return {timeout, timeout, timeout, timeout, timeout, timeout, timeout, timeout};
    }
};

// The SMTP client session: one plain TCP connection, the greeting, an optional login with AUTH LOGIN,
// one mail transaction per message, QUIT. Used by one thread at a time; only Abort may be called from
// another.
class TIdSMTP
{
public:
    TIdSMTP();
    ~TIdSMTP();
    TIdSMTP(const TIdSMTP &) = delete;
    TIdSMTP &operator=(const TIdSMTP &) = delete;

    QString Host;
    quint16 Port = 25;
    QString Username;
    QString Password;
    // Sent with EHLO and HELO; empty means the local host name.
    QString HeloName;
    // The "X-Mailer" header of every message sent; empty means none.
    QString MailAgent;
    bool UseEhlo = true;
    TIdSMTPAuthenticationType AuthType = satDefault;
    int MaxLineLength = 16384;
    TIdSMTPTimeouts Timeouts;

    // Opens the connection, reads the 220 greeting and greets with EHLO (or HELO).
    void Connect();
    // Delivers one message: login when still due, RSET, MAIL FROM, RCPT TO per recipient, DATA, the
    // message text, ".". A failure the server reported leaves the connection ready for the next one.
    void Send(TIdMessage &message);
    // QUIT when still connected, then closes the connection whatever the answer.
    void Disconnect();
    bool Connected();

    // Thread-safe: makes a blocked connect, write or reply wait end at once with "Software caused
    // connection abort.", closing the connection; every later wait fails the same way at once until
    // ResetAbort.
    void Abort() noexcept { m_abort.raise(); }
    void ResetAbort() noexcept { m_abort.reset(); }

    bool DidAuthenticate() const { return m_didAuthenticate; }
    QStringList Capabilities() const { return m_capabilities; }
    const TIdReplySMTP &LastCmdResult() const { return m_lastCmdResult; }

    // Sends one command line and reads its reply, which must carry one of the expected codes (any code
    // when none are given). Gives the reply's code.
    // The reply wait is bounded by the given limit, by Timeouts.Other when none is given.
    int SendCmd(const QString &line, const QList<int> &expected = {}, std::optional<IdTimeout> timeout = {});
    // Reads one reply without sending anything first.
    int GetResponse(const QList<int> &expected = {}, std::optional<IdTimeout> timeout = {});
    // The login step: true once this connection has logged in.
    bool Authenticate();

private:
    void greet();
    void writeMessage(TIdMessage &message);
    TIdTCPConnection &connection();

    IdAbortSignal m_abort;
    std::unique_ptr<TIdTCPConnection> m_connection;
    bool m_didAuthenticate = false;
    QStringList m_capabilities;
    TIdReplySMTP m_lastCmdResult;
};

// The name this computer gives itself, as the greeting sends it when no HeloName is set.
QString localHostName();
