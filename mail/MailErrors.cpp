#include "MailErrors.h"

#include <cerrno>

namespace {

QString replyMessage(const SmtpReply &reply)
{
    QString message;
    for (const QString &line : reply.text)
        message += line + QLatin1String("\r\n");
    return message;
}

} // namespace

SmtpReplyError::SmtpReplyError(const SmtpReply &reply)
    : ReplyError(reply.numericCode, replyMessage(reply))
    , enhancedCode(reply.enhancedCode)
{
}

SocketError::SocketError(int lastError)
    : SocketError(lastError, socketErrorText(lastError))
{
}

SocketError::SocketError(int lastError, const QString &text)
    : MailError(QLatin1String("Socket Error # ") + QString::number(lastError) + QLatin1String("\r\n") + text)
    , lastError(lastError)
{
}

void raiseSocketError(int error)
{
    if (error == ENOTSOCK)
        throw NotASocketError(error);
    throw SocketError(error);
}

QString socketErrorText(int error)
{
    const char *text = nullptr;
    switch (error) {
    case EINTR: text = "Interrupted system call."; break;
    case EBADF: text = "Bad file number."; break;
    case EACCES: text = "Access denied."; break;
    case EFAULT: text = "Buffer fault."; break;
    case EINVAL: text = "Invalid argument."; break;
    case EMFILE: text = "Too many open files."; break;
    case EWOULDBLOCK: text = "Operation would block."; break;
    case EINPROGRESS: text = "Operation now in progress."; break;
    case EALREADY: text = "Operation already in progress."; break;
    case ENOTSOCK: text = "Socket operation on non-socket."; break;
    case EDESTADDRREQ: text = "Destination address required."; break;
    case EMSGSIZE: text = "Message too long."; break;
    case EPROTOTYPE: text = "Protocol wrong type for socket."; break;
    case ENOPROTOOPT: text = "Bad protocol option."; break;
    case EPROTONOSUPPORT: text = "Protocol not supported."; break;
    case ESOCKTNOSUPPORT: text = "Socket type not supported."; break;
    case EOPNOTSUPP: text = "Operation not supported on socket."; break;
    case EPFNOSUPPORT: text = "Protocol family not supported."; break;
    case EAFNOSUPPORT: text = "Address family not supported by protocol family."; break;
    case EADDRINUSE: text = "Address already in use."; break;
    case EADDRNOTAVAIL: text = "Cannot assign requested address."; break;
    case ENETDOWN: text = "Network is down."; break;
    case ENETUNREACH: text = "Network is unreachable."; break;
    case ENETRESET: text = "Net dropped connection or reset."; break;
    case ECONNABORTED: text = "Software caused connection abort."; break;
    case ECONNRESET: text = "Connection reset by peer."; break;
    case ENOBUFS: text = "No buffer space available."; break;
    case EISCONN: text = "Socket is already connected."; break;
    case ENOTCONN: text = "Socket is not connected."; break;
    case ESHUTDOWN: text = "Cannot send or receive after socket is closed."; break;
    case ETOOMANYREFS: text = "Too many references, cannot splice."; break;
    case ETIMEDOUT: text = "Connection timed out."; break;
    case ECONNREFUSED: text = "Connection refused."; break;
    case ELOOP: text = "Too many levels of symbolic links."; break;
    case ENAMETOOLONG: text = "File name too long."; break;
    case EHOSTDOWN: text = "Host is down."; break;
    case EHOSTUNREACH: text = "No route to host."; break;
    case ENOTEMPTY: text = "Directory not empty"; break;
    default: return QString();
    }
    return QString::fromLatin1(text);
}

namespace {

// The address with every control character shown as \xNN, so the message itself stays on one line.
QString visibleControls(const QString &text)
{
    QString shown;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

} // namespace

InvalidAddressError::InvalidAddressError(const QString &address)
    : MailError(QLatin1String("Address holds a control character: ") + visibleControls(address))
{
}
