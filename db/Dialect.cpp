#include "Dialect.h"

#include "SqlText.h"
#include "Stamp.h"
#include "Tables.h"

#include <algorithm>

#include <QHash>

namespace dialect {

namespace {

struct ServerKey
{
    QString column;
    bool hidden; // the server's own: a file has no such column
};

const QHash<QString, ServerKey> &serverKeys()
{
    static const QHash<QString, ServerKey> keys{
        {QStringLiteral("客户表"), {QStringLiteral("客户ID"), false}},
        {QStringLiteral("邮件表"), {QStringLiteral("邮件ID"), false}},
        {QStringLiteral("发送选项"), {QStringLiteral("编号"), false}},
        {QStringLiteral("发送情况"), {QStringLiteral("记录ID"), true}},
        {QStringLiteral("设置"), {QStringLiteral("设置ID"), true}},
        {QStringLiteral("退订名单"), {QStringLiteral("退订ID"), true}},
    };
    return keys;
}

QString quotedName(const QString &name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

} // namespace

QString rowKey(Engine engine, const QString &table)
{
    if (engine != Engine::Postgres)
        return QStringLiteral("rowid");
    const auto key = serverKeys().constFind(table);
    return key == serverKeys().cend() ? QString() : quotedName(key->column);
}

QString hiddenKeyColumn(Engine engine, const QString &table)
{
    if (engine != Engine::Postgres)
        return {};
    const auto key = serverKeys().constFind(table);
    return key != serverKeys().cend() && key->hidden ? key->column : QString();
}

QString returningKey(Engine engine, const QString &table)
{
    const QString key = rowKey(engine, table);
    return engine == Engine::Postgres && !key.isEmpty() ? QStringLiteral(" returning ") + key : QString();
}

QString forEngine(Engine engine, const QString &sql)
{
    if (engine != Engine::Postgres)
        return sql;
    // The schema's names with Latin letters, which the server would fold to lower case unquoted.
    static const QStringList names{QStringLiteral("客户ID"), QStringLiteral("邮件ID"), QStringLiteral("记录ID"),
                                   QStringLiteral("设置ID"), QStringLiteral("退订ID"),
                                   QStringLiteral("SMTP服务器")};
    return sqltext::mapCode(sql, [](QStringView code) {
        QString out;
        for (qsizetype i = 0; i < code.size(); ++i) {
            if (!sqltext::isNameCharacter(code[i])) {
                out += code[i];
                continue;
            }
            qsizetype end = i;
            while (end < code.size() && sqltext::isNameCharacter(code[end]))
                ++end;
            const QStringView word = code.mid(i, end - i);
            const auto known = std::find_if(names.begin(), names.end(), [&](const QString &name) {
                return word.compare(name, Qt::CaseInsensitive) == 0;
            });
            out += known != names.end() ? quotedName(*known) : word.toString();
            i = end - 1;
        }
        return out;
    });
}

QString recordKey(Engine engine)
{
    return rowKey(engine, table::SendRecords);
}

QString now(Engine engine)
{
    return engine == Engine::Postgres ? QStringLiteral("to_char(localtimestamp(3), 'YYYY-MM-DD HH24:MI:SS.MS')")
                                      : stamp::engineNow();
}

QString asciiLower(Engine engine, const QString &expression)
{
    return engine == Engine::Postgres ? QStringLiteral("lower((%1) COLLATE \"C\")").arg(expression)
                                      : QStringLiteral("lower(%1)").arg(expression);
}

QString byteOrder(Engine engine, const QString &expression)
{
    return engine == Engine::Postgres ? QStringLiteral("(%1 COLLATE \"C\")").arg(expression) : expression;
}

QString hasColumnQuery(Engine engine)
{
    return engine == Engine::Postgres
        ? QStringLiteral("select 1 from information_schema.columns "
                         "where table_schema = current_schema() and table_name = ? and column_name = ?")
        : QStringLiteral("select 1 from pragma_table_info(?) where name = ?");
}

QString beginSnapshot(Engine engine)
{
    return engine == Engine::Postgres ? QStringLiteral("begin isolation level repeatable read, read only")
                                      : QStringLiteral("begin");
}

} // namespace dialect
