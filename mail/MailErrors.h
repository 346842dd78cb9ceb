#pragma once

#include "MailError.h"
#include "SmtpReply.h"

#include <QtGlobal>

// The kinds of failure of the SMTP session and its connection, each with its fixed message text.

// The step of a mail transaction a refusal answered. A refusal at the sender or after the message
// text concerns the account as much as the customer; one at a recipient concerns that recipient.
enum class SmtpStep { Other, MailFrom, Recipient, Data, EndOfData };

// A reply whose code is not one the step expects.
class ReplyError : public MailError
{
public:
    ReplyError(int errorCode, const QString &message)
        : MailError(message)
        , errorCode(errorCode)
    {
    }

    int errorCode;
    // Set by the session's send for the steps of a mail transaction.
    SmtpStep step = SmtpStep::Other;
};

// The message explains the reply's code class in Chinese, then quotes the reply as the server
// wrote it: its code and its lines, each line followed by CR LF.
class SmtpReplyError : public ReplyError
{
public:
    explicit SmtpReplyError(const SmtpReply &reply);

    EnhancedStatusCode enhancedCode;
    // The reply's text lines, each followed by CR LF, without their codes.
    QString replyText;
};

// What a reply of this code means where the step expected another, for the message that quotes it.
QString replyCodeExplanation(int code);

// A 530 that asks for STARTTLS first (RFC 3207: "530 5.7.0 Must issue a STARTTLS command first"),
// told apart from RFC 4954's "530 5.7.0 Authentication required" by its text.
bool demandsEncryption(int code, const QString &replyText);

// The condition in the user's words and its number: "连接被邮件服务器重置（系统错误号 104）". The
// system's own (English) words for it go to the trace only.
class SocketError : public MailError
{
public:
    explicit SocketError(int lastError);
    SocketError(int lastError, const QString &text, const QString &explanation);

    int lastError;
    // The condition's text as the system names it ("Connection reset by peer."), for the trace.
    QString condition;
};

class NotASocketError : public SocketError
{
public:
    using SocketError::SocketError;
};

// Throws the socket error for an errno value: NotASocketError for ENOTSOCK, SocketError otherwise.
[[noreturn]] void raiseSocketError(int error);

// The fixed (English) text of a socket error condition, for the trace; empty for a condition without one.
QString socketErrorText(int error);
// The condition in the user's words; a general one for a condition without its own.
QString socketErrorExplanation(int error);

// The server ended the connection.
class ConnectionClosedError : public MailError
{
public:
    ConnectionClosedError()
        : MailError(QStringLiteral("服务器关闭了连接"))
    {
    }
};

class NotConnectedError : public MailError
{
public:
    NotConnectedError()
        : MailError(QStringLiteral("没有连接到邮件服务器"))
    {
    }
};

class AlreadyConnectedError : public MailError
{
public:
    AlreadyConnectedError()
        : MailError(QStringLiteral("已经连接到邮件服务器"))
    {
    }
};

class HostRequiredError : public MailError
{
public:
    HostRequiredError()
        : MailError(QStringLiteral("没有指定邮件服务器"))
    {
    }
};

class PortRequiredError : public MailError
{
public:
    PortRequiredError()
        : MailError(QStringLiteral("没有指定邮件服务器的端口"))
    {
    }
};

class CouldNotBindSocketError : public MailError
{
public:
    CouldNotBindSocketError()
        : MailError(QStringLiteral("无法绑定本机的网络端口：地址和端口已被占用"))
    {
    }
};

// A reply of more lines or bytes than any real server sends (an EHLO reply is some ten lines): a
// peer that goes on and on is cut off before it can fill the memory.
class ReplyTooLongError : public MailError
{
public:
    ReplyTooLongError()
        : MailError(QStringLiteral("邮件服务器的回复过长：超过 100 行或 64 KB"))
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

// A reply line longer than the connection takes.
class LineTooLongError : public MailError
{
public:
    LineTooLongError()
        : MailError(QStringLiteral("邮件服务器回复的一行超过了长度上限"))
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
// encrypted stream. The message says in the user's words what failed; OpenSSL's own (English)
// words go to the trace.
class TlsError : public MailError
{
public:
    TlsError(const QString &what, const QString &detail);

    QString detail;
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

// What the user needs to decide whether to trust a server's certificate.
struct CertificateInfo
{
    QString host;
    quint16 port = 0;
    QString subject;
    QString issuer;
    QString notBefore; // UTC, "2026-01-31 08:00:00"
    QString notAfter;
    // SHA-256 of the certificate, as upper-case hex pairs joined by ":".
    QString fingerprint;
};

// The server's certificate is signed by nobody the system trusts (self-signed or an internal
// authority), and no stored fingerprint stands in for that: nothing was sent. The user may trust
// exactly this certificate for this host and port.
class UntrustedCertificateError : public TlsError
{
public:
    explicit UntrustedCertificateError(const CertificateInfo &certificate);

    CertificateInfo certificate;

protected:
    UntrustedCertificateError(const CertificateInfo &certificate, const QString &message)
        : TlsError(message, QString())
        , certificate(certificate)
    {
    }
};

// The host and port had a trusted certificate, and the server now shows another one that nothing
// else vouches for: someone in the path, or a server that changed its certificate. Never taken
// without the user having read both fingerprints.
class CertificateChangedError : public UntrustedCertificateError
{
public:
    CertificateChangedError(const CertificateInfo &certificate, const QString &storedFingerprint);

    QString storedFingerprint;
};

// The server offers no encryption and the login would send the password in clear, which the user
// has not agreed to for this account: nothing of the login was sent.
class CleartextLoginNotAgreedError : public MailError
{
public:
    CleartextLoginNotAgreedError()
        : MailError(QStringLiteral("服务器不支持加密，密码将以明文发送，未经同意，未登录，邮件未发送"))
    {
    }
};

// The question asked before a password goes out in clear, in the user's words.
QString cleartextLoginQuestion();
