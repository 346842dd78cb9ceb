#include "BenchData.h"

#include "Database.h"
#include "Schema.h"
#include "Statement.h"

#include <QFile>
#include <QStringList>

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

void makeServerBenchDatabase(Database &server, int customers, int records)
{
    const int mails = customers > 0 ? (records + customers - 1) / customers : 0;
    // lpad cuts a longer text short, so the width grows with the number as printf's does.
    const QStringList statements{
        QStringLiteral("begin"),
        QStringLiteral("drop index \"发送情况_客户ID\""),
        QStringLiteral("drop index \"发送情况_邮件ID\""),
        QStringLiteral("insert into 客户表(\"客户ID\", 客户名称, 电子邮件地址, 录入日期)"
                       " select i, '客户' || lpad(i::text, greatest(6, length(i::text)), '0'),"
                       " 'c' || lpad(i::text, greatest(6, length(i::text)), '0') || '@example.com',"
                       " timestamp '2026-01-01' + i * interval '1 second' from generate_series(1, {customers}) i"),
        QStringLiteral("insert into 邮件表(\"邮件ID\", 邮件主题, 邮件内容, 建立日期)"
                       " select i, '第' || i || '期新品推荐', '您好：' || chr(10) || '本期新品如下。',"
                       " timestamp '2026-06-01 09:00:00' from generate_series(1, {mails}) i"),
        QStringLiteral("insert into 发送情况(\"记录ID\", \"客户ID\", \"邮件ID\", 发送日期)"
                       " select i + 1, 1 + i % {customers}, 1 + i / {customers},"
                       " format('2026/12/%s %s:%s:%s', 1 + i / {customers}, 8 + (i / 3600) % 12,"
                       " lpad(((i / 60) % 60)::text, 2, '0'), lpad((i % 60)::text, 2, '0'))"
                       " from generate_series(0, {records} - 1) i"),
        QStringLiteral("create index \"发送情况_客户ID\" on 发送情况 (\"客户ID\")"),
        QStringLiteral("create index \"发送情况_邮件ID\" on 发送情况 (\"邮件ID\")"),
        // the keys given above: the next ones the server hands out follow them
        QStringLiteral("select setval(pg_get_serial_sequence('客户表', '客户ID'), greatest({customers}, 1))"),
        QStringLiteral("select setval(pg_get_serial_sequence('邮件表', '邮件ID'), greatest({mails}, 1))"),
        QStringLiteral("select setval(pg_get_serial_sequence('发送情况', '记录ID'), greatest({records}, 1))"),
        QStringLiteral("commit"),
    };
    for (QString statement : statements)
        execute(server, statement.replace(QStringLiteral("{customers}"), QString::number(customers))
                            .replace(QStringLiteral("{records}"), QString::number(records))
                            .replace(QStringLiteral("{mails}"), QString::number(mails)));
    // Outside any transaction, each alone: the visibility map lets a count read the index only.
    for (const char *table : {"客户表", "邮件表", "发送情况"})
        execute(server, QStringLiteral("vacuum analyze ") + QString::fromUtf8(table));
}

double memoryKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toDouble();
    }
    return 0;
}

} // namespace bench
