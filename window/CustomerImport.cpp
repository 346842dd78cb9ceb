#include "CustomerImport.h"

#include "Workbook.h"

#include "Database.h"
#include "DatabaseError.h"
#include "ImportStatement.h"
#include "MessageBoxes.h"

#include <QSqlDatabase>
#include <QSqlError>

CustomerImport::CustomerImport(ImportStatement &query, std::function<void()> refresh, QWidget *window)
    : m_query(query)
    , m_refresh(std::move(refresh))
    , m_window(window)
{
}

void CustomerImport::run(const QString &path)
{
    std::unique_ptr<Workbook> workbook = openWorkbook(path);

    // One transaction for the whole import: a row at a time would cost the disk a sync per
    // customer. It is committed whatever ends the reading, so every row read before a failure stays.
    QSqlDatabase database;
    if (m_query.database() && m_query.database()->isConnected())
        database = m_query.database()->database();
    const bool inTransaction = database.isOpen() && database.transaction();

    std::exception_ptr failure;
    try {
        // The text is the same for every row; setting it once spares the engine a fresh
        // preparation per customer, and the parameters are bound anew for each row all the same.
        m_query.setSql(insertStatement());
        const int rowCount = workbook->usedRowCount();
        for (int row = 1; row <= rowCount + 1; ++row) {
            const QString name = workbook->cellText(row, 1);
            const QString address = workbook->cellText(row, 2);
            if (name.isEmpty() && address.isEmpty())
                break;
            insert(row, name, address);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (inTransaction && !database.commit()) {
        const QSqlError error = database.lastError();
        database.rollback();
        failure = std::make_exception_ptr(
            DatabaseError(error.databaseText().isEmpty() ? error.text() : error.databaseText()));
    }

    workbook->close();
    workbook.reset();
    m_refresh();
    boxes::showMessage(m_window, doneMessage());
    if (failure)
        std::rethrow_exception(failure);
}

void CustomerImport::insert(int row, const QString &name, const QString &address)
{
    m_query.paramByName(QStringLiteral("name")).setValue(name);
    m_query.paramByName(QStringLiteral("address")).setValue(address);
    try {
        m_query.run();
    } catch (const DatabaseError &e) {
        throw DatabaseError(QStringLiteral("第%1行未能导入：%2").arg(row).arg(e.message()));
    }
}
