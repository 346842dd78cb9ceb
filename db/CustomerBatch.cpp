#include "CustomerBatch.h"

#include "Database.h"
#include "DatabaseError.h"
#include "Dialect.h"
#include "Refusals.h"
#include "Statement.h"
#include "Transaction.h"

#include <QScopeGuard>

#include <sqlite3.h>

namespace {

// "insert into 客户表(客户名称,电子邮件地址,录入日期) values(?2,?3,?1),(?4,?5,?1),...": one `now`, bound
// as ?1, for every row.
QString insertText(qsizetype rows)
{
    QString text = QStringLiteral("insert into 客户表(客户名称,电子邮件地址,录入日期) values");
    for (qsizetype row = 0; row < rows; ++row) {
        text += QStringLiteral("%1(?%2,?%3,?1)")
                    .arg(row == 0 ? QString() : QStringLiteral(","))
                    .arg(2 * row + 2)
                    .arg(2 * row + 3);
    }
    return text;
}

} // namespace

bool refusedRow(const Database &connection, const DatabaseError &error)
{
    if (connection.engine() == Engine::Postgres) {
        // Class 23, a rule of the table (a CHECK, NOT NULL, a unique key); class 22, a value the
        // column cannot hold (a text with a NUL, a number of the wrong form). The connection, the
        // disk and locks have other classes.
        const QStringView state(error.sqlState());
        return state.startsWith(u"23") || state.startsWith(u"22");
    }
    // The primary code: the connection may have extended codes on (SQLITE_CONSTRAINT_CHECK, ...).
    switch (sqlite3_extended_errcode(connection.handle()) & 0xff) {
    case SQLITE_CONSTRAINT:
    case SQLITE_TOOBIG:
    case SQLITE_MISMATCH:
    case SQLITE_RANGE:
        return true;
    default:
        return false;
    }
}

CustomerBatch::CustomerBatch(Database &connection)
    : m_connection(connection)
{
    m_rows.reserve(capacity);
    m_texts.reserve(2 * capacity);
    // Made before any transaction: on a server a statement made inside one that failed is freed
    // only after its rollback.
    m_connection.setConnected(true);
    // A statement of fifty rows that the engine refuses halfway is undone by the engine alone, from
    // a journal of that statement's changes: of a batch into the table and its two indexes, more
    // than the engine keeps in memory before it spills to a temporary file (800 writes of a
    // 65,535-row import). Kept in memory, it is a few hundred KB at most, freed after each batch.
    if (m_connection.engine() == Engine::Sqlite)
        execute(m_connection.handle(), QStringLiteral("pragma temp_store = memory"));
    m_insertBatch = std::make_unique<Statement>(m_connection, insertText(capacity));
    m_insertRow = std::make_unique<Statement>(m_connection, insertText(1));
    m_now = std::make_unique<Statement>(m_connection, QStringLiteral("select ") + dialect::now(m_connection.engine()));
}

CustomerBatch::~CustomerBatch() = default;

void CustomerBatch::append(int row, const QString &name, const QString &address)
{
    m_rows.append(row);
    m_texts.append(name.toUtf8());
    m_texts.append(address.toUtf8());
}

QList<CustomerBatch::Refusal> CustomerBatch::write()
{
    const auto empty = qScopeGuard([this] {
        m_rows.clear();
        m_texts.clear();
    });
    QList<Refusal> refused;
    if (m_rows.isEmpty())
        return refused;
    if (isFull()) {
        try {
            insert(*m_insertBatch, 0, capacity);
            return refused;
        } catch (const DatabaseError &) {
            if (!m_refusedRow)
                throw;
            // The engine undid the whole statement; the rows again singly find those it refused.
        }
    }
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        try {
            insert(*m_insertRow, i, 1);
        } catch (const DatabaseError &e) {
            if (!m_refusedRow)
                throw;
            refused.append({m_rows.at(i), refusalText(e.message(), e.sqlState())});
        }
    }
    return refused;
}

void CustomerBatch::insert(Statement &statement, qsizetype first, qsizetype count)
{
    // A refused try undoes itself alone and leaves the transaction going, on either engine.
    m_refusedRow = false;
    Savepoint attempt(m_connection);
    m_now->step();
    statement.bind(1, m_now->column(0));
    m_now->reset();
    for (qsizetype i = 0; i < 2 * count; ++i)
        statement.bindText(int(i) + 2, m_texts.at(2 * first + i));
    try {
        while (statement.step()) { }
    } catch (const DatabaseError &e) {
        m_refusedRow = refusedRow(m_connection, e);
        statement.reset();
        throw;
    } catch (...) {
        m_refusedRow = false;
        statement.reset();
        throw;
    }
    statement.reset();
    attempt.release();
    m_written += count;
}
