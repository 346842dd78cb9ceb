#include "CustomerImport.h"

#include "Workbook.h"

#include "db/ADOConnection.h"
#include "db/ADOQuery.h"
#include "db/DatabaseError.h"
#include "shell/MessageBoxes.h"

#include <QSqlDatabase>
#include <QSqlError>

TCustomerImport::TCustomerImport(TADOQuery &query, std::function<void()> refresh, QWidget *window)
    : m_query(query)
    , m_refresh(std::move(refresh))
    , m_window(window)
{
}

void TCustomerImport::Run(const QString &path)
{
    std::unique_ptr<TWorkbook> workbook = openWorkbook(path);

    // One transaction for the whole import: a row at a time would cost the disk a sync per
    // customer. It is committed whatever ends the reading, so every row read before a failure stays.
    QSqlDatabase database;
    if (m_query.Connection() && m_query.Connection()->Connected())
        database = m_query.Connection()->database();
    const bool inTransaction = database.isOpen() && database.transaction();

    std::exception_ptr failure;
    try {
        // The text is the same for every row; setting it once spares the engine a fresh
        // preparation per customer, and the parameters are bound anew for each row all the same.
        m_query.setSQL(insertStatement());
        const int rowCount = workbook->UsedRowCount();
        for (int row = 1; row <= rowCount + 1; ++row) {
            const QString name = workbook->CellText(row, 1);
            const QString address = workbook->CellText(row, 2);
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
            EDatabaseError(error.databaseText().isEmpty() ? error.text() : error.databaseText()));
    }

    workbook->Close();
    workbook.reset();
    m_refresh();
    shell::showMessage(m_window, doneMessage());
    if (failure)
        std::rethrow_exception(failure);
}

void TCustomerImport::insert(int row, const QString &name, const QString &address)
{
    m_query.ParamByName(QStringLiteral("name")).setValue(name);
    m_query.ParamByName(QStringLiteral("address")).setValue(address);
    try {
        m_query.ExecSQL();
    } catch (const EDatabaseError &e) {
        throw EDatabaseError(QStringLiteral("第%1行未能导入：%2").arg(row).arg(e.message()));
    }
}
