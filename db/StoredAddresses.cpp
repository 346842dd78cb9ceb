#include "StoredAddresses.h"

#include "Database.h"
#include "Statement.h"

namespace {

QStringList firstColumn(Database &connection, const QString &sql)
{
    connection.setConnected(true);
    Statement statement(connection, sql);
    QStringList addresses;
    while (statement.step())
        addresses.append(statement.column(0).toString());
    return addresses;
}

} // namespace

QStringList customerAddresses(Database &connection)
{
    return firstColumn(connection, QStringLiteral("select 电子邮件地址 from 客户表 where 电子邮件地址 <> ''"));
}

QStringList listedAddresses(Database &connection)
{
    return firstColumn(connection, QStringLiteral("select 电子邮件地址 from 退订名单 where 电子邮件地址 <> ''"));
}
