#include "Schema.h"

#include "DatabaseError.h"
#include "SchemaRebuild.h"
#include "Statement.h"

#include <QFile>

#include <sqlite3.h>

static void loadSchemaResource()
{
    Q_INIT_RESOURCE(schema);
}

QString schemaText()
{
    loadSchemaResource();
    QFile file(QStringLiteral(":/db/schema.sql"));
    if (!file.open(QIODevice::ReadOnly))
        throw DatabaseError(QStringLiteral("The schema is missing from the program"));
    return QString::fromUtf8(file.readAll());
}

void createDatabase(const QString &path)
{
    const QString schema = schemaText();

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

// The do-not-mail list, the advertising mark and the refusal option, each added where it is missing.
static void addRefusalParts(sqlite3 *handle)
{
    if (hasTable(handle, QStringLiteral("邮件表")) && !hasColumn(handle, QStringLiteral("邮件表"), QStringLiteral("广告"))) {
        execute(handle, QStringLiteral("alter table 邮件表 add column 广告 INTEGER NOT NULL DEFAULT 0 "
                                       "CHECK (广告 IN (0, 1))"));
    }
    if (hasTable(handle, QStringLiteral("设置"))
        && !hasColumn(handle, QStringLiteral("设置"), QStringLiteral("附带退订方式"))) {
        execute(handle, QStringLiteral("alter table 设置 add column 附带退订方式 INTEGER NOT NULL DEFAULT 0 "
                                       "CHECK (附带退订方式 IN (0, 1))"));
    }
    if (hasTable(handle, QStringLiteral("设置")) && !hasColumn(handle, QStringLiteral("设置"), QStringLiteral("退订说明"))) {
        execute(handle, QStringLiteral("alter table 设置 add column 退订说明 NVARCHAR(255) "
                                       "DEFAULT '如不希望再收到我们的邮件，请回复“退订”。' "
                                       "CONSTRAINT 退订说明超过255个字符 CHECK (length(退订说明) <= 255)"));
    }
    if (!hasTable(handle, QStringLiteral("退订名单"))) {
        execute(handle, QStringLiteral("create table 退订名单 (电子邮件地址 NVARCHAR(254) NOT NULL "
                                       "CONSTRAINT 电子邮件地址超过254个字符 CHECK (length(电子邮件地址) <= 254), "
                                       "退订日期 DATETIME, 原因 NVARCHAR(255) CONSTRAINT 原因超过255个字符 "
                                       "CHECK (length(原因) <= 255))"));
        execute(handle, QStringLiteral("create unique index 退订名单_地址 on 退订名单 (lower(trim(电子邮件地址)))"));
    }
}

static bool hasIndex(sqlite3 *handle, const QString &name)
{
    Statement query(handle, QStringLiteral("select 1 from sqlite_master where type = 'index' and name = ?"));
    query.bind(1, name);
    return query.step();
}

// The customer picker's indexes, which files made before it lack. After the widening, which would
// only make them again with its new table. Built once, on the first open: a few seconds at a
// million customers.
static void addCustomerIndexes(sqlite3 *handle)
{
    if (!hasTable(handle, QStringLiteral("客户表")))
        return;
    const std::pair<QString, QString> indexes[] = {{QStringLiteral("客户表_客户名称"), QStringLiteral("客户名称")},
                                                   {QStringLiteral("客户表_电子邮件地址"), QStringLiteral("电子邮件地址")}};
    for (const auto &[name, column] : indexes) {
        if (!hasIndex(handle, name) && hasColumn(handle, QStringLiteral("客户表"), column))
            execute(handle, QStringLiteral("create index %1 on 客户表 (%2)").arg(name, column));
    }
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
    // A mail's file: its name as readers show it and its bytes, none in a file made before.
    if (hasTable(handle, QStringLiteral("邮件表"))) {
        if (!hasColumn(handle, QStringLiteral("邮件表"), QStringLiteral("附件名称")))
            execute(handle, QStringLiteral("alter table 邮件表 add column 附件名称 NVARCHAR(255) CONSTRAINT "
                                           "附件名称超过255个字符 CHECK (length(附件名称) <= 255)"));
        if (!hasColumn(handle, QStringLiteral("邮件表"), QStringLiteral("附件内容")))
            execute(handle, QStringLiteral("alter table 邮件表 add column 附件内容 BLOB"));
    }
    if (hasTable(handle, QStringLiteral("设置")) && !hasColumn(handle, QStringLiteral("设置"), QStringLiteral("每日上限"))) {
        execute(handle,
                QStringLiteral("alter table 设置 add column 每日上限 INTEGER DEFAULT 0 CONSTRAINT 每日上限超出范围 "
                               "CHECK (每日上限 BETWEEN 0 AND 100000)"));
    }
    if (!hasTable(handle, QStringLiteral("发送选项"))) {
        execute(handle,
                QStringLiteral("create table 发送选项 (编号 INTEGER PRIMARY KEY CHECK (编号 = 1), "
                               "跳过已发送 INTEGER NOT NULL DEFAULT 0 CHECK (跳过已发送 IN (0, 1)))"));
    }
    if (!hasColumn(handle, QStringLiteral("发送选项"), QStringLiteral("测试地址"))) {
        execute(handle,
                QStringLiteral("alter table 发送选项 add column 测试地址 NVARCHAR(254) CONSTRAINT 测试地址超过254个字符 "
                               "CHECK (length(测试地址) <= 254)"));
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
    addRefusalParts(handle);
    // Last, so that the tables it makes anew have every column the steps above add.
    widenTextLimits(handle);
    addCustomerIndexes(handle);
}
