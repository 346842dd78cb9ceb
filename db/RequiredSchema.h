#pragma once

#include <QStringList>

class Database;
struct sqlite3;

// The tables and columns the program reads and writes, checked on an open database. Gives each one
// the database lacks, in the words of the error box: 表“设置”, 表“设置”的列“密码”. Empty when nothing
// is missing. (发送情况's 发送结果 is added when a file is opened, so it is not asked for here.) A
// file's catalogue is SQLite's; a server's is its information_schema, in the connection's schema.
QStringList missingSchemaParts(Database &database);

// The columns a table of the file has, in their order; empty for a table the file lacks.
QStringList columnsOf(sqlite3 *handle, const QString &table);
