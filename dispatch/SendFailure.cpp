#include "SendFailure.h"

#include "MailErrors.h"
#include "SendRecords.h"

#include <QRegularExpression>

#include <cerrno>

namespace {

// The same refusal for this many customers in a row would come for every customer after them.
constexpr int RepeatedRefusalLimit = 3;

bool countsTowardsStreak(const SendFailure &failure)
{
    return failure.kind == SendFailure::Kind::Refused
        && (failure.step == SmtpStep::MailFrom || failure.step == SmtpStep::EndOfData);
}

} // namespace

int RefusalStreak::note(const SendFailure *failure)
{
    if (!failure || !countsTowardsStreak(*failure)) {
        m_count = 0;
        return 0;
    }
    if (m_count > 0 && failure->replyCode == m_code && failure->enhanced == m_enhanced) {
        ++m_count;
    } else {
        m_code = failure->replyCode;
        m_enhanced = failure->enhanced;
        m_count = 1;
    }
    return m_count;
}

bool isAccountStop(RunStop stop)
{
    return stop == RunStop::QuotaReached || stop == RunStop::AccountRefused || stop == RunStop::RepeatedRefusal;
}

RunStop runStopFor(const SendFailure &failure)
{
    using Kind = SendFailure::Kind;
    switch (failure.kind) {
    case Kind::NoAnswer: return RunStop::NoAnswer;
    case Kind::ConnectionLost: return RunStop::ConnectionLost;
    case Kind::UnreadableReply: return RunStop::UnreadableReply;
    case Kind::Refused:
        // 421: the server is closing the transmission channel (RFC 5321 3.8).
        if (failure.replyCode == 421)
            return RunStop::ServerClosing;
        // Every message of the run would get the same answer: the session never sends in clear
        // where the server offered encryption, and this server offered none.
        if (failure.replyCode == 530 && failure.encryptionDemanded)
            return RunStop::EncryptionRequired;
        // The session logs in again before every message until it once succeeded: a refusal there
        // comes back for every customer. 534, 535 and 538 (RFC 4954) only ever answer a login.
        if (failure.atLogin || failure.replyCode == 534 || failure.replyCode == 535 || failure.replyCode == 538)
            return RunStop::LoginRefused;
        // Authentication required before any message went through: no message of this run will.
        if (failure.replyCode == 530 && !failure.anyAccepted)
            return RunStop::LoginRequired;
        // At the sender or after the text a refusal speaks of the account: x.4.5 is its quota
        // (RFC 3463: mail system congestion, which providers use for "daily sending quota
        // exceeded"), x.7.x its standing (policy, security). A recipient's refusal never does.
        if (failure.step == SmtpStep::MailFrom || failure.step == SmtpStep::EndOfData) {
            if (failure.enhanced.available && failure.enhanced.subject == 4 && failure.enhanced.details == 5)
                return RunStop::QuotaReached;
            if (failure.enhanced.available && failure.enhanced.subject == 7)
                return RunStop::AccountRefused;
            if (failure.inARow >= RepeatedRefusalLimit)
                return RunStop::RepeatedRefusal;
        }
        break;
    case Kind::InvalidAddress:
    case Kind::Other:
        // A login that cannot be made (the password kept back on a connection left unencrypted)
        // cannot be made for the next customer either.
        if (failure.atLogin)
            return RunStop::LoginRefused;
        break;
    }
    // Whatever the failure, a connection that is gone fails every following send at once.
    return failure.connectionUsable ? RunStop::None : RunStop::ConnectionLost;
}

SendFailure::Kind failureKind(const std::exception &error)
{
    using Kind = SendFailure::Kind;
    if (dynamic_cast<const ReplyError *>(&error))
        return Kind::Refused;
    if (const auto *socket = dynamic_cast<const SocketError *>(&error))
        return socket->lastError == ETIMEDOUT ? Kind::NoAnswer : Kind::ConnectionLost;
    if (dynamic_cast<const ConnectionClosedError *>(&error) || dynamic_cast<const NotConnectedError *>(&error))
        return Kind::ConnectionLost;
    if (dynamic_cast<const LineTooLongError *>(&error) || dynamic_cast<const ReplyTooLongError *>(&error))
        return Kind::UnreadableReply;
    if (dynamic_cast<const InvalidAddressError *>(&error))
        return Kind::InvalidAddress;
    return Kind::Other;
}

int replyCode(const std::exception &error)
{
    const auto *reply = dynamic_cast<const ReplyError *>(&error);
    return reply ? reply->errorCode : 0;
}

SmtpStep refusalStep(const std::exception &error)
{
    const auto *reply = dynamic_cast<const ReplyError *>(&error);
    return reply ? reply->step : SmtpStep::Other;
}

EnhancedStatusCode enhancedCode(const std::exception &error)
{
    const auto *reply = dynamic_cast<const SmtpReplyError *>(&error);
    return reply ? reply->enhancedCode : EnhancedStatusCode{};
}

bool demandsEncryption(const std::exception &error)
{
    const auto *reply = dynamic_cast<const SmtpReplyError *>(&error);
    return reply && demandsEncryption(reply->errorCode, reply->replyText);
}

QString failureDetail(const std::exception &error)
{
    const auto *general = dynamic_cast<const Error *>(&error);
    QString text = general ? general->message() : QString::fromUtf8(error.what());
    if (const auto *reply = dynamic_cast<const SmtpReplyError *>(&error)) {
        // The reply's text lost its codes when it was read; the record shows them as the server sent them.
        QString line = reply->replyText.section(QStringLiteral("\r\n"), 0, 0);
        const EnhancedStatusCode &enhanced = reply->enhancedCode;
        if (enhanced.available)
            line = QStringLiteral("%1.%2.%3 ").arg(enhanced.statusClass).arg(enhanced.subject).arg(enhanced.details)
                + line;
        return refusalExplanation(reply->errorCode, reply->step) + QStringLiteral("：")
            + (QString::number(reply->errorCode) + QLatin1Char(' ') + line).trimmed();
    }
    static const QRegularExpression lineBreaks(QStringLiteral("[\\r\\n]+"));
    return text.replace(lineBreaks, QStringLiteral(" ")).trimmed();
}

QString refusalExplanation(int code, SmtpStep step)
{
    QString where;
    switch (step) {
    case SmtpStep::MailFrom: where = QStringLiteral("发件人地址"); break;
    case SmtpStep::Recipient: where = QStringLiteral("收件人地址"); break;
    case SmtpStep::Data: where = QStringLiteral("开始传送邮件内容"); break;
    case SmtpStep::EndOfData: where = QStringLiteral("邮件内容"); break;
    case SmtpStep::Other: break;
    }
    switch (code / 100) {
    case 4: return QStringLiteral("服务器暂时拒绝（%1，稍后可重试）").arg(where.isEmpty() ? QStringLiteral("临时性错误") : where);
    case 5: return QStringLiteral("服务器拒绝（%1）").arg(where.isEmpty() ? QStringLiteral("永久性错误") : where);
    default:
        return where.isEmpty() ? QStringLiteral("服务器的回复不是预期的回复")
                               : QStringLiteral("服务器的回复不是预期的回复（%1）").arg(where);
    }
}

namespace {

// The column holds 255 characters; the reply's start says what matters. A cut never splits a
// character in two.
QString fitResult(QString result)
{
    if (result.size() > 255)
        result.truncate(result.at(254).isHighSurrogate() ? 254 : 255);
    return result;
}

} // namespace

QString sendResult(const QString &failureDetail)
{
    if (failureDetail.isNull())
        return QStringLiteral("成功");
    return fitResult(QStringLiteral("失败：") + failureDetail);
}

QString unknownResult(const QString &failureDetail)
{
    return fitResult(UnknownResultPrefix + QStringLiteral("：") + failureDetail);
}

QString runStopReason(RunStop stop)
{
    switch (stop) {
    case RunStop::LoginRefused: return QStringLiteral("邮件服务器拒绝了登录");
    case RunStop::LoginRequired: return QStringLiteral("邮件服务器要求先登录");
    case RunStop::EncryptionRequired: return QStringLiteral("服务器要求先加密连接");
    case RunStop::ServerClosing: return QStringLiteral("邮件服务器暂停了服务");
    case RunStop::ConnectionLost: return QStringLiteral("与邮件服务器的连接已断开");
    case RunStop::NoAnswer: return QStringLiteral("邮件服务器没有回应");
    case RunStop::UnreadableReply: return QStringLiteral("邮件服务器的回复无法读取");
    case RunStop::QuotaReached: return QStringLiteral("邮件服务器拒绝继续发送（可能已达到发送额度）");
    case RunStop::AccountRefused: return QStringLiteral("邮件服务器拒绝这个帐号继续发送");
    case RunStop::RepeatedRefusal: return QStringLiteral("邮件服务器连续三次以同样的回复拒绝发送");
    case RunStop::None: break;
    }
    return QString();
}
