#pragma once

#include "CustomerImportRun.h"

#include <QString>

#include <functional>

class QWidget;

// The customer import as the window shows it: the import (CustomerImportRun) goes on beside the
// window under a progress box (for a window) that counts the rows committed and offers to cancel;
// then the customers are re-read and the boxes follow.
class CustomerImport
{
public:
    // The database file the window works on, the customer navigator's refresh action, and the
    // window that owns the boxes (none: no progress box).
    CustomerImport(QString databasePath, std::function<void()> refresh, QWidget *window = nullptr,
                   ImportTarget target = ImportTarget::Customers);

    // A file that cannot be opened as a workbook fails at once and touches nothing. Once it is
    // open, a failure ends the reading: the customers are re-read, the done message shows when any
    // row went in, and then the failure is thrown on for the error box. A cancelled import keeps
    // the rows committed so far and shows no message.
    void run(const QString &path);

    static QString doneMessage() { return QStringLiteral("         导入完成。        "); }
    // The do-not-mail list's: the addresses added and those it held already.
    static QString listDoneMessage(int added, int alreadyListed)
    {
        return QStringLiteral("导入完成：新增 %1 个地址，%2 个地址已在退订名单中。").arg(added).arg(alreadyListed);
    }

private:
    QString m_databasePath;
    std::function<void()> m_refresh;
    QWidget *m_window;
    ImportTarget m_target;
};
