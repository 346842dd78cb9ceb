#pragma once

#include "DatabaseLocation.h"
#include "ImportPlan.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <exception>
#include <thread>

// Appends customers from a workbook: one per row, the name from column 1 and the address from
// column 2, from row 1 to the row after the first worksheet's used range; rows with both cells
// empty are passed over.
//
// It goes in two steps, each on a thread of its own with its own connection to the database, so
// the window stays responsive; it reports through its signals, which it emits from that thread.
// `start` reads the whole sheet and the addresses the target holds already, and sorts the rows
// (ImportPlan): nothing is written yet, so the user can see what will happen. `write` then writes
// the rows that may go in, in short transactions, so other readers see them arrive and a send
// run's record never waits long behind an import. A row the database refuses for what it holds is
// skipped and named; the rows after it still go in.
//
// A file that cannot be opened as a workbook fails at once and touches nothing. A sheet that
// cannot be read to its end keeps the rows read before the damage, and says so in the plan. A
// failure of the file itself while writing (a commit refused, a full disk) ends the import: the
// rows committed stay, and the outcome says so. A cancel keeps the rows committed so far.
//
// With the do-not-mail list as its target, it reads addresses instead: a workbook's first column
// or a text file (a name ending in .txt: one address per line, UTF-8, or GB18030 when the file is
// not UTF-8), and puts each on the list; an address the list holds already is skipped.
class CustomerImportRun : public QObject
{
    Q_OBJECT

public:
    // `database` is where the window's data is; the import opens its own connection to it.
    CustomerImportRun(DatabaseLocation database, QString workbookPath, ImportTarget target = ImportTarget::Customers);
    // Waits for the thread; cancel first when it should not go on to its end.
    ~CustomerImportRun() override;
    CustomerImportRun(const CustomerImportRun &) = delete;
    CustomerImportRun &operator=(const CustomerImportRun &) = delete;

    // Reads and sorts the rows; `planned` follows.
    void start();
    // After `planned`, without a failure or a cancel: writes the plan's rows, those whose address is
    // stored already or repeated only when `withDuplicates`; `finished` follows.
    void write(bool withDuplicates);
    // Thread-safe: the reading or the writing stops before its next row.
    void cancel() { m_cancelled = true; }

    // Once `planned` has come: whether the workbook was opened, the failure that ended the
    // reading before any row was sorted (null when none did), and the plan.
    bool opened() const { return m_opened; }
    std::exception_ptr failure() const { return m_failure; }
    const ImportPlan &plan() const { return m_plan; }
    bool cancelled() const { return m_cancelled; }

    // Once `finished` has come: the rows committed and every row skipped.
    int imported() const { return m_imported; }
    const ImportOutcome &outcome() const { return m_outcome; }

signals:
    void planned();
    // After every commit, with the rows committed so far.
    void committed(int imported);
    void finished();

private:
    void readRows();
    void writeCustomers(bool withDuplicates);
    void writeAddresses();
    // The sheet row a refusal names.
    SheetRow rowNumbered(int row) const;

    DatabaseLocation m_database;
    QString m_workbookPath;
    ImportTarget m_target;
    std::thread m_thread;
    std::atomic<bool> m_cancelled = false;

    // Written by the import's thread before `planned` or `finished`.
    std::atomic<bool> m_opened = false;
    std::atomic<int> m_imported = 0;
    std::exception_ptr m_failure;
    ImportPlan m_plan;
    ImportOutcome m_outcome;
};
