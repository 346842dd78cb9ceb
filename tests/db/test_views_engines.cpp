// The window's record views on either engine: a db.mdb file and a database on a throwaway
// PostgreSQL cluster hold the same rows, and the views read, page, edit, insert and delete them
// alike, by each table's key. The server's own key columns never show.
#include "Database.h"
#include "DatabaseError.h"
#include "Dialect.h"
#include "EngineDatabase.h"
#include "Printers.h"
#include "RecordView.h"
#include "Stamp.h"
#include "ViewStatements.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testsupport;

namespace {

QString errorOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const DatabaseError &error) {
        return error.message();
    }
    return QStringLiteral("(no error)");
}

QStringList texts(const QVariantList &values)
{
    QStringList texts;
    for (const QVariant &value : values)
        texts.append(value.isNull() ? QStringLiteral("(null)") : value.toString());
    return texts;
}

// Three customers, two mails, one account, four send records; the views as the window sets them up.
class ViewsEngines : public ::testing::TestWithParam<Engine>
{
protected:
    ViewsEngines()
        : db(GetParam())
        , connection(db.location())
    {
        for (const char *sql : {
                 "insert into 客户表(客户名称,电子邮件地址,录入日期) values"
                 " ('张三','zhang@example.com','2026-01-01 08:00:00.000'),"
                 " ('李四','li@example.com','2026-01-02 08:00:00.000'),"
                 " ('Wang Wu','wang@example.com','2026-01-03 08:00:00.000')",
                 "insert into 邮件表(邮件主题,邮件内容) values ('新品','第一行'), ('Sale','text')",
                 "insert into 设置(发信人名称, 发信人电子邮件, \"SMTP服务器\", 用户名, 密码)"
                 " values ('发信人','me@example.com','127.0.0.1','me','secret')",
                 "insert into 发送情况(\"客户ID\", \"邮件ID\", 发送日期, 发送结果) values (1,1,'2026/12/1 9:00:00','成功'),"
                 " (2,1,'2026/12/1 9:00:06','成功'), (1,2,'2026/12/2 9:00:00','成功'), (3,2,'2026/12/2 9:00:06','失败：x')",
             })
            db.exec(QString::fromUtf8(sql));
        for (RecordView *view : {&customers, &mails, &records, &settings})
            view->setDatabase(&connection);
        customers.setCommandText(customerViewStatement());
        mails.setCommandText(mailViewStatement());
        records.setCommandText(allSendRecordsStatement());
        settings.setCommandType(RecordView::CommandType::Table);
        settings.setCommandText(QStringLiteral("设置"));
        connection.setConnected(true);
        for (RecordView *view : {&customers, &mails, &records, &settings})
            view->open();
    }

    QString key() const { return dialect::recordKey(GetParam()); }
    QStringList shown(const RecordView &view, int row) const
    {
        QVariantList values;
        for (int c = 0; c < view.fields().size(); ++c)
            values.append(view.value(row, c));
        return texts(values);
    }

    EngineDatabase db;
    Database connection;
    RecordView customers, mails, records, settings;
};

} // namespace

TEST_P(ViewsEngines, FieldsAndRowsReadAlikeAndTheServersOwnKeysAreNotShown)
{
    const struct
    {
        const RecordView *view;
        QStringList names;
        QList<FieldKind> kinds;
        QList<int> sizes;
        QList<bool> readOnly;
    } cases[] = {
        {&customers,
         {QStringLiteral("客户ID"), QStringLiteral("客户名称"), QStringLiteral("电子邮件地址"), QStringLiteral("录入日期")},
         {FieldKind::AutoIncrement, FieldKind::String, FieldKind::String, FieldKind::DateTime},
         {0, 100, 254, 0},
         {true, false, false, false}},
        {&mails,
         {QStringLiteral("邮件ID"), QStringLiteral("邮件主题"), QStringLiteral("邮件内容"), QStringLiteral("建立日期"),
          QStringLiteral("广告")},
         {FieldKind::AutoIncrement, FieldKind::String, FieldKind::Memo, FieldKind::DateTime, FieldKind::Integer},
         {0, 255, 0, 0, 0},
         {true, false, false, false, false}},
        {&records,
         {QStringLiteral("客户ID"), QStringLiteral("邮件ID"), QStringLiteral("发送日期"), QStringLiteral("发送结果")},
         {FieldKind::Integer, FieldKind::Integer, FieldKind::String, FieldKind::String},
         {0, 0, 50, 255},
         {false, false, false, false}},
        {&settings,
         {QStringLiteral("发信人名称"), QStringLiteral("发信人电子邮件"), QStringLiteral("SMTP服务器"),
          QStringLiteral("用户名"), QStringLiteral("密码"), QStringLiteral("附带退订方式"), QStringLiteral("退订说明"),
          QStringLiteral("每日上限")},
         {FieldKind::String, FieldKind::String, FieldKind::String, FieldKind::String, FieldKind::String,
          FieldKind::Integer, FieldKind::String, FieldKind::Integer},
         {50, 254, 50, 50, 50, 0, 255, 0},
         {false, false, false, false, false, false, false, false}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.view->commandText().toStdString());
        EXPECT_TRUE(c.view->canModify());
        QStringList names;
        for (const Field &field : c.view->fields())
            names.append(field.fieldName);
        ASSERT_EQ(names, c.names);
        for (int i = 0; i < names.size(); ++i) {
            const Field &field = c.view->fields().at(i);
            EXPECT_EQ(field.kind, c.kinds.at(i)) << i;
            EXPECT_EQ(field.size, c.sizes.at(i)) << i;
            EXPECT_EQ(field.readOnly, c.readOnly.at(i)) << i;
        }
    }
    EXPECT_EQ(customers.recordCount(), 3);
    EXPECT_EQ(shown(customers, 2), (QStringList{QStringLiteral("3"), QStringLiteral("Wang Wu"),
                                                QStringLiteral("wang@example.com"), QStringLiteral("2026-01-03T08:00:00.000")}));
    EXPECT_EQ(customers.fieldByName(QStringLiteral("录入日期")).toDateTime(), QDateTime(QDate(2026, 1, 1), QTime(8, 0)));
    EXPECT_EQ(records.recordCount(), 4);
    EXPECT_EQ(shown(records, 3), (QStringList{QStringLiteral("3"), QStringLiteral("2"),
                                              QStringLiteral("2026/12/2 9:00:06"), QStringLiteral("失败：x")}));
    EXPECT_EQ(settings.fieldByName(QStringLiteral("smtp服务器")).toString(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(records.fieldIndex(QStringLiteral("记录ID")), -1);
    EXPECT_EQ(settings.fieldIndex(QStringLiteral("设置ID")), -1);
}

// The send-record browser's statements as written for a file, and statements over computed columns.
TEST_P(ViewsEngines, FilteredStatementsRunAndKeepTheirKeys)
{
    const struct
    {
        QString statement;
        int count;
        bool canModify;
    } cases[] = {
        {sendRecordsOfCustomerStatement(QStringLiteral("1")), 2, true},
        {sendRecordsOfMailStatement(QStringLiteral("2")), 2, true},
        {sendRecordsOfBothStatement(QStringLiteral("1"), QStringLiteral("2")), 1, true},
        {QStringLiteral("select 客户ID, count(*) as 数量 from 发送情况 group by 客户ID order by 客户ID"), 3, false},
        {QStringLiteral("select * from 发送情况 where 发送结果 = '客户ID'"), 0, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.statement.toStdString());
        records.close();
        records.setCommandText(c.statement);
        records.open();
        EXPECT_EQ(records.recordCount(), c.count);
        EXPECT_EQ(records.canModify(), c.canModify);
        EXPECT_EQ(records.fieldIndex(QStringLiteral("记录ID")), -1);
    }
    EXPECT_EQ(records.fields().size(), 4);

    records.close();
    records.setCommandText(sendRecordsOfBothStatement(QStringLiteral("1"), QStringLiteral("2")));
    records.open();
    EXPECT_EQ(records.key(0), 3);
    records.setFieldValue(QStringLiteral("发送结果"), QStringLiteral("失败：重发"));
    records.post();
    EXPECT_EQ(db.scalar(QStringLiteral("select 发送结果 from 发送情况 where %1 = 3").arg(key())).toString(),
              QStringLiteral("失败：重发"));
    records.remove(); // filtered rows carry their key
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from 发送情况")).toInt(), 3);
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from 发送情况 where %1 = 3").arg(key())).toInt(), 0);
}

TEST_P(ViewsEngines, EditInsertAndDeleteGoByTheKey)
{
    customers.setCurrentRow(1);
    customers.setFieldValue(QStringLiteral("客户名称"), QStringLiteral("李四四"));
    customers.setFieldValue(QStringLiteral("录入日期"), QStringLiteral("2026-02-03 04:05:06"));
    customers.post();
    EXPECT_EQ(texts(db.rows(QStringLiteral("select 客户名称, 录入日期 from 客户表 where \"客户ID\" = 2")).value(0)),
              (QStringList{QStringLiteral("李四四"), QStringLiteral("2026-02-03 04:05:06.000")}));
    EXPECT_EQ(customers.fieldByName(QStringLiteral("录入日期")).toDateTime(),
              QDateTime(QDate(2026, 2, 3), QTime(4, 5, 6)));

    customers.insert();
    customers.setFieldValue(QStringLiteral("客户名称"), QStringLiteral("赵六"));
    customers.post();
    EXPECT_EQ(customers.currentRow(), 3);
    EXPECT_EQ(customers.key(3), 4);
    EXPECT_EQ(customers.fieldByName(QStringLiteral("客户ID")).toInt(), 4);
    EXPECT_EQ(db.scalar(QStringLiteral("select 客户名称 from 客户表 where \"客户ID\" = 4")).toString(),
              QStringLiteral("赵六"));

    // A mail written with a file the view does not read, then its key from the server's sequence.
    mails.append();
    mails.setFieldValue(QStringLiteral("邮件主题"), QStringLiteral("第三封"));
    mails.setUnreadColumn(QStringLiteral("附件内容"), QByteArray("\x00\x01\xff", 3));
    mails.post();
    EXPECT_EQ(mails.fieldByName(QStringLiteral("邮件ID")).toInt(), 3);
    EXPECT_EQ(db.scalar(QStringLiteral("select 附件内容 from 邮件表 where \"邮件ID\" = 3")).toByteArray(),
              QByteArray("\x00\x01\xff", 3));

    // An inserted send record: no automatic number among its fields, the key all the same.
    records.append();
    records.setFieldValue(QStringLiteral("客户ID"), QStringLiteral("4"));
    records.post();
    EXPECT_EQ(records.key(4), 5);

    EXPECT_TRUE(customers.removeKey(1));
    EXPECT_EQ(customers.recordCount(), 3);
    EXPECT_EQ(customers.fieldByName(QStringLiteral("客户名称")).toString(), QStringLiteral("赵六"));
    customers.first();
    customers.remove();
    EXPECT_EQ(texts(db.rows(QStringLiteral("select \"客户ID\" from 客户表 order by \"客户ID\"")).value(0)),
              QStringList{QStringLiteral("3")});
    db.exec(QStringLiteral("delete from 客户表 where \"客户ID\" = 3"));
    EXPECT_FALSE(customers.removeKey(3)); // gone already: the view lets it go
    EXPECT_EQ(customers.recordCount(), 1);

    settings.setFieldValue(QStringLiteral("SMTP服务器"), QStringLiteral("mail.example.com"));
    settings.post();
    EXPECT_EQ(db.scalar(QStringLiteral("select \"SMTP服务器\" from 设置")).toString(), QStringLiteral("mail.example.com"));
}

TEST_P(ViewsEngines, RefusedSaveLeavesTheRowUnsaved)
{
    const QString tooLong(101, u'名');
    customers.setCurrentRow(1);
    customers.setFieldValue(QStringLiteral("客户名称"), tooLong);
    // Either engine's refusal in the same words.
    EXPECT_EQ(errorOf([&] { customers.post(); }), QStringLiteral("客户名称不能超过 100 个字符"));
    EXPECT_EQ(customers.state(), RecordView::State::Editing);
    EXPECT_EQ(db.scalar(QStringLiteral("select 客户名称 from 客户表 where \"客户ID\" = 2")).toString(),
              QStringLiteral("李四"));
    customers.cancel();

    customers.insert();
    customers.setFieldValue(QStringLiteral("客户名称"), tooLong);
    EXPECT_NE(errorOf([&] { customers.post(); }), QStringLiteral("(no error)"));
    EXPECT_EQ(customers.state(), RecordView::State::Inserting);
    customers.setFieldValue(QStringLiteral("客户名称"), QString(100, u'名'));
    customers.post();
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from 客户表")).toInt(), 4);
}

// A run's record written first reading 发送中, then given its result: a view that read it takes
// the result in its place; a newer one is added after the rows.
TEST_P(ViewsEngines, AppendRowReplacesARowReadAndAddsANewOne)
{
    db.exec(QStringLiteral("insert into 发送情况(\"客户ID\", \"邮件ID\", 发送日期, 发送结果) values (3, 12, 'd', '发送中')"));
    const qint64 written = db.scalar(QStringLiteral("select max(%1) from 发送情况").arg(key())).toLongLong();
    records.refresh();
    ASSERT_EQ(records.recordCount(), 5);
    records.appendRow({3, 12, QStringLiteral("d2"), QStringLiteral("成功")}, written);
    EXPECT_EQ(records.recordCount(), 5);
    EXPECT_EQ(shown(records, 4), (QStringList{QStringLiteral("3"), QStringLiteral("12"), QStringLiteral("d2"),
                                              QStringLiteral("成功")}));
    records.appendRow({1, 12, QStringLiteral("d3"), QStringLiteral("成功")}, written + 1);
    EXPECT_EQ(records.recordCount(), 6);
}

// A send-record table several pages long, with gaps in its keys: every row shows in key order
// wherever reading starts; rows removed and added through the view, refresh, locate and last.
TEST_P(ViewsEngines, PagingByKeyAcrossPages)
{
    constexpr int count = 1000;
    db.exec(QStringLiteral("delete from 发送情况"));
    db.exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < %1)"
                           " insert into 发送情况(\"客户ID\", \"邮件ID\", 发送日期, 发送结果)"
                           " select i, i % 7, '2026/12/1 9:00:' || i, case when i % 2 = 1 then '成功' end from n")
                .arg(count));
    db.exec(QStringLiteral("delete from 发送情况 where \"客户ID\" % 7 = 3 or \"客户ID\" <= 10"));
    const auto stored = [&] {
        QList<QStringList> rows;
        for (const QVariantList &row : db.rows(
                 QStringLiteral("select \"客户ID\", \"邮件ID\", 发送日期, 发送结果 from 发送情况 order by %1")))
            rows.append(texts(row));
        return rows;
    };
    const auto expectRows = [&](const char *when) {
        const QList<QStringList> expected = stored();
        ASSERT_EQ(records.recordCount(), expected.size()) << when;
        for (const int row : {int(expected.size()) - 1, 600, 0, 511, 512, 257, 255, 256})
            EXPECT_EQ(shown(records, row), expected.at(row)) << when << ", row " << row;
        for (int row = 0; row < expected.size(); ++row)
            ASSERT_EQ(shown(records, row), expected.at(row)) << when << ", row " << row;
    };

    for (const auto type : {RecordView::CommandType::Table, RecordView::CommandType::Text}) {
        records.close();
        records.setCommandType(type);
        records.setCommandText(type == RecordView::CommandType::Table ? QStringLiteral("发送情况")
                                                                      : allSendRecordsStatement());
        records.open();
        EXPECT_TRUE(records.canModify());
        expectRows("at open");
    }

    const int opened = records.recordCount();
    for (const int row : {600, 300, 10, opened - 4}) {
        records.setCurrentRow(row);
        records.remove();
    }
    records.append();
    records.setFieldValue(QStringLiteral("客户ID"), 5000);
    records.post();
    expectRows("after the changes");

    records.setCurrentRow(700);
    const QStringList current = shown(records, 700);
    db.exec(QStringLiteral("delete from 发送情况 where \"客户ID\" between 100 and 120"));
    db.exec(QStringLiteral("insert into 发送情况(\"客户ID\") values (9000)"));
    records.refresh();
    expectRows("after a refresh");
    EXPECT_EQ(shown(records, records.currentRow()), current);

    records.last();
    EXPECT_EQ(records.fieldByName(QStringLiteral("客户ID")).toInt(), 9000);
    records.first();
    ASSERT_TRUE(records.locate(QStringLiteral("客户ID"), 989));
    EXPECT_EQ(records.fieldByName(QStringLiteral("发送日期")).toString(), QStringLiteral("2026/12/1 9:00:989"));
    EXPECT_FALSE(records.locate(QStringLiteral("客户ID"), 123456));
}

INSTANTIATE_TEST_SUITE_P(, ViewsEngines, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const ::testing::TestParamInfo<Engine> &info) { return engineName(info.param); });

// A statement written for a file, as the server takes it: the schema's names with Latin letters
// quoted outside literals and quoted names; a file's text stays byte for byte.
TEST(ForEngine, QuotesTheLatinNamesOnlyOnTheServer)
{
    const struct
    {
        const char *file;
        const char *server;
    } cases[] = {
        {"select * from 发送情况  where 客户ID=1 and 邮件ID=2", "select * from 发送情况  where \"客户ID\"=1 and \"邮件ID\"=2"},
        {"select 客户ID, 客户名称 from 客户表", "select \"客户ID\", 客户名称 from 客户表"},
        {"select * from 发送情况 where 发送结果 = '客户ID'", "select * from 发送情况 where 发送结果 = '客户ID'"},
        {"select \"客户ID\", smtp服务器, 客户IDs from 设置", "select \"客户ID\", \"SMTP服务器\", 客户IDs from 设置"},
    };
    for (const auto &c : cases) {
        const QString file = QString::fromUtf8(c.file);
        EXPECT_EQ(dialect::forEngine(Engine::Sqlite, file), file);
        EXPECT_EQ(dialect::forEngine(Engine::Postgres, file), QString::fromUtf8(c.server)) << c.file;
    }
}
