#include "Transaction.h"

#include "Database.h"
#include "DatabaseLocation.h"
#include "DatabaseError.h"
#include "Statement.h"

Transaction::Transaction(Database &connection)
    : m_connection(connection)
{
    execute(m_connection, QStringLiteral("begin"));
}

Transaction::~Transaction()
{
    if (m_open)
        rollback();
}

void Transaction::commit()
{
    m_open = false;
    try {
        execute(m_connection, QStringLiteral("commit"));
    } catch (const DatabaseError &) {
        rollback();
        throw;
    }
}

void Transaction::rollback() noexcept
{
    // When the engine has rolled back itself (a full disk), there is nothing left to undo and the
    // rollback only says so.
    try {
        execute(m_connection, QStringLiteral("rollback"));
    } catch (const DatabaseError &) {
    }
}

Savepoint::Savepoint(Database &connection)
    : m_connection(connection)
    , m_open(connection.engine() == Engine::Postgres)
{
    if (m_open)
        execute(m_connection, QStringLiteral("savepoint 一行"));
}

Savepoint::~Savepoint()
{
    if (!m_open)
        return;
    try {
        execute(m_connection, QStringLiteral("rollback to savepoint 一行; release savepoint 一行"));
    } catch (const DatabaseError &) {
        // The transaction is lost as a whole (the connection dropped); its own rollback says so.
    }
}

void Savepoint::release()
{
    if (!m_open)
        return;
    m_open = false;
    execute(m_connection, QStringLiteral("release savepoint 一行"));
}
