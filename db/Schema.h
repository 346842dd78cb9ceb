#pragma once

#include <QString>

// Makes a new database file at `path` with the four tables of db/schema.sql. For tests, benches and
// tools: the program itself only ever opens an existing db.mdb. Fails (DatabaseError) when the
// file cannot be made or already holds the tables.
void createDatabase(const QString &path);
