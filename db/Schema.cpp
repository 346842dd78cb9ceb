#include "Schema.h"

#include "DatabaseError.h"
#include "Statement.h"

#include <QFile>

#include <sqlite3.h>

static void loadSchemaResource()
{
    Q_INIT_RESOURCE(schema);
}

void createDatabase(const QString &path)
{
    loadSchemaResource();
    QFile file(QStringLiteral(":/db/schema.sql"));
    if (!file.open(QIODevice::ReadOnly))
        throw DatabaseError(QStringLiteral("The schema is missing from the program"));
    const QString schema = QString::fromUtf8(file.readAll());

    sqlite3 *handle = nullptr;
    const int rc
        = sqlite3_open_v2(path.toUtf8().constData(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    struct Closer
    {
        sqlite3 *handle;
        ~Closer() { sqlite3_close(handle); }
    } closer{handle};
    if (rc != SQLITE_OK)
        throw DatabaseError(QString::fromUtf8(handle ? sqlite3_errmsg(handle) : sqlite3_errstr(rc)));
    execute(handle, schema);
}

static bool hasTable(sqlite3 *handle, const QString &name)
{
    Statement query(handle, QStringLiteral("select 1 from sqlite_master where type = 'table' and name = ?"));
    query.bind(1, name);
    return query.step();
}

static bool hasColumn(sqlite3 *handle, const QString &table, const QString &column)
{
    Statement columns(handle, QStringLiteral("select 1 from pragma_table_info(?) where name = ?"));
    columns.bind(1, table);
    columns.bind(2, column);
    return columns.step();
}

void addMissingParts(sqlite3 *handle)
{
    // Asked first, so that a file that is up to date is never written to on open.
    if (hasTable(handle, QStringLiteral("发送情况"))
        && !hasColumn(handle, QStringLiteral("发送情况"), QStringLiteral("发送结果"))) {
        execute(
            handle,
            QStringLiteral("alter table 发送情况 add column 发送结果 NVARCHAR(255) CONSTRAINT 发送结果超过255个字符 "
                           "CHECK (length(发送结果) <= 255)"));
    }
    if (!hasTable(handle, QStringLiteral("发送选项"))) {
        execute(handle,
                QStringLiteral("create table 发送选项 (编号 INTEGER PRIMARY KEY CHECK (编号 = 1), "
                               "跳过已发送 INTEGER NOT NULL DEFAULT 0 CHECK (跳过已发送 IN (0, 1)))"));
    }
    if (!hasTable(handle, QStringLiteral("信任证书"))) {
        execute(handle, QStringLiteral("create table 信任证书 (主机 TEXT NOT NULL COLLATE NOCASE, 端口 INTEGER NOT NULL, "
                                       "指纹 TEXT NOT NULL, PRIMARY KEY (主机, 端口))"));
    }
    if (!hasTable(handle, QStringLiteral("明文登录许可"))) {
        execute(handle,
                QStringLiteral("create table 明文登录许可 (主机 TEXT NOT NULL COLLATE NOCASE, 端口 INTEGER NOT NULL, "
                               "用户名 TEXT NOT NULL, PRIMARY KEY (主机, 端口, 用户名))"));
    }
}
