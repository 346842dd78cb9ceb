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

void SendRunDisplay::reportWaiting()
{
    m_pending = true;
    // The first report of a quiet spell is shown at once; the ones after it wait for the frame's end.
    if (!m_frame.isActive())
        show();
}

void SendRunDisplay::flush()
{
    m_frame.stop();
    if (take() || m_pending)
        show();
}

bool SendRunDisplay::take()
{
    if (!m_take)
        return false;
    SendRunReport report = m_take();
    m_records.append(std::move(report.records));
    // The counts are shown anew with each customer's name.
    if (report.customerName) {
        m_customerName = *report.customerName;
        if (m_lastProgress)
            m_progress = m_lastProgress;
    }
    if (report.counts) {
        m_lastProgress = Progress{report.counts->sent, report.counts->failed, report.counts->total, QString()};
        m_progress = m_lastProgress;
    }
    return !m_records.isEmpty() || report.customerName || report.counts;
}

void SendRunDisplay::show()
{
    take();
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
