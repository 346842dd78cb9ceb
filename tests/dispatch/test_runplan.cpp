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

// The confirmation before a run: one box that says what the run will do, with the questions that
// used to come one after another (the cap, the customers whose result is unknown) folded in.
struct ConfirmationCase
{
    const char *name;
    int toSend;
    int pauseSeconds;
    bool skipping;
    int alreadySent;
    int duplicates;
    int unknown;
    QString capNotice;
    QString middle; // the text between the account and the question

    friend void PrintTo(const ConfirmationCase &c, std::ostream *os) { *os << c.name; }
};

class ConfirmationTextTest : public ::testing::TestWithParam<ConfirmationCase>
{
};

TEST_P(ConfirmationTextTest, SaysWhoHowLongAndWhatIsLeftOut)
{
    const ConfirmationCase &c = GetParam();
    RunConfirmation confirmation;
    confirmation.subject = QStringLiteral("新品介绍");
    confirmation.sender = QStringLiteral("销售部 <sales@example.test>");
    confirmation.server = QStringLiteral("smtp.example.test:587");
    confirmation.pauseSeconds = c.pauseSeconds;
    confirmation.plan.toSend = c.toSend;
    confirmation.plan.skipping = c.skipping;
    confirmation.plan.alreadySent = c.alreadySent;
    confirmation.plan.duplicates = c.duplicates;
    confirmation.unknown = c.unknown;
    confirmation.capNotice = c.capNotice;
    EXPECT_EQ(runConfirmationText(confirmation),
              QStringLiteral("发送邮件“新品介绍”给 %1 位客户。\n发件人：销售部 <sales@example.test>\n"
                             "邮件服务器：smtp.example.test:587")
                      .arg(c.toSend)
                  + c.middle + QStringLiteral("\n\n现在开始发送吗？"));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ConfirmationTextTest,
    ::testing::Values(
        ConfirmationCase{"Seconds", 3, 6, false, 0, 0, 0, {}, QStringLiteral("\n每封间隔 6 秒，预计需要约 18 秒。")},
        ConfirmationCase{"MinutesRoundedUp", 2000, 4, false, 0, 0, 0, {},
                         QStringLiteral("\n每封间隔 4 秒，预计需要约 2 小时 14 分钟。")},
        ConfirmationCase{"WholeHours", 240, 30, false, 0, 0, 0, {}, QStringLiteral("\n每封间隔 30 秒，预计需要约 2 小时。")},
        ConfirmationCase{"MinutesRoundedUpToAnHour", 79, 45, false, 0, 0, 0, {},
                         QStringLiteral("\n每封间隔 45 秒，预计需要约 1 小时。")},
        ConfirmationCase{"SkippingSentAndDuplicates", 5, 10, true, 12, 2, 0, {},
                         QStringLiteral("\n每封间隔 10 秒，预计需要约 50 秒。\n跳过 12 位已成功发送的客户和 2 位地址重复的客户。")},
        // Skipping with nobody to leave out says nothing of it.
        ConfirmationCase{"SkippingNobody", 3, 4, true, 0, 0, 0, {}, QStringLiteral("\n每封间隔 4 秒，预计需要约 12 秒。")},
        ConfirmationCase{"UnderTheCap", 300, 4, false, 0, 0, 0,
                         QStringLiteral("今天还可以发送 100 封，其余的将在上限允许时继续发送"),
                         QStringLiteral("\n每封间隔 4 秒，预计需要约 20 分钟。\n今天还可以发送 100 封，其余的将在上限允许时继续发送。")},
        ConfirmationCase{"UnknownResults", 2, 4, true, 1, 0, 1, {},
                         QStringLiteral("\n每封间隔 4 秒，预计需要约 8 秒。\n跳过 1 位已成功发送的客户。\n"
                                        "有 1 位客户的发送结果未知（上次发送时程序意外中断，或没有收到服务器的回复），"
                                        "他们可能已经收到这封邮件；勾选下面的选项才会再次发送给他们。")},
        // Everybody has it already: no time to estimate.
        ConfirmationCase{"NobodyLeft", 0, 4, true, 3, 0, 0, {}, QStringLiteral("\n跳过 3 位已成功发送的客户。")}),
    [](const ::testing::TestParamInfo<ConfirmationCase> &info) { return std::string(info.param.name); });

TEST(ConfirmationText, TheUnknownResultsChoiceNamesTheirNumber)
{
    EXPECT_EQ(unknownResultsChoice(3), QStringLiteral("也发送给这 3 位发送结果未知的客户"));
}

} // namespace
