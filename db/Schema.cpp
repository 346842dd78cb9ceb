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

void addMissingColumns(sqlite3 *handle)
{
    Statement columns(handle, QStringLiteral("select name from pragma_table_info('发送情况')"));
    bool hasTable = false;
    while (columns.step()) {
        hasTable = true;
        if (columns.column(0).toString() == QStringLiteral("发送结果"))
            return;
    }
    if (hasTable) {
        execute(
            handle,
            QStringLiteral("alter table 发送情况 add column 发送结果 NVARCHAR(255) CONSTRAINT 发送结果超过255个字符 "
                           "CHECK (length(发送结果) <= 255)"));
    }
}
