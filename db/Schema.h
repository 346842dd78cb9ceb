#pragma once

#include <QString>

struct sqlite3;

// Makes a new database file at `path` with the tables of db/schema.sql. For tests, benches and
// tools: the program itself only ever opens an existing db.mdb. Fails (DatabaseError) when the
// file cannot be made or already holds the tables.
void createDatabase(const QString &path);

// The statements of db/schema.sql that make a new file.
QString schemaText();

// Brings a file made by an earlier version up to what the program writes: 发送情况 gets 发送结果, its
// rows so far an empty (null) result, and the file gets the table 发送选项; 邮件表 gets 广告 (off), 设置
// the refusal option (off) and its text, and the file the table 退订名单; tables with texts narrower
// than the schema's are rebuilt to its widths (widenTextLimits). Nothing else changes; a file
// without 发送情况 keeps it missing. Throws DatabaseError when the file refuses the change
// (read-only, locked), SchemaUpgradeError when the rebuild could not be done.
void addMissingParts(sqlite3 *handle);
