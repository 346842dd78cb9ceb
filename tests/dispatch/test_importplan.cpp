// Which rows of a sheet an import writes and which it skips, and what its boxes say.

#include "ImportPlan.h"
#include "Printers.h"

#include <gtest/gtest.h>

namespace {

struct Row
{
    QString name;
    QString address;
};

struct Sorted
{
    QList<int> written; // sheet rows
    QList<int> duplicates; // sheet rows among the written
    QList<QPair<int, SkipKind>> skipped;
};

Sorted sort(ImportTarget target, const QStringList &stored, const QList<Row> &rows)
{
    ImportPlanner planner(target, stored);
    for (qsizetype i = 0; i < rows.size(); ++i)
        planner.add({int(i) + 1, rows[i].name, rows[i].address});
    const ImportPlan plan = planner.take();
    Sorted sorted;
    for (qsizetype i = 0; i < plan.rows.size(); ++i) {
        sorted.written.append(plan.rows[i].row);
        if (plan.duplicates.contains(i))
            sorted.duplicates.append(plan.rows[i].row);
    }
    for (const SkippedRow &row : plan.skipped) {
        sorted.skipped.append({row.row.row, row.kind});
        EXPECT_EQ(row.reason, skipReason(row.kind, target));
    }
    return sorted;
}

const QString a = QStringLiteral("a@example.com");
const QString b = QStringLiteral("b@example.com");

TEST(ImportPlan, SortsRowsByTheRules)
{
    const struct
    {
        const char *name;
        ImportTarget target;
        QStringList stored;
        QList<Row> rows;
        Sorted sorted;
    } cases[] = {
        {"good rows", ImportTarget::Customers, {}, {{"甲", a}, {"乙", b}}, {{1, 2}, {}, {}}},
        {"no address, blanks, no @",
         ImportTarget::Customers,
         {},
         {{"甲", {}}, {"乙", "  "}, {"丙", "bingexample.com"}, {"丁", a}},
         {{4}, {}, {{1, SkipKind::NoAddress}, {2, SkipKind::NoAddress}, {3, SkipKind::NotAnAddress}}}},
        {"empty rows are passed over, the rows after them read",
         ImportTarget::Customers,
         {},
         {{"甲", a}, {{}, {}}, {" ", " "}, {"乙", b}},
         {{1, 4}, {}, {}}},
        {"a heading row",
         ImportTarget::Customers,
         {},
         {{"客户名称", "电子邮件地址"}, {"甲", a}},
         {{2}, {}, {{1, SkipKind::Heading}}}},
        {"headings spelled otherwise",
         ImportTarget::Customers,
         {},
         {{"Name", " E-mail "}, {"甲", a}},
         {{2}, {}, {{1, SkipKind::Heading}}}},
        {"a heading only as the first row with data",
         ImportTarget::Customers,
         {},
         {{{}, {}}, {"姓名", "邮箱"}, {"甲", "邮箱"}},
         {{}, {}, {{2, SkipKind::Heading}, {3, SkipKind::NotAnAddress}}}},
        {"a first row with an address is no heading",
         ImportTarget::Customers,
         {},
         {{"email", "email@example.com"}},
         {{1}, {}, {}}},
        {"a first row without @ that is no title",
         ImportTarget::Customers,
         {},
         {{"甲", "zhang at example.com"}, {"乙", "zhang.gmail.com"}},
         {{}, {}, {{1, SkipKind::NotAnAddress}, {2, SkipKind::NotAnAddress}}}},
        {"nor a first row with a dot",
         ImportTarget::Customers,
         {},
         {{"甲", "li.hotmail.com"}},
         {{}, {}, {{1, SkipKind::NotAnAddress}}}},
        {"stored addresses and repeats in the sheet, in any case and with blanks",
         ImportTarget::Customers,
         {QStringLiteral("A@Example.com")},
         {{"甲", a}, {"乙", b}, {"丙", " B@EXAMPLE.COM "}, {"丁", "c@example.com"}},
         {{1, 2, 3, 4}, {1, 3}, {}}},
        {"the list: its addresses are skipped, headings too",
         ImportTarget::RefusalList,
         {a},
         {{{}, "退订地址"}, {{}, a}, {{}, b}, {{}, b}, {{}, "nobody"}},
         {{3}, {}, {{1, SkipKind::Heading}, {2, SkipKind::Duplicate}, {4, SkipKind::Duplicate}, {5, SkipKind::NotAnAddress}}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Sorted sorted = sort(c.target, c.stored, c.rows);
        EXPECT_EQ(sorted.written, c.sorted.written);
        EXPECT_EQ(sorted.duplicates, c.sorted.duplicates);
        EXPECT_EQ(sorted.skipped, c.sorted.skipped);
    }
}

TEST(ImportPlan, TheSummaryAndTheReportCountEachReason)
{
    ImportPlanner planner(ImportTarget::Customers, {a});
    const QList<Row> rows{{"姓名", "Email"}, {"甲", a}, {"乙", {}}, {"丙", "bing"}, {"丁", b}};
    for (qsizetype i = 0; i < rows.size(); ++i)
        planner.add({int(i) + 1, rows[i].name, rows[i].address});
    const ImportPlan plan = planner.take();
    EXPECT_TRUE(plan.offersDuplicates());
    EXPECT_EQ(plan.toWrite(true), 2);
    EXPECT_EQ(plan.toWrite(false), 1);
    EXPECT_EQ(previewText(plan), QStringLiteral("可导入 2 位客户。\n"
                                                "其中 1 位的地址已在客户中或在表中重复。\n"
                                                "将跳过 3 行：\n"
                                                "    没有电子邮件地址：1 行\n"
                                                "    电子邮件地址不含“@”：1 行\n"
                                                "    标题行，未导入：1 行\n"
                                                "是否开始导入？"));

    ImportOutcome outcome;
    outcome.imported = 1;
    outcome.skipped = plan.skipped;
    outcome.skipped.append({plan.rows.first(), SkipKind::Duplicate, skipReason(SkipKind::Duplicate, outcome.target)});
    outcome.skipped.append({{12, QString(101, u'名'), b}, SkipKind::Refused, QStringLiteral("客户名称不能超过 100 个字符")});
    for (int row = 20; row < 30; ++row)
        outcome.skipped.append({{row, {}, {}}, SkipKind::NoAddress, skipReason(SkipKind::NoAddress, outcome.target)});
    std::stable_sort(outcome.skipped.begin(), outcome.skipped.end(),
                     [](const SkippedRow &x, const SkippedRow &y) { return x.row.row < y.row.row; });
    outcome.duplicatesWritten = false;
    outcome.duplicates = 1;
    outcome.failure = QStringLiteral("database or disk is full");
    const QStringList lines = reportText(outcome).split(u'\n');
    EXPECT_EQ(reportHeadline(outcome), QStringLiteral("导入 1 位客户；跳过 15 行"));
    EXPECT_EQ(lines.mid(0, 6), QStringList({QStringLiteral("导入 1 位客户；跳过 15 行"),
                                            QStringLiteral("没有电子邮件地址：11 行"),
                                            QStringLiteral("电子邮件地址不含“@”：1 行"),
                                            QStringLiteral("标题行，未导入：1 行"),
                                            QStringLiteral("地址重复：1 行（未导入）"),
                                            QStringLiteral("数据库拒绝：1 行")}));
    EXPECT_EQ(lines.at(6), QString());
    EXPECT_EQ(lines.at(7), QStringLiteral("第 1 行：标题行，未导入"));
    EXPECT_EQ(lines.at(8), QStringLiteral("第 2 行：地址重复，未导入"));
    EXPECT_EQ(lines.at(11), QStringLiteral("第 12 行：客户名称不能超过 100 个字符"));
    EXPECT_EQ(lines.at(17), QStringLiteral("……另有 5 行，可保存跳过的行查看全部。"));
    EXPECT_EQ(lines.at(18), QStringLiteral("导入未完成：database or disk is full。已导入的 1 行已保存，其余未导入。"));
    EXPECT_EQ(lines.size(), 19);
}

} // namespace
