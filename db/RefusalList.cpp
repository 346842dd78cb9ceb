#include "RefusalList.h"

#include "Database.h"
#include "DatabaseError.h"
#include "Dialect.h"
#include "Stamp.h"

RefusalList::RefusalList(Database &connection)
    : m_find(connection,
             QStringLiteral("select 1 from 退订名单 where %1 = %2")
                 .arg(dialect::asciiLower(connection.engine(), QStringLiteral("trim(电子邮件地址)")),
                      dialect::asciiLower(connection.engine(), QStringLiteral("trim(cast(? as text))"))))
    , m_insert(connection, QStringLiteral("insert into 退订名单(电子邮件地址, 退订日期, 原因) values(?, ?, ?) "
                                                   "on conflict do nothing"))
{
}

bool RefusalList::contains(const QString &address)
{
    const QString trimmed = address.trimmed();
    if (trimmed.isEmpty())
        return false;
    m_find.reset();
    m_find.bind(1, trimmed);
    const bool found = m_find.step();
    m_find.reset();
    return found;
}

bool RefusalList::add(const QString &address, const QString &reason)
{
    const QString trimmed = address.trimmed();
    if (trimmed.isEmpty())
        return false;
    m_insert.reset();
    m_insert.bind(1, trimmed);
    m_insert.bind(2, stamp::now());
    m_insert.bind(3, reason);
    m_insert.step();
    const bool added = m_insert.changes() > 0;
    m_insert.reset();
    return added;
}

RefusalOption readRefusalOption(Database &connection)
{
    try {
        Statement query(connection, QStringLiteral("select 附带退订方式, 退订说明 from 设置 limit 1"));
        if (!query.step() || query.column(0).toInt() != 1)
            return {};
        const QString text = query.column(1).toString().trimmed();
        return {true, text.isEmpty() ? DefaultRefusalText : text};
    } catch (const DatabaseError &) {
        // A file the program could not bring up to date has no option to read.
        return {};
    }
}

QString customerAddress(Database &connection, qint64 customerId)
{
    Statement query(connection, QStringLiteral("select 电子邮件地址 from 客户表 where \"客户ID\" = ?"));
    query.bind(1, customerId);
    return query.step() ? query.column(0).toString() : QString();
}
