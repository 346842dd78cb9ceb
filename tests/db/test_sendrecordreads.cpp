#include "Database.h"
#include "DateTimeText.h"
#include "ResultSummary.h"
#include "SendRecordRows.h"
#include "SendRecords.h"
#include "TempDatabase.h"

#include <QStringList>

#include <gtest/gtest.h>

using testsupport::TempDatabase;

namespace {

// Six customers, two mails. Mail 1: 1 成功; 2 失败 then 成功 (got it); 3 成功 then 失败 on a resend
// (still got it); 4 失败 then 跳过 (latest decides); 5 only a record from before results were kept;
// 6 none. Mail 2: 1 with an empty result, 2 跳过, 3 失败, 4 a result of no known kind. Records of a
// customer no longer on the list (99) count nowhere.
class SendRecordReadsTest : public ::testing::Test
{
protected:
    SendRecordReadsTest()
        : connection(db.path())
    {
        db.exec(QStringLiteral("insert into 客户表(客户ID, 客户名称, 电子邮件地址) values"
                               " (1, '张三', 'zhang@example.com'), (2, '=HYPERLINK(\"x\")', 'li@example.com'),"
                               " (3, '王五', 'wang@example.com'), (4, 'Zhao, \"Four\"', 'zhao@example.com'),"
                               " (5, '钱七', 'qian@example.com'), (6, '孙八', 'sun@example.com');"
                               "insert into 邮件表(邮件ID, 邮件主题) values (1, '价目表'), (2, '新品');"
                               "insert into 发送情况(客户ID, 邮件ID, 发送日期, 发送结果) values"
                               " (1, 1, '2026/1/5 9:00:01', '成功'),"
                               " (2, 1, '2026/1/5 9:00:02', '失败：550 mailbox unavailable'),"
                               " (3, 1, '2026/1/5 9:00:03', '成功'),"
                               " (4, 1, '2026/1/5 9:00:04', '失败：452 try later'),"
                               " (5, 1, '2025/3/1 8:00:00', null),"
                               " (1, 2, '2026/1/6 10:00:00', ''),"
                               " (2, 1, '2026/1/7 9:00:02', '成功'),"
                               " (3, 1, '2026/1/7 9:00:03', '失败：connection lost'),"
                               " (4, 1, '2026/1/7 9:00:04', '跳过：已退订'),"
                               " (2, 2, '2026/1/8 9:00:00', '跳过：地址重复'),"
                               " (3, 2, '2026/1/8 9:00:01', '失败：550'),"
                               " (4, 2, '2026/1/8 9:00:02', '未知的结果'),"
                               " (99, 1, '2026/1/5 9:00:09', '成功')"));
        connection.setConnected(true);
    }

    // Every row of a filter, each cell as text ("<null>" for none, "#n" for an integer).
    QList<QStringList> read(const SendRecordFilter &filter, qint64 *count = nullptr)
    {
        SendRecordRows rows(connection, filter);
        if (count)
            *count = rows.count();
        QList<QStringList> result;
        while (rows.next()) {
            QStringList row;
            for (int c = 0; c < SendRecordRows::ColumnCount; ++c) {
                row << (rows.isNull(c)          ? QStringLiteral("<null>")
                            : rows.isInteger(c) ? QStringLiteral("#%1").arg(rows.integer(c))
                                                : QString::fromUtf8(rows.text(c)));
            }
            result << row;
        }
        return result;
    }

    TempDatabase db;
    Database connection;
};

} // namespace

TEST_F(SendRecordReadsTest, SummaryCountsEachCustomerOnceByTheRuleOfTheirRecords)
{
    struct Case
    {
        qint64 mail;
        ResultSummary expected;
        QString line;
    };
    const Case cases[] = {
        {1, {3, 0, 1, 1, 1}, QStringLiteral("成功 3，失败 0，跳过 1，未发送 1")},
        {2, {0, 2, 1, 2, 1}, QStringLiteral("成功 0，失败 2，跳过 1，未发送 2")},
        {7, {0, 0, 0, 6, 0}, QStringLiteral("成功 0，失败 0，跳过 0，未发送 6")},
        {3, {2, 1, 0, 2, 1}, QStringLiteral("成功 2，失败 1，跳过 0，未发送 2")},
        {8, {1, 0, 0, 3, 2}, QStringLiteral("成功 1，失败 0，跳过 0，未发送 3")},
    };
    // Mail 3, records a run left reading 发送中: 1 only that (unknown); 2 then 成功; 3 成功, then
    // 发送中 of a resend (got it); 4 then 失败 on a resend (latest decides).
    db.exec(QStringLiteral("insert into 发送情况(客户ID, 邮件ID, 发送日期, 发送结果) values"
                           " (1, 3, '2026/2/1 9:00:01', '发送中'), (2, 3, '2026/2/1 9:00:02', '发送中'),"
                           " (3, 3, '2026/2/1 9:00:03', '成功'), (4, 3, '2026/2/1 9:00:04', '发送中'),"
                           " (2, 3, '2026/2/2 9:00:02', '成功'), (3, 3, '2026/2/2 9:00:03', '发送中'),"
                           " (4, 3, '2026/2/2 9:00:04', '失败：550')"));
    // Mail 8, replies lost after the message (结果未知：…) count as 发送中 does: 1 only that; 2 then
    // 成功; 3 失败, then that on a resend.
    db.exec(QStringLiteral("insert into 发送情况(客户ID, 邮件ID, 发送日期, 发送结果) values"
                           " (1, 8, '2026/2/1 9:00:01', '结果未知：服务器关闭了连接'),"
                           " (2, 8, '2026/2/1 9:00:02', '结果未知：连接超时'), (2, 8, '2026/2/2 9:00:02', '成功'),"
                           " (3, 8, '2026/2/1 9:00:03', '失败：550'), (3, 8, '2026/2/2 9:00:03', '结果未知：连接超时')"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mail);
        const ResultSummary summary = readResultSummary(connection, c.mail);
        EXPECT_EQ(summary.succeeded, c.expected.succeeded);
        EXPECT_EQ(summary.failed, c.expected.failed);
        EXPECT_EQ(summary.skipped, c.expected.skipped);
        EXPECT_EQ(summary.notSent, c.expected.notSent);
        EXPECT_EQ(summary.unknown, c.expected.unknown);
        EXPECT_EQ(resultSummaryText(summary), c.line);
    }
}

// The customers a resumed run asks about: the latest record 发送中 or 结果未知：…, and none 成功.
TEST_F(SendRecordReadsTest, UnknownCustomersAreTheOnesLeftSendingWithoutASuccess)
{
    db.exec(QStringLiteral("insert into 发送情况(客户ID, 邮件ID, 发送日期, 发送结果) values"
                           " (1, 3, '2026/2/1 9:00:01', '发送中'), (2, 3, '2026/2/1 9:00:02', '发送中'),"
                           " (3, 3, '2026/2/1 9:00:03', '成功'), (4, 3, '2026/2/1 9:00:04', '发送中'),"
                           " (2, 3, '2026/2/2 9:00:02', '成功'), (3, 3, '2026/2/2 9:00:03', '发送中'),"
                           " (4, 3, '2026/2/2 9:00:04', '失败：550'), (5, 4, '2026/2/2 9:00:05', '发送中')"));
    EXPECT_EQ(readUnknownCustomers(connection, 3), QSet<qint64>{1});
    EXPECT_EQ(readUnknownCustomers(connection, 4), QSet<qint64>{5});
    EXPECT_EQ(readUnknownCustomers(connection, 1), QSet<qint64>{});
    db.exec(QStringLiteral("insert into 发送情况(客户ID, 邮件ID, 发送日期, 发送结果) values"
                           " (1, 8, '2026/2/1 9:00:01', '结果未知：服务器关闭了连接'),"
                           " (2, 8, '2026/2/1 9:00:02', '结果未知：连接超时'), (2, 8, '2026/2/2 9:00:02', '成功'),"
                           " (3, 8, '2026/2/1 9:00:03', '失败：550'), (3, 8, '2026/2/2 9:00:03', '结果未知：连接超时'),"
                           " (4, 8, '2026/2/1 9:00:04', '结果未知：连接超时'), (4, 8, '2026/2/2 9:00:04', '失败：550')"));
    EXPECT_EQ(readUnknownCustomers(connection, 8), (QSet<qint64>{1, 3}));
}

TEST_F(SendRecordReadsTest, SummaryOfAnEmptyListIsAllNoughts)
{
    db.exec(QStringLiteral("delete from 客户表"));
    EXPECT_EQ(readResultSummary(connection, 1), ResultSummary{});
}

TEST_F(SendRecordReadsTest, RowsFollowTheFilterInTheOrderTheRecordsWereWritten)
{
    struct Case
    {
        SendRecordFilter filter;
        QStringList keys; // customer/mail/date of each row
    };
    const Case cases[] = {
        {{}, {}},
        {{4, std::nullopt}, {"4/1/2026/1/5 9:00:04", "4/1/2026/1/7 9:00:04", "4/2/2026/1/8 9:00:02"}},
        {{std::nullopt, 2},
         {"1/2/2026/1/6 10:00:00", "2/2/2026/1/8 9:00:00", "3/2/2026/1/8 9:00:01", "4/2/2026/1/8 9:00:02"}},
        {{2, 1}, {"2/1/2026/1/5 9:00:02", "2/1/2026/1/7 9:00:02"}},
        {{6, std::nullopt}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keys.join(u' ').toStdString());
        qint64 count = -1;
        const QList<QStringList> rows = read(c.filter, &count);
        QStringList keys;
        for (const QStringList &row : rows)
            keys << row[0].mid(1) + u'/' + row[3].mid(1) + u'/' + row[5];
        if (!c.filter.customerId && !c.filter.mailId) {
            EXPECT_EQ(rows.size(), 13);
            EXPECT_EQ(keys.first(), QStringLiteral("1/1/2026/1/5 9:00:01"));
            EXPECT_EQ(keys.last(), QStringLiteral("99/1/2026/1/5 9:00:09"));
        } else {
            EXPECT_EQ(keys, c.keys);
        }
        EXPECT_EQ(count, rows.size());
    }
}

TEST_F(SendRecordReadsTest, RowsCarryNameAddressAndSubjectAndKeepRecordsOfDeletedCustomers)
{
    const QList<QStringList> rows = read({std::nullopt, 1});
    ASSERT_EQ(rows.size(), 9);
    EXPECT_EQ(rows[0], (QStringList{"#1", "张三", "zhang@example.com", "#1", "价目表", "2026/1/5 9:00:01", "成功"}));
    EXPECT_EQ(rows[4], (QStringList{"#5", "钱七", "qian@example.com", "#1", "价目表", "2025/3/1 8:00:00", "<null>"}));
    EXPECT_EQ(rows[8], (QStringList{"#99", "<null>", "<null>", "#1", "价目表", "2026/1/5 9:00:09", "成功"}));
}

// The daily cap's read: the accepted messages of any mail since a moment, newest first, each
// counted to the end of its second; failures, skips, dates of another region and the older history
// are left out.
TEST(AcceptedSince, ReadsTheRecentSuccessesOfAnyMail)
{
    TempDatabase db;
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime second(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second()));
    const auto at = [&](int secondsAgo) { return formatDateTime(second.addSecs(-secondsAgo)); };
    const QString insert = QStringLiteral("insert into 发送情况(客户ID, 邮件ID, 发送日期, 发送结果) values(%1, %2, '%3', '%4');");
    db.exec(insert.arg(1).arg(1).arg(at(90000), QStringLiteral("成功")) // older than a day
            + insert.arg(2).arg(1).arg(at(86000), QStringLiteral("成功"))
            + insert.arg(3).arg(2).arg(at(600), QStringLiteral("失败：550 5.1.1 unknown"))
            + insert.arg(4).arg(2).arg(QStringLiteral("not a date"), QStringLiteral("成功"))
            + insert.arg(5).arg(2).arg(at(60), QStringLiteral("跳过：地址重复"))
            + insert.arg(6).arg(2).arg(at(30), QStringLiteral("成功")));
    Database connection(db.path());
    connection.setConnected(true);
    EXPECT_EQ(readAcceptedSince(connection, now.addSecs(-86400)),
              QList<QDateTime>({second.addSecs(-30).addMSecs(999), second.addSecs(-86000).addMSecs(999)}));
    EXPECT_EQ(readAcceptedSince(connection, now.addSecs(-31)), QList<QDateTime>({second.addSecs(-30).addMSecs(999)}));
    EXPECT_EQ(readAcceptedSince(connection, now), QList<QDateTime>());
}
