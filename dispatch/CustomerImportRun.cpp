#include "CustomerImportRun.h"

#include "CustomerBatch.h"
#include "Database.h"
#include "Error.h"
#include "RefusalList.h"
#include "Transaction.h"
#include "Workbook.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringDecoder>
#include <QScopeGuard>

#include <optional>

namespace {

// A transaction ends after this many rows or this long, whichever comes first (checked after each
// batch).
constexpr int rowsPerTransaction = 1000;
constexpr qint64 transactionMs = 100;
static_assert(rowsPerTransaction % CustomerBatch::capacity == 0);

// The addresses of a text file, one a line, blank lines passed over.
QStringList readAddressLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("无法打开文件“%1”：%2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = QStringDecoder("GB18030")(bytes);
    QStringList addresses;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString address = line.trimmed();
        if (!address.isEmpty())
            addresses.append(address);
    }
    return addresses;
}

QStringList readAddressColumn(const QString &path)
{
    std::unique_ptr<Workbook> workbook = openWorkbook(path);
    const auto close = qScopeGuard([&] { workbook->close(); });
    QStringList addresses;
    const int rowCount = workbook->usedRowCount();
    for (int row = 1; row <= rowCount; ++row) {
        const QString address = workbook->cellText(row, 1).trimmed();
        if (!address.isEmpty())
            addresses.append(address);
    }
    return addresses;
}

} // namespace

CustomerImportRun::CustomerImportRun(QString databasePath, QString workbookPath, ImportTarget target)
    : m_databasePath(std::move(databasePath))
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
    m_thread = std::thread([this] { work(); });
}

void CustomerImportRun::work()
{
    try {
        if (m_target == ImportTarget::RefusalList)
            importAddresses();
        else
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

void CustomerImportRun::importAddresses()
{
    // A list of addresses is small: read whole first, so a file that cannot be read touches nothing.
    const QStringList addresses = m_workbookPath.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive)
        ? readAddressLines(m_workbookPath)
        : readAddressColumn(m_workbookPath);
    m_opened = true;

    Database connection(m_databasePath);
    connection.setConnected(true);
    RefusalList list(connection);
    int added = 0;
    for (qsizetype first = 0; first < addresses.size() && !m_cancelled; first += rowsPerTransaction) {
        Transaction transaction(connection);
        int addedNow = 0;
        int listedNow = 0;
        for (qsizetype i = first; i < std::min(addresses.size(), first + rowsPerTransaction); ++i) {
            try {
                if (list.add(addresses[i], RefusalImportReason))
                    ++addedNow;
                else
                    ++listedNow;
            } catch (const Error &e) {
                throw Error(QStringLiteral("第%1行未能导入：").arg(i + 1) + e.message());
            }
        }
        transaction.commit();
        added += addedNow;
        m_imported = added;
        m_alreadyListed += listedNow;
        emit committed(added);
    }
}
