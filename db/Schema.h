#pragma once

#include <QString>

struct sqlite3;

// Makes a new database file at `path` with the four tables of db/schema.sql. For tests, benches and
// tools: the program itself only ever opens an existing db.mdb. Fails (DatabaseError) when the
// file cannot be made or already holds the tables.
void createDatabase(const QString &path);

// Brings a file made by an earlier version up to the columns the program writes: 发送情况 gets
// 发送结果, its rows so far an empty (null) result. Nothing else changes; a file without the table is
// left as it is. Throws DatabaseError when the file refuses the change (read-only, locked).
void addMissingColumns(sqlite3 *handle);
