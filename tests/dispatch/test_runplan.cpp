// Who a send run mails when the skip choice is on or off, and how its end box reads.
#include "Printers.h"
#include "RunPlan.h"

#include <gtest/gtest.h>

namespace {

// One customer per address, ids 1, 2, 3 … in the grid's order.
QList<Recipient> customers(const QStringList &addresses)
{
    QList<Recipient> list;
    for (const QString &address : addresses)
        list.append({list.size() + 1, QStringLiteral("客户%1").arg(list.size() + 1), address});
    return list;
}

// A plan as text: the ids mailed, and those recorded as duplicates in brackets.
QString steps(const RunPlan &plan)
{
    QStringList texts;
    for (const RunPlan::Step &step : plan.steps) {
        const QString id = QString::number(step.customer.id);
        texts.append(step.duplicateAddress ? QLatin1Char('[') + id + QLatin1Char(']') : id);
    }
    return texts.join(u' ');
}

struct PlanCase
{
    const char *name;
    QStringList addresses;
    QSet<qint64> sentBefore;
    bool skip;
    QString steps;
    int toSend;
    int alreadySent;
    int duplicates;
    UnknownResults unknown = {};
    int unknownLeftOut = 0;

    friend void PrintTo(const PlanCase &c, std::ostream *os) { *os << c.name; }
};

class PlanTest : public ::testing::TestWithParam<PlanCase>
{
};

TEST_P(PlanTest, StepsAndCounts)
{
    const PlanCase &c = GetParam();
    const RunPlan plan = planRun(customers(c.addresses), c.sentBefore, c.skip, c.unknown);
    EXPECT_EQ(plan.skipping, c.skip);
    EXPECT_EQ(steps(plan), c.steps);
    EXPECT_EQ(plan.toSend, c.toSend);
    EXPECT_EQ(plan.alreadySent, c.alreadySent);
    EXPECT_EQ(plan.duplicates, c.duplicates);
    EXPECT_EQ(plan.unknownLeftOut, c.unknownLeftOut);
}

const QStringList fourWithOneTwice
    = {QStringLiteral("a@x.test"), QStringLiteral("b@x.test"), QStringLiteral("A@X.test"), QStringLiteral("c@x.test")};

INSTANTIATE_TEST_SUITE_P(
    Runs, PlanTest,
    ::testing::Values(
        // Off, the run is as it always was: everybody, earlier results and shared addresses or not.
        PlanCase{"OffMailsEverybody", fourWithOneTwice, {1, 2}, false, QStringLiteral("1 2 3 4"), 4, 0, 0},
        PlanCase{"OnLeavesOutTheSent", fourWithOneTwice, {2, 4}, true, QStringLiteral("1 [3]"), 1, 2, 1},
        PlanCase{"OnWithNothingSentYet",
                 {QStringLiteral("a@x.test"), QStringLiteral("b@x.test")},
                 {},
                 true,
                 QStringLiteral("1 2"),
                 2,
                 0,
                 0},
        // Trimmed and without regard to letter case; the first holder is mailed.
        PlanCase{"AddressesCompareTrimmedAndCaseless",
                 {QStringLiteral(" Li@Example.test"), QStringLiteral("li@example.test  "),
                  QStringLiteral("LI@EXAMPLE.TEST")},
                 {},
                 true,
                 QStringLiteral("1 [2] [3]"),
                 1,
                 0,
                 2},
        // The address an earlier run mailed is taken, even when its later holder comes first.
        PlanCase{"AnAddressMailedBeforeIsTaken",
                 {QStringLiteral("b@x.test"), QStringLiteral("B@x.test"), QStringLiteral("c@x.test")},
                 {2},
                 true,
                 QStringLiteral("[1] 3"),
                 1,
                 1,
                 1},
        // Customers without an address are separate customers (each fails on its own).
        PlanCase{"EmptyAddressesAreNotDuplicates",
                 {QString(), QStringLiteral("  "), QStringLiteral("a@x.test")},
                 {},
                 true,
                 QStringLiteral("1 2 3"),
                 3,
                 0,
                 0},
        PlanCase{"EverybodySentBefore", fourWithOneTwice, {1, 2, 3, 4}, true, QString(), 0, 4, 0},
        // A result left unknown: left out, its address taken, unless the user chose to send again;
        // a 成功 of the same customer outweighs it; with the skip choice off it changes nothing.
        PlanCase{"UnknownLeftOutAndItsAddressTaken", fourWithOneTwice, {2}, true, QStringLiteral("[3] 4"), 1, 1, 1,
                 {{1}, false}, 1},
        PlanCase{"UnknownSentAgainWhenChosen", fourWithOneTwice, {2}, true, QStringLiteral("1 [3] 4"), 2, 1, 1,
                 {{1}, true}, 0},
        PlanCase{"UnknownButSentCountsAsSent", fourWithOneTwice, {1}, true, QStringLiteral("2 [3] 4"), 2, 1, 1,
                 {{1}, false}, 0},
        PlanCase{"UnknownWithTheChoiceOff", fourWithOneTwice, {}, false, QStringLiteral("1 2 3 4"), 4, 0, 0,
                 {{1, 2}, false}, 0}),
    [](const ::testing::TestParamInfo<PlanCase> &info) { return std::string(info.param.name); });

TEST(CompletionText, SaysWhatWasLeftOutOnlyWhenSkipping)
{
    RunPlan plan;
    EXPECT_EQ(completionText(plan, 3, 1), QStringLiteral("发送完成：成功 3 封，失败 1 封。") + failedRunHint());
    plan.skipping = true;
    EXPECT_EQ(completionText(plan, 3, 1),
              QStringLiteral("发送完成：成功 3 封，失败 1 封，跳过 0 位已发送的客户。") + failedRunHint());
    plan.alreadySent = 2;
    EXPECT_EQ(completionText(plan, 2, 0), QStringLiteral("发送完成：成功 2 封，失败 0 封，跳过 2 位已发送的客户。"));
    plan.duplicates = 1;
    EXPECT_EQ(completionText(plan, 2, 0),
              QStringLiteral("发送完成：成功 2 封，失败 0 封，跳过 2 位已发送的客户和 1 位地址重复的客户。"));
    plan.unknownLeftOut = 3;
    EXPECT_EQ(completionText(plan, 2, 0),
              QStringLiteral("发送完成：成功 2 封，失败 0 封，跳过 2 位已发送的客户、3 位发送结果未知的客户"
                             "和 1 位地址重复的客户。"));
}

// After failures the box goes on with the ways on: a resend with the skip choice, which mails the
// failed, and the export of the results; the controls named as the window names them.
TEST(CompletionText, AfterFailuresNamesTheResendAndTheExport)
{
    EXPECT_EQ(completionText(RunPlan(), 0, 2),
              QStringLiteral("发送完成：成功 0 封，失败 2 封。\n\n"
                             "要给没收到的客户重发，勾选“跳过已成功发送的客户”后再点“发送”：已成功的客户不会再收到。"
                             "要查看或保存每位客户的结果，在“邮件发送情况”页按邮件ID选这封邮件，点“导出…”。"));
    EXPECT_FALSE(completionText(RunPlan(), 2, 0).contains(u'\n'));
}

} // namespace
