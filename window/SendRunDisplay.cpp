#include "SendRunDisplay.h"

#include "Handlers.h"

#include <utility>

SendRunDisplay::SendRunDisplay(Targets targets, QWidget *boxParent)
    : m_targets(std::move(targets))
    , m_boxParent(boxParent)
{
    m_frame.setSingleShot(true);
    m_frame.setInterval(frame);
    connect(&m_frame, &QTimer::timeout, this, [this] {
        if (m_pending)
            show();
    });
}

void SendRunDisplay::customerReached(const QString &name)
{
    m_customerName = name;
    if (m_lastProgress)
        m_progress = m_lastProgress;
    changed();
}

void SendRunDisplay::recordWritten(qint64 key, qint64 customerId, qint64 mailId, const QString &sendDate,
                                   const QString &result)
{
    m_records.append({key, customerId, mailId, sendDate, result});
    changed();
}

void SendRunDisplay::progressed(int sent, int failed, int total)
{
    m_lastProgress = Progress{sent, failed, total, QString()};
    m_progress = m_lastProgress;
    changed();
}

void SendRunDisplay::flush()
{
    m_frame.stop();
    if (m_pending)
        show();
}

// The first report of a quiet spell is shown at once; the ones after it wait for the frame's end.
void SendRunDisplay::changed()
{
    m_pending = true;
    if (!m_frame.isActive())
        show();
}

void SendRunDisplay::show()
{
    m_pending = false;
    m_frame.start();
    // Taken out before any is shown: a target that fails leaves nothing to be shown twice.
    const QList<Record> records = std::exchange(m_records, {});
    std::optional<Progress> progress = std::exchange(m_progress, std::nullopt);
    if (progress)
        progress->customerName = m_customerName;
    boxes::runHandler(m_boxParent, [&] {
        for (const Record &record : records)
            m_targets.record(record);
    });
    if (progress)
        boxes::runHandler(m_boxParent, [&] { m_targets.progress(*progress); });
}
