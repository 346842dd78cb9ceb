#include "dispatch/SendCommand.h"

#include "db/ADOConnection.h"
#include "db/ADODataSet.h"
#include "db/Statement.h"

namespace {

bool mailExists(TADOConnection &connection, const QString &mailChoice)
{
    bool isNumber = false;
    const qint64 id = mailChoice.toLongLong(&isNumber);
    if (!isNumber)
        return false;
    Statement find(connection.handle(), QStringLiteral("select 1 from 邮件表 where 邮件ID = ?"));
    find.bind(1, id);
    return find.step();
}

} // namespace

std::optional<QString> sendCommandRefusal(const TADODataSet &customers, const TADODataSet &mails,
                                          const TADODataSet &settings, const QString &mailChoice,
                                          TADOConnection &connection)
{
    if (customers.RecordCount() < 1 || mails.RecordCount() < 1 || settings.RecordCount() < 1)
        return QStringLiteral("请先输入邮箱帐号、邮件、客户信息。");
    if (mailChoice.isEmpty())
        return QStringLiteral("请选择要发送的邮件");
    // The list was filled when it dropped down; the mail may have been deleted since. Sending
    // whichever mail happened to be current while recording the chosen number would be wrong.
    if (!mailExists(connection, mailChoice))
        return QStringLiteral("所选的邮件已不存在，请重新选择要发送的邮件。");
    return std::nullopt;
}
