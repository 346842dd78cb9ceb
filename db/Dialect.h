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

// The key the record views find a table's rows by, in the order the rows were written, as a
// statement names it: SQLite's rowid in a file; on the server the table's own key column ("客户ID",
// "邮件ID", "编号", and the server's "记录ID", "设置ID", "退订ID"). Empty for a table the server
// gives no key: its rows cannot be changed through a view.
QString rowKey(Engine engine, const QString &table);

// The table's key column that only the server has (记录ID, 设置ID, 退订ID), which the views do not
// show, so that a page looks the same on both engines; empty where the key is a column a file has
// too, and always in a file.
QString hiddenKeyColumn(Engine engine, const QString &table);

// What follows an insert into the table for its statement to yield the new row's key: nothing in
// a file (the connection's last rowid is the key), "returning" the key column on the server.
QString returningKey(Engine engine, const QString &table);

// A statement written for a file, as the server takes it: the names with Latin letters the
// schema has (客户ID, 邮件ID, SMTP服务器, ...) quoted where they stand unquoted, outside literals.
// The text is the same in a file, byte for byte.
QString forEngine(Engine engine, const QString &sql);

// The engine's expression for its current local moment in the stored text form.
QString now(Engine engine);

// `expression` with its ASCII letters, and only those, in lower case: SQLite's lower() in a file;
// on the server lower() under the "C" collation, whatever the server's own locale.
QString asciiLower(Engine engine, const QString &expression);

// `expression` compared and ordered by its UTF-8 bytes, as the customer indexes hold it: as it is
// in a file; under the "C" collation on the server, whatever the server's own locale.
QString byteOrder(Engine engine, const QString &expression);
// Whether the table holds that column. A file the program could not bring up to date may lack
// columns a later version added; the server's tables are made whole, so it always has them.
QString hasColumnQuery(Engine engine);

// Begins a transaction whose reads all see the data as it was at the first: SQLite's own (a read
// transaction of a file keeps its snapshot); a server's needs repeatable read for it.
QString beginSnapshot(Engine engine);

} // namespace dialect
