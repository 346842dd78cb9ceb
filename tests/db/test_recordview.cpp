#include "Database.h"
#include "DatabaseError.h"
#include "Printers.h"
#include "RecordView.h"
#include "Stamp.h"
#include "TempDatabase.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using testsupport::TempDatabase;

namespace {

const QString customerStatement = QStringLiteral("select 客户ID, 客户名称, 电子邮件地址,录入日期 from 客户表");

QString errorOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const DatabaseError &error) {
        return error.message();
    }
    return QStringLiteral("(no error)");
}

// The four views as the window sets them up, on a fresh file holding three customers, two mails,
// one account and four send records.
class Views : public ::testing::Test
{
protected:
    Views()
        : connection(db.path())
    {
        db.exec(QStringLiteral(
            "insert into 客户表(客户名称,电子邮件地址,录入日期) values"
            " ('张三','zhang@example.com','2026-01-01 08:00:00.000'),"
            " ('李四','li@example.com','2026-01-02 08:00:00.000'),"
            " ('Wang Wu','wang@example.com','2026-01-03 08:00:00.000');"
            "insert into 邮件表(邮件主题,邮件内容,建立日期) values ('新品','第一行\n第二行',null), ('Sale','text',null);"
            "insert into 设置(发信人名称, 发信人电子邮件, SMTP服务器, 用户名, 密码) values ('发信人','me@example.com','127.0.0.1','me','secret');"
            "insert into 发送情况(客户ID, 邮件ID, 发送日期) values (1,1,'2026/12/1 9:00:00'), (2,1,'2026/12/1 9:00:06'),"
            " (1,2,'2026/12/2 9:00:00'), (3,2,'2026/12/2 9:00:06');"));
        for (RecordView *view : {&customers, &mails, &records, &settings})
            view->setDatabase(&connection);
        customers.setCommandText(customerStatement);
        mails.setCommandType(RecordView::CommandType::Table);
        mails.setCommandText(QStringLiteral("邮件表"));
        records.setCommandType(RecordView::CommandType::Table);
        records.setCommandText(QStringLiteral("发送情况"));
        settings.setCommandType(RecordView::CommandType::Table);
        settings.setCommandText(QStringLiteral("设置"));
        customers.beforePost
            = [this] { customers.setFieldValue(QStringLiteral("录入日期"), QDateTime::currentDateTime()); };
        mails.beforePost = [this] { mails.setFieldValue(QStringLiteral("建立日期"), QDateTime::currentDateTime()); };
        connection.setConnected(true);
        for (RecordView *view : {&customers, &mails, &records, &settings})
            view->open();
    }

    QString name() const { return customers.fieldByName(QStringLiteral("客户名称")).toString(); }
    QVariant stored(const QString &sql) const { return db.scalar(sql); }

    TempDatabase db;
    Database connection;
    RecordView customers, mails, records, settings;
};

} // namespace

TEST_F(Views, OpenMakesTheFirstRowCurrentAndReadsTheFields)
{
    EXPECT_EQ(customers.recordCount(), 3);
    EXPECT_EQ(customers.currentRow(), 0);
    EXPECT_FALSE(customers.eof());
    EXPECT_EQ(name(), QStringLiteral("张三"));
    EXPECT_EQ(customers.fieldByName(QStringLiteral("录入日期")).toDateTime(),
              QDateTime(QDate(2026, 1, 1), QTime(8, 0)));

    const struct
    {
        QString name;
        FieldKind kind;
        int size;
        bool readOnly;
    } expected[] = {
        {QStringLiteral("客户ID"), FieldKind::AutoIncrement, 0, true},
        {QStringLiteral("客户名称"), FieldKind::String, 100, false},
        {QStringLiteral("电子邮件地址"), FieldKind::String, 254, false},
        {QStringLiteral("录入日期"), FieldKind::DateTime, 0, false},
    };
    ASSERT_EQ(customers.fields().size(), 4);
    for (int i = 0; i < 4; ++i) {
        const Field &field = customers.fields().at(i);
        EXPECT_EQ(field.fieldName, expected[i].name);
        EXPECT_EQ(field.kind, expected[i].kind) << i;
        EXPECT_EQ(field.size, expected[i].size) << i;
        EXPECT_EQ(field.readOnly, expected[i].readOnly) << i;
    }
    EXPECT_EQ(mails.fields().at(2).kind, FieldKind::Memo);
    EXPECT_TRUE(mails.fieldByName(QStringLiteral("建立日期")).isNull());
    EXPECT_EQ(settings.recordCount(), 1);
    EXPECT_EQ(settings.fieldByName(QStringLiteral("密码")).toString(), QStringLiteral("secret"));
}

TEST_F(Views, EmptyTableOpensAtEof)
{
    db.exec(QStringLiteral("delete from 客户表"));
    customers.refresh();
    EXPECT_TRUE(customers.eof());
    EXPECT_EQ(customers.recordCount(), 0);
    EXPECT_EQ(customers.currentRow(), -1);
    EXPECT_TRUE(customers.fieldByName(QStringLiteral("客户名称")).isNull());
}

TEST_F(Views, WalkVisitsEveryRowAndLeavesTheLastOneCurrent)
{
    customers.setCurrentRow(1);
    QStringList seen;
    for (customers.first(); !customers.eof(); customers.next())
        seen.append(name());
    EXPECT_EQ(seen, (QStringList{QStringLiteral("张三"), QStringLiteral("李四"), QStringLiteral("Wang Wu")}));
    EXPECT_EQ(customers.currentRow(), 2);
    EXPECT_EQ(name(), QStringLiteral("Wang Wu"));

    customers.prior();
    EXPECT_FALSE(customers.eof());
    EXPECT_EQ(customers.currentRow(), 1);
    customers.first();
    customers.prior();
    EXPECT_TRUE(customers.bof());
    EXPECT_EQ(customers.currentRow(), 0);
}

TEST_F(Views, FieldNamesIgnoreTheCaseOfLatinLetters)
{
    EXPECT_EQ(customers.fieldIndex(QStringLiteral("客户id")), 0);
    EXPECT_EQ(customers.fieldByName(QStringLiteral("客户id")).toInt(), 1);
    EXPECT_EQ(settings.fieldIndex(QStringLiteral("smtp服务器")), 2);
    EXPECT_EQ(customers.fieldIndex(QStringLiteral("客户")), -1);
    EXPECT_EQ(errorOf([&] { customers.fieldByName(QStringLiteral("电话")); }),
              QStringLiteral("找不到字段“电话”"));
    EXPECT_EQ(errorOf([&] { customers.setFieldValue(QStringLiteral("Phone"), 1); }),
              QStringLiteral("找不到字段“Phone”"));
    EXPECT_EQ(customers.state(), RecordView::State::Browsing);
}

TEST_F(Views, LocateFindsTheFirstEqualRowAndAMissKeepsTheCurrentRow)
{
    mails.last();
    EXPECT_FALSE(mails.locate(QStringLiteral("邮件ID"), 99));
    EXPECT_EQ(mails.currentRow(), 1);
    EXPECT_TRUE(mails.locate(QStringLiteral("邮件id"), QStringLiteral("1")));
    EXPECT_EQ(mails.fieldByName(QStringLiteral("邮件主题")).toString(), QStringLiteral("新品"));

    EXPECT_TRUE(customers.locate(QStringLiteral("客户名称"), QStringLiteral("WANG WU")));
    EXPECT_EQ(customers.currentRow(), 2);
    EXPECT_TRUE(records.locate(QStringLiteral("客户ID"), 3));
    EXPECT_EQ(records.currentRow(), 3);
}

TEST_F(Views, SavingStampsTheRowReplacingATypedDate)
{
    customers.setCurrentRow(1);
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
    customers.setFieldValue(QStringLiteral("客户名称"), QStringLiteral("李四四"));
    customers.setFieldValue(QStringLiteral("录入日期"), QStringLiteral("2001-01-01 00:00:00"));
    EXPECT_EQ(customers.state(), RecordView::State::Editing);
    customers.post();
    EXPECT_EQ(customers.state(), RecordView::State::Browsing);
    EXPECT_EQ(customers.currentRow(), 1);

    const QString text = stored(QStringLiteral("select 录入日期 from 客户表 where 客户ID = 2")).toString();
    EXPECT_GE(stamp::fromText(text), before);
    EXPECT_EQ(text.size(), 23) << text.toStdString();
    EXPECT_EQ(stored(QStringLiteral("select 客户名称 from 客户表 where 客户ID = 2")).toString(),
              QStringLiteral("李四四"));
    EXPECT_EQ(customers.fieldByName(QStringLiteral("录入日期")).toDateTime(), stamp::fromText(text));
    // Only the row saved moves its stamp.
    EXPECT_EQ(stored(QStringLiteral("select 录入日期 from 客户表 where 客户ID = 1")).toString(),
              QStringLiteral("2026-01-01 08:00:00.000"));
}

TEST_F(Views, NewMailRowGetsItsNumberAndStampAndASecondSaveMovesTheStamp)
{
    mails.append();
    EXPECT_EQ(mails.state(), RecordView::State::Inserting);
    EXPECT_EQ(mails.recordCount(), 3);
    mails.setFieldValue(QStringLiteral("邮件主题"), QStringLiteral("第三封"));
    mails.post();
    EXPECT_EQ(mails.currentRow(), 2);
    EXPECT_EQ(mails.fieldByName(QStringLiteral("邮件ID")).toInt(), 3);
    const QString first = stored(QStringLiteral("select 建立日期 from 邮件表 where 邮件ID = 3")).toString();
    ASSERT_FALSE(first.isEmpty());

    const QDateTime stampedAt = stamp::fromText(first);
    while (QDateTime::currentDateTime() <= stampedAt) { }
    mails.setFieldValue(QStringLiteral("邮件内容"), QStringLiteral("正文"));
    mails.post();
    EXPECT_GT(stamp::fromText(stored(QStringLiteral("select 建立日期 from 邮件表 where 邮件ID = 3")).toString()),
              stampedAt);
}

TEST_F(Views, FirstSavesAChangedPendingEditThroughBeforePost)
{
    int beforePost = 0;
    const auto stampHook = customers.beforePost;
    customers.beforePost = [&] {
        ++beforePost;
        stampHook();
    };

    customers.setCurrentRow(2);
    customers.setFieldValue(QStringLiteral("电子邮件地址"), QStringLiteral("wu@example.com"));
    customers.first();
    EXPECT_EQ(beforePost, 1);
    EXPECT_EQ(customers.state(), RecordView::State::Browsing);
    EXPECT_EQ(customers.currentRow(), 0);
    EXPECT_EQ(stored(QStringLiteral("select 电子邮件地址 from 客户表 where 客户ID = 3")).toString(),
              QStringLiteral("wu@example.com"));

    // An edit that changed nothing is dropped, without a save.
    customers.edit();
    customers.next();
    EXPECT_EQ(beforePost, 1);
    EXPECT_EQ(customers.currentRow(), 1);
}

TEST_F(Views, UntouchedNewRowIsDroppedOnMoveAndCancel)
{
    customers.setCurrentRow(1);
    customers.insert();
    EXPECT_EQ(customers.currentRow(), 3); // new rows go at the end
    EXPECT_EQ(customers.recordCount(), 4);
    EXPECT_TRUE(customers.fieldByName(QStringLiteral("客户名称")).isNull());
    customers.next();
    EXPECT_EQ(customers.recordCount(), 3);
    EXPECT_EQ(customers.currentRow(), 2);
    EXPECT_EQ(name(), QStringLiteral("Wang Wu"));

    customers.insert();
    customers.setFieldValue(QStringLiteral("客户名称"), QStringLiteral("赵六"));
    customers.cancel();
    EXPECT_EQ(customers.recordCount(), 3);
    EXPECT_EQ(name(), QStringLiteral("Wang Wu"));
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 客户表")).toInt(), 3);

    // Cancelling goes back to the row the new one was started from.
    customers.first();
    customers.insert();
    customers.cancel();
    EXPECT_EQ(customers.currentRow(), 0);
    EXPECT_EQ(name(), QStringLiteral("张三"));
}

TEST_F(Views, InsertedRowIsAddedAtTheEndAndWritten)
{
    customers.setCurrentRow(1);
    customers.insert();
    EXPECT_EQ(customers.value(1, 1).toString(), QStringLiteral("李四")) << "the rows shown keep their places";
    customers.setFieldValue(QStringLiteral("客户名称"), QStringLiteral("赵六"));
    customers.setFieldValue(QStringLiteral("电子邮件地址"), QStringLiteral("zhao@example.com"));
    customers.post();
    EXPECT_EQ(customers.currentRow(), 3);
    EXPECT_EQ(customers.fieldByName(QStringLiteral("客户ID")).toInt(), 4);
    EXPECT_FALSE(customers.fieldByName(QStringLiteral("录入日期")).isNull());
    EXPECT_EQ(stored(QStringLiteral("select 客户名称 from 客户表 where 客户ID = 4")).toString(),
              QStringLiteral("赵六"));
    // The table's order comes back at the next read.
    customers.refresh();
    EXPECT_EQ(customers.currentRow(), 3);
    EXPECT_EQ(name(), QStringLiteral("赵六"));
}

TEST_F(Views, RefusedSaveKeepsTheRowInEditingAndWritesNothing)
{
    // The engine's refusal in the user's words.
    const QString refusal = QStringLiteral("客户名称不能超过 100 个字符");
    const QString tooLong(101, u'名');

    customers.setCurrentRow(1);
    customers.setFieldValue(QStringLiteral("客户名称"), tooLong);
    EXPECT_EQ(errorOf([&] { customers.post(); }), refusal);
    EXPECT_EQ(customers.state(), RecordView::State::Editing);
    EXPECT_EQ(name(), tooLong);
    EXPECT_EQ(errorOf([&] { customers.next(); }), refusal); // a move cannot leave it behind either
    EXPECT_EQ(customers.currentRow(), 1);
    EXPECT_EQ(stored(QStringLiteral("select 客户名称 || 录入日期 from 客户表 where 客户ID = 2")).toString(),
              QStringLiteral("李四2026-01-02 08:00:00.000"));
    customers.cancel();
    EXPECT_EQ(name(), QStringLiteral("李四"));

    customers.insert();
    customers.setFieldValue(QStringLiteral("客户名称"), tooLong);
    EXPECT_EQ(errorOf([&] { customers.post(); }), refusal);
    EXPECT_EQ(customers.state(), RecordView::State::Inserting);
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 客户表")).toInt(), 3);
    customers.setFieldValue(QStringLiteral("客户名称"), QString(100, u'名'));
    customers.post();
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 客户表")).toInt(), 4);
}

TEST_F(Views, ValuesAreConvertedToTheFieldsKind)
{
    records.insert();
    records.setFieldValue(QStringLiteral("客户ID"), QStringLiteral("3"));
    records.setFieldValue(QStringLiteral("邮件ID"), QStringLiteral("12"));
    records.setFieldValue(QStringLiteral("发送日期"), QStringLiteral("2026/12/10 9:05:07"));
    records.post();
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 发送情况 where 客户ID = 3 and 邮件ID = 12")).toInt(), 1);

    // Texts that look like numbers stay texts, digit for digit.
    mails.setFieldValue(QStringLiteral("邮件主题"), QStringLiteral("007"));
    mails.setFieldValue(QStringLiteral("邮件内容"), QStringLiteral("1.50"));
    mails.post();
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
    records.setCurrentRow(2); // no automatic number: the row is found by SQLite's rowid
    records.remove();
    EXPECT_EQ(records.recordCount(), 3);
    EXPECT_EQ(records.currentRow(), 2);
    EXPECT_EQ(records.fieldByName(QStringLiteral("客户ID")).toInt(), 3);
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 发送情况 where 客户ID = 1")).toInt(), 1);

    records.last();
    records.remove();
    EXPECT_EQ(records.currentRow(), 1);

    settings.setFieldValue(QStringLiteral("SMTP服务器"), QStringLiteral("mail.example.com"));
    settings.post();
    EXPECT_EQ(stored(QStringLiteral("select SMTP服务器 from 设置")).toString(), QStringLiteral("mail.example.com"));
}

// A record chosen by its key is the one deleted wherever the cursor went meanwhile; the current
// record stays current with its edit. A key the view no longer holds deletes nothing.
TEST_F(Views, DeleteByKeyRemovesThatRecordAndKeepsTheCurrentOneAndItsEdit)
{
    const std::optional<qint64> first = customers.key(0);
    ASSERT_EQ(first, 1);
    customers.last();
    customers.setFieldValue(QStringLiteral("客户名称"), QStringLiteral("王五"));

    EXPECT_TRUE(customers.removeKey(*first));
    EXPECT_EQ(customers.recordCount(), 2);
    EXPECT_EQ(customers.currentRow(), 1);
    EXPECT_EQ(customers.state(), RecordView::State::Editing);
    EXPECT_EQ(name(), QStringLiteral("王五"));
    customers.post();
    EXPECT_EQ(stored(QStringLiteral("select group_concat(客户名称, ',') from (select 客户名称 from 客户表 order by 客户ID)")).toString(),
              QStringLiteral("李四,王五"));

    EXPECT_FALSE(customers.removeKey(*first));
    db.exec(QStringLiteral("delete from 客户表 where 客户ID = 2"));
    EXPECT_FALSE(customers.removeKey(2)); // gone from the file: only the view lets it go
    EXPECT_EQ(customers.recordCount(), 1);
    EXPECT_EQ(name(), QStringLiteral("王五"));
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 客户表")).toInt(), 1);
    EXPECT_EQ(customers.key(1), std::nullopt); // no such row
}

TEST_F(Views, RefreshSavesTheEditRereadsKeepsTheRowAndRunsAfterRefresh)
{
    int counted = -1;
    customers.afterRefresh = [&] { counted = customers.recordCount(); };
    customers.setCurrentRow(1);
    customers.setFieldValue(QStringLiteral("客户名称"), QStringLiteral("李四改"));
    db.exec(QStringLiteral("insert into 客户表(客户名称) values ('外部')"));
    EXPECT_EQ(customers.recordCount(), 3);
    customers.refresh();
    EXPECT_EQ(counted, 4);
    EXPECT_EQ(customers.currentRow(), 1);
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
        records.afterOpen = [&] {
            for (records.first(); !records.eof(); records.next())
                ++walked;
        };
        records.close();
        records.setCommandType(RecordView::CommandType::Text);
        records.setCommandText(c.statement);
        records.open();
        EXPECT_EQ(walked, c.count) << c.statement.toStdString();
        EXPECT_EQ(records.currentRow(), c.count - 1);
        EXPECT_TRUE(records.canModify());
        EXPECT_EQ(records.fields().size(), 4); // every column, the result included
    }
    records.remove(); // filtered rows still carry their key
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 发送情况")).toInt(), 3);
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 发送情况 where 客户ID = 1 and 邮件ID = 2")).toInt(), 0);
}

TEST_F(Views, RefusedStatementLeavesTheViewClosed)
{
    bool opened = false;
    records.afterOpen = [&] { opened = true; };
    records.close();
    records.setCommandText(QStringLiteral("select * from 发送情况  where 客户ID= and 邮件ID=2"));
    records.setCommandType(RecordView::CommandType::Text);
    EXPECT_EQ(errorOf([&] { records.open(); }), QStringLiteral("near \"and\": syntax error"));
    EXPECT_FALSE(records.isActive());
    EXPECT_FALSE(opened);
    EXPECT_EQ(records.state(), RecordView::State::Inactive);
}

TEST_F(Views, StatementWithoutRowsIsNotRunByOpen)
{
    records.close();
    records.setCommandType(RecordView::CommandType::Text);
    records.setCommandText(QStringLiteral("delete from 发送情况"));
    EXPECT_EQ(errorOf([&] { records.open(); }), QStringLiteral("CommandText does not return a result set"));
    EXPECT_FALSE(records.isActive());
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 发送情况")).toInt(), 4);
}

TEST_F(Views, StatementsOverComputedColumnsCannotBeChanged)
{
    records.close();
    records.setCommandText(QStringLiteral("select 客户ID, count(*) as 数量 from 发送情况 group by 客户ID"));
    records.setCommandType(RecordView::CommandType::Text);
    records.open();
    EXPECT_EQ(records.recordCount(), 3);
    EXPECT_FALSE(records.canModify());
    EXPECT_EQ(records.fieldByName(QStringLiteral("数量")).toInt(), 2);
    EXPECT_EQ(errorOf([&] { records.insert(); }), DatabaseError::readOnlyDataset().message());
}

TEST_F(Views, ClosedViewRefusesEveryRowOperation)
{
    const QString closed = DatabaseError::closedDataset().message();
    const std::pair<const char *, std::function<void(RecordView &)>> operations[] = {
        {"first", [](RecordView &v) { v.first(); }},
        {"next", [](RecordView &v) { v.next(); }},
        {"prior", [](RecordView &v) { v.prior(); }},
        {"last", [](RecordView &v) { v.last(); }},
        {"recordCount", [](RecordView &v) { v.recordCount(); }},
        {"setCurrentRow", [](RecordView &v) { v.setCurrentRow(0); }},
        {"locate", [](RecordView &v) { v.locate(QStringLiteral("邮件ID"), 1); }},
        {"fieldByName", [](RecordView &v) { v.fieldByName(QStringLiteral("邮件ID")); }},
        {"setFieldValue", [](RecordView &v) { v.setFieldValue(QStringLiteral("邮件主题"), QStringLiteral("x")); }},
        {"insert", [](RecordView &v) { v.insert(); }},
        {"append", [](RecordView &v) { v.append(); }},
        {"edit", [](RecordView &v) { v.edit(); }},
        {"post", [](RecordView &v) { v.post(); }},
        {"cancel", [](RecordView &v) { v.cancel(); }},
        {"remove", [](RecordView &v) { v.remove(); }},
        {"refresh", [](RecordView &v) { v.refresh(); }},
        {"appendRow",
         [](RecordView &v) {
             v.appendRow({1, 1, QStringLiteral("x")});
         }},
    };
    mails.setFieldValue(QStringLiteral("邮件主题"), QStringLiteral("未保存"));
    mails.close(); // drops the unsaved edit
    EXPECT_EQ(stored(QStringLiteral("select 邮件主题 from 邮件表 where 邮件ID = 1")).toString(),
              QStringLiteral("新品"));
    for (const auto &[name, operation] : operations)
        EXPECT_EQ(errorOf([&, &operation = operation] { operation(mails); }), closed) << name;
    EXPECT_TRUE(mails.eof());
    EXPECT_EQ(mails.currentRow(), -1);
    EXPECT_FALSE(mails.canModify());
    EXPECT_FALSE(mails.value(0, 0).isValid());
}

TEST_F(Views, AppendRowAddsARowWrittenElsewhereWithoutMoving)
{
    records.close();
    records.setCommandType(RecordView::CommandType::Text);
    records.setCommandText(QStringLiteral("select * from 发送情况 where 客户ID = 2"));
    records.open();
    int inserted = -1;
    QObject::connect(&records, &RecordView::rowInserted, [&](int row) { inserted = row; });

    db.exec(QStringLiteral("insert into 发送情况(客户ID, 邮件ID, 发送日期) values (3, 12, '2026/12/10 9:05:07')"));
    const qint64 key = db.scalar(QStringLiteral("select max(rowid) from 发送情况")).toLongLong();
    records.appendRow({3, QStringLiteral("12"), QStringLiteral("2026/12/10 9:05:07")}, key);
    EXPECT_EQ(inserted, 1);
    EXPECT_EQ(records.recordCount(), 2);
    EXPECT_EQ(records.currentRow(), 0);
    EXPECT_EQ(records.value(1, 1), QVariant(qlonglong(12)));

    records.last();
    records.remove(); // the key makes it a row like the others
    EXPECT_EQ(stored(QStringLiteral("select count(*) from 发送情况 where 邮件ID = 12")).toInt(), 0);
}

// A run's record is written first reading 发送中 and then given its result; a view opened in
// between read it already and takes the result in its place, whether it pages the table or read a
// statement whole. A record the view's filter left out is added after its rows.
TEST_F(Views, AppendRowOfARowTheViewReadAlreadyReplacesIt)
{
    const QString sources[] = {QStringLiteral("select * from 发送情况"),
                               QStringLiteral("select * from 发送情况 where 客户ID = 3")};
    for (const QString &source : sources) {
        SCOPED_TRACE(source.toStdString());
        db.exec(QStringLiteral("insert into 发送情况(客户ID, 邮件ID, 发送日期, 发送结果) values (3, 12, 'd', '发送中')"));
        const qint64 key = db.scalar(QStringLiteral("select max(rowid) from 发送情况")).toLongLong();
        records.close();
        records.setCommandType(RecordView::CommandType::Text);
        records.setCommandText(source);
        records.open();
        const int count = records.recordCount();
        int inserted = -1;
        int changed = -1;
        const auto onInsert
            = QObject::connect(&records, &RecordView::rowInserted, [&](int row) { inserted = row; });
        const auto onChange = QObject::connect(&records, &RecordView::rowChanged, [&](int row) { changed = row; });

        records.appendRow({3, 12, QStringLiteral("d2"), QStringLiteral("成功")}, key);
        EXPECT_EQ(inserted, -1);
        EXPECT_EQ(records.recordCount(), count);
        ASSERT_GE(changed, 0);
        EXPECT_EQ(records.value(changed, records.fieldIndex(QStringLiteral("发送结果"))), QStringLiteral("成功"));
        EXPECT_EQ(records.value(changed, records.fieldIndex(QStringLiteral("发送日期"))), QStringLiteral("d2"));

        // An older key the filter did not take (customer 1's), and a newer one, are added.
        records.appendRow({1, 1, QStringLiteral("d3"), QStringLiteral("成功")}, 1);
        records.appendRow({3, 12, QStringLiteral("d4"), QStringLiteral("成功")}, key + 100);
        EXPECT_EQ(records.recordCount(), count + (source.contains(QStringLiteral("where")) ? 2 : 1));
        QObject::disconnect(onInsert);
        QObject::disconnect(onChange);
    }
}

TEST_F(Views, HooksWalkWithoutMovingBoundControlsRowByRow)
{
    QList<int> announced;
    QObject::connect(&records, &RecordView::currentRowChanged, [&](int row) { announced.append(row); });
    records.afterOpen = [&] {
        for (records.first(); !records.eof(); records.next()) { }
    };
    records.close();
    announced.clear();
    records.open();
    EXPECT_EQ(announced, (QList<int>{0, 3})); // the first row at open, then where the walk ended
    EXPECT_EQ(records.currentRow(), 3);

    announced.clear();
    records.first();
    records.next();
    EXPECT_EQ(announced, (QList<int>{0, 1}));
}

TEST_F(Views, SourceCannotChangeWhileOpen)
{
    EXPECT_EQ(errorOf([&] { records.setCommandText(QStringLiteral("select * from 发送情况")); }),
              DatabaseError::openDataset().message());
}

TEST_F(Views, ClickOnARowAboveAnUntouchedNewRowLandsOnThatRow)
{
    customers.setCurrentRow(0);
    customers.insert(); // rows now: 张三, 李四, Wang Wu, new
    customers.setCurrentRow(1);
    EXPECT_EQ(customers.recordCount(), 3);
    EXPECT_EQ(name(), QStringLiteral("李四"));
}

TEST_F(Views, ViewsCloseWithTheirConnection)
{
    bool closed = false;
    QObject::connect(&customers, &RecordView::activeChanged, [&](bool active) { closed = !active; });
    connection.setConnected(false);
    EXPECT_TRUE(closed);
    for (RecordView *view : {&customers, &mails, &records, &settings})
        EXPECT_FALSE(view->isActive());
    EXPECT_EQ(errorOf([&] { customers.first(); }), DatabaseError::closedDataset().message());
}
