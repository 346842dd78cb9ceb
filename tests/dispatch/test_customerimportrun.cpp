// The customer import's job alone: real .xls and .xlsx files into a real database file.

#include "WorkbookFiles.h"

#include "CustomerImportRun.h"
#include "Error.h"
#include "Printers.h"
#include "TempDatabase.h"
#include "Workbook.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>

#include <gtest/gtest.h>

using namespace testbook;

namespace {

using Rows = QList<QPair<QString, QString>>;

struct Outcome
{
    bool opened = false;
    int imported = 0;
    QString failure; // the failure's text, empty when none
    QList<int> commits; // the rows committed so far, at each commit
};

class CustomerImportRunTest : public testing::TestWithParam<Format>
{
protected:
    QString file(const Book &book, const QString &name = QStringLiteral("customers"))
    {
        return write(book, GetParam(), QDir(m_db.dir()).filePath(name + suffix(GetParam())));
    }

    // Runs the import to its end, waiting as the window does; it is cancelled once `cancelAt`
    // rows are committed.
    Outcome run(const QString &path, int cancelAt = -1)
    {
        CustomerImportRun import(m_db.path(), path);
        Outcome outcome;
        QObject::connect(
            &import, &CustomerImportRun::committed, &import,
            [&](int imported) {
                outcome.commits.append(imported);
                if (cancelAt >= 0 && imported >= cancelAt)
                    import.cancel();
            },
            Qt::DirectConnection);
        QEventLoop loop;
        QObject::connect(&import, &CustomerImportRun::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        import.start();
        loop.exec();
        outcome.opened = import.opened();
        outcome.imported = import.imported();
        if (import.failure()) {
            try {
                std::rethrow_exception(import.failure());
            } catch (const Error &e) {
                outcome.failure = e.message();
            }
        }
        return outcome;
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
    for (int row = 1; row <= 5; ++row)
        active.cells.append(text(row, 1, QStringLiteral("客户%1").arg(row)));
    book.sheets.append(active);
    book.active = 1;
    EXPECT_EQ(run(file(book)).failure, QString());
    EXPECT_EQ(stored(),
              (Rows{{QStringLiteral("客户1"), {}}, {QStringLiteral("客户2"), {}}, {QStringLiteral("客户3"), {}}}));
}

TEST_P(CustomerImportRunTest, NumbersAndDatesGoInAsTheirText)
{
    const Book book{
        {{QStringLiteral("S"),
          {number(1, 1, 13800138000.0), date(1, 2, QStringLiteral("2024-03-15"), QStringLiteral("yyyy-mm-dd")),
           number(2, 1, 12.5), boolean(2, 2, false)}}}};
    EXPECT_EQ(run(file(book)).failure, QString());
    EXPECT_EQ(
        stored(),
        (Rows{{QStringLiteral("13800138000"), QStringLiteral("2024-03-15")},
              {QStringLiteral("12.5"), GetParam() == Format::Xlsx ? QStringLiteral("FALSE") : QStringLiteral("0")}}));
}

// A cancel between two transactions keeps every committed row and adds none after.
TEST_P(CustomerImportRunTest, CancelKeepsTheCommittedRowsAndStops)
{
    const Rows rows = numbered(5000);
    const Outcome outcome = run(file(customers(rows)), 1000);
    EXPECT_EQ(outcome.failure, QString());
    ASSERT_FALSE(outcome.commits.isEmpty());
    EXPECT_LT(outcome.commits.last(), rows.size());
    EXPECT_EQ(outcome.imported, outcome.commits.last());
    EXPECT_EQ(stored(), rows.first(outcome.commits.last()));
}

// A refused row ends the reading with the rows before it committed; a file that is no workbook
// ends the import before the database is touched.
TEST_P(CustomerImportRunTest, AFailureKeepsWhatWentInBeforeIt)
{
    const Rows before = numbered(76);
    const QString refused = file(customers(before + Rows{{QString(101, u'名'), {}}} + numbered(60)), QStringLiteral("refused"));
    const QString noise = QDir(m_db.dir()).filePath(QStringLiteral("noise") + suffix(GetParam()));
    QFile bytes(noise);
    ASSERT_TRUE(bytes.open(QIODevice::WriteOnly));
    bytes.write(QByteArray(3000, '\x5a'));
    bytes.close();
    const QString missing = QDir(m_db.dir()).filePath(QStringLiteral("none.xls"));

    const struct
    {
        QString path;
        bool opened;
        Rows stored;
        QString failure;
    } cases[] = {
        {refused, true, before, QStringLiteral("第77行未能导入：CHECK constraint failed: 客户名称超过100个字符")},
        {noise, false, {}, SpreadsheetError::notAWorkbook(noise).message()},
        {missing, false, {}, SpreadsheetError::cannotOpen(missing).message()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        m_db.exec(QStringLiteral("delete from 客户表"));
        const Outcome outcome = run(c.path);
        EXPECT_EQ(outcome.opened, c.opened);
        EXPECT_EQ(outcome.failure, c.failure);
        EXPECT_EQ(outcome.imported, c.stored.size());
        EXPECT_EQ(stored(), c.stored);
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

    CustomerImportRun import(m_db.path(), path, ImportTarget::RefusalList);
    QEventLoop loop;
    QObject::connect(&import, &CustomerImportRun::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    import.start();
    loop.exec();
    ASSERT_FALSE(import.failure());
    EXPECT_TRUE(import.opened());
    EXPECT_EQ(import.imported(), 2);
    EXPECT_EQ(import.alreadyListed(), 2);
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

} // namespace
