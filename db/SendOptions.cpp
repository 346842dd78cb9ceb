#include "SendOptions.h"

#include "Statement.h"

bool readSkipSent(sqlite3 *handle)
{
    Statement query(handle, QStringLiteral("select 跳过已发送 from 发送选项 where 编号 = 1"));
    return query.step() && query.column(0).toInt() == 1;
}

void writeSkipSent(sqlite3 *handle, bool skip)
{
    Statement write(handle, QStringLiteral("insert or replace into 发送选项(编号, 跳过已发送) values(1, ?)"));
    write.bind(1, skip ? 1 : 0);
    write.step();
}
