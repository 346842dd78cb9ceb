#include "ServerFields.h"

#include "Database.h"
#include "DatabaseError.h"
#include "PostgresStatement.h"
#include "Statement.h"

#include <QHash>
#include <QRegularExpression>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

struct Declared
{
    QString type;
    int width = 0; // a character type's, or its CHECK's
    bool assigned = false; // identity or serial
};

// The table's columns by name, from the catalogue any role that reads the table can read.
QHash<QString, Declared> declaredColumns(Database &database, const QString &table)
{
    QHash<QString, Declared> declared;
    Statement columns(database,
                      QStringLiteral("select column_name, data_type, coalesce(character_maximum_length, 0),"
                                     " is_identity = 'YES' or coalesce(column_default, '') like 'nextval(%'"
                                     " from information_schema.columns"
                                     " where table_schema = current_schema() and table_name = cast(? as text)"));
    columns.bind(1, table);
    while (columns.step()) {
        declared.insert(columns.column(0).toString(),
                        {columns.column(1).toString(), columns.column(2).toInt(), columns.column(3).toBool()});
    }

    // The texts' widths are their CHECKs (the server's type has none), one column each.
    static const QRegularExpression width(QStringLiteral("char_length\\(.*\\)\\s*<=\\s*(\\d+)"));
    Statement checks(database, QStringLiteral("select a.attname, pg_get_constraintdef(c.oid) from pg_constraint c"
                                              " join pg_attribute a on a.attrelid = c.conrelid and a.attnum = c.conkey[1]"
                                              " where c.contype = 'c' and cardinality(c.conkey) = 1"
                                              " and c.conrelid = to_regclass(quote_ident(cast(? as text)))"));
    checks.bind(1, table);
    while (checks.step()) {
        const auto column = declared.find(checks.column(0).toString());
        const QRegularExpressionMatch limit = width.match(checks.column(1).toString());
        if (column != declared.end() && limit.hasMatch() && column->width == 0)
            column->width = limit.captured(1).toInt();
    }
    return declared;
}

Field fieldFor(const QString &name, const Declared &declared)
{
    Field field;
    field.fieldName = name;
    const QString &type = declared.type;
    if (type == QLatin1String("bigint") || type == QLatin1String("integer") || type == QLatin1String("smallint")
        || type == QLatin1String("boolean")) {
        field.kind = declared.assigned ? FieldKind::AutoIncrement : FieldKind::Integer;
        field.readOnly = declared.assigned;
    } else if (type == QLatin1String("text") || type.startsWith(QLatin1String("character"))) {
        field.kind = declared.width > 0 || type != QLatin1String("text") ? FieldKind::String : FieldKind::Memo;
        field.size = declared.width;
    } else if (type.startsWith(QLatin1String("timestamp")) || type == QLatin1String("date")
               || type.startsWith(QLatin1String("time"))) {
        field.kind = FieldKind::DateTime;
    } else if (type == QLatin1String("double precision") || type == QLatin1String("real")
               || type == QLatin1String("numeric")) {
        field.kind = FieldKind::Float;
    } else if (type == QLatin1String("bytea")) {
        field.kind = FieldKind::Blob;
    }
    return field;
}

} // namespace

StatementColumns serverColumns(Database &database, const QString &select)
{
    QString inner = select.trimmed();
    while (inner.endsWith(u';'))
        inner = inner.chopped(1).trimmed();
    // Not forward only: so the driver names the table behind each column. The server plans the
    // statement as a subquery read to no rows; a statement that is not a query cannot stand there.
    QSqlQuery probe(database.database());
    if (!probe.exec(QStringLiteral("select * from (%1) as q limit 0").arg(inner))) {
        // Prepared only, never run: the server's own words for a statement it refuses.
        const PostgresStatement plain(database.database(), select);
        throw DatabaseError(QStringLiteral("CommandText does not return a result set"));
    }
    const QSqlRecord record = probe.record();
    probe.finish();

    StatementColumns result;
    bool oneTable = true;
    for (int c = 0; c < record.count(); ++c) {
        const QString from = record.field(c).tableName();
        if (from.isEmpty() || (!result.table.isEmpty() && from != result.table))
            oneTable = false;
        result.table = from;
    }
    if (!oneTable)
        result.table.clear();

    QHash<QString, QHash<QString, Declared>> tables;
    for (int c = 0; c < record.count(); ++c) {
        const QString name = record.fieldName(c);
        const QString from = record.field(c).tableName();
        if (!from.isEmpty() && !tables.contains(from))
            tables.insert(from, declaredColumns(database, from));
        const QHash<QString, Declared> &declared = tables[from];
        const auto column = declared.constFind(name);
        if (from.isEmpty() || column == declared.cend()) {
            Field computed;
            computed.fieldName = name;
            computed.readOnly = true; // computed by the statement
            result.fields.append(computed);
            result.columns.append(QString());
            continue;
        }
        result.fields.append(fieldFor(name, *column));
        result.columns.append(name);
    }
    // A column whose name is not the table's (renamed by the statement) cannot be written back.
    if (result.columns.contains(QString()))
        result.table.clear();
    return result;
}
