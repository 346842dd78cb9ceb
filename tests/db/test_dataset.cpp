#include "db/ADOConnection.h"
#include "db/ADODataSet.h"
#include "db/DatabaseError.h"
#include "db/Stamp.h"
#include "tests/support/Printers.h"
#include "tests/support/TempDatabase.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <functional>

using testsupport::TempDatabase;

namespace {

const QString customerStatement = QStringLiteral("select 客户ID, 客户名称, 电子邮件地址,录入日期 from 客户表");

QString errorOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const EDatabaseError &error) {
        return error.message();
    }
    return QStringLiteral("(no error)");
}

// The four views as the window sets them up, on a fresh file holding three customers, two mails,
// one account and four send records.
class Views : public ::testing::Test
{
protected:
    Views() : connection(db.path())
    {
        db.exec(QStringLiteral(
            "insert into 客户表(客户名称,电子邮件地址,录入日期) values"
            " ('张三','zhang@example.com','2026-01-01 08:00:00.000'),"
            " ('李四','li@example.com','2026-01-02 08:00:00.000'),"
            " ('Wang Wu','wang@example.com','2026-01-03 08:00:00.000');"
            "insert into 邮件表(邮件主题,邮件内容,建立日期) values ('新品','第一行\n第二行',null), ('Sale','text',null);"
            "insert into 设置 values ('发信人','me@example.com','127.0.0.1','me','secret');"
            "insert into 发送情况 values (1,1,'2026/12/1 9:00:00'), (2,1,'2026/12/1 9:00:06'),"
            " (1,2,'2026/12/2 9:00:00'), (3,2,'2026/12/2 9:00:06');"));
        for (TADODataSet *view : {&customers, &mails, &records, &settings})
            view->setConnection(&connection);
        customers.setCommandText(customerStatement);
        mails.setCommandType(TCommandType::cmdTable);
        mails.setCommandText(QStringLiteral("邮件表"));
        records.setCommandType(TCommandType::cmdTable);
        records.setCommandText(QStringLiteral("发送情况"));
        settings.setCommandType(TCommandType::cmdTable);
        settings.setCommandText(QStringLiteral("设置"));
        customers.BeforePost = [this] { customers.setFieldValue(QStringLiteral("录入日期"), QDateTime::currentDateTime()); };
        mails.BeforePost = [this] { mails.setFieldValue(QStringLiteral("建立日期"), QDateTime::currentDateTime()); };
        connection.setConnected(true);
        for (TADODataSet *view : {&customers, &mails, &records, &settings})
            view->Open();
    }

    QString name() const { return customers.FieldByName(QStringLiteral("客户名称")).toString(); }
    QVariant stored(const QString &sql) const { return db.scalar(sql); }

    TempDatabase db;
    TADOConnection connection;
    TADODataSet customers, mails, records, settings;
};

} // namespace

TEST_F(Views, OpenMakesTheFirstRowCurrentAndReadsTheFields)
{
    EXPECT_EQ(customers.RecordCount(), 3);
    EXPECT_EQ(customers.RecNo(), 0);
    EXPECT_FALSE(customers.Eof());
    EXPECT_EQ(name(), QStringLiteral("张三"));
    EXPECT_EQ(customers.FieldByName(QStringLiteral("录入日期")).toDateTime(), QDateTime(QDate(2026, 1, 1), QTime(8, 0)));

    const struct
    {
        QString name;
        TFieldKind kind;
        int size;
        bool readOnly;
    } expected[] = {
        {QStringLiteral("客户ID"), TFieldKind::ftAutoInc, 0, true},
        {QStringLiteral("客户名称"), TFieldKind::ftWideString, 40, false},
        {QStringLiteral("电子邮件地址"), TFieldKind::ftWideString, 30, false},
        {QStringLiteral("录入日期"), TFieldKind::ftDateTime, 0, false},
    };
    ASSERT_EQ(customers.Fields().size(), 4);
    for (int i = 0; i < 4; ++i) {
        const TField &field = customers.Fields().at(i);
        EXPECT_EQ(field.FieldName, expected[i].name);
        EXPECT_EQ(field.Kind, expected[i].kind) << i;
        EXPECT_EQ(field.Size, expected[i].size) << i;
        EXPECT_EQ(field.ReadOnly, expected[i].readOnly) << i;
    }
    EXPECT_EQ(mails.Fields().at(2).Kind, TFieldKind::ftWideMemo);
    EXPECT_TRUE(mails.FieldByName(QStringLiteral("建立日期")).isNull());
    EXPECT_EQ(settings.RecordCount(), 1);
    EXPECT_EQ(settings.FieldByName(QStringLiteral("密码")).toString(), QStringLiteral("secret"));
}

TEST_F(Views, EmptyTableOpensAtEof)
{
    db.exec(QStringLiteral("delete from 客户表"));
    customers.Refresh();
    EXPECT_TRUE(customers.Eof());
    EXPECT_EQ(customers.RecordCount(), 0);
    EXPECT_EQ(customers.RecNo(), -1);
    EXPECT_TRUE(customers.FieldByName(QStringLiteral("客户名称")).isNull());
}

TEST_F(Views, WalkVisitsEveryRowAndLeavesTheLastOneCurrent)
{
    customers.setRecNo(1);
    QStringList seen;
    for (customers.First(); !customers.Eof(); customers.Next())
        seen.append(name());
    EXPECT_EQ(seen, (QStringList{QStringLiteral("张三"), QStringLiteral("李四"), QStringLiteral("Wang Wu")}));
    EXPECT_EQ(customers.RecNo(), 2);
    EXPECT_EQ(name(), QStringLiteral("Wang Wu"));

    customers.Prior();
    EXPECT_FALSE(customers.Eof());
    EXPECT_EQ(customers.RecNo(), 1);
    customers.First();
    customers.Prior();
    EXPECT_TRUE(customers.Bof());
    EXPECT_EQ(customers.RecNo(), 0);
}

TEST_F(Views, FieldNamesIgnoreTheCaseOfLatinLetters)
{
    EXPECT_EQ(customers.FieldIndex(QStringLiteral("客户id")), 0);
    EXPECT_EQ(customers.FieldByName(QStringLiteral("客户id")).toInt(), 1);
    EXPECT_EQ(settings.FieldIndex(QStringLiteral("smtp服务器")), 2);
    EXPECT_EQ(customers.FieldIndex(QStringLiteral("客户")), -1);
    EXPECT_EQ(errorOf([&] { customers.FieldByName(QStringLiteral("电话")); }), QStringLiteral("Field '电话' not found"));
    EXPECT_EQ(errorOf([&] { customers.setFieldValue(QStringLiteral("Phone"), 1); }), QStringLiteral("Field 'Phone' not found"));
    EXPECT_EQ(customers.State(), TDataSetState::dsBrowse);
}

TEST_F(Views, LocateFindsTheFirstEqualRowAndAMissKeepsTheCurrentRow)
{
    mails.Last();
    EXPECT_FALSE(mails.Locate(QStringLiteral("邮件ID"), 99));
    EXPECT_EQ(mails.RecNo(), 1);
    EXPECT_TRUE(mails.Locate(QStringLiteral("邮件id"), QStringLiteral("1")));
    EXPECT_EQ(mails.FieldByName(QStringLiteral("邮件主题")).toString(), QStringLiteral("新品"));

    EXPECT_TRUE(customers.Locate(QStringLiteral("客户名称"), QStringLiteral("WANG WU")));
    EXPECT_EQ(customers.RecNo(), 2);
    EXPECT_TRUE(records.Locate(QStringLiteral("客户ID"), 3));
    EXPECT_EQ(records.RecNo(), 3);
}

TEST_F(Views, SavingStampsTheRowReplacingATypedDate)
{
    customers.setRecNo(1);
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
    customers.setFieldValue(QStringLiteral("客户名称"), QStringLiteral("李四四"));
    customers.setFieldValue(QStringLiteral("录入日期"), QStringLiteral("2001-01-01 00:00:00"));
    EXPECT_EQ(customers.State(), TDataSetState::dsEdit);
    customers.Post();
    EXPECT_EQ(customers.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(customers.RecNo(), 1);

    const QString text = stored(QStringLiteral("select 录入日期 from 客户表 where 客户ID = 2")).toString();
    EXPECT_GE(stamp::fromText(text), before);
    EXPECT_EQ(text.size(), 23) << text.toStdString();
    EXPECT_EQ(stored(QStringLiteral("select 客户名称 from 客户表 where 客户ID = 2")).toString(), QStringLiteral("李四四"));
    EXPECT_EQ(customers.FieldByName(QStringLiteral("录入日期")).toDateTime(), stamp::fromText(text));
    // Only the row saved moves its stamp.
    EXPECT_EQ(stored(QStringLiteral("select 录入日期 from 客户表 where 客户ID = 1")).toString(), QStringLiteral("2026-01-01 08:00:00.000"));
}

TEST_F(Views, NewMailRowGetsItsNumberAndStampAndASecondSaveMovesTheStamp)
{
    mails.Append();
    EXPECT_EQ(mails.State(), TDataSetState::dsInsert);
    EXPECT_EQ(mails.RecordCount(), 3);
    mails.setFieldValue(QStringLiteral("邮件主题"), QStringLiteral("第三封"));
    mails.Post();
    EXPECT_EQ(mails.RecNo(), 2);
    EXPECT_EQ(mails.FieldByName(QStringLiteral("邮件ID")).toInt(), 3);
    const QString first = stored(QStringLiteral("select 建立日期 from 邮件表 where 邮件ID = 3")).toString();
    ASSERT_FALSE(first.isEmpty());

    const QDateTime stampedAt = stamp::fromText(first);
    while (QDateTime::currentDateTime() <= stampedAt) {
    }
    mails.setFieldValue(QStringLiteral("邮件内容"), QStringLiteral("正文"));
    mails.Post();
    EXPECT_GT(stamp::fromText(stored(QStringLiteral("select 建立日期 from 邮件表 where 邮件ID = 3")).toString()), stampedAt);
}

TEST_F(Views, FirstSavesAChangedPendingEditThroughBeforePost)
{
    int beforePost = 0;
    const auto stampHook = customers.BeforePost;
    customers.BeforePost = [&] { ++beforePost; stampHook(); };

    customers.setRecNo(2);
    customers.setFieldValue(QStringLiteral("电子邮件地址"), QStringLiteral("wu@example.com"));
    customers.First();
    EXPECT_EQ(beforePost, 1);
    EXPECT_EQ(customers.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(customers.RecNo(), 0);
    EXPECT_EQ(stored(QStringLiteral("select 电子邮件地址 from 客户表 where 客户ID = 3")).toString(), QStringLiteral("wu@example.com"));

    // An edit that changed nothing is dropped, without a save.
    customers.Edit();
    customers.Next();
    EXPECT_EQ(beforePost, 1);
    EXPECT_EQ(customers.RecNo(), 1);
}

TEST_F(Views, UntouchedNewRowIsDroppedOnMoveAndCancel)
{
    customers.setRecNo(1);
    customers.Insert();
    EXPECT_EQ(customers.RecNo(), 1);
    EXPECT_EQ(customers.RecordCount(), 4);
    EXPECT_TRUE(customers.FieldByName(QStringLiteral("客户名称")).isNull());
    customers.Next();
    EXPECT_EQ(customers.RecordCount(), 3);
    EXPECT_EQ(customers.RecNo(), 2);
    EXPECT_EQ(name(), QStringLiteral("Wang Wu"));

    customers.Insert();
    customers.setFieldValue(QStringLiteral("客户名称"), QStringLiteral("赵六"));
    customers.Cancel();
    EXPECT_EQ(customers.RecordCount(), 3);
    EXPECT_EQ(name(), QStringLiteral("Wang Wu"));
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 客户表")).toInt(), 3);
}

TEST_F(Views, InsertedRowIsWrittenWhereItStands)
{
    customers.setRecNo(1);
    customers.Insert();
    customers.setFieldValue(QStringLiteral("客户名称"), QStringLiteral("赵六"));
    customers.setFieldValue(QStringLiteral("电子邮件地址"), QStringLiteral("zhao@example.com"));
    customers.Post();
    EXPECT_EQ(customers.RecNo(), 1);
    EXPECT_EQ(customers.FieldByName(QStringLiteral("客户ID")).toInt(), 4);
    EXPECT_FALSE(customers.FieldByName(QStringLiteral("录入日期")).isNull());
    EXPECT_EQ(stored(QStringLiteral("select 客户名称 from 客户表 where 客户ID = 4")).toString(), QStringLiteral("赵六"));
    // The table's order comes back at the next read.
    customers.Refresh();
    EXPECT_EQ(customers.RecNo(), 3);
    EXPECT_EQ(name(), QStringLiteral("赵六"));
}

TEST_F(Views, RefusedSaveKeepsTheRowInEditingAndWritesNothing)
{
    const QString refusal = QStringLiteral("CHECK constraint failed: 客户名称超过40个字符");
    const QString tooLong(41, u'名');

    customers.setRecNo(1);
    customers.setFieldValue(QStringLiteral("客户名称"), tooLong);
    EXPECT_EQ(errorOf([&] { customers.Post(); }), refusal);
    EXPECT_EQ(customers.State(), TDataSetState::dsEdit);
    EXPECT_EQ(name(), tooLong);
    EXPECT_EQ(errorOf([&] { customers.Next(); }), refusal); // a move cannot leave it behind either
    EXPECT_EQ(customers.RecNo(), 1);
    EXPECT_EQ(stored(QStringLiteral("select 客户名称 || 录入日期 from 客户表 where 客户ID = 2")).toString(),
              QStringLiteral("李四2026-01-02 08:00:00.000"));
    customers.Cancel();
    EXPECT_EQ(name(), QStringLiteral("李四"));

    customers.Insert();
    customers.setFieldValue(QStringLiteral("客户名称"), tooLong);
    EXPECT_EQ(errorOf([&] { customers.Post(); }), refusal);
    EXPECT_EQ(customers.State(), TDataSetState::dsInsert);
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 客户表")).toInt(), 3);
    customers.setFieldValue(QStringLiteral("客户名称"), QString(40, u'名'));
    customers.Post();
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 客户表")).toInt(), 4);
}

TEST_F(Views, ValuesAreConvertedToTheFieldsKind)
{
    records.Insert();
    records.setFieldValue(QStringLiteral("客户ID"), QStringLiteral("3"));
    records.setFieldValue(QStringLiteral("邮件ID"), QStringLiteral("12"));
    records.setFieldValue(QStringLiteral("发送日期"), QStringLiteral("2026/12/10 9:05:07"));
    records.Post();
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 发送情况 where 客户ID = 3 and 邮件ID = 12")).toInt(), 1);

    // Texts that look like numbers stay texts, digit for digit.
    mails.setFieldValue(QStringLiteral("邮件主题"), QStringLiteral("007"));
    mails.setFieldValue(QStringLiteral("邮件内容"), QStringLiteral("1.50"));
    mails.Post();
    EXPECT_EQ(stored(QStringLiteral("select 邮件主题 || '|' || 邮件内容 from 邮件表 where 邮件ID = 1")).toString(),
              QStringLiteral("007|1.50"));

    EXPECT_EQ(errorOf([&] { customers.setFieldValue(QStringLiteral("录入日期"), QStringLiteral("昨天")); }),
              QStringLiteral("'昨天' is not a valid date and time"));
    EXPECT_EQ(errorOf([&] { records.setFieldValue(QStringLiteral("邮件ID"), QStringLiteral("十二")); }),
              QStringLiteral("'十二' is not a valid integer value"));
    EXPECT_EQ(errorOf([&] { customers.setFieldValue(QStringLiteral("客户ID"), 7); }),
              QStringLiteral("Field '客户ID' cannot be modified"));
}

TEST_F(Views, DeleteRemovesTheRowByItsKey)
{
    records.setRecNo(2); // no automatic number: the row is found by SQLite's rowid
    records.Delete();
    EXPECT_EQ(records.RecordCount(), 3);
    EXPECT_EQ(records.RecNo(), 2);
    EXPECT_EQ(records.FieldByName(QStringLiteral("客户ID")).toInt(), 3);
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 发送情况 where 客户ID = 1")).toInt(), 1);

    records.Last();
    records.Delete();
    EXPECT_EQ(records.RecNo(), 1);

    settings.setFieldValue(QStringLiteral("SMTP服务器"), QStringLiteral("mail.example.com"));
    settings.Post();
    EXPECT_EQ(stored(QStringLiteral("select SMTP服务器 from 设置")).toString(), QStringLiteral("mail.example.com"));
}

TEST_F(Views, RefreshSavesTheEditRereadsKeepsTheRowAndRunsAfterRefresh)
{
    int counted = -1;
    customers.AfterRefresh = [&] { counted = customers.RecordCount(); };
    customers.setRecNo(1);
    customers.setFieldValue(QStringLiteral("客户名称"), QStringLiteral("李四改"));
    db.exec(QStringLiteral("insert into 客户表(客户名称) values ('外部')"));
    EXPECT_EQ(customers.RecordCount(), 3);
    customers.Refresh();
    EXPECT_EQ(counted, 4);
    EXPECT_EQ(customers.RecNo(), 1);
    EXPECT_EQ(name(), QStringLiteral("李四改"));
}

TEST_F(Views, SendRecordStatementsRunAsGiven)
{
    const struct
    {
        QString statement;
        int count;
    } cases[] = {
        {QStringLiteral("select * from 发送情况"), 4},
        {QStringLiteral("select * from 发送情况 where 客户ID = 1"), 2},
        {QStringLiteral("select * from 发送情况 where 邮件ID = 2"), 2},
        {QStringLiteral("select * from 发送情况 where 客户ID = 99"), 0},
        {QStringLiteral("select * from 发送情况  where 客户ID=1 and 邮件ID=2"), 1},
    };
    for (const auto &c : cases) {
        int walked = 0;
        records.AfterOpen = [&] {
            for (records.First(); !records.Eof(); records.Next())
                ++walked;
        };
        records.Close();
        records.setCommandType(TCommandType::cmdText);
        records.setCommandText(c.statement);
        records.Open();
        EXPECT_EQ(walked, c.count) << c.statement.toStdString();
        EXPECT_EQ(records.RecNo(), c.count - 1);
        EXPECT_TRUE(records.CanModify());
        EXPECT_EQ(records.Fields().size(), 3);
    }
    records.Delete(); // filtered rows still carry their key
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 发送情况")).toInt(), 3);
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 发送情况 where 客户ID = 1 and 邮件ID = 2")).toInt(), 0);
}

TEST_F(Views, RefusedStatementLeavesTheViewClosed)
{
    bool opened = false;
    records.AfterOpen = [&] { opened = true; };
    records.Close();
    records.setCommandText(QStringLiteral("select * from 发送情况  where 客户ID= and 邮件ID=2"));
    records.setCommandType(TCommandType::cmdText);
    EXPECT_EQ(errorOf([&] { records.Open(); }), QStringLiteral("near \"and\": syntax error"));
    EXPECT_FALSE(records.Active());
    EXPECT_FALSE(opened);
    EXPECT_EQ(records.State(), TDataSetState::dsInactive);
}

TEST_F(Views, StatementWithoutRowsIsNotRunByOpen)
{
    records.Close();
    records.setCommandType(TCommandType::cmdText);
    records.setCommandText(QStringLiteral("delete from 发送情况"));
    EXPECT_EQ(errorOf([&] { records.Open(); }), QStringLiteral("CommandText does not return a result set"));
    EXPECT_FALSE(records.Active());
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 发送情况")).toInt(), 4);
}

TEST_F(Views, StatementsOverComputedColumnsCannotBeChanged)
{
    records.Close();
    records.setCommandText(QStringLiteral("select 客户ID, count(*) as 数量 from 发送情况 group by 客户ID"));
    records.setCommandType(TCommandType::cmdText);
    records.Open();
    EXPECT_EQ(records.RecordCount(), 3);
    EXPECT_FALSE(records.CanModify());
    EXPECT_EQ(records.FieldByName(QStringLiteral("数量")).toInt(), 2);
    EXPECT_EQ(errorOf([&] { records.Insert(); }), QStringLiteral("Cannot modify a read-only dataset"));
}

TEST_F(Views, ClosedViewRefusesEveryRowOperation)
{
    const QString closed = QStringLiteral("Cannot perform this operation on a closed dataset");
    const std::pair<const char *, std::function<void(TADODataSet &)>> operations[] = {
        {"First", [](TADODataSet &v) { v.First(); }},
        {"Next", [](TADODataSet &v) { v.Next(); }},
        {"Prior", [](TADODataSet &v) { v.Prior(); }},
        {"Last", [](TADODataSet &v) { v.Last(); }},
        {"RecordCount", [](TADODataSet &v) { v.RecordCount(); }},
        {"setRecNo", [](TADODataSet &v) { v.setRecNo(0); }},
        {"Locate", [](TADODataSet &v) { v.Locate(QStringLiteral("邮件ID"), 1); }},
        {"FieldByName", [](TADODataSet &v) { v.FieldByName(QStringLiteral("邮件ID")); }},
        {"setFieldValue", [](TADODataSet &v) { v.setFieldValue(QStringLiteral("邮件主题"), QStringLiteral("x")); }},
        {"Insert", [](TADODataSet &v) { v.Insert(); }},
        {"Append", [](TADODataSet &v) { v.Append(); }},
        {"Edit", [](TADODataSet &v) { v.Edit(); }},
        {"Post", [](TADODataSet &v) { v.Post(); }},
        {"Cancel", [](TADODataSet &v) { v.Cancel(); }},
        {"Delete", [](TADODataSet &v) { v.Delete(); }},
        {"Refresh", [](TADODataSet &v) { v.Refresh(); }},
        {"AppendRow", [](TADODataSet &v) { v.AppendRow({1, 1, QStringLiteral("x")}); }},
    };
    mails.setFieldValue(QStringLiteral("邮件主题"), QStringLiteral("未保存"));
    mails.Close(); // drops the unsaved edit
    EXPECT_EQ(stored(QStringLiteral("select 邮件主题 from 邮件表 where 邮件ID = 1")).toString(), QStringLiteral("新品"));
    for (const auto &[name, operation] : operations)
        EXPECT_EQ(errorOf([&, &operation = operation] { operation(mails); }), closed) << name;
    EXPECT_TRUE(mails.Eof());
    EXPECT_EQ(mails.RecNo(), -1);
    EXPECT_FALSE(mails.CanModify());
    EXPECT_FALSE(mails.value(0, 0).isValid());
}

TEST_F(Views, AppendRowAddsARowWrittenElsewhereWithoutMoving)
{
    records.Close();
    records.setCommandType(TCommandType::cmdText);
    records.setCommandText(QStringLiteral("select * from 发送情况 where 客户ID = 2"));
    records.Open();
    int inserted = -1;
    QObject::connect(&records, &TADODataSet::rowInserted, [&](int row) { inserted = row; });

    db.exec(QStringLiteral("insert into 发送情况 values (3, 12, '2026/12/10 9:05:07')"));
    const qint64 key = db.scalar(QStringLiteral("select max(rowid) from 发送情况")).toLongLong();
    records.AppendRow({3, QStringLiteral("12"), QStringLiteral("2026/12/10 9:05:07")}, key);
    EXPECT_EQ(inserted, 1);
    EXPECT_EQ(records.RecordCount(), 2);
    EXPECT_EQ(records.RecNo(), 0);
    EXPECT_EQ(records.value(1, 1), QVariant(qlonglong(12)));

    records.Last();
    records.Delete(); // the key makes it a row like the others
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 发送情况 where 邮件ID = 12")).toInt(), 0);
}

TEST_F(Views, HooksWalkWithoutMovingBoundControlsRowByRow)
{
    QList<int> announced;
    QObject::connect(&records, &TADODataSet::currentRowChanged, [&](int row) { announced.append(row); });
    records.AfterOpen = [&] {
        for (records.First(); !records.Eof(); records.Next()) {
        }
    };
    records.Close();
    announced.clear();
    records.Open();
    EXPECT_EQ(announced, (QList<int>{0, 3})); // the first row at open, then where the walk ended
    EXPECT_EQ(records.RecNo(), 3);

    announced.clear();
    records.First();
    records.Next();
    EXPECT_EQ(announced, (QList<int>{0, 1}));
}

TEST_F(Views, SourceCannotChangeWhileOpen)
{
    EXPECT_EQ(errorOf([&] { records.setCommandText(QStringLiteral("select * from 发送情况")); }),
              QStringLiteral("Cannot perform this operation on an open dataset"));
}

TEST_F(Views, ClickOnARowBelowAnUntouchedNewRowLandsOnThatRow)
{
    customers.setRecNo(0);
    customers.Insert(); // rows now: new, 张三, 李四, Wang Wu
    customers.setRecNo(3);
    EXPECT_EQ(customers.RecordCount(), 3);
    EXPECT_EQ(name(), QStringLiteral("Wang Wu"));
}

TEST_F(Views, ViewsCloseWithTheirConnection)
{
    bool closed = false;
    QObject::connect(&customers, &TADODataSet::activeChanged, [&](bool active) { closed = !active; });
    connection.setConnected(false);
    EXPECT_TRUE(closed);
    for (TADODataSet *view : {&customers, &mails, &records, &settings})
        EXPECT_FALSE(view->Active());
    EXPECT_EQ(errorOf([&] { customers.First(); }), QStringLiteral("Cannot perform this operation on a closed dataset"));
}
