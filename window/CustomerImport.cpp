#include "CustomerImport.h"

#include "CustomerBatch.h"
#include "Database.h"
#include "DatabaseError.h"
#include "ImportStatement.h"
#include "MessageBoxes.h"
#include "Workbook.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

// A transaction ends after this many rows or this long, whichever comes first (checked after each
// batch).
constexpr int rowsPerTransaction = 1000;
constexpr qint64 transactionMs = 100;
static_assert(rowsPerTransaction % CustomerBatch::capacity == 0);

// What the import's thread and the window's share.
struct Progress
{
    const std::atomic<bool> &cancelled;
    const std::function<void(int)> &committed;
    std::atomic<int> imported = 0; // rows committed
    bool opened = false; // the workbook was opened
    std::exception_ptr failure;
};

QString engineText(const QSqlError &error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

void insert(ImportStatement &statement, int row, const QString &name, const QString &address)
{
    statement.paramByName(QStringLiteral("name")).setValue(name);
    statement.paramByName(QStringLiteral("address")).setValue(address);
    try {
        statement.run();
    } catch (const DatabaseError &e) {
        throw DatabaseError(QStringLiteral("第%1行未能导入：%2").arg(row).arg(e.message()));
    }
}

// A row read from the sheet and not yet written.
struct SheetRow
{
    int row;
    QString name;
    QString address;
};

// The import's thread: reads the rows and writes them through its own connection.
void importRows(const QString &databasePath, const QString &path, Progress &progress)
{
    std::unique_ptr<Workbook> workbook = openWorkbook(path);
    progress.opened = true;

    Database connection(databasePath);
    QSqlDatabase database;
    ImportStatement statement;
    CustomerBatch batch(connection);
    QList<SheetRow> unwritten;
    bool inTransaction = false;
    int pending = 0;
    // Writes the rows read since the last write: a full batch as one statement; a shorter one, or
    // a batch the engine refused, row by row through the import statement, which names the row
    // refused and keeps the rows before it.
    const auto write = [&] {
        if (batch.isFull()) {
            try {
                batch.write();
                pending += int(unwritten.size());
                unwritten.clear();
                return;
            } catch (const DatabaseError &) {
            }
        }
        batch.clear();
        for (const SheetRow &row : std::exchange(unwritten, {})) {
            insert(statement, row.row, row.name, row.address);
            ++pending;
        }
    };
    // Commits the rows written since the last commit. A failure already met stays the one
    // reported: when the engine has rolled the transaction back itself (a full disk), the commit
    // only says that no transaction is active.
    const auto commit = [&] {
        if (!inTransaction)
            return;
        inTransaction = false;
        if (database.commit()) {
            progress.imported += pending;
            if (progress.committed)
                progress.committed(progress.imported);
        } else {
            const QString text = engineText(database.lastError());
            database.rollback();
            if (!progress.failure)
                progress.failure = std::make_exception_ptr(DatabaseError(text));
        }
        pending = 0;
    };

    try {
        connection.setConnected(true);
        database = connection.database();
        statement.setDatabase(&connection);
        // The text is the same for every row; setting it once spares the engine a fresh
        // preparation per customer, and the parameters are bound anew for each row all the same.
        statement.setSql(CustomerImport::insertStatement());
        QElapsedTimer sinceCommit;
        const int rowCount = workbook->usedRowCount();
        for (int row = 1; row <= rowCount + 1 && !progress.cancelled; ++row) {
            QString name = workbook->cellText(row, 1);
            QString address = workbook->cellText(row, 2);
            if (name.isEmpty() && address.isEmpty())
                break;
            if (!inTransaction) {
                if (!database.transaction())
                    throw DatabaseError(engineText(database.lastError()));
                inTransaction = true;
                sinceCommit.start();
            }
            batch.append(name, address);
            unwritten.append({row, std::move(name), std::move(address)});
            if (batch.isFull()) {
                write();
                if (pending >= rowsPerTransaction || sinceCommit.elapsed() >= transactionMs)
                    commit();
            }
        }
        write();
    } catch (...) {
        progress.failure = std::current_exception();
        // The rows read before a cell that could not be read still go in.
        if (inTransaction && !unwritten.isEmpty()) {
            try {
                write();
            } catch (...) {
            }
        }
    }
    commit();
    workbook->close();
}

} // namespace

CustomerImport::CustomerImport(QString databasePath, std::function<void()> refresh, QWidget *window)
    : m_databasePath(std::move(databasePath))
    , m_refresh(std::move(refresh))
    , m_window(window)
{
}

void CustomerImport::cancel()
{
    m_cancelled = true;
}

void CustomerImport::run(const QString &path)
{
    m_cancelled = false;
    Progress progress{m_cancelled, committed, 0, false, {}};
    QEventLoop loop;
    std::thread worker([&] {
        try {
            importRows(m_databasePath, path, progress);
        } catch (...) {
            progress.failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });

    // The window is served meanwhile; the progress box keeps the user from starting anything else
    // on it, shows itself when the import takes longer than a moment, and can cancel.
    std::unique_ptr<QProgressDialog> box;
    QTimer counter;
    if (m_window) {
        box = std::make_unique<QProgressDialog>(QStringLiteral("正在导入客户资料..."), QStringLiteral("取消"), 0, 0,
                                                m_window);
        box->setWindowTitle(boxes::applicationTitle());
        box->setWindowModality(Qt::ApplicationModal);
        box->setMinimumDuration(500);
        box->setAutoReset(false);
        QObject::connect(box.get(), &QProgressDialog::canceled, box.get(), [this] { cancel(); });
        QObject::connect(&counter, &QTimer::timeout, box.get(), [&progress, &box] {
            box->setLabelText(QStringLiteral("正在导入客户资料：已导入 %1 行").arg(progress.imported.load()));
        });
        counter.start(100);
        box->setValue(0);
    }
    loop.exec();
    worker.join();
    counter.stop();
    box.reset();

    if (!progress.opened)
        std::rethrow_exception(progress.failure);
    m_refresh();
    if (m_cancelled && !progress.failure)
        return;
    if (progress.imported > 0 || !progress.failure)
        boxes::showMessage(m_window, doneMessage());
    if (progress.failure)
        std::rethrow_exception(progress.failure);
}
