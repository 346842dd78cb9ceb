#pragma once

#include <QString>

#include <atomic>
#include <functional>

class QWidget;

// Appends customers from a spreadsheet: one per row from row 1, the name from column 1 and the
// address from column 2, down to the first row whose two cells are both empty (or the row after
// the first worksheet's used range).
//
// The reading and writing go on a thread of their own with their own connection to the database,
// so the window stays responsive; meanwhile a progress box (for a window) counts the rows and
// offers to cancel. Rows are committed in short transactions, so other readers see them arrive
// and a send run's record never waits long behind an import.
class CustomerImport
{
public:
    // The database file the window works on, the customer navigator's refresh action, and the
    // window that owns the boxes (none: no progress box).
    CustomerImport(QString databasePath, std::function<void()> refresh, QWidget *window = nullptr);

    // A file that cannot be opened as a workbook fails at once and touches nothing. Once it is
    // open, a failure (a cell that cannot be read, a row the database refuses, a commit that fails)
    // ends the reading: the rows committed before it stay, the workbook is closed, the customers are
    // re-read, the done message shows when any row went in, and then the failure is thrown on for
    // the error box. A cancelled import keeps the rows committed so far and shows no message.
    void run(const QString &path);
    // Thread-safe: the import stops before its next row.
    void cancel();

    // Called on the import's thread after every commit, with the rows imported so far.
    std::function<void(int imported)> committed;

    static QString doneMessage() { return QStringLiteral("         导入完成。        "); }
    static QString insertStatement()
    {
        return QStringLiteral("insert into 客户表(客户名称,电子邮件地址,录入日期) values(:name,:address,now);");
    }

private:
    QString m_databasePath;
    std::function<void()> m_refresh;
    QWidget *m_window;
    std::atomic<bool> m_cancelled = false;
};
