#include "RequiredSchema.h"

#include "Database.h"
#include "Field.h"
#include "Statement.h"

namespace {

struct Table
{
    const char16_t *name;
    std::initializer_list<const char16_t *> columns;
};

const Table requiredTables[] = {
    {u"客户表", {u"客户ID", u"客户名称", u"电子邮件地址", u"录入日期"}},
    {u"邮件表", {u"邮件ID", u"邮件主题", u"邮件内容", u"建立日期"}},
    {u"发送情况", {u"客户ID", u"邮件ID", u"发送日期"}},
    {u"设置", {u"发信人名称", u"发信人电子邮件", u"SMTP服务器", u"用户名", u"密码"}},
};

// The columns of a table in the server's schema the connection works in, in their order.
QStringList serverColumnsOf(Database &server, const QString &table)
{
    Statement info(server, QStringLiteral("select column_name from information_schema.columns "
                                          "where table_schema = current_schema() "
                                          "and cast(table_name as text) = cast(? as text) order by ordinal_position"));
    info.bind(1, table);
    QStringList columns;
    while (info.step())
        columns.append(info.column(0).toString());
    return columns;
}

} // namespace

QStringList columnsOf(sqlite3 *handle, const QString &table)
{
    Statement info(handle, QStringLiteral("select name from pragma_table_info(?)"));
    info.bind(1, table);
    QStringList columns;
    while (info.step())
        columns.append(info.column(0).toString());
    return columns;
}


QStringList missingSchemaParts(Database &database)
{
    const bool server = database.engine() == Engine::Postgres;
    QStringList missing;
    for (const Table &table : requiredTables) {
        const QString name = QString::fromUtf16(table.name);
        const QStringList columns = server ? serverColumnsOf(database, name) : columnsOf(database.handle(), name);
        if (columns.isEmpty()) {
            missing.append(QStringLiteral("表“%1”").arg(name));
            continue;
        }
        for (const char16_t *column : table.columns) {
            const QString wanted = QString::fromUtf16(column);
            const bool present = std::any_of(columns.begin(), columns.end(),
                                             [&](const QString &c) { return sameFieldName(c, wanted); });
            if (!present)
                missing.append(QStringLiteral("表“%1”的列“%2”").arg(name, wanted));
        }
    }
    return missing;
}
