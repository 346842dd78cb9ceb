#include "BenchData.h"

#include "Schema.h"
#include "Statement.h"

#include <sqlite3.h>

namespace bench {

void makeBenchDatabase(const QString &path, int customers, int records)
{
    createDatabase(path);
    sqlite3 *handle = nullptr;
    sqlite3_open(path.toUtf8().constData(), &handle);
    const int mails = customers > 0 ? (records + customers - 1) / customers : 0;
    // The indexes are built once at the end: far quicker than keeping them up row by row.
    execute(
        handle,
        QStringLiteral(
            "pragma journal_mode = off; pragma synchronous = off; begin;"
            "drop index 发送情况_客户ID; drop index 发送情况_邮件ID;"
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < {customers})"
            " insert into 客户表(客户ID, 客户名称, 电子邮件地址, 录入日期)"
            " select i, '客户' || printf('%06d', i), printf('c%06d@example.com', i),"
            " strftime('%Y-%m-%d %H:%M:%f', '2026-01-01', '+' || i || ' seconds') from n;"
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < {mails})"
            " insert into 邮件表(邮件ID, 邮件主题, 邮件内容, 建立日期)"
            " select i, '第' || i || '期新品推荐', '您好：' || char(10) || '本期新品如下。', '2026-06-01 09:00:00.000' from n;"
            "with recursive n(i) as (select 0 union all select i + 1 from n where i < {records} - 1)"
            " insert into 发送情况(客户ID, 邮件ID, 发送日期)"
            " select 1 + i % {customers}, 1 + i / {customers}, printf('2026/12/%d %d:%02d:%02d', 1 + i / {customers}, 8 + (i / 3600) % 12, (i / 60) % 60, i % 60) from n;"
            "create index 发送情况_客户ID on 发送情况 (客户ID);"
            "create index 发送情况_邮件ID on 发送情况 (邮件ID);"
            "commit;")
            .replace(QStringLiteral("{customers}"), QString::number(customers))
            .replace(QStringLiteral("{records}"), QString::number(records))
            .replace(QStringLiteral("{mails}"), QString::number(mails)));
    sqlite3_close(handle);
}

} // namespace bench
