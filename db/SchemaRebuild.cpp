#include "SchemaRebuild.h"

#include "DbLog.h"
#include "RequiredSchema.h"
#include "Schema.h"
#include "Statement.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <sqlite3.h>


namespace {

struct Connection
{
    sqlite3 *handle = nullptr;
    ~Connection() { sqlite3_close(handle); }
};

// The widths a table's statement gives its columns: length(column) <= n.
QHash<QString, int> widthsIn(const QString &createStatement)
{
    static const QRegularExpression width(QStringLiteral("length\\(\\s*([^\\s)]+)\\s*\\)\\s*<=\\s*(\\d+)"));
    QHash<QString, int> widths;
    for (const QRegularExpressionMatch &m : width.globalMatch(createStatement))
        widths.insert(m.captured(1), m.captured(2).toInt());
    return widths;
}

QString quoted(const QString &name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// Whether a table's row number has a column of its own (INTEGER PRIMARY KEY): copied with the
// columns then; otherwise the row number is copied by itself, as the record views find rows by it.
bool hasKeyColumn(sqlite3 *handle, const QString &table)
{
    Statement info(handle, QStringLiteral("select count(*), max(upper(type) = 'INTEGER') from pragma_table_info(?) "
                                          "where pk > 0"));
    info.bind(1, table);
    info.step();
    return info.column(0).toInt() == 1 && info.column(1).toInt() == 1;
}

struct TableStatement
{
    QString name;
    QString create;
};

// The tables as the schema makes them, read from a file made from it in memory.
QList<TableStatement> schemaTables()
{
    Connection memory;
    if (sqlite3_open(":memory:", &memory.handle) != SQLITE_OK)
        throw DatabaseError(QStringLiteral("out of memory"));
    execute(memory.handle, schemaText());
    Statement tables(memory.handle,
                     QStringLiteral("select name, sql from sqlite_master where type = 'table' and name not like 'sqlite_%'"));
    QList<TableStatement> result;
    while (tables.step())
        result.append({tables.column(0).toString(), tables.column(1).toString()});
    return result;
}

// The schema's tables that the file holds with a narrower text than the schema gives.
QList<TableStatement> narrowerTables(sqlite3 *handle)
{
    QList<TableStatement> narrower;
    for (const TableStatement &table : schemaTables()) {
        Statement stored(handle, QStringLiteral("select sql from sqlite_master where type = 'table' and name = ?"));
        stored.bind(1, table.name);
        if (!stored.step())
            continue;
        const QHash<QString, int> had = widthsIn(stored.column(0).toString());
        const QHash<QString, int> wanted = widthsIn(table.create);
        for (auto it = wanted.begin(); it != wanted.end(); ++it) {
            if (had.contains(it.key()) && had.value(it.key()) < it.value()) {
                narrower.append(table);
                break;
            }
        }
    }
    return narrower;
}

// Copies the whole file as this connection reads it now (inside its read transaction, so it is what
// the rebuild starts from) to `path`, which it takes only when complete.
void writeBackup(sqlite3 *handle, const QString &path)
{
    const QString partial = path + QStringLiteral(".part");
    QFile::remove(partial);
    {
        Connection copy;
        int rc = sqlite3_open_v2(partial.toUtf8().constData(), &copy.handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                 nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_backup *backup = sqlite3_backup_init(copy.handle, "main", handle, "main");
            if (!backup) {
                rc = sqlite3_errcode(copy.handle);
            } else {
                rc = sqlite3_backup_step(backup, -1);
                const int finished = sqlite3_backup_finish(backup);
                if (rc == SQLITE_DONE)
                    rc = finished;
            }
        }
        if (rc != SQLITE_OK) {
            const QString reason = QString::fromUtf8(copy.handle ? sqlite3_errmsg(copy.handle) : sqlite3_errstr(rc));
            sqlite3_close(copy.handle);
            copy.handle = nullptr;
            QFile::remove(partial);
            throw DatabaseError(reason);
        }
    }
    QFile::remove(path);
    if (!QFile::rename(partial, path)) {
        QFile::remove(partial);
        throw DatabaseError(QStringLiteral("cannot rename %1").arg(partial));
    }
}

void rebuild(sqlite3 *handle, const TableStatement &table)
{
    const QStringList had = columnsOf(handle, table.name);
    const QString aside = table.name + QStringLiteral("_升级前");
    // Its indexes and triggers go with the old table; their own statements make them again.
    QStringList parts;
    {
        Statement attached(handle, QStringLiteral("select sql from sqlite_master where tbl_name = ? and type in "
                                                  "('index', 'trigger') and sql is not null"));
        attached.bind(1, table.name);
        while (attached.step())
            parts.append(attached.column(0).toString());
    }
    // Statements still holding a row would keep the old table from being dropped: each in its scope.
    QVariant counter;
    bool hasSequence = false;
    {
        Statement sequenceTable(handle, QStringLiteral("select 1 from sqlite_master where name = 'sqlite_sequence'"));
        hasSequence = sequenceTable.step();
    }
    if (hasSequence) {
        Statement sequence(handle, QStringLiteral("select seq from sqlite_sequence where name = ?"));
        sequence.bind(1, table.name);
        if (sequence.step())
            counter = sequence.column(0);
    }

    // The old table is moved aside without touching what refers to it by name (views, other
    // tables' triggers): they find the new table under the same name.
    execute(handle, QStringLiteral("pragma legacy_alter_table = on"));
    execute(handle, QStringLiteral("alter table %1 rename to %2").arg(quoted(table.name), quoted(aside)));
    execute(handle, QStringLiteral("pragma legacy_alter_table = off"));
    execute(handle, table.create);
    const QStringList now = columnsOf(handle, table.name);
    QStringList copied;
    for (const QString &column : had) {
        if (!now.contains(column, Qt::CaseInsensitive))
            throw DatabaseError(QStringLiteral("表“%1”的列“%2”在新的表中没有").arg(table.name, column));
        copied.append(quoted(column));
    }
    if (!hasKeyColumn(handle, table.name))
        copied.prepend(QStringLiteral("rowid"));
    const QString list = copied.join(u',');
    execute(handle, QStringLiteral("insert into %1 (%2) select %2 from %3").arg(quoted(table.name), list, quoted(aside)));
    execute(handle, QStringLiteral("drop table %1").arg(quoted(aside)));
    for (const QString &part : std::as_const(parts))
        execute(handle, part);
    if (counter.isValid()) {
        Statement forget(handle, QStringLiteral("delete from sqlite_sequence where name = ?"));
        forget.bind(1, table.name);
        forget.step();
        Statement keep(handle, QStringLiteral("insert into sqlite_sequence(name, seq) values(?, ?)"));
        keep.bind(1, table.name);
        keep.bind(2, counter);
        keep.step();
    }
    qCInfo(dbLog) << "rebuilt" << table.name << "with the schema's widths";
}

} // namespace

QString backupPathFor(const QString &databasePath)
{
    return databasePath + QStringLiteral(".bak");
}

void widenTextLimits(sqlite3 *handle)
{
    const QList<TableStatement> tables = narrowerTables(handle);
    if (tables.isEmpty())
        return;
    const QString file = QString::fromUtf8(sqlite3_db_filename(handle, "main"));
    const QString backup = backupPathFor(file);

    // One read of the file from the copy to the commit: another connection's write in between makes
    // the rebuild fail (and leaves everything as it was) rather than rebuild from a later file than
    // the copy holds.
    execute(handle, QStringLiteral("begin"));
    const auto rollback = [handle] { sqlite3_exec(handle, "rollback", nullptr, nullptr, nullptr); };
    try {
        Statement read(handle, QStringLiteral("select count(*) from sqlite_master"));
        read.step();
        writeBackup(handle, backup);
    } catch (const DatabaseError &e) {
        rollback();
        qCInfo(dbLog) << "no copy of" << file << "at" << backup << ":" << e.message();
        throw SchemaUpgradeError(
            QStringLiteral("无法写入数据库文件的备份“%1”（%2），所以没有升级数据库文件。文件照原样打开："
                           "客户名称和电子邮件地址仍按旧的长度限制。")
                .arg(backup, e.message()));
    }
    try {
        for (const TableStatement &table : tables)
            rebuild(handle, table);
        execute(handle, QStringLiteral("commit"));
    } catch (const DatabaseError &e) {
        execute(handle, QStringLiteral("pragma legacy_alter_table = off"));
        rollback();
        qCInfo(dbLog) << "rebuild of" << file << "undone:" << e.message();
        throw SchemaUpgradeError(QStringLiteral("数据库文件升级失败（%1），已恢复原样。文件照原样打开："
                                                "客户名称和电子邮件地址仍按旧的长度限制。备份在“%2”。")
                                     .arg(e.message(), backup));
    }
}
