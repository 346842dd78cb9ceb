#include "SmtpSession.h"

#include "MailErrors.h"
#include "MailLog.h"
#include "MailMessage.h"
#include "MessageWriter.h"
#include "TextBuffer.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <exception>

namespace {

bool holdsControl(const QString &address)
{
    return std::any_of(address.cbegin(), address.cend(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}

// SASL's base64 of a text taken as ISO-8859-1, one byte per character ("?" for one above 255).
QString base64Latin1(const QString &text)
{
    return QString::fromLatin1(LineSink::encodeLine(text, TextEncoding::Latin1).chopped(2).toBase64());
}

// The words of every "AUTH mech ..." or "AUTH=mech ..." capability, in upper case, each once.
QStringList authMechanisms(const QStringList &capabilities)
{
    QStringList mechanisms;
    for (const QString &line : capabilities) {
        if (line.size() < 5 || !line.startsWith(QLatin1String("AUTH"), Qt::CaseInsensitive)
            || (line.at(4) != QLatin1Char(' ') && line.at(4) != QLatin1Char('=')))
            continue;
        const QStringList words = line.mid(4)
                                      .toUpper()
                                      .replace(QLatin1Char('='), QLatin1Char(' '))
                                      .split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &word : words) {
            if (!mechanisms.contains(word))
                mechanisms.append(word);
        }
    }
    return mechanisms;
}

// A reply as the server wrote it, for a message that quotes it.
QString quotedReply(const SmtpReply &reply)
{
    return reply.code + QLatin1Char(' ') + reply.text.join(QLatin1Char(' '));
}

// Whether the EHLO reply offered an extension: a capability line whose keyword is the name.
bool offers(const QStringList &capabilities, QLatin1String keyword)
{
    return std::any_of(capabilities.cbegin(), capabilities.cend(), [keyword](const QString &line) {
        return QStringView(line).left(line.indexOf(u' ')).compare(keyword, Qt::CaseInsensitive) == 0;
    });
}

} // namespace

SmtpSecurity securityForPort(quint16 port)
{
    switch (port) {
    case 25: return SmtpSecurity::Plain;
    case 465: return SmtpSecurity::Implicit;
    case 587: return SmtpSecurity::StartTls;
    default: return SmtpSecurity::Opportunistic;
    }
}

TlsStep tlsStepFor(SmtpSecurity security, bool startTlsOffered)
{
    if (security == SmtpSecurity::Implicit)
        return TlsStep::None;
    if (startTlsOffered)
        return TlsStep::StartTls;
    return security == SmtpSecurity::StartTls ? TlsStep::Refuse : TlsStep::None;
}

QString localHostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0 && name[0] != '\0')
        return QString::fromUtf8(name);
    utsname system{};
    if (::uname(&system) == 0)
        return QString::fromUtf8(system.nodename);
    return QString();
}

SmtpSession::SmtpSession() = default;
SmtpSession::~SmtpSession() = default;

bool SmtpSession::isConnected()
{
    return m_connection && m_connection->isConnected();
}

void SmtpSession::connect()
{
    m_didAuthenticate = false;
    if (isConnected())
        throw AlreadyConnectedError();
    if (host.isEmpty())
        throw HostRequiredError();
    if (port == 0)
        throw PortRequiredError();

    m_encrypted = false;
    m_acceptedByFingerprint = false;
    if (!m_connection)
        m_connection = std::make_unique<SmtpConnection>(m_abort);
    m_connection->maxLineLength = maxLineLength;
    m_connection->writeTimeout = timeouts.write;
    try {
        m_connection->open(host, port, timeouts.connect);
    } catch (...) {
        m_connection.reset();
        throw;
    }
    try {
        if (security == SmtpSecurity::Implicit)
            startTls();
        readResponse({220}, timeouts.greeting);
        greet();
    } catch (const SmtpReplyError &) {
        // The server refused the greeting or the EHLO/HELO and still listens: it is told goodbye
        // (RFC 5321 3.1) before the connection goes.
        try {
            disconnect(timeouts.goodbye);
        } catch (const MailError &) {
        }
        throw;
    } catch (...) {
        m_connection->close();
        throw;
    }
    try {
        startTlsWhenDue();
    } catch (...) {
        m_connection->close();
        throw;
    }
    if (!m_encrypted && !cleartextLoginAgreed && !loginMechanism().isEmpty()) {
        // Nothing of the login has gone out; the user is asked first. The server greeted and is
        // told goodbye.
        try {
            disconnect(timeouts.goodbye);
        } catch (const MailError &) {
        }
        throw CleartextLoginNotAgreedError();
    }
}

void SmtpSession::startTls()
{
    // A handshake that stalls is cut off by the connect limit, like the TCP connect before it.
    m_connection->startTls(host, timeouts.connect, port, pinnedFingerprint);
    m_encrypted = true;
    m_acceptedByFingerprint = m_connection->acceptedByFingerprint();
    if (m_acceptedByFingerprint)
        qCInfo(mailLog) << "certificate accepted by its stored fingerprint" << pinnedFingerprint;
}

QString SmtpSession::loginMechanism() const
{
    if (authType != SmtpAuthentication::Default || userName.isEmpty())
        return QString();
    const QStringList mechanisms = authMechanisms(m_capabilities);
    if (mechanisms.contains(QLatin1String("LOGIN")))
        return QStringLiteral("LOGIN");
    // Port 25 keeps its written conversation, which knows LOGIN only.
    if (security != SmtpSecurity::Plain && mechanisms.contains(QLatin1String("PLAIN")))
        return QStringLiteral("PLAIN");
    return QString();
}

void SmtpSession::greet()
{
    m_capabilities.clear();
    const QString name = heloName.isEmpty() ? localHostName() : heloName;
    if (useEhlo && sendCommand(QLatin1String("EHLO ") + name) == 250) {
        m_capabilities = m_lastCmdResult.text.mid(1);
        return;
    }
    sendCommand(QLatin1String("HELO ") + name, {250});
}

void SmtpSession::startTlsWhenDue()
{
    const bool offered = std::any_of(m_capabilities.cbegin(), m_capabilities.cend(), [](const QString &line) {
        return line.trimmed().compare(QLatin1String("STARTTLS"), Qt::CaseInsensitive) == 0;
    });
    switch (tlsStepFor(security, offered)) {
    case TlsStep::None: return;
    case TlsStep::Refuse:
        throw EncryptionRefusedError(QStringLiteral("服务器不提供 STARTTLS 加密，未登录，邮件未发送。服务器的回复：")
                                     + quotedReply(m_lastCmdResult));
    case TlsStep::StartTls: break;
    }
    // A server that offers encryption and then refuses it is what someone in the path looks like
    // when stripping it: the conversation ends, whatever the port.
    if (sendCommand(QStringLiteral("STARTTLS")) != 220)
        throw EncryptionRefusedError(QStringLiteral("服务器拒绝了 STARTTLS 加密，未登录，邮件未发送。服务器的回复：")
                                     + quotedReply(m_lastCmdResult));
    startTls();
    // What the server offered before the handshake no longer counts.
    greet();
}

bool SmtpSession::authenticate()
{
    if (m_didAuthenticate)
        return true;
    const QString mechanism = loginMechanism();
    if (mechanism.isEmpty())
        return false;
    // Where encryption was asked for, the password never goes out without it.
    if ((security == SmtpSecurity::StartTls || security == SmtpSecurity::Implicit) && !m_encrypted)
        throw EncryptionRefusedError(QStringLiteral("连接未加密，未发送密码"));
    if (!m_encrypted && !cleartextLoginAgreed)
        throw CleartextLoginNotAgreedError();

    if (mechanism == QLatin1String("LOGIN")) {
        sendCommand(QStringLiteral("AUTH LOGIN"), {334});
        sendCommand(base64Latin1(userName), {334});
        sendCommand(base64Latin1(password), {235});
    } else {
        // RFC 4616: no authorization identity, the user name and the password, in UTF-8, each after a NUL.
        const QByteArray response = '\0' + userName.toUtf8() + '\0' + password.toUtf8();
        sendCommand(QLatin1String("AUTH PLAIN ") + QString::fromLatin1(response.toBase64()), {235});
    }
    m_didAuthenticate = true;
    return true;
}

void SmtpSession::send(MailMessage &message, const std::function<void()> &envelopeAccepted)
{
    m_replyLostAfterMessage = false;
    QStringList recipients;
    for (const MailAddressList *list : {&message.recipients, &message.ccList, &message.bccList}) {
        for (const MailAddress &item : *list)
            recipients.append(item.address);
    }
    QString reversePath = trimControls(message.sender.address);
    if (reversePath.isEmpty())
        reversePath = trimControls(message.from().address);

    // A line break inside an address would end the command or header line there and send the rest
    // as text of its own: such a message goes nowhere, and fails before anything of it is on the
    // wire, so the connection stays usable. Recipients go into RCPT TO as they are; every other
    // address is trimmed where it is used.
    QStringList used = recipients;
    used.append(reversePath);
    for (const MailAddressList *list : {&message.fromList, &message.replyTo, &message.recipients, &message.ccList}) {
        for (const MailAddress &item : *list)
            used.append(trimControls(item.address));
    }
    for (const QString &address : std::as_const(used)) {
        if (holdsControl(address))
            throw InvalidAddressError(address);
    }
    // A message for nobody (a customer without an address) is not begun: the server would take
    // MAIL FROM and refuse only DATA.
    if (std::all_of(recipients.cbegin(), recipients.cend(), [](const QString &a) { return a.trimmed().isEmpty(); }))
        throw NoRecipientError();

    authenticate();
    message.extraHeaders.setValue(QStringLiteral("X-Mailer"), mailAgent);
    sendCommand(QStringLiteral("RSET"));
    // 8-bit body data only where the server said it takes it (RFC 6152); otherwise the writer
    // sends base64.
    const bool eightBitBody
        = message.bodyTransferEncoding(offers(m_capabilities, QLatin1String("8BITMIME"))) == TransferEncoding::EightBit;
    try {
        sendCommand(QLatin1String("MAIL FROM: <") + reversePath + QLatin1Char('>')
                        + (eightBitBody ? QLatin1String(" BODY=8BITMIME") : QLatin1String()),
                    {250}, timeouts.mailFrom);
    } catch (SmtpReplyError &e) {
        e.step = SmtpStep::MailFrom;
        throw;
    }
    try {
        for (const QString &address : std::as_const(recipients)) {
            try {
                sendCommand(QLatin1String("RCPT TO:<") + address + QLatin1Char('>'), {250, 251}, timeouts.rcptTo);
            } catch (SmtpReplyError &e) {
                e.step = SmtpStep::Recipient;
                throw;
            }
        }
        if (envelopeAccepted) {
            try {
                envelopeAccepted();
            } catch (...) {
                // The caller's failure is the one that counts; the transaction is only tidied away.
                try {
                    sendCommand(QStringLiteral("RSET"));
                } catch (const std::exception &) {
                }
                throw;
            }
        }
        sendData(message);
    } catch (const SmtpReplyError &) {
        // Back to a clean transaction; a failing RSET reports its own error instead.
        sendCommand(QStringLiteral("RSET"));
        throw;
    }
}

void SmtpSession::sendData(MailMessage &message)
{
    // The text is built while the server answers DATA, and goes out with its final "." in one
    // write: one line per write cost a system call each and woke the server for every line. A
    // file's encoded text, shared by every message of the run, is written from where it lies, a
    // write of its own between the parts around it, never copied per customer.
    writeCommand(QStringLiteral("DATA"));
    TextBuffer text;
    std::exception_ptr writerFailure;
    try {
        writeMessageText(text, message, offers(m_capabilities, QLatin1String("8BITMIME")));
    } catch (...) {
        writerFailure = std::current_exception();
    }
    try {
        readResponse({354}, timeouts.data);
    } catch (SmtpReplyError &e) {
        e.step = SmtpStep::Data;
        throw;
    }
    if (writerFailure) {
        // The server is in its data phase and would take any next command as message text: the
        // connection cannot be used again, so close it and let later sends fail at once.
        connection().close();
        std::rethrow_exception(writerFailure);
    }
    text.writeLine(QStringLiteral("."));
    qCDebug(mailLog) << "C: .";
    for (const QByteArray &piece : text.pieces())
        connection().writeBytes(piece);
    try {
        readResponse({250}, timeouts.dataEnd);
    } catch (SmtpReplyError &e) {
        e.step = SmtpStep::EndOfData;
        throw;
    } catch (const ReplyError &) {
        throw;
    } catch (...) {
        // A reply that came and refused the message says it was not taken; no reply says nothing.
        m_replyLostAfterMessage = true;
        throw;
    }
}

void SmtpSession::disconnect(std::optional<TimeoutMs> quitTimeout)
{
    std::exception_ptr failure;
    try {
        if (isConnected())
            sendCommand(QStringLiteral("QUIT"), {221}, quitTimeout);
    } catch (...) {
        failure = std::current_exception();
    }
    if (m_connection)
        m_connection->close();
    m_didAuthenticate = false;
    if (failure)
        std::rethrow_exception(failure);
}

int SmtpSession::sendCommand(const QString &line, const QList<int> &expected, std::optional<TimeoutMs> timeout)
{
    writeCommand(line);
    return readResponse(expected, timeout);
}

void SmtpSession::writeCommand(const QString &line)
{
    // Only the command's first word goes into the trace: the rest may be an address; a line that
    // answers the server's 334 is the login's user name or password and leaves no trace at all.
    if (m_lastCmdResult.numericCode == 334)
        qCDebug(mailLog) << "C: (login)";
    else
        qCDebug(mailLog) << "C:" << QStringView(line).left(line.indexOf(u' '));
    connection().writeLine(line);
}

int SmtpSession::readResponse(const QList<int> &expected, std::optional<TimeoutMs> timeout)
{
    SmtpConnection &from = connection();
    m_lastCmdResult = SmtpReply();
    m_lastCmdResult = from.readReply(timeout.value_or(timeouts.other));
    qCDebug(mailLog) << "S:" << m_lastCmdResult.numericCode << m_lastCmdResult.text.value(0);
    if (!expected.isEmpty() && !expected.contains(m_lastCmdResult.numericCode))
        throw SmtpReplyError(m_lastCmdResult);
    return m_lastCmdResult.numericCode;
}

SmtpConnection &SmtpSession::connection()
{
    if (!m_connection)
        throw NotConnectedError();
    return *m_connection;
}
