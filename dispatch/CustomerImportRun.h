#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <exception>
#include <thread>

// Appends customers from a workbook: one per row from row 1, the name from column 1 and the
// address from column 2, down to the first row whose two cells are both empty (or the row after
// the first worksheet's used range).
//
// The reading and writing go on a thread of its own with its own connection to the database, so
// the window stays responsive; it reports through its signals, which it emits from that thread.
// Rows are committed in short transactions, so other readers see them arrive and a send run's
// record never waits long behind an import.
//
// A file that cannot be opened as a workbook fails at once and touches nothing. Once it is open, a
// failure (a cell that cannot be read, a row the database refuses, a commit that fails) ends the
// reading: the rows read before it are still written, the rows committed stay, and the workbook is
// closed. A cancel keeps the rows committed so far.
//
// With the do-not-mail list as its target, it reads addresses instead: a workbook's first column
// (empty cells passed over) or a text file (a name ending in .txt: one address per line, UTF-8, or
// GB18030 when the file is not UTF-8), and puts each on the list; an address the list holds
// already is passed over and counted (`alreadyListed`), not an error.
enum class ImportTarget { Customers, RefusalList };

class CustomerImportRun : public QObject
{
    Q_OBJECT

public:
    // `databasePath` is the file the window works on; the import opens its own connection to it.
    CustomerImportRun(QString databasePath, QString workbookPath, ImportTarget target = ImportTarget::Customers);
    // Waits for the thread; cancel first when it should not read the whole sheet.
    ~CustomerImportRun() override;
    CustomerImportRun(const CustomerImportRun &) = delete;
    CustomerImportRun &operator=(const CustomerImportRun &) = delete;

    void start();
    // Thread-safe: the import stops before its next row.
    void cancel() { m_cancelled = true; }

    // Once `finished` has come: whether the workbook was opened, the rows committed, whether a
    // cancel was asked for, and the failure that ended the import (null when none did).
    bool opened() const { return m_opened; }
    int imported() const { return m_imported; }
    int alreadyListed() const { return m_alreadyListed; }
    bool cancelled() const { return m_cancelled; }
    std::exception_ptr failure() const { return m_failure; }

signals:
    // After every commit, with the rows committed so far.
    void committed(int imported);
    void finished();

private:
    void work();
    void importRows();
    void importAddresses();

    QString m_databasePath;
    QString m_workbookPath;
    ImportTarget m_target;
    std::thread m_thread;
    std::atomic<bool> m_cancelled = false;

    // Written by the import's thread before `finished`.
    std::atomic<bool> m_opened = false;
    std::atomic<int> m_imported = 0;
    std::atomic<int> m_alreadyListed = 0;
    std::exception_ptr m_failure;
};
