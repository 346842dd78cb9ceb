#include "MailErrors.h"

#include "MailLog.h"

#include <cerrno>

namespace {

QString replyLines(const SmtpReply &reply)
{
    QString text;
    for (const QString &line : reply.text)
        text += line + QLatin1String("\r\n");
    return text;
}

// The reply as the server wrote it: its code, the enhanced code where it sent one, its lines.
QString quotedReply(const SmtpReply &reply)
{
    QString quoted = reply.code + QLatin1Char(' ');
    const EnhancedStatusCode &enhanced = reply.enhancedCode;
    if (enhanced.available)
        quoted += QStringLiteral("%1.%2.%3 ").arg(enhanced.statusClass).arg(enhanced.subject).arg(enhanced.details);
    return quoted + reply.text.join(QLatin1String("\r\n"));
}

} // namespace

QString replyCodeExplanation(int code)
{
    switch (code / 100) {
    case 4: return QStringLiteral("邮件服务器暂时无法处理这一步，请稍后再试");
    case 5: return QStringLiteral("邮件服务器拒绝了这一步");
    default: return QStringLiteral("邮件服务器的回复不是这一步应有的回复");
    }
}

bool demandsEncryption(int code, const QString &replyText)
{
    return code == 530 && replyText.contains(QLatin1String("STARTTLS"), Qt::CaseInsensitive);
}

SmtpReplyError::SmtpReplyError(const SmtpReply &reply)
    : ReplyError(reply.numericCode,
                 (demandsEncryption(reply.numericCode, reply.text.join(QLatin1Char(' ')))
                      ? QStringLiteral("服务器要求先加密连接")
                      : replyCodeExplanation(reply.numericCode))
                     + QStringLiteral("。服务器的回复：") + quotedReply(reply).trimmed())
    , enhancedCode(reply.enhancedCode)
    , replyText(replyLines(reply))
{
}

SocketError::SocketError(int lastError)
    : SocketError(lastError, socketErrorText(lastError), socketErrorExplanation(lastError))
{
}

SocketError::SocketError(int lastError, const QString &text, const QString &explanation)
    // getaddrinfo's conditions are negative and name nothing the user could look up.
    : MailError(lastError > 0 ? explanation + QStringLiteral("（系统错误号 %1）").arg(lastError) : explanation)
    , lastError(lastError)
    , condition(text)
{
    qCInfo(mailLog) << "socket error" << lastError << text;
}

TlsError::TlsError(const QString &what, const QString &detail)
    : MailError(what)
    , detail(detail)
{
    qCInfo(mailLog) << "encryption failed:" << what << detail;
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

QString socketErrorExplanation(int error)
{
    switch (error) {
    case ETIMEDOUT: return QStringLiteral("邮件服务器在限定的时间内没有回应");
    case ECONNREFUSED: return QStringLiteral("邮件服务器拒绝了连接（该端口上没有邮件服务）");
    case ECONNRESET: return QStringLiteral("连接被邮件服务器重置");
    case ECONNABORTED: return QStringLiteral("连接已中止");
    case EPIPE:
    case ESHUTDOWN:
    case ENOTCONN: return QStringLiteral("与邮件服务器的连接已断开");
    case ENETDOWN:
    case ENETUNREACH: return QStringLiteral("网络不可用");
    case ENETRESET: return QStringLiteral("网络断开了连接");
    case EHOSTDOWN:
    case EHOSTUNREACH: return QStringLiteral("无法到达邮件服务器");
    case EADDRINUSE:
    case EADDRNOTAVAIL: return QStringLiteral("本机的网络地址不可用");
    case EMFILE:
    case ENOBUFS: return QStringLiteral("系统资源不足，无法建立连接");
    case EACCES: return QStringLiteral("没有权限建立这个网络连接");
    default: return QStringLiteral("网络错误");
    }
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
    : MailError(QStringLiteral("电子邮件地址中含有控制字符，邮件未发送：") + visibleControls(address))
{
}

namespace {

QString certificateLines(const CertificateInfo &c)
{
    return QStringLiteral("服务器：%1:%2\n主题：%3\n签发者：%4\n有效期：%5 至 %6（UTC）\nSHA-256 指纹：%7")
        .arg(c.host)
        .arg(c.port)
        .arg(c.subject, c.issuer, c.notBefore, c.notAfter, c.fingerprint);
}

} // namespace

UntrustedCertificateError::UntrustedCertificateError(const CertificateInfo &certificate)
    : UntrustedCertificateError(
          certificate,
          QStringLiteral("服务器证书的签发者不受信任（自签名证书或内部证书颁发机构），未登录，邮件未发送。\n")
              + certificateLines(certificate))
{
}

CertificateChangedError::CertificateChangedError(const CertificateInfo &certificate, const QString &storedFingerprint)
    : UntrustedCertificateError(
          certificate,
          QStringLiteral("警告：服务器的证书与已信任的证书不同，连接已中止，未登录，邮件未发送。"
                         "可能有人冒充该服务器，也可能服务器更换了证书。\n已信任的证书指纹：%1\n服务器现在的证书指纹：%2\n")
                  .arg(storedFingerprint, certificate.fingerprint)
              + certificateLines(certificate))
    , storedFingerprint(storedFingerprint)
{
}

QString cleartextLoginQuestion()
{
    return QStringLiteral("服务器不支持加密，密码将以明文发送，是否继续？");
}
