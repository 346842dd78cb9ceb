#pragma once

#include "SendRun.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class QWidget;

#include <chrono>
#include <functional>
#include <optional>

// What the window shows of a send run: the counts and the customer at hand in the progress label,
// and each new send record in the send-record grid. When the
// server refuses the customers, the run reports them far faster than a screen changes, and every
// change shown costs a repaint, more than the customer's whole SMTP exchange. So the reports are
// gathered: the first is shown at once, later ones together at most once a frame, and what is
// still pending when `flush` is called (at the run's end) at once, so that the window ends on the
// run's exact state. The run's report is taken only when it is shown: until then the run adds to
// it without waking the window.
class SendRunDisplay : public QObject
{
    Q_OBJECT

public:
    using Record = SendRunReport::Record;
    struct Progress
    {
        int sent = 0;
        int failed = 0;
        int total = 0;
        QString customerName; // of the customer at hand, empty when none is
    };
    // Where each kind of report is shown; records in the order they were written.
    struct Targets
    {
        std::function<void(const Progress &progress)> progress;
        std::function<void(const Record &record)> record;
    };

    // About thirty updates a second.
    static constexpr std::chrono::milliseconds frame{33};

    // A target's error is shown in the error box over `boxParent`, and the other kinds of report
    // are still shown.
    explicit SendRunDisplay(Targets targets, QWidget *boxParent = nullptr);

    // Where the reports come from from now on: what the run reported since it was last taken.
    void follow(std::function<SendRunReport()> take) { m_take = std::move(take); }
    // The source has a report waiting: taken and shown now, or when the frame is over.
    void reportWaiting();

    // Takes the source's report and shows what is pending now, and nothing when nothing is.
    void flush();
    // No customer is at hand any more (the run has ended): later counts come without a name.
    void forgetCustomer() { m_customerName.clear(); }

private:
    void show();
    // Adds what the source reported to what is to be shown; false when it reported nothing.
    bool take();

    Targets m_targets;
    std::function<SendRunReport()> m_take;
    QWidget *m_boxParent;
    QTimer m_frame;
    bool m_pending = false;
    std::optional<Progress> m_progress;
    std::optional<Progress> m_lastProgress; // shown anew with each customer's name
    QString m_customerName;
    QList<Record> m_records;
};
