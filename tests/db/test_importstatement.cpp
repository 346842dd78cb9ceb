#include "CustomerBatch.h"
#include "Database.h"
#include "DatabaseError.h"
#include "ImportStatement.h"
#include "Printers.h"
#include "Stamp.h"
#include "TempDatabase.h"

#include <QDateTime>
#include <QRegularExpression>

#include <gtest/gtest.h>

using testsupport::TempDatabase;

namespace {

const QString importStatement
    = QStringLiteral("insert into 客户表(客户名称,电子邮件地址,录入日期) values(:name,:address,now);");
const QRegularExpression stampForm(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"));

class ImportStatementTest : public ::testing::Test
{
protected:
    ImportStatementTest()
        : connection(db.path())
    {
        query.setDatabase(&connection);
        query.setSql(importStatement);
    }

    void run(const QString &name, const QString &address)
    {
        query.paramByName(QStringLiteral("name")).setValue(name);
        query.paramByName(QStringLiteral("address")).setValue(address);
        query.run();
    }

    TempDatabase db;
    Database connection;
    ImportStatement query;
};

} // namespace

TEST_F(ImportStatementTest, InsertsTheBoundValuesStampedWithTheEnginesNow)
{
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
    run(QStringLiteral("张三"), QStringLiteral("zhang@example.com"));
    run(QStringLiteral("李四"), QStringLiteral("li@example.com"));
    const QDateTime after = QDateTime::currentDateTime().addMSecs(1);

    EXPECT_EQ(db.scalar(QStringLiteral("select group_concat(客户名称 || '<' || 电子邮件地址 || '>', ';') from 客户表"))
                  .toString(),
              QStringLiteral("张三<zhang@example.com>;李四<li@example.com>"));
    const QString stamped = db.scalar(QStringLiteral("select 录入日期 from 客户表 where 客户名称 = '李四'")).toString();
    EXPECT_TRUE(stampForm.match(stamped).hasMatch()) << stamped.toStdString();
    const QDateTime moment = stamp::fromText(stamped);
    EXPECT_GE(moment, before);
    EXPECT_LE(moment, after);
}

TEST_F(ImportStatementTest, TextLongerThanItsColumnIsRefusedAndNothingWritten)
{
    EXPECT_THROW(
        try { run(QString(41, u'名'), QStringLiteral("a@b.c")); } catch (const DatabaseError &error) {
            EXPECT_EQ(error.message(), QStringLiteral("CHECK constraint failed: 客户名称超过40个字符"));
            throw;
        },
        DatabaseError);
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from 客户表")).toInt(), 0);
    run(QString(40, u'名'), QStringLiteral("a@b.c")); // the statement stays usable
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from 客户表")).toInt(), 1);
}

TEST_F(ImportStatementTest, UnknownParameterName)
{
    EXPECT_EQ(query.parameters().size(), 2);
    try {
        query.paramByName(QStringLiteral("phone"));
        FAIL();
    } catch (const DatabaseError &error) {
        EXPECT_EQ(error.message(), QStringLiteral("Parameter 'phone' not found"));
    }
}

// A batch writes exactly the rows the statement writes one at a time, in order.
TEST_F(ImportStatementTest, ABatchWritesTheRowsTheStatementWritesSingly)
{
    QList<QPair<QString, QString>> rows;
    for (int i = 0; i < CustomerBatch::capacity; ++i)
        rows.append({QStringLiteral("客户%1").arg(i), QStringLiteral("c%1@example.com").arg(i)});
    rows[1] = {QString(), QStringLiteral("no-name@example.com")};
    rows[2] = {QStringLiteral("无地址"), QString()};
    rows[3] = {QStringLiteral("O'Brien \"老王\""), QStringLiteral("<ob@example.com>")};
    rows[4] = {QString(40, u'名'), QString(30, u'a')};

    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
    for (const auto &[name, address] : std::as_const(rows))
        run(name, address);
    CustomerBatch batch(connection);
    for (const auto &[name, address] : std::as_const(rows)) {
        EXPECT_FALSE(batch.isFull());
        batch.append(name, address);
    }
    ASSERT_TRUE(batch.isFull());
    batch.write();
    EXPECT_EQ(batch.size(), 0);
    const QDateTime after = QDateTime::currentDateTime().addMSecs(1);

    const auto written
        = db.rows(QStringLiteral("select 客户ID, 客户名称, typeof(客户名称), 电子邮件地址, typeof(电子邮件地址), "
                                 "typeof(录入日期) from 客户表 order by 客户ID"));
    ASSERT_EQ(written.size(), 2 * rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QVariantList &single = written.at(i);
        QVariantList batched = written.at(i + rows.size());
        EXPECT_EQ(batched.takeFirst().toLongLong(), i + rows.size() + 1);
        EXPECT_EQ(batched, single.mid(1)) << i;
    }
    const auto stamps
        = db.rows(QStringLiteral("select distinct 录入日期 from 客户表 where 客户ID > %1").arg(rows.size()));
    ASSERT_EQ(stamps.size(), 1) << "one now for the batch";
    const QString stamped = stamps.first().first().toString();
    EXPECT_TRUE(stampForm.match(stamped).hasMatch()) << stamped.toStdString();
    EXPECT_GE(stamp::fromText(stamped), before);
    EXPECT_LE(stamp::fromText(stamped), after);
}

TEST_F(ImportStatementTest, ARefusedRowLeavesTheWholeBatchUnwritten)
{
    CustomerBatch batch(connection);
    for (int i = 0; i < CustomerBatch::capacity; ++i)
        batch.append(i == 30 ? QString(41, u'名') : QStringLiteral("客户%1").arg(i), QStringLiteral("a@b.c"));
    try {
        batch.write();
        FAIL();
    } catch (const DatabaseError &error) {
        EXPECT_EQ(error.message(), QStringLiteral("CHECK constraint failed: 客户名称超过40个字符"));
    }
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from 客户表")).toInt(), 0);
    EXPECT_EQ(batch.size(), CustomerBatch::capacity);

    batch.clear();
    for (int i = 0; i < CustomerBatch::capacity; ++i)
        batch.append(QStringLiteral("客户%1").arg(i), QStringLiteral("a@b.c"));
    batch.write();
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) || ' ' || max(客户ID) from 客户表")).toString(),
              QStringLiteral("50 50"));
}

TEST(StatementText, NowIsTheEnginesLocalTimeOnlyAsABareWord)
{
    const QString engineNow = QStringLiteral("strftime('%Y-%m-%d %H:%M:%f','now','localtime')");
    const struct
    {
        QString sql;
        QString expected;
    } cases[] = {
        {QStringLiteral("values(:a,now)"), QStringLiteral("values(:a,") + engineNow + QStringLiteral(")")},
        {QStringLiteral("values(NOW)"), QStringLiteral("values(") + engineNow + QStringLiteral(")")},
        {QStringLiteral("values('now', \"now\", [now])"), QStringLiteral("values('now', \"now\", [now])")},
        {QStringLiteral("values(:now, t.now, nowhere, snow)"), QStringLiteral("values(:now, t.now, nowhere, snow)")},
        {QStringLiteral("values(1) -- now"), QStringLiteral("values(1) -- now")},
        {QStringLiteral("values('it''s', now)"), QStringLiteral("values('it''s', ") + engineNow + QStringLiteral(")")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(withEngineNow(c.sql), c.expected) << c.sql.toStdString();
}

TEST(StatementText, ParameterNames)
{
    EXPECT_EQ(parameterNames(importStatement), (QStringList{QStringLiteral("name"), QStringLiteral("address")}));
    EXPECT_EQ(parameterNames(QStringLiteral("select ':x', a::int, :客户 from t where b = :客户")),
              QStringList{QStringLiteral("客户")});
}

TEST(Stamp, StoredTextRoundTrip)
{
    const QDateTime moment(QDate(2026, 12, 10), QTime(14, 5, 9, 123));
    EXPECT_EQ(stamp::toText(moment), QStringLiteral("2026-12-10 14:05:09.123"));
    const struct
    {
        QString text;
        QDateTime expected;
    } cases[] = {
        {QStringLiteral("2026-12-10 14:05:09.123"), moment},
        {QStringLiteral("2026-12-10T14:05:09.123"), moment},
        {QStringLiteral("2026-12-10 14:05:09"), QDateTime(QDate(2026, 12, 10), QTime(14, 5, 9))},
        {QStringLiteral("2026-12-10"), QDateTime(QDate(2026, 12, 10), QTime(0, 0))},
        {QStringLiteral("2026/12/10 9:05:07"), QDateTime()},
        {QStringLiteral("昨天"), QDateTime()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(stamp::fromText(c.text), c.expected) << c.text.toStdString();
}
