#include "SendRecords.h"

#include "Database.h"
#include "DateTimeText.h"
#include "Dialect.h"
#include "Error.h"
#include "Transaction.h"

QList<Recipient> readCustomers(Database &connection)
{
    QList<Recipient> customers;
    // In the order of their numbers, the grid's (in a file the rowid, the same order).
    Statement query(connection,
                    QStringLiteral("select \"客户ID\", 客户名称, 电子邮件地址 from 客户表 order by \"客户ID\""));
    while (query.step())
        customers.append({query.column(0).toLongLong(), query.column(1).toString(), query.column(2).toString()});
    return customers;
}

QSet<qint64> readSentCustomers(Database &connection, qint64 mailId)
{
    QSet<qint64> sent;
    Statement query(connection,
                    QStringLiteral("select distinct \"客户ID\" from 发送情况 where \"邮件ID\" = ? and 发送结果 = '成功'"));
    query.bind(1, mailId);
    while (query.step())
        sent.insert(query.column(0).toLongLong());
    return sent;
}

static bool hasColumn(Database &connection, const QString &table, const QString &column)
{
    Statement columns(connection, dialect::hasColumnQuery(connection.engine()));
    columns.bind(1, table);
    columns.bind(2, column);
    return columns.step();
}

QSet<qint64> readUnknownCustomers(Database &connection, qint64 mailId)
{
    QSet<qint64> unknown;
    Statement query(connection, QStringLiteral(R"(
select distinct 记录."客户ID" from 发送情况 as 记录
where 记录."邮件ID" = ?1 and (记录.发送结果 = ?2 or substr(记录.发送结果, 1, length(cast(?3 as text))) = ?3)
  and 记录."客户ID" in (select "客户ID" from 客户表)
  and 记录.%1 = (select max(%1) from 发送情况 where "客户ID" = 记录."客户ID" and "邮件ID" = ?1)
  and not exists (select 1 from 发送情况 where "客户ID" = 记录."客户ID" and "邮件ID" = ?1 and 发送结果 = '成功')
)").arg(dialect::recordKey(connection.engine())));
    query.bind(1, mailId);
    query.bind(2, SendingResult);
    query.bind(3, UnknownResultPrefix);
    while (query.step())
        unknown.insert(query.column(0).toLongLong());
    return unknown;
}

MailText readMail(Database &connection, qint64 mailId)
{
    // A file the program could not bring up to date (read-only) has no 广告 yet: no mail of it is one.
    const bool marked = hasColumn(connection, QStringLiteral("邮件表"), QStringLiteral("广告"));
    Statement query(connection, marked ? QStringLiteral("select 邮件主题, 邮件内容, 广告 from 邮件表 where \"邮件ID\" = ?")
                                                : QStringLiteral("select 邮件主题, 邮件内容, 0 from 邮件表 where \"邮件ID\" = ?"));
    query.bind(1, mailId);
    if (!query.step())
        throw Error(QStringLiteral("所选的邮件已不存在，请重新选择要发送的邮件。"));
    return {query.column(0).toString(), query.column(1).toString(), query.column(2).toInt() == 1,
            readAttachment(connection, mailId)};
}

QString readMailSubject(Database &connection, qint64 mailId)
{
    Statement query(connection, QStringLiteral("select 邮件主题 from 邮件表 where \"邮件ID\" = ?"));
    query.bind(1, mailId);
    if (!query.step())
        throw Error(QStringLiteral("所选的邮件已不存在，请重新选择要发送的邮件。"));
    return query.column(0).toString();
}

QList<QDateTime> readAcceptedSince(Database &connection, const QDateTime &since)
{
    // Records are appended as they happen, so the newest rows come last.
    QList<QDateTime> moments;
    Statement query(connection,
                    QStringLiteral("select 发送日期 from 发送情况 where 发送结果 = '成功' order by %1 desc")
                        .arg(dialect::recordKey(connection.engine())));
    while (query.step()) {
        // The text keeps whole seconds: a message counts until the end of its second.
        const QDateTime moment = parseDateTime(query.column(0).toString(), QLocale::system(), since);
        if (!moment.isValid())
            continue;
        const QDateTime counted = moment.addMSecs(999);
        if (counted <= since)
            break;
        moments.append(counted);
    }
    return moments;
}

bool mailExists(Database &connection, const QString &mailChoice)
{
    bool isNumber = false;
    const qint64 id = mailChoice.toLongLong(&isNumber);
    if (!isNumber)
        return false;
    Statement find(connection, QStringLiteral("select 1 from 邮件表 where \"邮件ID\" = ?"));
    find.bind(1, id);
    return find.step();
}

SendRecords::SendRecords(Database &connection)
    : m_connection(connection)
    , m_insert(connection,
               QStringLiteral("insert into 发送情况(\"客户ID\", \"邮件ID\", 发送日期, 发送结果) values(?, ?, ?, ?)"))
    , m_update(connection, QStringLiteral("update 发送情况 set 发送日期 = ?, 发送结果 = ? where %1 = ?")
                              .arg(dialect::recordKey(connection.engine())))
{
}

void SendRecords::checkWritable()
{
    // A transaction rolled back writes nothing, so it cannot tell a full disk; one that changes the
    // table's pages and commits must reach the disk, even when the change itself is undone.
    Transaction transaction(m_connection);
    const qint64 key = append(0, QString(), QString(), QString());
    Statement remove(m_connection, QStringLiteral("delete from 发送情况 where %1 = ?")
                                            .arg(dialect::recordKey(m_connection.engine())));
    remove.bind(1, key);
    remove.step();
    transaction.commit();
}

qint64 SendRecords::append(qint64 customerId, const QString &mailChoice, const QString &sendDate,
                           const QString &result)
{
    m_insert.reset();
    m_insert.bind(1, customerId);
    m_insert.bind(2, mailChoice);
    m_insert.bind(3, sendDate);
    m_insert.bind(4, result);
    m_insert.step();
    return m_insert.lastInsertId();
}

qint64 SendRecords::appendIntent(qint64 customerId, const QString &mailChoice, const QString &sendDate)
{
    return append(customerId, mailChoice, sendDate, SendingResult);
}

void SendRecords::setResult(qint64 key, const QString &sendDate, const QString &result)
{
    m_update.reset();
    m_update.bind(1, sendDate);
    m_update.bind(2, result);
    m_update.bind(3, key);
    m_update.step();
}
