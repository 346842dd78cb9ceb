#pragma once

#include <QString>

class Database;
struct DatabaseLocation;

// The tables on a PostgreSQL server, made once for a team on the first start against an empty
// database, after the user agreed (createTablesQuestion). A file is never made by the program.

// Whether the server's database (its current schema) holds none of the program's tables.
bool serverHasNoTables(Database &server);

// The question the first start asks before it makes the tables.
QString createTablesQuestion(const DatabaseLocation &location);

// Makes every table of db/schema-postgres.sql in one transaction: all of them, or, when the
// server refuses one (no right to create, a table of that name already there), none, and
// DatabaseError with the server's message.
void createServerTables(Database &server);

// The statements of db/schema-postgres.sql.
QString serverSchemaText();
