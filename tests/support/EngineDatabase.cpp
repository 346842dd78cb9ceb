#include "EngineDatabase.h"

#include "Database.h"
#include "Dialect.h"
#include "PostgresCluster.h"
#include "ServerSchema.h"
#include "Statement.h"

#include <stdexcept>

namespace testsupport {

EngineDatabase::EngineDatabase(Engine engine)
{
    if (engine == Engine::Sqlite) {
        m_file = std::make_unique<TempDatabase>();
        m_location = m_file->location();
        return;
    }
    static PostgresCluster cluster;
    static const QString failure = cluster.start();
    static int databases = 0;
    if (!failure.isEmpty())
        throw std::runtime_error("PostgreSQL did not start: " + failure.toStdString());
    m_location = cluster.createDatabase(QStringLiteral("test_%1").arg(++databases));
    Database server(m_location);
    server.setConnected(true);
    createServerTables(server);
}

EngineDatabase::~EngineDatabase() = default;

void EngineDatabase::exec(const QString &sql, const QVariantList &values) const
{
    Database connection(m_location);
    connection.setConnected(true);
    Statement statement(connection, sql);
    for (int i = 0; i < values.size(); ++i)
        statement.bind(i + 1, values[i]);
    statement.step();
}

QList<QVariantList> EngineDatabase::rows(const QString &sql) const
{
    Database connection(m_location);
    connection.setConnected(true);
    Statement statement(connection,
                        sql.contains(QStringLiteral("%1")) ? sql.arg(dialect::recordKey(connection.engine())) : sql);
    QList<QVariantList> all;
    while (statement.step()) {
        QVariantList row;
        for (int i = 0; i < statement.columnCount(); ++i)
            row.append(statement.column(i));
        all.append(row);
    }
    return all;
}

QVariant EngineDatabase::scalar(const QString &sql) const
{
    const QList<QVariantList> all = rows(sql);
    return all.isEmpty() || all.front().isEmpty() ? QVariant() : all.front().front();
}

std::string engineName(Engine engine)
{
    return engine == Engine::Sqlite ? "Sqlite" : "Postgres";
}

} // namespace testsupport
