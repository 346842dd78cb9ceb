#include "Transaction.h"

#include "Database.h"
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
