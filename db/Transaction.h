#pragma once

class Database;

// A transaction on a connected Database: begun when made, rolled back when left without a commit
// (an error thrown in between), so a failure never leaves the connection inside a transaction.
class Transaction
{
public:
    // Throws DatabaseError with the engine's text when the transaction cannot begin.
    explicit Transaction(Database &connection);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // Ends the transaction either way: committed, or, when the engine refuses the commit, rolled
    // back and DatabaseError thrown with the engine's text.
    void commit();

private:
    void rollback() noexcept;

    Database &m_connection;
    bool m_open = true;
};

// One try of a statement inside a transaction that may be refused while the transaction goes on.
// On a server one refused statement aborts the whole transaction, so the try gets a savepoint of
// its own, rolled back to when left without `release` (an error thrown in between). On a file it
// does nothing: SQLite undoes the refused statement alone.
class Savepoint
{
public:
    explicit Savepoint(Database &connection);
    ~Savepoint();
    Savepoint(const Savepoint &) = delete;
    Savepoint &operator=(const Savepoint &) = delete;

    // Keeps what the try wrote.
    void release();

private:
    Database &m_connection;
    bool m_open;
};
