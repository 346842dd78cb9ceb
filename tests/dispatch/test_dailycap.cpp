// The daily cap's arithmetic: how many messages may go now, and when the next may when none can.
#include "DailyCap.h"
#include "Printers.h"

#include <gtest/gtest.h>

#include <cctype>
#include <limits>

namespace {

using namespace std::chrono_literals;

const QDateTime Now(QDate(2026, 3, 10), QTime(15, 0));

// Accepted this many seconds before Now.
QList<QDateTime> ago(std::initializer_list<int> seconds)
{
    QList<QDateTime> moments;
    for (int s : seconds)
        moments.append(Now.addSecs(-s));
    return moments;
}

struct CapCase
{
    const char *name;
    int cap;
    QList<QDateTime> accepted;
    int allowed;
    QDateTime nextAt;

    friend void PrintTo(const CapCase &c, std::ostream *os) { *os << c.name; }
};

class CapBudgetTest : public ::testing::TestWithParam<CapCase>
{
};

TEST_P(CapBudgetTest, AllowedNowAndNextMoment)
{
    const CapCase &c = GetParam();
    const CapBudget budget = capBudget(c.cap, c.accepted, Now);
    EXPECT_EQ(budget.allowed, c.allowed);
    EXPECT_EQ(budget.nextAt, c.nextAt);
}

constexpr int Day = 24 * 3600;
constexpr int Unlimited = std::numeric_limits<int>::max();

INSTANTIATE_TEST_SUITE_P(
    Cases, CapBudgetTest,
    ::testing::Values(
        CapCase{"no cap", 0, ago({1, 2, 3}), Unlimited, {}},
        CapCase{"no cap, nothing sent", 0, {}, Unlimited, {}},
        CapCase{"nothing sent yet", 100, {}, 100, {}},
        // The records of every mail count alike: the caller hands them all over.
        CapCase{"some of the budget used", 5, ago({10, 3600, 7200}), 2, {}},
        CapCase{"just inside the day counts", 2, ago({Day - 1, 60}), 0, Now.addSecs(1)},
        CapCase{"exactly a day old no longer counts", 2, ago({Day, 60}), 1, {}},
        CapCase{"older than a day no longer counts", 2, ago({Day + 3600, 2 * Day, 60}), 1, {}},
        // A moment ahead of the clock (the clock was put back) counts in full.
        CapCase{"a moment ahead counts", 2, {Now.addSecs(30), Now.addSecs(-60)}, 0, Now.addSecs(Day - 60)},
        // Used up at the start: the next goes when the oldest counted one is a day old, in any order given.
        CapCase{"used up at start", 3, ago({60, 7200, 3600}), 0, Now.addSecs(Day - 7200)},
        // Lowered below what went out: all but cap - 1 must be a day old first.
        CapCase{"cap lowered below what went out", 2, ago({10, 20, 30, 40}), 0, Now.addSecs(Day - 20)}),
    [](const ::testing::TestParamInfo<CapCase> &info) {
        std::string name = info.param.name;
        for (char &ch : name)
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        return name;
    });

TEST(CapBudget, AShorterDayForTests)
{
    EXPECT_EQ(capBudget(1, ago({1}), Now, 2s).nextAt, Now.addSecs(1));
    EXPECT_EQ(capBudget(1, ago({2}), Now, 2s).allowed, 1);
}

TEST(CapNotice, OnlyWhenTheCustomersExceedTodaysBudget)
{
    EXPECT_EQ(capNotice(capBudget(0, {}, Now), 500), QString());
    EXPECT_EQ(capNotice(capBudget(100, ago({1, 2}), Now), 98), QString());
    EXPECT_EQ(capNotice(capBudget(100, ago({1, 2}), Now), 99),
              QStringLiteral("今天还可以发送 98 封，其余的将在上限允许时继续发送"));
    EXPECT_EQ(capNotice(capBudget(2, ago({1, 2}), Now), 1), QStringLiteral("今天还可以发送 0 封，其余的将在上限允许时继续发送"));
}

} // namespace
