// The do-not-mail list on a real file: one address whatever its blanks and letter case, the same
// answer from the look-up and from the table's unique index, and an older file brought up to date.
#include "Database.h"
#include "DatabaseError.h"
#include "RefusalList.h"
#include "TempDatabase.h"

#include <gtest/gtest.h>

namespace {

using testsupport::TempDatabase;

struct SpellingCase
{
    const char *what;
    QString listed;
    QString asked;
    bool same;
};

// Blanks around the address and ASCII letter case do not matter; anything else does.
const SpellingCase spellingCases[] = {
    {"as listed", QStringLiteral("li@example.test"), QStringLiteral("li@example.test"), true},
    {"other case", QStringLiteral("li@example.test"), QStringLiteral("LI@Example.TEST"), true},
    {"blanks around", QStringLiteral("li@example.test"), QStringLiteral("  li@example.test "), true},
    {"listed with blanks and capitals", QStringLiteral(" Li@Example.Test\t"), QStringLiteral("li@example.test"), true},
    {"another address", QStringLiteral("li@example.test"), QStringLiteral("li2@example.test"), false},
    {"a blank inside", QStringLiteral("li@example.test"), QStringLiteral("li @example.test"), false},
    {"a longer domain", QStringLiteral("li@example.test"), QStringLiteral("li@example.test.cn"), false},
    {"a Chinese domain", QStringLiteral("li@例子.测试"), QStringLiteral("LI@例子.测试"), true},
};

class RefusalListTest : public ::testing::Test
{
protected:
    void SetUp() override { connection.setConnected(true); }

    TempDatabase db;
    Database connection{db.path()};
};

TEST_F(RefusalListTest, AnAddressIsTheSameWhateverItsBlanksAndCase)
{
    for (const SpellingCase &c : spellingCases) {
        SCOPED_TRACE(c.what);
        db.exec(QStringLiteral("delete from 退订名单"));
        RefusalList list(connection);
        ASSERT_TRUE(list.add(c.listed, RefusalByHandReason));
        EXPECT_EQ(list.contains(c.asked), c.same);
        // A second add is refused by the list exactly when the look-up finds it...
        EXPECT_EQ(list.add(c.asked, RefusalImportReason), !c.same);
        // ...and the index refuses a row written past the list, the same way.
        bool refused = false;
        try {
            db.exec(QStringLiteral("insert into 退订名单(电子邮件地址) values('%1')").arg(c.asked.trimmed() + u' '));
        } catch (const DatabaseError &) {
            refused = true;
        }
        EXPECT_TRUE(refused);
    }
}

TEST_F(RefusalListTest, AnAddIsStoredTrimmedWithItsDateAndReason)
{
    RefusalList list(connection);
    EXPECT_FALSE(list.add(QStringLiteral("   "), RefusalByHandReason)) << "an empty address";
    EXPECT_FALSE(list.contains(QString()));
    ASSERT_TRUE(list.add(QStringLiteral(" Zhao@Example.test "), RefusalByHandReason));
    const auto rows = db.rows(QStringLiteral("select 电子邮件地址, 退订日期, 原因 from 退订名单"));
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].value(0).toString(), QStringLiteral("Zhao@Example.test"));
    EXPECT_FALSE(rows[0].value(1).toString().isEmpty());
    EXPECT_EQ(rows[0].value(2).toString(), QStringLiteral("手工加入"));
    EXPECT_THROW(list.add(QStringLiteral("a").repeated(256), RefusalByHandReason), DatabaseError);
}

// A file from before the list and the options: the open adds them (off, with the default text),
// keeps the rows, and a second open changes nothing.
TEST(RefusalUpgrade, AnOlderFileGetsTheListAndTheOptionsOff)
{
    TempDatabase db;
    db.exec(QStringLiteral(
        "drop table 退订名单;"
        "drop table 邮件表; create table 邮件表 (邮件ID INTEGER PRIMARY KEY AUTOINCREMENT, 邮件主题 NVARCHAR(255), "
        "邮件内容 NTEXT, 建立日期 DATETIME);"
        "insert into 邮件表(邮件主题, 邮件内容) values('新品', '内容');"
        "drop table 设置; create table 设置 (发信人名称 NVARCHAR(50), 发信人电子邮件 NVARCHAR(50), "
        "SMTP服务器 NVARCHAR(50), 用户名 NVARCHAR(50), 密码 NVARCHAR(50));"
        "insert into 设置(发信人电子邮件) values('sales@example.test');"));
    for (int open = 0; open < 2; ++open) {
        Database connection(db.path());
        connection.setConnected(true);
        EXPECT_EQ(db.scalar(QStringLiteral("select 广告 from 邮件表")).toInt(), 0);
        EXPECT_EQ(db.scalar(QStringLiteral("select 邮件主题 from 邮件表")).toString(), QStringLiteral("新品"));
        EXPECT_EQ(db.scalar(QStringLiteral("select 退订说明 from 设置")).toString(), DefaultRefusalText);
        EXPECT_FALSE(readRefusalOption(connection).on);
        RefusalList list(connection);
        EXPECT_EQ(list.add(QStringLiteral("li@example.test"), RefusalByHandReason), open == 0);
        EXPECT_TRUE(list.contains(QStringLiteral("LI@example.test")));
    }
    db.exec(QStringLiteral("update 设置 set 附带退订方式 = 1, 退订说明 = '回复TD退订'"));
    Database connection(db.path());
    connection.setConnected(true);
    const RefusalOption option = readRefusalOption(connection);
    EXPECT_TRUE(option.on);
    EXPECT_EQ(option.text, QStringLiteral("回复TD退订"));
}

} // namespace
