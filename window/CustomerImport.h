#pragma once

#include <QString>

#include <functional>

class QWidget;
class ImportStatement;

// Appends customers from a spreadsheet: one per row from row 1, the name from column 1 and the
// address from column 2, down to the first row whose two cells are both empty (or the row after
// the first worksheet's used range).
class CustomerImport
{
public:
    // The import statement (on the window's connection), the customer navigator's refresh action,
    // and the window that owns the message box.
    CustomerImport(ImportStatement &query, std::function<void()> refresh, QWidget *window = nullptr);

    // A file that cannot be opened as a workbook fails at once and touches nothing. Once it is
    // open, a failure (a cell that cannot be read, a row the database refuses) ends the reading:
    // the rows before it stay, the workbook is closed, the customers are re-read and the done
    // message shows, and then the failure is thrown on for the error box.
    void run(const QString &path);

    static QString doneMessage() { return QStringLiteral("         导入完成。        "); }
    static QString insertStatement()
    {
        return QStringLiteral("insert into 客户表(客户名称,电子邮件地址,录入日期) values(:name,:address,now);");
    }

private:
    void insert(int row, const QString &name, const QString &address);

    ImportStatement &m_query;
    std::function<void()> m_refresh;
    QWidget *m_window;
};
