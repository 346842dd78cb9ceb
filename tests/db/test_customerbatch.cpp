// What the customer import writes: the rows, their entry date, and what a refused row leaves.

#include "CustomerBatch.h"
#include "Database.h"
#include "DatabaseError.h"
#include "Printers.h"
#include "Stamp.h"
#include "Statement.h"
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
    batch.append(7, QString(101, u'名'), QStringLiteral("a@b.c"));
    const QList<CustomerBatch::Refusal> refused = batch.write();
    ASSERT_EQ(refused.size(), 1);
    EXPECT_EQ(refused.first().row, 7);
    EXPECT_TRUE(refused.first().reason.startsWith(QStringLiteral("客户名称不能超过 100 个字符"))) << refused.first().reason.toStdString();
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(batch.size(), 0);
    writeSingly(QStringLiteral("张三"), QStringLiteral("a@b.c")); // the batch stays usable
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

// A refused row leaves its batch's one statement unwritten; the rows again singly write every
// other row, once each under consecutive keys, and name the refused ones by their sheet rows.
TEST_F(CustomerBatchTest, RefusedRowsArePassedOverAndTheOthersWritten)
{
    const struct
    {
        qsizetype size;
        QList<qsizetype> refused;
        QList<int> rows;
    } cases[] = {
        {CustomerBatch::capacity, {0, 30, 49}, {101, 131, 150}},
        {3, {1}, {102}},
    };
    int kept = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        for (qsizetype i = 0; i < c.size; ++i)
            batch.append(int(101 + i), c.refused.contains(i) ? QString(101, u'名') : QStringLiteral("客户%1").arg(i),
                         QStringLiteral("a@b.c"));
        QList<int> rows;
        for (const CustomerBatch::Refusal &refusal : batch.write()) {
            rows.append(refusal.row);
            EXPECT_TRUE(refusal.reason.startsWith(QStringLiteral("客户名称"))) << refusal.reason.toStdString();
        }
        EXPECT_EQ(rows, c.rows);
        kept += int(c.size - c.refused.size());
        EXPECT_EQ(batch.size(), 0);
        EXPECT_EQ(batch.written(), kept);
        EXPECT_EQ(db.scalar(QStringLiteral("select count(*) || ' ' || max(客户ID) from 客户表")).toString(),
                  QStringLiteral("%1 %1").arg(kept));
        EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from 客户表 where length(客户名称) > 100")).toInt(), 0);
    }

    for (int i = 0; i < CustomerBatch::capacity; ++i)
        batch.append(i + 1, QStringLiteral("客户%1").arg(i), QStringLiteral("a@b.c"));
    batch.write();
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) || ' ' || max(客户ID) from 客户表")).toString(),
              QStringLiteral("%1 %1").arg(kept + CustomerBatch::capacity));
}

// A file that takes no more (a full disk) is no refusal of a row: the batch throws instead of
// passing over every row after it.
TEST_F(CustomerBatchTest, AFullFileThrows)
{
    connection.setConnected(true);
    const int pages = db.scalar(QStringLiteral("pragma page_count")).toInt();
    execute(connection.handle(), QStringLiteral("pragma max_page_count = %1").arg(pages));
    EXPECT_THROW(
        {
            for (int i = 0; i < 200; ++i) {
                for (int j = 0; j < CustomerBatch::capacity; ++j)
                    batch.append(i * 50 + j + 1, QStringLiteral("客户%1").arg(j), QStringLiteral("a%1@b.c").arg(j));
                EXPECT_TRUE(batch.write().isEmpty());
            }
        },
        DatabaseError);
}
