#pragma once

#include "DatabaseLocation.h"
#include "SendRecordRows.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <future>

// The send records a filter of the records page selects, with the customer's name and address and
// the mail's subject, written to an .xlsx or .csv file (by the chosen name's extension) in the
// page's order. It runs on a thread of its own with its own connection to the database, holding one
// row at a time, and reports through signals emitted from that thread (connect them queued).
//
// The chosen file is replaced only by a complete export: the rows go to a file beside it first,
// which a failure or a cancel removes, leaving whatever was under the chosen name as it was.
class RecordExportRun : public QObject
{
    Q_OBJECT

public:
    // Rows between two `progressed` reports.
    static constexpr qint64 ProgressStep = 1000;

    // `database`: where the window's data is. `target`: the file to write, ending in .xlsx or
    // .csv (any other ending fails the export with a message).
    RecordExportRun(DatabaseLocation database, SendRecordFilter filter, QString target);
    // Cancels the export and waits for its thread.
    ~RecordExportRun() override;
    RecordExportRun(const RecordExportRun &) = delete;
    RecordExportRun &operator=(const RecordExportRun &) = delete;

    void start();
    // Thread-safe. The export stops before its next row and removes what it wrote; nothing but
    // `finished` follows.
    void cancel();
    // True from start until the export has ended; `finished` follows.
    bool running() const { return m_running; }

signals:
    // Once, before the first row: how many records the file will hold.
    void counted(qint64 total);
    // Records written so far, every ProgressStep records and once at the end.
    void progressed(qint64 written);
    // The file is complete under the chosen name, with `written` records below its header row.
    void completed(qint64 written);
    // The export stopped with this text for the error box; no file was left under the chosen name.
    void failed(const QString &message);
    // Last of all, whatever the outcome.
    void finished();

private:
    void work();
    // False when a cancel ended it.
    bool exportRows(qint64 &written);
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }

    DatabaseLocation m_database;
    SendRecordFilter m_filter;
    QString m_target;

    std::future<void> m_done; // the export's work, on the one export thread
    std::atomic<bool> m_running = false;
    std::atomic<bool> m_cancelled = false;
};
