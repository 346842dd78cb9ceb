#pragma once

#include "DatabaseLocation.h"

#include <QString>

// Where the two engines' SQL differs, the one place that knows both. Every other statement is one
// text both take: names with Latin letters quoted ("客户ID"; the server folds unquoted ones to
// lower case), a parameter whose type the statement alone does not fix cast (cast(? as text)).
namespace dialect {

// The key of a send record, in the order the records were written: SQLite's rowid in a file, the
// server's own column 记录ID.
QString recordKey(Engine engine);

// The engine's expression for its current local moment in the stored text form.
QString now(Engine engine);

// `expression` with its ASCII letters, and only those, in lower case: SQLite's lower() in a file;
// on the server lower() under the "C" collation, whatever the server's own locale.
QString asciiLower(Engine engine, const QString &expression);

// Whether the table holds that column. A file the program could not bring up to date may lack
// columns a later version added; the server's tables are made whole, so it always has them.
QString hasColumnQuery(Engine engine);

// Begins a transaction whose reads all see the data as it was at the first: SQLite's own (a read
// transaction of a file keeps its snapshot); a server's needs repeatable read for it.
QString beginSnapshot(Engine engine);

} // namespace dialect
