#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class Database;
class DatabaseError;
class Statement;

// Whether `error`, the connection's last failure, was the engine refusing one row for what it holds
// (a text over its column's limit, a value of the wrong kind), rather than a failure of the file or
// server itself (full, read-only, unreachable). Only after such a refusal may an import pass over
// the row and go on. A file's is read from SQLite's code, so ask at once, before the connection runs
// anything else; a server's is the error's SQLSTATE.
bool refusedRow(const Database &connection, const DatabaseError &error);

// Imported customers written to 客户表: each row a name, an address and the engine's `now` as its
// entry date. A full batch goes in as one statement of the engine, so the work every statement does
// once (the table's AUTOINCREMENT counter, the reset, the engine's `now`) is done once per batch: a
// batch is written about three times faster than its rows singly. A shorter batch, and a full one
// the engine refused (which then wrote nothing), go in row by row, which names the rows refused.
// On a server each try has a savepoint of its own, so a refused one leaves the transaction going.
class CustomerBatch
{
public:
    static constexpr qsizetype capacity = 50;

    explicit CustomerBatch(Database &connection);
    ~CustomerBatch();
    CustomerBatch(const CustomerBatch &) = delete;
    CustomerBatch &operator=(const CustomerBatch &) = delete;

    // `row` is the row's number in the sheet it was read from, which a refusal names.
    void append(int row, const QString &name, const QString &address);
    qsizetype size() const { return m_rows.size(); }
    bool isFull() const { return size() == capacity; }

    // A row the engine would not take for what it holds (a text over its column's limit, a value
    // of the wrong kind): its number in the sheet and the reason.
    struct Refusal
    {
        int row;
        QString reason;
    };

    // Writes the rows appended and empties the batch, whatever happens. A full batch is stamped
    // with one `now`, single rows each with their own (a server's `now` is its transaction's). Rows the engine refuses for what they hold
    // are passed over and returned; every other row of the batch is written. A failure of the file
    // itself (full, read-only, unreadable) throws DatabaseError with the engine's text: the rows
    // before it stay written, none after it is.
    QList<Refusal> write();
    // The rows this batch has written since it was made.
    qsizetype written() const { return m_written; }

private:
    // Inserts `count` rows from `first` with `statement`, which takes as many.
    void insert(Statement &statement, qsizetype first, qsizetype count);

    Database &m_connection;
    QList<int> m_rows;
    QList<QByteArray> m_texts; // name, address, name, address, ... in UTF-8
    qsizetype m_written = 0;
    bool m_refusedRow = false; // the last insert's failure was a refusal of a row
    std::unique_ptr<Statement> m_insertBatch;
    std::unique_ptr<Statement> m_insertRow;
    std::unique_ptr<Statement> m_now;
};
