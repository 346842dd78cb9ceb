#include "ServerSchema.h"

#include "Database.h"
#include "DatabaseError.h"
#include "Statement.h"
#include "Transaction.h"

#include <QFile>

static void loadSchemaResource()
{
    Q_INIT_RESOURCE(schema);
}

QString serverSchemaText()
{
    loadSchemaResource();
    QFile file(QStringLiteral(":/db/schema-postgres.sql"));
    if (!file.open(QIODevice::ReadOnly))
        throw DatabaseError(QStringLiteral("The server's schema is missing from the program"));
    return QString::fromUtf8(file.readAll());
}

bool serverHasNoTables(Database &server)
{
    Statement tables(server, QStringLiteral("select count(*) from information_schema.tables "
                                            "where table_schema = current_schema() "
                                            "and table_name in ('客户表', '邮件表', '发送情况', '设置')"));
    return tables.step() && tables.column(0).toLongLong() == 0;
}

QString createTablesQuestion(const DatabaseLocation &location)
{
    return QStringLiteral("数据库“%1”中还没有本程序的表。现在创建这些表吗？").arg(location.text());
}

void createServerTables(Database &server)
{
    const QString schema = serverSchemaText();
    Transaction transaction(server);
    execute(server, schema);
    transaction.commit();
}
