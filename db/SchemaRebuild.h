#pragma once

#include "DatabaseError.h"

struct sqlite3;

// Why a file made by an earlier version stays as it was: its copy could not be written, or the
// rebuild failed and was undone. The text is the user's; the file opens all the same.
class SchemaUpgradeError : public DatabaseError
{
public:
    using DatabaseError::DatabaseError;
};

// Gives every table whose texts the file holds narrower than the schema does (an earlier version's
// 30-character address, 40-character name) the schema's widths. SQLite cannot change a column's
// check, so such a table is made anew from the schema's statement and its rows copied over: keys,
// row numbers and the automatic number's counter kept exactly, its indexes and triggers made again.
// First the whole file is copied to "<file>.bak" beside it; then every table is rebuilt in one
// transaction, so a failure anywhere leaves the file as it was. Nothing is written when no table
// needs it. Throws SchemaUpgradeError when the copy or the rebuild fails.
void widenTextLimits(sqlite3 *handle);

// Where the copy of `databasePath` goes before its tables are rebuilt.
QString backupPathFor(const QString &databasePath);
