#pragma once

#include "Field.h"

#include <QList>
#include <QString>
#include <QStringList>

class Database;

// The columns a select yields on a PostgreSQL server, as a record view needs them: each one's
// Field, the table column behind it, and the one table they all come from (empty when they do not
// all come from one, or one is computed).
struct StatementColumns
{
    QList<Field> fields;
    QStringList columns;
    QString table;
};

// Asks the server without reading a row. The kinds follow the table's declared types as a file's
// do: a key the server assigns (identity, serial) is the automatic number, a text whose width a
// CHECK (char_length(…) <= n) limits is a String of that size and one without is a Memo, a
// timestamp is a DateTime. Throws the server's text for a statement it refuses, and
// "CommandText does not return a result set" for one that reads no rows, which is not run.
StatementColumns serverColumns(Database &database, const QString &select);
