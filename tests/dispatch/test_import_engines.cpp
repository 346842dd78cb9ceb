// The import and the export on either engine: real .xlsx files into a db.mdb file and into a
// database on a throwaway PostgreSQL cluster, and the send records out again, with the same checks
// on both.

#include "WorkbookFiles.h"

#include "CustomerImportRun.h"
#include "EngineDatabase.h"
#include "ImportRunner.h"
#include "Printers.h"
#include "RecordExportRun.h"
#include "Workbook.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>

using namespace testbook;
using namespace testsupport;
using namespace testimport;

namespace {

using Rows = QList<QPair<QString, QString>>;

Rows numbered(int from, int count)
{
    Rows rows;
    for (int i = from; i < from + count; ++i)
        rows.append({QStringLiteral("客户%1").arg(i), QStringLiteral("c%1@example.com").arg(i)});
    return rows;
}

QList<QPair<int, SkipKind>> skippedRows(const ImportOutcome &report)
{
    QList<QPair<int, SkipKind>> skipped;
    for (const SkippedRow &row : report.skipped)
        skipped.append({row.row.row, row.kind});
    return skipped;
}

class ImportEngines : public ::testing::TestWithParam<Engine>
{
protected:
    Rows stored() const
    {
        Rows rows;
        for (const QVariantList &row : m_db.rows(QStringLiteral("select 客户名称, 电子邮件地址 from 客户表 order by \"客户ID\"")))
            rows.append({row.at(0).toString(), row.at(1).toString()});
        return rows;
    }

    QTemporaryDir m_files;
    EngineDatabase m_db{GetParam()};
};

// Refused rows in a full batch and in the last, short one: each is named with the same reason on
// both engines, and every other row goes in, in order, with the engine's moment as its entry date.
// On a server the refused statement must not take the rest of its transaction with it.
TEST_P(ImportEngines, RefusedRowsArePassedOverAndTheRestGoIn)
{
    const QString tooLong(101, u'名');
    const Rows first = numbered(0, 70);
    const Rows second = numbered(70, 60);
    const Rows sheet = first + Rows{{tooLong, QStringLiteral("long@example.com")}} + second
        + Rows{{QStringLiteral("末行"), QStringLiteral("x") + QString(254, u'y') + QStringLiteral("@example.com")}};
    const QString path = write(customers(sheet), Format::Xlsx, m_files.filePath(QStringLiteral("customers.xlsx")));

    const Outcome outcome = runImport(m_db.location(), path, ImportTarget::Customers);
    EXPECT_EQ(outcome.report.failure, QString());
    EXPECT_EQ(stored(), first + second);
    EXPECT_EQ(outcome.imported, first.size() + second.size());
    EXPECT_EQ(skippedRows(outcome.report),
              (QList<QPair<int, SkipKind>>{{71, SkipKind::Refused}, {int(sheet.size()), SkipKind::Refused}}));
    ASSERT_EQ(outcome.report.skipped.size(), 2);
    EXPECT_EQ(outcome.report.skipped[0].reason, QStringLiteral("客户名称不能超过 100 个字符"));
    EXPECT_EQ(outcome.report.skipped[1].reason, QStringLiteral("电子邮件地址不能超过 254 个字符"));
    EXPECT_EQ(m_db.scalar(QStringLiteral("select count(*) from 客户表 where 录入日期 is null")).toInt(), 0);
}

// A cancel between two transactions keeps every committed row and adds none after.
TEST_P(ImportEngines, ACancelKeepsTheCommittedRows)
{
    const Rows rows = numbered(0, 3000);
    const QString path = write(customers(rows), Format::Xlsx, m_files.filePath(QStringLiteral("many.xlsx")));
    const Outcome outcome = runImport(m_db.location(), path, ImportTarget::Customers, true, 1);
    EXPECT_EQ(outcome.report.failure, QString());
    ASSERT_FALSE(outcome.commits.isEmpty());
    EXPECT_LT(outcome.commits.last(), rows.size());
    EXPECT_EQ(outcome.imported, outcome.commits.last());
    EXPECT_EQ(stored(), rows.first(outcome.commits.last()));
}

// The do-not-mail list from a workbook: an address the list holds (in other letters' case) is
// counted and passed over, one over the column's width is refused and named, the rest go on.
TEST_P(ImportEngines, TheDoNotMailListTakesEachAddressOnce)
{
    m_db.exec(QStringLiteral("insert into 退订名单(电子邮件地址, 原因) values('wang@example.test', '手工加入')"));
    const QString tooLong = QString(250, u'a') + QStringLiteral("@example.test");
    const QStringList lines{QStringLiteral("zhang@example.test"), QStringLiteral(" WANG@example.test "), tooLong,
                            QStringLiteral("li@example.test")};
    Sheet sheet{QStringLiteral("Sheet1"), {}};
    for (int row = 0; row < lines.size(); ++row)
        sheet.cells.append(text(row + 1, 1, lines[row]));
    const QString path = write(Book{{sheet}}, Format::Xlsx, m_files.filePath(QStringLiteral("list.xlsx")));

    const Outcome outcome = runImport(m_db.location(), path, ImportTarget::RefusalList);
    EXPECT_EQ(outcome.report.failure, QString());
    EXPECT_EQ(outcome.imported, 2);
    EXPECT_EQ(skippedRows(outcome.report),
              (QList<QPair<int, SkipKind>>{{2, SkipKind::Duplicate}, {3, SkipKind::Refused}}));
    ASSERT_EQ(outcome.report.skipped.size(), 2);
    EXPECT_EQ(outcome.report.skipped[1].reason, QStringLiteral("电子邮件地址不能超过 254 个字符"));
    QStringList listed;
    for (const QVariantList &row : m_db.rows(QStringLiteral("select 电子邮件地址 from 退订名单 order by 退订日期, 电子邮件地址")))
        listed.append(row.value(0).toString());
    EXPECT_EQ(listed.size(), 3);
    EXPECT_TRUE(listed.contains(QStringLiteral("zhang@example.test")));
    EXPECT_TRUE(listed.contains(QStringLiteral("li@example.test")));
}

// A few records out to .xlsx, all and by one mail: in the order written, a record whose customer is
// gone with its cells empty, the numbers as numbers.
TEST_P(ImportEngines, TheExportWritesTheRecordsInTheOrderWritten)
{
    m_db.exec(QStringLiteral("insert into 客户表(\"客户ID\", 客户名称, 电子邮件地址) values(1, '张三', 'zhang@example.test'), "
                             "(2, '李四', 'li@example.test')"));
    m_db.exec(QStringLiteral("insert into 邮件表(\"邮件ID\", 邮件主题) values(1, '价目表'), (2, '新品')"));
    // Written in an order that neither key nor date gives.
    for (const auto &[customer, mail, date, result] :
         {std::tuple{2, 1, "2026-01-05 09:00:02", "成功"}, std::tuple{1, 2, "2026-01-05 09:00:01", "失败：550 no such user"},
          std::tuple{9, 1, "2026-01-04 08:00:00", "成功"}, std::tuple{1, 1, "2026-01-06 10:00:00", "成功"}})
        m_db.exec(QStringLiteral("insert into 发送情况(\"客户ID\", \"邮件ID\", 发送日期, 发送结果) values(?, ?, ?, ?)"),
                  {customer, mail, QString::fromUtf8(date), QString::fromUtf8(result)});

    const struct
    {
        SendRecordFilter filter;
        QList<QStringList> rows;
    } cases[] = {
        {{},
         {{"2", "李四", "li@example.test", "1", "价目表", "2026-01-05 09:00:02", "成功"},
          {"1", "张三", "zhang@example.test", "2", "新品", "2026-01-05 09:00:01", "失败：550 no such user"},
          {"9", "", "", "1", "价目表", "2026-01-04 08:00:00", "成功"},
          {"1", "张三", "zhang@example.test", "1", "价目表", "2026-01-06 10:00:00", "成功"}}},
        {{.customerId = {}, .mailId = 1},
         {{"2", "李四", "li@example.test", "1", "价目表", "2026-01-05 09:00:02", "成功"},
          {"9", "", "", "1", "价目表", "2026-01-04 08:00:00", "成功"},
          {"1", "张三", "zhang@example.test", "1", "价目表", "2026-01-06 10:00:00", "成功"}}},
        {{.customerId = 1, .mailId = 2},
         {{"1", "张三", "zhang@example.test", "2", "新品", "2026-01-05 09:00:01", "失败：550 no such user"}}},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(n);
        const QString target = m_files.filePath(QStringLiteral("records%1.xlsx").arg(++n));
        std::promise<void> done;
        std::optional<qint64> completed;
        QString failure;
        {
            RecordExportRun run(m_db.location(), c.filter, target);
            QObject::connect(
                &run, &RecordExportRun::completed, &run, [&](qint64 written) { completed = written; },
                Qt::DirectConnection);
            QObject::connect(
                &run, &RecordExportRun::failed, &run, [&](const QString &message) { failure = message; },
                Qt::DirectConnection);
            QObject::connect(&run, &RecordExportRun::finished, &run, [&] { done.set_value(); }, Qt::DirectConnection);
            run.start();
            done.get_future().wait();
        }
        EXPECT_EQ(failure, QString());
        EXPECT_EQ(completed, qint64(c.rows.size()));

        const std::unique_ptr<Workbook> book = openWorkbook(target);
        QList<QStringList> rows;
        for (int row = 2; row <= book->usedRowCount(); ++row) {
            QStringList cells;
            for (int column = 1; column <= SendRecordRows::ColumnCount; ++column)
                cells.append(book->cellText(row, column));
            rows.append(cells);
        }
        book->close();
        EXPECT_EQ(rows, c.rows);
    }
}

INSTANTIATE_TEST_SUITE_P(, ImportEngines, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto &info) { return engineName(info.param); });

} // namespace
