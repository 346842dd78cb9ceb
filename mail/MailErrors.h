#pragma once

#include "MailError.h"
#include "SmtpReply.h"

// The kinds of failure of the SMTP session and its connection, each with its fixed message text.

// A reply whose code is not one the step expects; the message is the server's text.
class ReplyError : public MailError
{
public:
    ReplyError(int errorCode, const QString &message)
        : MailError(message)
        , errorCode(errorCode)
    {
    }

    int errorCode;
};

class SmtpReplyError : public ReplyError
{
public:
    // The reply's text lines, each followed by CR LF, carrying its codes along.
    explicit SmtpReplyError(const SmtpReply &reply);

    EnhancedStatusCode enhancedCode;
};

// "Socket Error # <number>" CR LF <the condition's text>.
class SocketError : public MailError
{
public:
    explicit SocketError(int lastError);
    SocketError(int lastError, const QString &text);

    int lastError;
};

class NotASocketError : public SocketError
{
public:
    using SocketError::SocketError;
};

// Throws the socket error for an errno value: NotASocketError for ENOTSOCK, SocketError otherwise.
[[noreturn]] void raiseSocketError(int error);

// The fixed text of a socket error condition; empty for a condition without one.
QString socketErrorText(int error);

class ConnectionClosedError : public MailError
{
public:
    ConnectionClosedError()
        : MailError(QStringLiteral("Connection Closed Gracefully."))
    {
    }
};

class NotConnectedError : public MailError
{
public:
    NotConnectedError()
        : MailError(QStringLiteral("Not Connected"))
    {
    }
};

class AlreadyConnectedError : public MailError
{
public:
    AlreadyConnectedError()
        : MailError(QStringLiteral("Already connected."))
    {
    }
};

class HostRequiredError : public MailError
{
public:
    HostRequiredError()
        : MailError(QString())
    {
    }
};

class PortRequiredError : public MailError
{
public:
    PortRequiredError()
        : MailError(QString())
    {
    }
};

class CouldNotBindSocketError : public MailError
{
public:
    CouldNotBindSocketError()
        : MailError(QStringLiteral("Could not bind socket. Address and port are already in use."))
    {
    }
};

// A reply of more lines or bytes than any real server sends (an EHLO reply is some ten lines): a
// peer that goes on and on is cut off before it can fill the memory.
class ReplyTooLongError : public MailError
{
public:
    ReplyTooLongError()
        : MailError(QStringLiteral("Reply too long: more than 100 lines or 64 KB."))
    {
    }
};

// A message without a recipient address: it fails before anything of it is on the wire.
class NoRecipientError : public MailError
{
public:
    NoRecipientError()
        : MailError(QStringLiteral("没有收件人地址"))
    {
    }
};

class LineTooLongError : public MailError
{
public:
    LineTooLongError()
        : MailError(QStringLiteral("Max line length exceeded."))
    {
    }
};

// An address that holds a line break or another control character: written into a command it would
// end that command early and smuggle the rest in as a command of its own, so it never goes out.
class InvalidAddressError : public MailError
{
public:
    explicit InvalidAddressError(const QString &address);
};

// The encrypted connection failed: the handshake, a check of the server's certificate, or the
// encrypted stream. The message says what failed, then OpenSSL's own words.
class TlsError : public MailError
{
public:
    TlsError(const QString &what, const QString &detail)
        : MailError(detail.isEmpty() ? what : what + QStringLiteral("：") + detail)
    {
    }
};

// The connection must be encrypted before the login, and the server does not offer STARTTLS or
// refuses it: nothing more is sent. The message quotes the server's reply.
class EncryptionRefusedError : public MailError
{
public:
    explicit EncryptionRefusedError(const QString &message)
        : MailError(message)
    {
    }
};
