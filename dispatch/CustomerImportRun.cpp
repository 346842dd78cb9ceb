#include "CustomerImportRun.h"

#include "CustomerBatch.h"
#include "Database.h"
#include "Transaction.h"
#include "Workbook.h"

#include <QElapsedTimer>
#include <QScopeGuard>

#include <optional>

namespace {

// A transaction ends after this many rows or this long, whichever comes first (checked after each
// batch).
constexpr int rowsPerTransaction = 1000;
constexpr qint64 transactionMs = 100;
static_assert(rowsPerTransaction % CustomerBatch::capacity == 0);

} // namespace

CustomerImportRun::CustomerImportRun(QString databasePath, QString workbookPath)
    : m_databasePath(std::move(databasePath))
    , m_workbookPath(std::move(workbookPath))
{
}

CustomerImportRun::~CustomerImportRun()
{
    if (m_thread.joinable())
        m_thread.join();
}

void CustomerImportRun::start()
{
    m_thread = std::thread([this] { work(); });
}

void CustomerImportRun::work()
{
    try {
        importRows();
    } catch (...) {
        m_failure = std::current_exception();
    }
    emit finished();
}

void CustomerImportRun::importRows()
{
    std::unique_ptr<Workbook> workbook = openWorkbook(m_workbookPath);
    m_opened = true;

    Database connection(m_databasePath);
    CustomerBatch batch(connection);
    std::optional<Transaction> transaction;
    QElapsedTimer sinceBegin;
    const auto commit = [&] {
        const auto over = qScopeGuard([&] { transaction.reset(); });
        transaction->commit();
        m_imported = int(batch.written());
        emit committed(m_imported);
    };

    try {
        connection.setConnected(true);
        const int rowCount = workbook->usedRowCount();
        for (int row = 1; row <= rowCount + 1 && !m_cancelled; ++row) {
            const QString name = workbook->cellText(row, 1);
            const QString address = workbook->cellText(row, 2);
            if (name.isEmpty() && address.isEmpty())
                break;
            if (!transaction) {
                transaction.emplace(connection);
                sinceBegin.start();
            }
            batch.append(row, name, address);
            if (batch.isFull()) {
                batch.write();
                if (batch.written() - m_imported >= rowsPerTransaction || sinceBegin.elapsed() >= transactionMs)
                    commit();
            }
        }
        batch.write();
    } catch (...) {
        m_failure = std::current_exception();
        // The rows read before a cell that could not be read still go in (after a refused row the
        // batch is empty already).
        if (transaction) {
            try {
                batch.write();
            } catch (...) {
            }
        }
    }
    // A failure already met stays the one reported.
    if (transaction) {
        try {
            commit();
        } catch (...) {
            if (!m_failure)
                m_failure = std::current_exception();
        }
    }
    workbook->close();
}
