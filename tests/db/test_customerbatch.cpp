// What the customer import writes: the rows, their entry date, and what a refused row leaves.

#include "CustomerBatch.h"
#include "Database.h"
#include "DatabaseError.h"
#include "Printers.h"
#include "Stamp.h"
#include "TempDatabase.h"

#include <QDateTime>
#include <QRegularExpression>

#include <gtest/gtest.h>

using testsupport::TempDatabase;

namespace {

const QRegularExpression stampForm(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"));

class CustomerBatchTest : public ::testing::Test
{
protected:
    CustomerBatchTest()
        : connection(db.path())
    {
    }

    // One row alone, as the rows of a short batch go in.
    void writeSingly(const QString &name, const QString &address)
    {
        batch.append(1, name, address);
        batch.write();
    }

    int count() const { return db.scalar(QStringLiteral("select count(*) from 客户表")).toInt(); }

    TempDatabase db;
    Database connection;
    CustomerBatch batch{connection};
};

} // namespace

TEST_F(CustomerBatchTest, SingleRowsAreStampedWithTheEnginesNow)
{
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
    writeSingly(QStringLiteral("张三"), QStringLiteral("zhang@example.com"));
    writeSingly(QStringLiteral("李四"), QStringLiteral("li@example.com"));
    const QDateTime after = QDateTime::currentDateTime().addMSecs(1);

    EXPECT_EQ(db.scalar(QStringLiteral("select group_concat(客户名称 || '<' || 电子邮件地址 || '>', ';') from 客户表"))
                  .toString(),
              QStringLiteral("张三<zhang@example.com>;李四<li@example.com>"));
    const QString stamped = db.scalar(QStringLiteral("select 录入日期 from 客户表 where 客户名称 = '李四'")).toString();
    EXPECT_TRUE(stampForm.match(stamped).hasMatch()) << stamped.toStdString();
    const QDateTime moment = stamp::fromText(stamped);
    EXPECT_GE(moment, before);
    EXPECT_LE(moment, after);
    EXPECT_EQ(batch.written(), 2);
}

TEST_F(CustomerBatchTest, TextLongerThanItsColumnIsRefusedAndNothingWritten)
{
    EXPECT_THROW(
        try { writeSingly(QString(101, u'名'), QStringLiteral("a@b.c")); } catch (const DatabaseError &error) {
            EXPECT_EQ(error.message(), QStringLiteral("第1行未能导入：CHECK constraint failed: 客户名称超过100个字符"));
            throw;
        },
        DatabaseError);
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(batch.size(), 0);
    writeSingly(QString(40, u'名'), QStringLiteral("a@b.c")); // the batch stays usable
    EXPECT_EQ(count(), 1);
}

// A full batch writes exactly the rows single rows write, in order.
TEST_F(CustomerBatchTest, AFullBatchWritesTheRowsSingleRowsWrite)
{
    QList<QPair<QString, QString>> rows;
    for (int i = 0; i < CustomerBatch::capacity; ++i)
        rows.append({QStringLiteral("客户%1").arg(i), QStringLiteral("c%1@example.com").arg(i)});
    rows[1] = {QString(), QStringLiteral("no-name@example.com")};
    rows[2] = {QStringLiteral("无地址"), QString()};
    rows[3] = {QStringLiteral("O'Brien \"老王\""), QStringLiteral("<ob@example.com>")};
    rows[4] = {QString(100, u'名'), QString(254, u'a')};

    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
    for (const auto &[name, address] : std::as_const(rows))
        writeSingly(name, address);
    for (const auto &[name, address] : std::as_const(rows)) {
        EXPECT_FALSE(batch.isFull());
        batch.append(1, name, address);
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
    EXPECT_EQ(batch.written(), 2 * rows.size());
}

// A refused row leaves its batch's one statement unwritten; the rows again singly keep the rows
// before it, once each under consecutive keys, and name it by its sheet row.
TEST_F(CustomerBatchTest, ARefusedRowKeepsOnlyTheRowsBeforeIt)
{
    const struct
    {
        qsizetype size;
        qsizetype refused;
        QString error;
    } cases[] = {
        {CustomerBatch::capacity, 30, QStringLiteral("第131行未能导入：CHECK constraint failed: 客户名称超过100个字符")},
        {3, 1, QStringLiteral("第102行未能导入：CHECK constraint failed: 客户名称超过100个字符")},
    };
    int kept = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        for (qsizetype i = 0; i < c.size; ++i)
            batch.append(int(101 + i), i == c.refused ? QString(101, u'名') : QStringLiteral("客户%1").arg(i),
                         QStringLiteral("a@b.c"));
        try {
            batch.write();
            ADD_FAILURE() << "written";
        } catch (const DatabaseError &error) {
            EXPECT_EQ(error.message(), c.error);
        }
        kept += int(c.refused);
        EXPECT_EQ(batch.size(), 0);
        EXPECT_EQ(batch.written(), kept);
        EXPECT_EQ(db.scalar(QStringLiteral("select count(*) || ' ' || max(客户ID) from 客户表")).toString(),
                  QStringLiteral("%1 %1").arg(kept));
    }

    for (int i = 0; i < CustomerBatch::capacity; ++i)
        batch.append(i + 1, QStringLiteral("客户%1").arg(i), QStringLiteral("a@b.c"));
    batch.write();
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) || ' ' || max(客户ID) from 客户表")).toString(),
              QStringLiteral("%1 %1").arg(kept + CustomerBatch::capacity));
}
