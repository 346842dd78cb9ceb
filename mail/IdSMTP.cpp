#include "mail/IdSMTP.h"

#include "mail/IdErrors.h"
#include "mail/IdMessage.h"
#include "mail/IdMessageClient.h"

#include <sys/utsname.h>
#include <unistd.h>

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
    return QString::fromLatin1(IdLineSink::encodeLine(text, IdTextEncoding::Latin1).chopped(2).toBase64());
}

// The words of every "AUTH mech ..." or "AUTH=mech ..." capability, in upper case, each once.
QStringList authMechanisms(const QStringList &capabilities)
{
    QStringList mechanisms;
    for (const QString &line : capabilities) {
        if (line.size() < 5 || !line.startsWith(QLatin1String("AUTH"), Qt::CaseInsensitive)
            || (line.at(4) != QLatin1Char(' ') && line.at(4) != QLatin1Char('=')))
            continue;
        const QStringList words =
            line.mid(4).toUpper().replace(QLatin1Char('='), QLatin1Char(' ')).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &word : words) {
            if (!mechanisms.contains(word))
                mechanisms.append(word);
        }
    }
    return mechanisms;
}

} // namespace

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

TIdSMTP::TIdSMTP() = default;
TIdSMTP::~TIdSMTP() = default;

bool TIdSMTP::Connected()
{
    return m_connection && m_connection->Connected();
}

void TIdSMTP::Connect()
{
    m_didAuthenticate = false;
    if (Connected())
        throw EIdAlreadyConnected();
    if (Host.isEmpty())
        throw EIdHostRequired();
    if (Port == 0)
        throw EIdPortRequired();

    if (!m_connection)
        m_connection = std::make_unique<TIdTCPConnection>(m_abort);
    m_connection->MaxLineLength = MaxLineLength;
    m_connection->WriteTimeout = Timeouts.Write;
    try {
        m_connection->Open(Host, Port, Timeouts.Connect);
    } catch (...) {
        m_connection.reset();
        throw;
    }
    try {
        GetResponse({220}, Timeouts.Greeting);
        greet();
    } catch (...) {
        m_connection->Close();
        throw;
    }
}

void TIdSMTP::greet()
{
    m_capabilities.clear();
    const QString name = HeloName.isEmpty() ? localHostName() : HeloName;
    if (UseEhlo && SendCmd(QLatin1String("EHLO ") + name) == 250) {
        m_capabilities = m_lastCmdResult.Text.mid(1);
        return;
    }
    SendCmd(QLatin1String("HELO ") + name, {250});
}

bool TIdSMTP::Authenticate()
{
    if (m_didAuthenticate)
        return true;
    if (AuthType != satDefault || Username.isEmpty())
        return false;
    if (!authMechanisms(m_capabilities).contains(QLatin1String("LOGIN")))
        return false;

    SendCmd(QStringLiteral("AUTH LOGIN"), {334});
    SendCmd(base64Latin1(Username), {334});
    SendCmd(base64Latin1(Password), {235});
    m_didAuthenticate = true;
    return true;
}

void TIdSMTP::Send(TIdMessage &message)
{
    QStringList recipients;
    for (const TIdEMailAddressList *list : {&message.Recipients, &message.CCList, &message.BccList}) {
        for (const TIdEMailAddressItem &item : *list)
            recipients.append(item.Address);
    }
    QString reversePath = trimControls(message.Sender.Address);
    if (reversePath.isEmpty())
        reversePath = trimControls(message.From().Address);

    // A line break inside an address would end the command or header line there and send the rest
    // as text of its own: such a message goes nowhere, and fails before anything of it is on the
    // wire, so the connection stays usable. Recipients go into RCPT TO as they are; every other
    // address is trimmed where it is used.
    QStringList used = recipients;
    used.append(reversePath);
    for (const TIdEMailAddressList *list : {&message.FromList, &message.ReplyTo, &message.Recipients, &message.CCList}) {
        for (const TIdEMailAddressItem &item : *list)
            used.append(trimControls(item.Address));
    }
    for (const QString &address : std::as_const(used)) {
        if (holdsControl(address))
            throw EIdInvalidAddress(address);
    }

    Authenticate();
    message.ExtraHeaders.setValue(QStringLiteral("X-Mailer"), MailAgent);
    SendCmd(QStringLiteral("RSET"));
    SendCmd(QLatin1String("MAIL FROM: <") + reversePath + QLatin1Char('>'), {250}, Timeouts.MailFrom);
    try {
        for (const QString &address : std::as_const(recipients))
            SendCmd(QLatin1String("RCPT TO:<") + address + QLatin1Char('>'), {250, 251}, Timeouts.RcptTo);
        SendCmd(QStringLiteral("DATA"), {354}, Timeouts.Data);
        writeMessage(message);
        SendCmd(QStringLiteral("."), {250}, Timeouts.DataEnd);
    } catch (const EIdSMTPReplyError &) {
        // Back to a clean transaction; a failing RSET reports its own error instead.
        SendCmd(QStringLiteral("RSET"));
        throw;
    }
}

void TIdSMTP::writeMessage(TIdMessage &message)
{
    TIdTCPConnection &sink = connection();
    sink.setMoreComing(true);
    try {
        SendMsg(sink, message);
    } catch (...) {
        // The server is in its data phase and would take any next command as message text: the
        // connection cannot be used again, so close it and let later sends fail at once.
        sink.setMoreComing(false);
        sink.Close();
        throw;
    }
    sink.setMoreComing(false);
}

void TIdSMTP::Disconnect()
{
    std::exception_ptr failure;
    try {
        if (Connected())
            SendCmd(QStringLiteral("QUIT"), {221});
    } catch (...) {
        failure = std::current_exception();
    }
    if (m_connection)
        m_connection->Close();
    m_didAuthenticate = false;
    if (failure)
        std::rethrow_exception(failure);
}

int TIdSMTP::SendCmd(const QString &line, const QList<int> &expected, std::optional<IdTimeout> timeout)
{
    connection().WriteLn(line);
    return GetResponse(expected, timeout);
}

int TIdSMTP::GetResponse(const QList<int> &expected, std::optional<IdTimeout> timeout)
{
    TIdTCPConnection &from = connection();
    m_lastCmdResult = TIdReplySMTP();
    m_lastCmdResult = from.ReadReply(timeout.value_or(Timeouts.Other));
    if (!expected.isEmpty() && !expected.contains(m_lastCmdResult.NumericCode))
        throw EIdSMTPReplyError(m_lastCmdResult);
    return m_lastCmdResult.NumericCode;
}

TIdTCPConnection &TIdSMTP::connection()
{
    if (!m_connection)
        throw EIdNotConnected();
    return *m_connection;
}
