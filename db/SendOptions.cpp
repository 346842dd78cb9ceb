#include "SendOptions.h"

#include "Database.h"
#include "Statement.h"

bool readSkipSent(Database &connection)
{
    Statement query(connection, QStringLiteral("select 跳过已发送 from 发送选项 where 编号 = 1"));
    return query.step() && query.column(0).toInt() == 1;
}

void writeSkipSent(Database &connection, bool skip)
{
    // An upsert: a replaced row would lose the other choices kept in it.
    Statement write(connection, QStringLiteral("insert into 发送选项(编号, 跳过已发送) values(1, ?) "
                                           "on conflict(编号) do update set 跳过已发送 = excluded.跳过已发送"));
    write.bind(1, skip ? 1 : 0);
    write.step();
}

QString readTestAddress(Database &connection)
{
    Statement query(connection, QStringLiteral("select 测试地址 from 发送选项 where 编号 = 1"));
    return query.step() ? query.column(0).toString() : QString();
}

void writeTestAddress(Database &connection, const QString &address)
{
    Statement write(connection, QStringLiteral("insert into 发送选项(编号, 测试地址) values(1, ?) "
                                           "on conflict(编号) do update set 测试地址 = excluded.测试地址"));
    write.bind(1, address);
    write.step();
}
