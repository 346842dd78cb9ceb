#pragma once

#include "mail/IdException.h"
#include "mail/IdReplySMTP.h"

// The kinds of failure of the SMTP session and its connection, each with its fixed message text.

// A reply whose code is not one the step expects; the message is the server's text.
class EIdReplyRFCError : public EIdException
{
public:
    EIdReplyRFCError(int errorCode, const QString &message)
        : EIdException(message)
        , ErrorCode(errorCode)
    {
    }

    int ErrorCode;
};

class EIdSMTPReplyError : public EIdReplyRFCError
{
public:
    // The reply's text lines, each followed by CR LF, carrying its codes along.
    explicit EIdSMTPReplyError(const TIdReplySMTP &reply);

    TIdSMTPEnhancedCode EnhancedCode;
};

// "Socket Error # <number>" CR LF <the condition's text>.
class EIdSocketError : public EIdException
{
public:
    explicit EIdSocketError(int lastError);
    EIdSocketError(int lastError, const QString &text);

    int LastError;
};

class EIdNotASocket : public EIdSocketError
{
public:
    using EIdSocketError::EIdSocketError;
};

// Throws the socket error for an errno value: EIdNotASocket for ENOTSOCK, EIdSocketError otherwise.
[[noreturn]] void raiseSocketError(int error);

// The fixed text of a socket error condition; empty for a condition without one.
QString socketErrorText(int error);

class EIdConnClosedGracefully : public EIdException
{
public:
    EIdConnClosedGracefully()
        : EIdException(QStringLiteral("Connection Closed Gracefully."))
    {
    }
};

class EIdNotConnected : public EIdException
{
public:
    EIdNotConnected()
        : EIdException(QStringLiteral("Not Connected"))
    {
    }
};

class EIdAlreadyConnected : public EIdException
{
public:
    EIdAlreadyConnected()
        : EIdException(QStringLiteral("Already connected."))
    {
    }
};

class EIdHostRequired : public EIdException
{
public:
    EIdHostRequired()
        : EIdException(QString())
    {
    }
};

class EIdPortRequired : public EIdException
{
public:
    EIdPortRequired()
        : EIdException(QString())
    {
    }
};

class EIdCouldNotBindSocket : public EIdException
{
public:
    EIdCouldNotBindSocket()
        : EIdException(QStringLiteral("Could not bind socket. Address and port are already in use."))
    {
    }
};

class EIdReadLnMaxLineLengthExceeded : public EIdException
{
public:
    EIdReadLnMaxLineLengthExceeded()
        : EIdException(QStringLiteral("Max line length exceeded."))
    {
    }
};

// An address that holds a line break or another control character: written into a command it would
// end that command early and smuggle the rest in as a command of its own, so it never goes out.
class EIdInvalidAddress : public EIdException
{
public:
    explicit EIdInvalidAddress(const QString &address);
};
