#include "Dialect.h"

#include "Stamp.h"

namespace dialect {

QString recordKey(Engine engine)
{
    return engine == Engine::Postgres ? QStringLiteral("\"记录ID\"") : QStringLiteral("rowid");
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
