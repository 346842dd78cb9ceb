// How the window's view of a send run gathers the run's reports: the first shown at once, the
// ones after it together once the frame is over, and everything pending at once on a flush.
#include "SendRunDisplay.h"

#include "Error.h"
#include "MessageBoxes.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

// Each update the display makes, as one line: the records it adds, then the counts and the customer.
class Screen
{
public:
    SendRunDisplay::Targets targets()
    {
        return {[this](const SendRunDisplay::Progress &p) {
                    current += QStringLiteral(" %1/%2/%3").arg(p.sent).arg(p.failed).arg(p.total);
                    if (!p.customerName.isEmpty())
                        current += QStringLiteral(" at ") + p.customerName;
                },
                [this](const SendRunDisplay::Record &r) {
                    current += QStringLiteral(" record %1:%2:%3:%4:%5")
                                   .arg(r.key)
                                   .arg(r.customerId)
                                   .arg(r.mailId)
                                   .arg(r.sendDate, r.result);
                }};
    }

    // The updates since the last call, one per entry.
    QStringList take()
    {
        end();
        return std::exchange(updates, {});
    }
    void end()
    {
        if (!current.isEmpty())
            updates.append(std::exchange(current, {}).trimmed());
    }

    QString current;
    QStringList updates;
};

// Reports as the run does: added to one report, the display told only when it took the last one.
class RunReports
{
public:
    explicit RunReports(SendRunDisplay &display)
        : m_display(display)
    {
        display.follow([this] {
            ++takes;
            notified = false;
            return std::exchange(waiting, {});
        });
    }

    void report(const std::function<void(SendRunReport &report)> &change)
    {
        change(waiting);
        if (!std::exchange(notified, true)) {
            ++notices;
            m_display.reportWaiting();
        }
    }
    void counts(int sent, int failed, int total)
    {
        report([&](SendRunReport &r) { r.counts = SendRunReport::Counts{sent, failed, total}; });
    }
    // One customer: reached, recorded, counted.
    void customer(qint64 id, int total = 3)
    {
        report([&](SendRunReport &r) { r.customerName = QStringLiteral("c%1").arg(id); });
        report([&](SendRunReport &r) {
            r.records.append(
                {100 + id, id, 7, QStringLiteral("2026/12/10 9:00:0%1").arg(id), QStringLiteral("失败：550")});
        });
        counts(0, int(id), total);
    }

    SendRunReport waiting;
    bool notified = false;
    int notices = 0;
    int takes = 0;

private:
    SendRunDisplay &m_display;
};

} // namespace

TEST(SendRunDisplay, TheFirstReportShowsAtOnceAndTheRestTogetherAfterTheFrame)
{
    Screen screen;
    SendRunDisplay display(screen.targets());
    RunReports run(display);
    run.counts(0, 0, 3);
    screen.end();
    run.customer(1);
    run.customer(2);
    EXPECT_EQ(screen.take(), QStringList{QStringLiteral("0/0/3")});
    // The run was not asked for the rest before the frame's end, nor told the window again.
    EXPECT_EQ(run.takes, 1);
    EXPECT_EQ(run.notices, 2);

    // One update for everything since: every record in order, the latest customer and counts only.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !screen.current.isEmpty(); }));
    EXPECT_EQ(screen.take(),
              QStringList{QStringLiteral("record 101:1:7:2026/12/10 9:00:01:失败：550 "
                                         "record 102:2:7:2026/12/10 9:00:02:失败：550 0/2/3 at c2")});

    // Nothing further was reported: no further update comes.
    QTest::qWait(int(SendRunDisplay::frame.count()) * 3);
    EXPECT_EQ(screen.take(), QStringList());
}

TEST(SendRunDisplay, FlushShowsWhatIsPendingAtOnceAndNothingTwice)
{
    Screen screen;
    SendRunDisplay display(screen.targets());
    RunReports run(display);
    run.customer(1);
    run.customer(2);
    run.customer(3);
    screen.take();
    display.flush();
    EXPECT_EQ(screen.take(),
              QStringList{QStringLiteral("record 101:1:7:2026/12/10 9:00:01:失败：550 "
                                         "record 102:2:7:2026/12/10 9:00:02:失败：550 "
                                         "record 103:3:7:2026/12/10 9:00:03:失败：550 "
                                         "0/3/3 at c3")});
    display.flush();
    QTest::qWait(int(SendRunDisplay::frame.count()) * 3);
    EXPECT_EQ(screen.take(), QStringList());
}

namespace {

// A target that fails (the send-record grid cannot read its rows, say) shows its error in the error
// box, on the frame timer's turn as on a flush; the other kinds of report are shown all the same.
TEST(SendRunDisplay, ATargetThatFailsShowsItsErrorAndTheOthersStillShow)
{
    boxes::BoxRecorder boxes;
    Screen screen;
    SendRunDisplay::Targets targets = screen.targets();
    targets.record = [](const SendRunDisplay::Record &) { throw Error(QStringLiteral("无法读取")); };
    SendRunDisplay display(targets);
    RunReports run(display);
    run.customer(1);
    run.customer(2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !screen.current.isEmpty(); })); // the frame's turn
    EXPECT_EQ(screen.take(), QStringList{QStringLiteral("0/2/3 at c2")});
    run.customer(3);
    display.flush();
    EXPECT_EQ(screen.take(), QStringList{QStringLiteral("0/3/3 at c3")});
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 2);
    for (const boxes::ShownBox &box : shown) {
        EXPECT_EQ(box.kind, boxes::ShownBox::Kind::Error);
        EXPECT_EQ(box.text, QStringLiteral("无法读取."));
    }
}

} // namespace
