#include "SendCommand.h"

#include "DailyCap.h"
#include "Database.h"
#include "RunPlan.h"
#include "RecordView.h"
#include "SendRecords.h"

std::optional<QString> sendCommandRefusal(const RecordView &customers, const RecordView &mails,
                                          const RecordView &settings, const QString &mailChoice, Database &connection)
{
    if (customers.recordCount() < 1 || mails.recordCount() < 1 || settings.recordCount() < 1)
        return QStringLiteral("请先输入邮箱帐号、邮件、客户信息。");
    if (mailChoice.isEmpty())
        return QStringLiteral("请选择要发送的邮件");
    // The list was filled when it dropped down; the mail may have been deleted since. Sending
    // whichever mail happened to be current while recording the chosen number would be wrong.
    if (!mailExists(connection, mailChoice))
        return QStringLiteral("所选的邮件已不存在，请重新选择要发送的邮件。");
    return std::nullopt;
}

RunConfirmation runConfirmation(Database &connection, const QString &mailChoice, bool skipSent, int cap)
{
    const qint64 mailId = mailChoice.toLongLong();
    RunConfirmation confirmation;
    confirmation.subject = readMailSubject(connection, mailId);
    const QSet<qint64> unknown = skipSent ? readUnknownCustomers(connection, mailId) : QSet<qint64>();
    confirmation.plan = planRun(readCustomers(connection),
                                skipSent ? readSentCustomers(connection, mailId) : QSet<qint64>(), skipSent,
                                {unknown, false});
    confirmation.unknown = confirmation.plan.unknownLeftOut;
    if (cap > 0) {
        const QDateTime now = QDateTime::currentDateTime();
        confirmation.capNotice
            = capNotice(capBudget(cap, readAcceptedSince(connection, now.addDays(-1)), now), confirmation.plan.toSend);
    }
    return confirmation;
}
