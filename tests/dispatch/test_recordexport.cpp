#include "RecordExportRun.h"
#include "TempDatabase.h"
#include "TestPaths.h"
#include "Workbook.h"
#include "XlsxSheetWriter.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <future>

using testsupport::TempDatabase;

namespace {

using Rows = QList<QStringList>;

const QStringList header{"客户ID", "客户名称", "电子邮件地址", "邮件ID", "邮件主题", "发送日期", "发送结果"};

// What one export reported, gathered on its thread.
struct Outcome
{
    std::optional<qint64> counted;
    std::optional<qint64> completed;
    QString failure;
};

// Runs an export to its end. `onProgress` runs on the export's thread at every report.
Outcome runExport(const QString &databasePath, const SendRecordFilter &filter, const QString &target,
                  const std::function<void(RecordExportRun &, qint64)> &onProgress = {})
{
    Outcome outcome;
    std::promise<void> done;
    RecordExportRun run(DatabaseLocation::inFile(databasePath), filter, target);
    QObject::connect(
        &run, &RecordExportRun::counted, &run, [&](qint64 total) { outcome.counted = total; }, Qt::DirectConnection);
    QObject::connect(
        &run, &RecordExportRun::progressed, &run,
        [&](qint64 written) {
            if (onProgress)
                onProgress(run, written);
        },
        Qt::DirectConnection);
    QObject::connect(
        &run, &RecordExportRun::completed, &run, [&](qint64 written) { outcome.completed = written; },
        Qt::DirectConnection);
    QObject::connect(
        &run, &RecordExportRun::failed, &run, [&](const QString &message) { outcome.failure = message; },
        Qt::DirectConnection);
    QObject::connect(
        &run, &RecordExportRun::finished, &run, [&] { done.set_value(); }, Qt::DirectConnection);
    run.start();
    done.get_future().wait();
    return outcome;
}

// The file as Python's csv module, or its zipfile and XML modules, read it.
QJsonObject readWithPython(const QString &path)
{
    QProcess python;
    python.start(testsupport::systemPython(),
                 {testsupport::sourcePath(QStringLiteral("tests/dispatch/read_export.py")), path});
    python.waitForFinished(30000);
    const QByteArray out = python.readAllStandardOutput();
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(out).object();
}

Rows rowsOf(const QJsonArray &array)
{
    Rows rows;
    for (const QJsonValue &row : array) {
        QStringList cells;
        for (const QJsonValue &cell : row.toArray())
            cells << cell.toString();
        rows << cells;
    }
    return rows;
}

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

class RecordExportTest : public ::testing::Test
{
protected:
    RecordExportTest()
    {
        db.exec(QStringLiteral(
            "insert into 客户表(客户ID, 客户名称, 电子邮件地址) values"
            " (1, '张三', 'zhang@example.com'), (2, '=HYPERLINK(\"http://x\",\"看\")', 'li@example.com'),"
            " (3, 'Zhao, \"Four\"', 'zhao@example.com');"
            "insert into 邮件表(邮件ID, 邮件主题) values (1, '价目表'), (2, '新品');"
            "insert into 发送情况(客户ID, 邮件ID, 发送日期, 发送结果) values"
            " (1, 1, '2026/1/5 9:00:01', '成功'),"
            " (2, 2, '2026/1/5 9:00:02', '成功'),"
            " (2, 1, '2026/1/5 9:00:03', ''),"
            " (3, 1, '2026/1/5 9:00:04', '失败：550 No such user\r\nhere'),"
            " (7, 1, '2026/1/5 9:00:05', null)"));
    }

    QString target(const QString &name) const { return QDir(db.dir()).filePath(name); }

    TempDatabase db;
};

} // namespace

// The mail filter's rows, read back from each format: the header, a Chinese name, an empty result,
// a name that looks like a formula, a comma and quotes, a line break, a record of a deleted customer.
TEST_F(RecordExportTest, WritesTheFilteredRowsToEitherFormat)
{
    struct Case
    {
        QString file;
        Rows rows;
    };
    const Case cases[] = {
        {QStringLiteral("发送记录.xlsx"),
         {header,
          {"#1", "张三", "zhang@example.com", "#1", "价目表", "2026/1/5 9:00:01", "成功"},
          {"#2", "=HYPERLINK(\"http://x\",\"看\")", "li@example.com", "#1", "价目表", "2026/1/5 9:00:03"},
          {"#3", "Zhao, \"Four\"", "zhao@example.com", "#1", "价目表", "2026/1/5 9:00:04",
           "失败：550 No such user\r\nhere"},
          {"#7", "", "", "#1", "价目表", "2026/1/5 9:00:05"}}},
        // CSV has no text cells: the formula-like name keeps its text behind an apostrophe.
        {QStringLiteral("发送记录.CSV"),
         {header,
          {"1", "张三", "zhang@example.com", "1", "价目表", "2026/1/5 9:00:01", "成功"},
          {"2", "'=HYPERLINK(\"http://x\",\"看\")", "li@example.com", "1", "价目表", "2026/1/5 9:00:03", ""},
          {"3", "Zhao, \"Four\"", "zhao@example.com", "1", "价目表", "2026/1/5 9:00:04",
           "失败：550 No such user\r\nhere"},
          {"7", "", "", "1", "价目表", "2026/1/5 9:00:05", ""}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        const Outcome outcome = runExport(db.path(), {std::nullopt, 1}, target(c.file));
        EXPECT_EQ(outcome.failure, QString());
        EXPECT_EQ(outcome.counted, 4);
        EXPECT_EQ(outcome.completed, 4);
        const QJsonObject read = readWithPython(target(c.file));
        const QJsonArray sheets = read[QStringLiteral("sheets")].toArray();
        ASSERT_EQ(sheets.size(), 1);
        EXPECT_EQ(rowsOf(sheets[0].toArray()[1].toArray()), c.rows);
        if (c.file.endsWith(QLatin1String(".CSV"), Qt::CaseInsensitive)) {
            EXPECT_TRUE(read[QStringLiteral("bom")].toBool());
        }
        EXPECT_EQ(filesIn(db.dir()), (QStringList{"db.mdb", c.file}));
        QFile::remove(target(c.file));
    }
}

// The customer import's own reader takes the exported workbook: the numbers as their digits, the
// formula-like name as the text it is.
TEST_F(RecordExportTest, TheImportsReaderReadsTheWorkbookBack)
{
    const QString file = target(QStringLiteral("一位客户.xlsx"));
    ASSERT_EQ(runExport(db.path(), {2, 2}, file).completed, 1);
    const std::unique_ptr<Workbook> book = openWorkbook(file);
    ASSERT_EQ(book->usedRowCount(), 2);
    QStringList cells;
    for (int column = 1; column <= 7; ++column)
        cells << book->cellText(2, column);
    EXPECT_EQ(cells,
              (QStringList{"2", "=HYPERLINK(\"http://x\",\"看\")", "li@example.com", "2", "新品", "2026/1/5 9:00:02",
                           "成功"}));
}

// A user exports more than once in a session, and each export's job has a thread of its own: the
// second workbook crashed inside libxlsxwriter when it was written on another thread than the first.
TEST_F(RecordExportTest, ExportsOneAfterAnotherInOneSessionAllComplete)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(runExport(db.path(), {std::nullopt, 1}, target(QStringLiteral("第%1次.xlsx").arg(i))).completed, 4);
}

TEST_F(RecordExportTest, RowsBeyondASheetGoOnInTheNextSheetUnderTheHeaderAgain)
{
    const QString file = target(QStringLiteral("多页.xlsx"));
    postToSheetWriterThread([&file] {
        XlsxSheetWriter writer(file, QStringLiteral("发送情况"), 3);
        for (const char *text : {"头", "一", "二", "三", "四", "五"}) {
            const SheetCell cell = SheetCell::text(text);
            writer.writeRow({&cell, 1});
        }
        writer.finish();
    }).get();
    const QJsonArray sheets = readWithPython(file)[QStringLiteral("sheets")].toArray();
    ASSERT_EQ(sheets.size(), 3);
    const QStringList names{"发送情况", "发送情况 (2)", "发送情况 (3)"};
    const QList<Rows> rows{{{"头"}, {"一"}, {"二"}}, {{"头"}, {"三"}, {"四"}}, {{"头"}, {"五"}}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sheets[i].toArray()[0].toString(), names[i]);
        EXPECT_EQ(rowsOf(sheets[i].toArray()[1].toArray()), rows[i]);
    }
}

// A cancel in the middle, and failures before and after the rows: nothing under the chosen name,
// nothing beside it, and a file that was there before stays as it was.
TEST_F(RecordExportTest, ACancelledOrFailedExportLeavesNoFile)
{
    db.exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < 5000)"
                           " insert into 发送情况(客户ID, 邮件ID, 发送日期, 发送结果)"
                           " select 1, 1, '2026/1/5 9:00:00', '成功' from n"));
    for (const QString &name : {QStringLiteral("取消.xlsx"), QStringLiteral("取消.csv")}) {
        SCOPED_TRACE(name.toStdString());
        const Outcome outcome
            = runExport(db.path(), {}, target(name), [](RecordExportRun &run, qint64) { run.cancel(); });
        EXPECT_EQ(outcome.failure, QString());
        EXPECT_FALSE(outcome.completed);
        EXPECT_EQ(filesIn(db.dir()), QStringList{"db.mdb"});
    }

    QFile earlier(target(QStringLiteral("以前的.csv")));
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier");
    earlier.close();
    const Outcome cancelled
        = runExport(db.path(), {}, earlier.fileName(), [](RecordExportRun &run, qint64) { run.cancel(); });
    EXPECT_FALSE(cancelled.completed);
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    EXPECT_EQ(earlier.readAll(), "earlier");
    earlier.close();

    struct Case
    {
        QString databasePath;
        QString target;
        QString failure;
    };
    const Case failures[] = {
        {db.path(), target(QStringLiteral("记录.txt")), QStringLiteral("只能导出为 .xlsx 或 .csv 文件。")},
        {db.path(), target(QStringLiteral("没有的目录/记录.csv")),
         QStringLiteral("无法写入文件“%1”").arg(target(QStringLiteral("没有的目录/记录.csv")))},
        {target(QStringLiteral("没有的.mdb")), target(QStringLiteral("记录.csv")), QString()},
    };
    for (const Case &c : failures) {
        SCOPED_TRACE(c.target.toStdString());
        const Outcome outcome = runExport(c.databasePath, {}, c.target);
        EXPECT_FALSE(outcome.completed);
        if (c.failure.isEmpty()) {
            EXPECT_FALSE(outcome.failure.isEmpty());
        } else {
            EXPECT_TRUE(outcome.failure.startsWith(c.failure)) << outcome.failure.toStdString();
        }
        EXPECT_EQ(filesIn(db.dir()), (QStringList{"db.mdb", "以前的.csv"}));
    }
}

TEST_F(RecordExportTest, ACompleteExportReplacesTheChosenFile)
{
    const QString file = target(QStringLiteral("记录.csv"));
    QFile earlier(file);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier");
    earlier.close();
    ASSERT_EQ(runExport(db.path(), {1, std::nullopt}, file).completed, 1);
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    EXPECT_EQ(earlier.readAll(),
              "\xEF\xBB\xBF客户ID,客户名称,电子邮件地址,邮件ID,邮件主题,发送日期,发送结果\r\n"
              "1,张三,zhang@example.com,1,价目表,2026/1/5 9:00:01,成功\r\n");
}
