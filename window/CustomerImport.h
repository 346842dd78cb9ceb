#pragma once

#include "CustomerImportRun.h"

#include <QString>

#include <functional>

class QWidget;

// The customer import as the window shows it: the import (CustomerImportRun) reads the sheet
// beside the window, the summary box says what will go in and what not (and asks whether to write
// the addresses stored already), the rows are written under a progress box (for a window) that
// counts the rows committed and offers to cancel; then the customers are re-read and the report
// follows, which can save the skipped rows as a .csv file.
class CustomerImport
{
public:
    // Where the window's data is, the customer navigator's refresh action, and the window that
    // owns the boxes (none: no progress box).
    CustomerImport(DatabaseLocation database, std::function<void()> refresh, QWidget *window = nullptr,
                   ImportTarget target = ImportTarget::Customers);

    // A file that cannot be opened as a workbook fails at once and touches nothing (the failure is
    // thrown on for the error box). Cancelled in the summary, nothing is written. A failure while
    // writing ends the import with the rows committed kept, and the report says so. A cancelled
    // import keeps the rows committed so far and shows no report.
    void run(const QString &path);

    static QString savedMessage(qsizetype rows, const QString &path);

private:
    // Offers the save dialog and writes the rows there.
    void saveSkipped(const ImportOutcome &outcome);

    DatabaseLocation m_database;
    std::function<void()> m_refresh;
    QWidget *m_window;
    ImportTarget m_target;
};
