#include "RecordExportRun.h"

#include "Database.h"
#include "DispatchLog.h"
#include "Error.h"
#include "PendingFile.h"
#include "SheetWriter.h"

#include <array>

namespace {

QString errorText(const std::exception &e)
{
    const auto *error = dynamic_cast<const Error *>(&e);
    return error ? error->message() : QString::fromUtf8(e.what());
}

SheetCell cellOf(const SendRecordRows &rows, int column)
{
    if (rows.isNull(column))
        return SheetCell::empty();
    if (rows.isInteger(column))
        return SheetCell::number(rows.integer(column));
    return SheetCell::text(rows.text(column));
}

} // namespace

RecordExportRun::RecordExportRun(DatabaseLocation database, SendRecordFilter filter, QString target)
    : m_database(std::move(database))
    , m_filter(filter)
    , m_target(std::move(target))
{
}


RecordExportRun::~RecordExportRun()
{
    cancel();
    if (m_done.valid())
        m_done.wait();
}

void RecordExportRun::start()
{
    m_running = true;
    m_done = postToSheetWriterThread([this] { work(); });
}

void RecordExportRun::cancel()
{
    m_cancelled = true;
}

void RecordExportRun::work()
{
    qint64 written = 0;
    QString error;
    bool completed = false;
    try {
        completed = exportRows(written);
    } catch (const std::exception &e) {
        error = errorText(e);
    }
    if (!error.isEmpty()) {
        qCInfo(dispatchLog) << "export stopped:" << error;
        emit failed(error);
    } else if (completed) {
        qCInfo(dispatchLog) << "exported" << written << "records";
        emit progressed(written);
        emit this->completed(written);
    } else {
        qCInfo(dispatchLog) << "export cancelled after" << written << "records";
    }
    m_running = false;
    emit finished();
}

bool RecordExportRun::exportRows(qint64 &written)
{
    const std::optional<SheetFormat> format = sheetFormatFor(m_target);
    if (!format)
        throw Error(QStringLiteral("只能导出为 .xlsx 或 .csv 文件。"));

    Database database(m_database);
    database.setConnected(true);
    SendRecordRows rows(database, m_filter);
    emit counted(rows.count());
    if (cancelled())
        return false;

    // The writer goes before the file it writes, which a cancel or a failure removes.
    PendingFile file(m_target);
    const std::unique_ptr<SheetWriter> writer = createSheetWriter(*format, file.path(), QStringLiteral("发送情况"));

    std::array<QByteArray, SendRecordRows::ColumnCount> names;
    std::array<SheetCell, SendRecordRows::ColumnCount> cells;
    for (int c = 0; c < SendRecordRows::ColumnCount; ++c) {
        names[c] = SendRecordRows::columnNames()[c].toUtf8();
        cells[c] = SheetCell::text(names[c]);
    }
    writer->writeRow(cells);

    while (rows.next()) {
        if (cancelled())
            return false;
        for (int c = 0; c < SendRecordRows::ColumnCount; ++c)
            cells[c] = cellOf(rows, c);
        writer->writeRow(cells);
        if (++written % ProgressStep == 0)
            emit progressed(written);
    }
    writer->finish();
    if (cancelled())
        return false;
    file.commit();
    return true;
}
