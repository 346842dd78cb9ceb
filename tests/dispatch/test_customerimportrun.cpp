// The customer import's job alone: real .xls and .xlsx files into a real database file.

#include "WorkbookFiles.h"

#include "CustomerImportRun.h"
#include "ImportRunner.h"
#include "Database.h"
#include "Error.h"
#include "Printers.h"
#include "SkippedRowsFile.h"
#include "TempDatabase.h"
#include "Workbook.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <QScopeGuard>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sys/mount.h>

using namespace testbook;
using namespace testimport;

namespace {

using Rows = QList<QPair<QString, QString>>;

class CustomerImportRunTest : public testing::TestWithParam<Format>
{
protected:
    QString file(const Book &book, const QString &name = QStringLiteral("customers"))
    {
        return write(book, GetParam(), QDir(m_db.dir()).filePath(name + suffix(GetParam())));
    }

    Outcome run(const QString &path, int cancelAt = -1, bool withDuplicates = true)
    {
        return runImport(m_db.location(), path, ImportTarget::Customers, withDuplicates, cancelAt);
    }

    Rows stored() const
    {
        Rows rows;
        for (const QVariantList &row :
             m_db.rows(QStringLiteral("select 客户名称, 电子邮件地址 from 客户表 order by 客户ID")))
            rows.append({row.at(0).toString(), row.at(1).toString()});
        return rows;
    }

    testsupport::TempDatabase m_db;
};

Rows numbered(int count)
{
    Rows rows;
    for (int i = 0; i < count; ++i)
        rows.append({QStringLiteral("客户%1").arg(i), QStringLiteral("c%1@example.com").arg(i)});
    return rows;
}

// Rows go in by short transactions, each committed before the next begins and reported.
TEST_P(CustomerImportRunTest, EveryRowGoesInByShortTransactions)
{
    const Rows rows = numbered(2345);
    const Outcome outcome = run(file(customers(rows)));
    EXPECT_EQ(outcome.failure, QString());
    EXPECT_EQ(stored(), rows);
    EXPECT_EQ(outcome.imported, rows.size());
    ASSERT_FALSE(outcome.commits.isEmpty());
    EXPECT_EQ(outcome.commits.last(), rows.size());
    int before = 0;
    for (int committed : std::as_const(outcome.commits)) {
        EXPECT_GT(committed, before);
        EXPECT_LE(committed - before, 1000) << "a transaction holds at most 1,000 rows";
        before = committed;
    }
}

TEST_P(CustomerImportRunTest, CountComesFromTheFirstWorksheetCellsFromTheActiveOne)
{
    Book book;
    book.sheets.append({QStringLiteral("说明"), {text(1, 1, QStringLiteral("x")), text(2, 1, QStringLiteral("y"))}});
    Sheet active{QStringLiteral("客户"), {}};
    for (int row = 1; row <= 5; ++row) {
        active.cells.append(text(row, 1, QStringLiteral("客户%1").arg(row)));
        active.cells.append(text(row, 2, QStringLiteral("c%1@example.com").arg(row)));
    }
    book.sheets.append(active);
    book.active = 1;
    EXPECT_EQ(run(file(book)).failure, QString());
    EXPECT_EQ(stored(), (Rows{{QStringLiteral("客户1"), QStringLiteral("c1@example.com")},
                              {QStringLiteral("客户2"), QStringLiteral("c2@example.com")},
                              {QStringLiteral("客户3"), QStringLiteral("c3@example.com")}}));
}

TEST_P(CustomerImportRunTest, NumbersAndDatesGoInAsTheirText)
{
    const QString address = QStringLiteral("a@example.com");
    const Book book{{{QStringLiteral("S"),
                      {number(1, 1, 13800138000.0), text(1, 2, address),
                       date(2, 1, QStringLiteral("2024-03-15"), QStringLiteral("yyyy-mm-dd")), text(2, 2, address),
                       number(3, 1, 12.5), text(3, 2, address), boolean(4, 1, false), text(4, 2, address)}}}};
    EXPECT_EQ(run(file(book)).failure, QString());
    EXPECT_EQ(stored(),
              (Rows{{QStringLiteral("13800138000"), address},
                    {QStringLiteral("2024-03-15"), address},
                    {QStringLiteral("12.5"), address},
                    {GetParam() == Format::Xlsx ? QStringLiteral("FALSE") : QStringLiteral("0"), address}}));
}

// A cancel between two transactions keeps every committed row and adds none after.
TEST_P(CustomerImportRunTest, CancelKeepsTheCommittedRowsAndStops)
{
    const Rows rows = numbered(5000);
    const Outcome outcome = run(file(customers(rows)), 1000);
    EXPECT_EQ(outcome.failure, QString());
    EXPECT_EQ(outcome.plan.rows.size(), rows.size());
    ASSERT_FALSE(outcome.commits.isEmpty());
    EXPECT_LT(outcome.commits.last(), rows.size());
    EXPECT_EQ(outcome.imported, outcome.commits.last());
    EXPECT_EQ(stored(), rows.first(outcome.commits.last()));
}

// Rows that break a rule or that the database refuses, in the middle of many: every other row goes
// in, in order, and each skipped one is named by its row in the sheet with its reason. A file that
// is no workbook ends the import before the database is touched.
TEST_P(CustomerImportRunTest, SkippedRowsLeaveEveryOtherRowIn)
{
    const Rows first = numbered(76);
    const Rows second = numbered(130).mid(76);
    const QString tooLong(101, u'名');
    const Rows sheet = Rows{{QStringLiteral("客户名称"), QStringLiteral("电子邮件地址")}} + first
        + Rows{{tooLong, QStringLiteral("long@example.com")},
               {QStringLiteral("无地址"), {}},
               {QStringLiteral("错地址"), QStringLiteral("cuo.example.com")}}
        + second + Rows{{tooLong, QStringLiteral("long2@example.com")}};
    const Outcome outcome = run(file(customers(sheet)));
    EXPECT_EQ(outcome.failure, QString());
    EXPECT_EQ(stored(), first + second);
    EXPECT_EQ(outcome.imported, first.size() + second.size());

    const ImportOutcome &report = outcome.report;
    QList<QPair<int, SkipKind>> skipped;
    for (const SkippedRow &row : report.skipped)
        skipped.append({row.row.row, row.kind});
    const int last = int(sheet.size());
    EXPECT_EQ(skipped, (QList<QPair<int, SkipKind>>{{1, SkipKind::Heading},
                                                    {78, SkipKind::Refused},
                                                    {79, SkipKind::NoAddress},
                                                    {80, SkipKind::NotAnAddress},
                                                    {last, SkipKind::Refused}}));
    ASSERT_EQ(report.skipped.size(), 5);
    EXPECT_TRUE(report.skipped[1].reason.startsWith(QStringLiteral("客户名称不能超过 100 个字符"))) << report.skipped[1].reason.toStdString();
    EXPECT_EQ(report.skipped[1].row.name, tooLong);
    const QStringList lines = reportText(report).split(u'\n');
    EXPECT_EQ(lines.first(), QStringLiteral("导入 130 位客户；跳过 5 行"));
    EXPECT_TRUE(lines.contains(QStringLiteral("第 79 行：没有电子邮件地址")));
    EXPECT_TRUE(lines.contains(QStringLiteral("数据库拒绝：2 行")));
}

TEST_P(CustomerImportRunTest, AFileThatIsNoWorkbookTouchesNothing)
{
    const QString noise = QDir(m_db.dir()).filePath(QStringLiteral("noise") + suffix(GetParam()));
    QFile bytes(noise);
    ASSERT_TRUE(bytes.open(QIODevice::WriteOnly));
    bytes.write(QByteArray(3000, '\x5a'));
    bytes.close();
    const QString missing = QDir(m_db.dir()).filePath(QStringLiteral("none.xls"));
    const struct
    {
        QString path;
        QString failure;
    } cases[] = {
        {noise, SpreadsheetError::notAWorkbook(noise).message()},
        {missing, SpreadsheetError::cannotOpen(missing).message()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const Outcome outcome = run(c.path);
        EXPECT_FALSE(outcome.opened);
        EXPECT_EQ(outcome.failure, c.failure);
        EXPECT_EQ(stored(), Rows());
    }
}

// Addresses the customers hold already, or that came earlier in the sheet (in any letter case),
// go in when the user keeps 导入重复地址 ticked, and are skipped otherwise.
TEST_P(CustomerImportRunTest, DuplicatesGoInOnlyWhenChosen)
{
    m_db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('老客户', 'Old@Example.com')"));
    const QPair<QString, QString> old{QStringLiteral("老"), QStringLiteral("old@example.com")};
    const QPair<QString, QString> fresh{QStringLiteral("新"), QStringLiteral("new@example.com")};
    const QPair<QString, QString> again{QStringLiteral("新2"), QStringLiteral(" NEW@example.com")};
    const QString path = file(customers({old, fresh, again}));
    const Rows before = stored();
    for (bool withDuplicates : {true, false}) {
        SCOPED_TRACE(withDuplicates);
        m_db.exec(QStringLiteral("delete from 客户表 where 客户ID > 1"));
        const Outcome outcome = run(path, -1, withDuplicates);
        EXPECT_EQ(outcome.failure, QString());
        EXPECT_EQ(outcome.plan.duplicates, (QSet<qsizetype>{0, 2}));
        EXPECT_EQ(stored(), withDuplicates ? before + Rows({old, fresh, again}) : before + Rows({fresh}));
        EXPECT_EQ(outcome.report.duplicates, 2);
        EXPECT_EQ(outcome.report.skipped.size(), withDuplicates ? 0 : 2);
        EXPECT_EQ(reportHeadline(outcome.report),
                  withDuplicates ? QStringLiteral("导入 3 位客户；跳过 0 行") : QStringLiteral("导入 1 位客户；跳过 2 行"));
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, CustomerImportRunTest, testing::Values(Format::Xls, Format::Xlsx),
                         [](const auto &info) { return info.param == Format::Xlsx ? "xlsx" : "xls"; });

// The do-not-mail list's import from each kind of file: the addresses go on the list once, those
// it holds already (in any spelling, or twice in the file) are counted and passed over, blank
// rows and lines are passed over.
enum class ListFile { Xls, Xlsx, Text };

class ListImportTest : public testing::TestWithParam<ListFile>
{
protected:
    testsupport::TempDatabase m_db;
};

TEST_P(ListImportTest, AddressesGoOnTheListOnce)
{
    const QStringList lines{QStringLiteral("zhang@example.test"), QStringLiteral(" WANG@example.test "), QString(),
                            QStringLiteral("li@example.test"), QStringLiteral("Li@Example.Test")};
    QString path;
    if (GetParam() == ListFile::Text) {
        path = QDir(m_db.dir()).filePath(QStringLiteral("退订.txt"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\xEF\xBB\xBF" + lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
    } else {
        const Format format = GetParam() == ListFile::Xls ? Format::Xls : Format::Xlsx;
        Sheet sheet{QStringLiteral("Sheet1"), {}};
        for (int row = 0; row < lines.size(); ++row) {
            if (!lines[row].isEmpty())
                sheet.cells.append(text(row + 1, 1, lines[row]));
        }
        sheet.cells.append(text(1, 2, QStringLiteral("第二列不读")));
        path = write(Book{{sheet}}, format, QDir(m_db.dir()).filePath(QStringLiteral("list") + suffix(format)));
    }
    m_db.exec(QStringLiteral("insert into 退订名单(电子邮件地址, 原因) values('wang@example.test', '手工加入')"));

    const Outcome outcome = runImport(m_db.location(), path, ImportTarget::RefusalList);
    ASSERT_EQ(outcome.failure, QString());
    EXPECT_TRUE(outcome.opened);
    EXPECT_EQ(outcome.imported, 2);
    QList<int> listed;
    for (const SkippedRow &row : outcome.report.skipped) {
        EXPECT_EQ(row.kind, SkipKind::Duplicate);
        listed.append(row.row.row);
    }
    EXPECT_EQ(listed, (QList<int>{2, 5}));
    EXPECT_EQ(reportHeadline(outcome.report), QStringLiteral("导入 2 个地址；跳过 2 行"));
    QStringList stored;
    for (const QVariantList &row : m_db.rows(QStringLiteral("select 电子邮件地址, 原因 from 退订名单 order by rowid")))
        stored.append(row.value(0).toString() + u'/' + row.value(1).toString());
    EXPECT_EQ(stored, QStringList({QStringLiteral("wang@example.test/手工加入"), QStringLiteral("zhang@example.test/导入"),
                                   QStringLiteral("li@example.test/导入")}));
    EXPECT_EQ(m_db.scalar(QStringLiteral("select count(*) from 客户表")).toInt(), 0) << "no customer made";
}

INSTANTIATE_TEST_SUITE_P(Files, ListImportTest, testing::Values(ListFile::Xls, ListFile::Xlsx, ListFile::Text),
                         [](const auto &info) {
                             return info.param == ListFile::Text ? "text"
                                 : info.param == ListFile::Xlsx  ? "xlsx"
                                                                 : "xls";
                         });

// The skipped rows saved as .csv and read back: a heading row, then each row's number, cells and
// reason; a name a spreadsheet program would run as a formula is kept as text.
TEST(SkippedRowsFile, HoldsEveryRowAndReplacesOnlyWhenComplete)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("跳过.csv"));
    const QList<SkippedRow> rows{
        {{1, QStringLiteral("客户名称"), QStringLiteral("电子邮件地址")}, SkipKind::Heading, QStringLiteral("标题行，未导入")},
        {{7, QStringLiteral("=1+2"), QStringLiteral("a,b")}, SkipKind::NotAnAddress, QStringLiteral("电子邮件地址不含“@”")},
    };
    saveSkippedRows(rows, ImportTarget::Customers, path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              QStringLiteral("\uFEFF行号,客户名称,电子邮件地址,原因\r\n"
                             "1,客户名称,电子邮件地址,标题行，未导入\r\n"
                             "7,'=1+2,\"a,b\",电子邮件地址不含“@”\r\n")
                  .toUtf8());
    file.close();

    // A folder that takes no file: the error, and the old file as it was.
    EXPECT_THROW(saveSkippedRows(rows, ImportTarget::Customers, dir.filePath(QStringLiteral("无此目录/跳过.csv"))), Error);
    saveSkippedRows({}, ImportTarget::RefusalList, path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QStringLiteral("\uFEFF行号,电子邮件地址,原因\r\n").toUtf8());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("跳过.csv")});
}

// A disk that fills while the rows are written: a file system of the test's own (a tmpfs, which
// needs root to mount). The import ends there with what was committed kept and says so; it does
// not take the failure for a refusal of each row after it.
TEST(CustomerImportFullDisk, EndsTheImportWithTheCommittedRowsKept)
{
    QTemporaryDir mountPoint;
    ASSERT_TRUE(mountPoint.isValid());
    if (::mount("tmpfs", mountPoint.path().toUtf8().constData(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "a tmpfs cannot be mounted here; the full-disk case needs root";
    const auto unmount = qScopeGuard([&] { ::umount2(mountPoint.path().toUtf8().constData(), MNT_DETACH); });
    QTemporaryDir sheets;
    {
        testsupport::TempDatabase disk(mountPoint.path());
        Rows rows;
        for (int i = 0; i < 20000; ++i)
            rows.append({QStringLiteral("客户%1").arg(i) + QString(25, u'名'), QStringLiteral("c%1@example.com").arg(i)});
        const QString path = write(customers(rows), Format::Xlsx, sheets.filePath(QStringLiteral("c.xlsx")));
        // A connection of another program keeps the file's companions in place, as the window does.
        Database window(disk.path());
        window.setConnected(true);
        const Outcome outcome = runImport(disk.location(), path, ImportTarget::Customers, true, -1, [&] {
            std::ofstream filler((mountPoint.path() + QStringLiteral("/filler")).toStdString(), std::ios::binary);
            const std::string block(4096, 'x');
            // Room for a little more: some rows go in before the disk is full.
            for (int i = 0; i < 40 && filler.write(block.data(), std::streamsize(block.size())); ++i) {
            }
            filler.close();
            std::ofstream rest((mountPoint.path() + QStringLiteral("/rest")).toStdString(), std::ios::binary);
            while (rest.write(block.data(), std::streamsize(block.size())) && rest.flush()) {
            }
            rest.close();
            std::filesystem::remove((mountPoint.path() + QStringLiteral("/filler")).toStdString());
        });
        EXPECT_NE(outcome.report.failure, QString());
        EXPECT_LT(outcome.imported, rows.size());
        EXPECT_EQ(disk.scalar(QStringLiteral("select count(*) from 客户表")).toInt(), outcome.imported);
        EXPECT_TRUE(std::none_of(outcome.report.skipped.begin(), outcome.report.skipped.end(),
                                 [](const SkippedRow &row) { return row.kind == SkipKind::Refused; }));
        EXPECT_TRUE(reportText(outcome.report).contains(QStringLiteral("导入未完成：")));
    }
}

} // namespace
