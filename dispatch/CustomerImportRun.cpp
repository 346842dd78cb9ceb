#include "CustomerImportRun.h"

#include "CustomerBatch.h"
#include "Database.h"
#include "DatabaseError.h"
#include "Error.h"
#include "RefusalList.h"
#include "Refusals.h"
#include "StoredAddresses.h"
#include "Transaction.h"
#include "Workbook.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QStringDecoder>

#include <optional>

namespace {

// A transaction ends after this many rows or this long, whichever comes first (checked after each
// batch).
constexpr int rowsPerTransaction = 1000;
constexpr qint64 transactionMs = 100;
static_assert(rowsPerTransaction % CustomerBatch::capacity == 0);

// The lines of a text file of addresses, numbered from 1.
QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("无法打开文件“%1”：%2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = QStringDecoder("GB18030")(bytes);
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = line.trimmed();
    return lines;
}

QStringList storedAddresses(const DatabaseLocation &database, ImportTarget target)
{
    Database connection(database);
    connection.setConnected(true);
    return target == ImportTarget::RefusalList ? listedAddresses(connection) : customerAddresses(connection);
}

void sortByRow(QList<SkippedRow> &rows)
{
    std::stable_sort(rows.begin(), rows.end(),
                     [](const SkippedRow &a, const SkippedRow &b) { return a.row.row < b.row.row; });
}

} // namespace

CustomerImportRun::CustomerImportRun(DatabaseLocation database, QString workbookPath, ImportTarget target)
    : m_database(std::move(database))
    , m_workbookPath(std::move(workbookPath))
    , m_target(target)
{
}

CustomerImportRun::~CustomerImportRun()
{
    if (m_thread.joinable())
        m_thread.join();
}

void CustomerImportRun::start()
{
    m_thread = std::thread([this] {
        try {
            readRows();
        } catch (...) {
            m_failure = std::current_exception();
        }
        emit planned();
    });
}

void CustomerImportRun::readRows()
{
    const bool text = m_target == ImportTarget::RefusalList
        && m_workbookPath.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive);
    std::unique_ptr<Workbook> workbook;
    QStringList lines;
    if (text)
        lines = readLines(m_workbookPath);
    else
        workbook = openWorkbook(m_workbookPath);
    const auto close = qScopeGuard([&] {
        if (workbook)
            workbook->close();
    });
    m_opened = true;

    ImportPlanner planner(m_target, storedAddresses(m_database, m_target));
    if (text) {
        planner.reserve(lines.size());
        for (qsizetype i = 0; i < lines.size() && !m_cancelled; ++i)
            planner.add({int(i) + 1, {}, lines.at(i)});
    } else {
        try {
            // The row after the used range too: the count comes from the first worksheet, the cells
            // from the active one.
            const int rowCount = workbook->usedRowCount();
            planner.reserve(rowCount + 1);
            for (int row = 1; row <= rowCount + 1 && !m_cancelled; ++row) {
                if (m_target == ImportTarget::RefusalList)
                    planner.add({row, {}, workbook->cellText(row, 1)});
                else
                    planner.add({row, workbook->cellText(row, 1), workbook->cellText(row, 2)});
            }
        } catch (const Error &e) {
            planner.setReadFailure(e.message());
        }
    }
    m_plan = planner.take();
}

void CustomerImportRun::write(bool withDuplicates)
{
    if (m_thread.joinable())
        m_thread.join();
    m_outcome.target = m_target;
    m_outcome.readFailure = m_plan.readFailure;
    m_outcome.duplicatesWritten = withDuplicates;
    m_outcome.skipped = m_plan.skipped;
    m_thread = std::thread([this, withDuplicates] {
        try {
            if (m_target == ImportTarget::RefusalList)
                writeAddresses();
            else
                writeCustomers(withDuplicates);
        } catch (const Error &e) {
            m_outcome.failure = e.message();
        } catch (...) {
            m_failure = std::current_exception();
        }
        m_outcome.imported = m_imported;
        sortByRow(m_outcome.skipped);
        emit finished();
    });
}

SheetRow CustomerImportRun::rowNumbered(int row) const
{
    qsizetype low = 0;
    qsizetype high = m_plan.rows.size();
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        if (m_plan.rows.rowNumber(middle) < row)
            low = middle + 1;
        else
            high = middle;
    }
    Q_ASSERT(low < m_plan.rows.size() && m_plan.rows.rowNumber(low) == row);
    return m_plan.rows.at(low);
}

void CustomerImportRun::writeCustomers(bool withDuplicates)
{
    Database connection(m_database);
    connection.setConnected(true);
    CustomerBatch batch(connection);
    std::optional<Transaction> transaction;
    QElapsedTimer sinceBegin;
    const auto writeBatch = [&] {
        for (const CustomerBatch::Refusal &refusal : batch.write())
            m_outcome.skipped.append({rowNumbered(refusal.row), SkipKind::Refused, refusal.reason});
    };
    const auto commit = [&] {
        const auto over = qScopeGuard([&] { transaction.reset(); });
        transaction->commit();
        m_imported = int(batch.written());
        emit committed(m_imported);
    };

    m_outcome.duplicates = int(m_plan.duplicates.size());
    for (qsizetype i = 0; i < m_plan.rows.size() && !m_cancelled; ++i) {
        const SheetRow &row = m_plan.rows.at(i);
        if (!withDuplicates && m_plan.duplicates.contains(i)) {
            m_outcome.skipped.append({row, SkipKind::Duplicate, skipReason(SkipKind::Duplicate, m_target)});
            continue;
        }
        if (!transaction) {
            transaction.emplace(connection);
            sinceBegin.start();
        }
        batch.append(row.row, row.name, row.address);
        if (batch.isFull()) {
            writeBatch();
            if (batch.written() - m_imported >= rowsPerTransaction || sinceBegin.elapsed() >= transactionMs)
                commit();
        }
    }
    // A cancel keeps the rows read into the batch before it.
    if (transaction) {
        writeBatch();
        commit();
    }
}

void CustomerImportRun::writeAddresses()
{
    Database connection(m_database);
    connection.setConnected(true);
    RefusalList list(connection);
    int added = 0;
    for (qsizetype first = 0; first < m_plan.rows.size() && !m_cancelled; first += rowsPerTransaction) {
        Transaction transaction(connection);
        int addedNow = 0;
        const qsizetype end = std::min(m_plan.rows.size(), first + rowsPerTransaction);
        for (qsizetype i = first; i < end && !m_cancelled; ++i) {
            const SheetRow &row = m_plan.rows.at(i);
            try {
                Savepoint attempt(connection);
                const bool added = list.add(row.address, RefusalImportReason);
                attempt.release();
                if (added)
                    ++addedNow;
                else
                    m_outcome.skipped.append({row, SkipKind::Duplicate, skipReason(SkipKind::Duplicate, m_target)});
            } catch (const DatabaseError &e) {
                if (!refusedRow(connection, e))
                    throw;
                m_outcome.skipped.append({row, SkipKind::Refused, refusalText(e.message(), e.sqlState())});
            }
        }
        transaction.commit();
        added += addedNow;
        m_imported = added;
        emit committed(added);
    }
}
