#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

class DatabaseError;
class QSqlError;

// A statement on a PostgreSQL server through Qt's QPSQL driver, behind Statement's interface:
// SQLite's parameters ("?", "?NNN", ":name") are taken in the same text, the statement runs at
// its first step, and values come back as SQLite gives them (integers as qlonglong, truth values
// as 0 or 1, moments as the stored text). Failures throw DatabaseError with the server's message.
class PostgresStatement
{
public:
    PostgresStatement(const QSqlDatabase &database, const QString &sql);

    void bind(int index, const QVariant &value);
    int parameterIndex(const QString &name) const;
    bool step();
    void reset();
    int changes() const;
    qint64 lastInsertId() const;
    int columnCount() const;
    QVariant column(int index) const;

    // The statement with SQLite's parameters written as the server's "$n", and the names of the
    // named ones by number (empty for a number that has none). For the tests as well.
    struct Numbered
    {
        QString sql;
        QStringList names;
    };
    static Numbered numberParameters(const QString &sql);

private:
    QSqlDatabase m_database;
    QSqlQuery m_query;
    QStringList m_names;
    QVariantList m_values;
    bool m_executed = false;
    // Qt builds the whole record on each record() call: counted once per run.
    mutable int m_columnCount = -1;
};

// The first line of the server's message, as the user may read it: without "ERROR:", the row's
// values (DETAIL) and the error code Qt appends.
QString serverMessage(const QSqlError &error);
// The failure to throw for the server's error: its message, and its SQLSTATE.
DatabaseError serverError(const QSqlError &error);

// Runs statements without results (one or more, separated by ";") on a server connection.
void executeOnServer(const QSqlDatabase &database, const QString &sql);
