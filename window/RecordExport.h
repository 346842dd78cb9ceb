#pragma once

#include "DatabaseLocation.h"
#include "SendRecordRows.h"

#include <QString>

class QWidget;

// The send records' export as the window shows it: the export (RecordExportRun) goes on beside the
// window under a progress box (for a window) that counts the records written of all and offers to
// cancel; the box that says where they went follows.
class RecordExport
{
public:
    // Where the window's data is and the window that owns the boxes (none: no progress box).
    RecordExport(DatabaseLocation database, QWidget *window = nullptr);

    // Writes the records `filter` selects to `path`. A failure is thrown on for the error box,
    // with nothing left under `path` that was not there before; a cancelled export shows nothing
    // and leaves no file.
    void run(const SendRecordFilter &filter, const QString &path);

    static QString doneMessage(qint64 written, const QString &path);

private:
    DatabaseLocation m_database;
    QWidget *m_window;
};
