#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <memory>

class Database;
class PostgresStatement;

struct sqlite3;
struct sqlite3_stmt;

// One prepared statement of the engine; failures throw DatabaseError with the engine's text.
// Made on a Database, it runs on that connection's engine: SQLite's own interface for a file, Qt's
// QPSQL driver for a server; the same text with "?" parameters runs on both where the two engines
// agree on the SQL. Made on a raw handle, it is SQLite's alone.
class Statement
{
public:
    Statement(Database &database, const QString &sql);
    Statement(sqlite3 *handle, const QString &sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // SQLite's statement; null on a server.
    sqlite3_stmt *get() const { return m_statement; }

    // Binds by position (1-based) or by name (":name"); false when the statement has no such name.
    void bind(int index, const QVariant &value);
    bool bind(const QString &name, const QVariant &value);
    // Binds UTF-8 text without copying it: the bytes must stay until the statement is reset.
    void bindText(int index, QByteArrayView utf8);
    // The position of a named parameter (":name"), 0 when the statement has none of that name.
    int parameterIndex(const QString &name) const;
    // Steps once: true while there is a row.
    bool step();
    void reset();
    int changes() const;
    // The key of the row the last insert on this connection made.
    qint64 lastInsertId() const;

    int columnCount() const;
    QVariant column(int index) const;

private:
    [[noreturn]] void fail() const;

    sqlite3 *m_handle = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    // Set on a server only: SQLite's path stays the direct calls it always was, one test apart.
    std::unique_ptr<PostgresStatement> m_server;
};

// Runs statements without results (one or more, separated by ";").
void execute(sqlite3 *handle, const QString &sql);
void execute(Database &database, const QString &sql);
