// The customer import as the window shows it (its boxes and the refresh), from real .xls and .xlsx
// files into a real database file; the import's own logic is tested in tests/dispatch.

#include "WorkbookFiles.h"

#include "CustomerImport.h"
#include "Database.h"
#include "MessageBoxes.h"
#include "Printers.h"
#include "RecordView.h"
#include "Schema.h"
#include "TestPaths.h"
#include "Workbook.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace testbook;

namespace {

using Rows = QList<QPair<QString, QString>>;

class CustomerImportTest : public testing::TestWithParam<Format>
{
protected:
    void SetUp() override
    {
        createDatabase(m_dir.filePath(QStringLiteral("db.mdb")));
        m_customers.setDatabase(&m_connection);
        m_customers.setCommandType(RecordView::CommandType::Table);
        m_customers.setCommandText(QStringLiteral("客户表"));
        m_customers.afterRefresh = [this] { ++m_refreshes; };
        m_customers.open();
    }

    QString file(const Book &book, const QString &name = QStringLiteral("customers"))
    {
        return write(book, GetParam(), m_dir.filePath(name + suffix(GetParam())));
    }

    // Runs the import; the failure's text, or empty.
    QString run(const QString &path)
    {
        CustomerImport import(m_connection.location(), [this] { m_customers.refresh(); });
        try {
            import.run(path);
        } catch (const Error &e) {
            return e.message();
        }
        return {};
    }

    // The customers as another connection sees them: only what was committed.
    Rows stored() const
    {
        Database other(m_dir.filePath(QStringLiteral("db.mdb")));
        other.setConnected(true);
        QSqlQuery query(other.database());
        query.exec(QStringLiteral("select 客户名称, 电子邮件地址 from 客户表 order by 客户ID"));
        Rows rows;
        while (query.next())
            rows.append({query.value(0).toString(), query.value(1).toString()});
        return rows;
    }

    // The boxes shown: the summary's first line and the report's headline.
    QStringList boxes()
    {
        QStringList shown;
        for (const boxes::ShownBox &box : m_boxes.takeShown())
            shown.append(box.text.section(u'\n', 0, 0));
        return shown;
    }

    QTemporaryDir m_dir;
    Database m_connection{m_dir.filePath(QStringLiteral("db.mdb"))};
    RecordView m_customers;
    int m_refreshes = 0;
    boxes::BoxRecorder m_boxes;
};

QStringList shownFor(qsizetype planned, int imported, int skipped)
{
    return {QStringLiteral("可导入 %1 位客户。").arg(planned), QStringLiteral("导入 %1 位客户；跳过 %2 行").arg(imported).arg(skipped)};
}

TEST_P(CustomerImportTest, ThreeRowsBecomeThreeCustomersStampedByTheEngine)
{
    const Rows rows{{QStringLiteral("张三"), QStringLiteral("zs@example.com")},
                    {QStringLiteral("李四"), QStringLiteral("\"Li Si\" <ls@example.com>")},
                    {QStringLiteral("王五"), QStringLiteral("ww@example.com")}};
    EXPECT_EQ(run(file(customers(rows))), QString());
    EXPECT_EQ(stored(), rows);
    EXPECT_EQ(boxes(), shownFor(3, 3, 0));
    EXPECT_EQ(m_refreshes, 1);
    EXPECT_EQ(m_customers.recordCount(), 3);
    QSqlQuery stamps(m_connection.database());
    stamps.exec(QStringLiteral("select 录入日期 from 客户表"));
    int stamped = 0;
    while (stamps.next()) {
        ++stamped;
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"))
                        .match(stamps.value(0).toString())
                        .hasMatch())
            << stamps.value(0).toString().toStdString();
    }
    EXPECT_EQ(stamped, 3);
}

// Every row from the first to the end of the used range is read; empty rows are passed over, rows
// that cannot be customers are skipped and counted.
TEST_P(CustomerImportTest, ReadsEveryRowAndSkipsThoseThatCannotGoIn)
{
    const QString a = QStringLiteral("甲"), b = QStringLiteral("b@example.com");
    struct Case
    {
        const char *name;
        Rows rows;
        Rows imported;
        int skipped;
    };
    const Case cases[] = {
        {"only a name or only an address", {{a, {}}, {{}, b}, {a, b}}, {{{}, b}, {a, b}}, 1},
        {"empty rows inside the data", {{a, b}, {}, {}, {a, b}}, {{a, b}, {a, b}}, 0},
        {"a heading row", {{QStringLiteral("客户名称"), QStringLiteral("电子邮件地址")}, {a, b}}, {{a, b}}, 1},
        {"blanks are no address", {{QStringLiteral(" "), {}}, {a, QStringLiteral("  ")}, {a, b}}, {{a, b}}, 1},
        {"no @", {{a, QStringLiteral("b.example.com")}, {a, b}}, {{a, b}}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_connection.setConnected(true);
        QSqlQuery(m_connection.database()).exec(QStringLiteral("delete from 客户表"));
        EXPECT_EQ(run(file(customers(c.rows), QString::fromLatin1(c.name))), QString());
        EXPECT_EQ(stored(), c.imported);
        EXPECT_EQ(boxes(), shownFor(c.imported.size(), int(c.imported.size()), c.skipped));
        EXPECT_EQ(m_customers.recordCount(), c.imported.size());
    }
}

// Nothing that can go in: no summary, the report alone.
TEST_P(CustomerImportTest, ASheetWithNothingToImportShowsTheReportAlone)
{
    EXPECT_EQ(run(file(customers({{}, {QStringLiteral("甲"), {}}}))), QString());
    EXPECT_EQ(stored(), Rows());
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("导入 0 位客户；跳过 1 行")});
    EXPECT_EQ(m_refreshes, 1);
}

TEST_P(CustomerImportTest, TheSameFileTwiceAddsEveryCustomerTwiceUnlessTheUserSaysNot)
{
    const Rows rows{{QStringLiteral("张三"), QStringLiteral("zs@example.com")}, {QStringLiteral("李四"), QStringLiteral("ls@example.com")}};
    const QString path = file(customers(rows));
    EXPECT_EQ(run(path), QString());
    EXPECT_EQ(run(path), QString());
    EXPECT_EQ(stored(), rows + rows);
    m_boxes.queueImportChoice(boxes::ImportChoice::ImportWithoutDuplicates);
    EXPECT_EQ(run(path), QString());
    EXPECT_EQ(stored(), rows + rows);
    EXPECT_EQ(boxes(), shownFor(2, 2, 0) + shownFor(2, 2, 0) + shownFor(2, 0, 2));
}

// Rows the database refuses, among good ones and among many (which go in many to a statement):
// every other row goes in.
TEST_P(CustomerImportTest, RefusedRowsLeaveTheOthersIn)
{
    const QPair<QString, QString> good{QStringLiteral("张三"), QStringLiteral("zs@example.com")};
    const QPair<QString, QString> refused{QString(101, u'名'), QStringLiteral("long@example.com")};
    struct Case
    {
        int before; // rows before the refused one
        int after;
    };
    const Case cases[] = {{1, 1}, {76, 60}};
    for (const Case &c : cases) {
        m_connection.setConnected(true);
        QSqlQuery(m_connection.database()).exec(QStringLiteral("delete from 客户表"));
        const Rows rows = Rows(c.before, good) + Rows{refused} + Rows(c.after, good);
        EXPECT_EQ(run(file(customers(rows))), QString());
        EXPECT_EQ(stored(), Rows(c.before + c.after, good));
        EXPECT_EQ(boxes(), shownFor(rows.size(), c.before + c.after, 1));
        EXPECT_EQ(m_customers.recordCount(), c.before + c.after);
    }
    // The longest texts the columns take go in whole.
    const QPair<QString, QString> longest{QString(100, u'名'), QString(242, u'a') + QStringLiteral("@example.com")};
    EXPECT_EQ(run(file(customers({longest}))), QString());
    EXPECT_EQ(stored().last(), longest);
}

TEST_P(CustomerImportTest, AFileThatCannotBeOpenedTouchesNothing)
{
    QFile empty(m_dir.filePath(QStringLiteral("empty") + suffix(GetParam())));
    empty.open(QIODevice::WriteOnly);
    empty.close();
    QFile noise(m_dir.filePath(QStringLiteral("noise") + suffix(GetParam())));
    noise.open(QIODevice::WriteOnly);
    noise.write(QByteArray(3000, '\x5a'));
    noise.close();
    const QString good = file(customers({{QStringLiteral("张三"), {}}}));
    QFile whole(good);
    whole.open(QIODevice::ReadOnly);
    QFile cut(m_dir.filePath(QStringLiteral("cut") + suffix(GetParam())));
    cut.open(QIODevice::WriteOnly);
    cut.write(whole.readAll().chopped(int(whole.size() / 2)));
    cut.close();

    for (const QString &path :
         {empty.fileName(), noise.fileName(), cut.fileName(), m_dir.filePath(QStringLiteral("none.xls"))}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_NE(run(path), QString());
        EXPECT_EQ(stored(), Rows());
        EXPECT_EQ(boxes(), QStringList());
        EXPECT_EQ(m_refreshes, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, CustomerImportTest, testing::Values(Format::Xls, Format::Xlsx),
                         [](const auto &info) { return info.param == Format::Xlsx ? "xlsx" : "xls"; });

// A sheet that breaks off in the middle: the rows read before the break stay.
class CustomerImportXlsx : public CustomerImportTest
{
};

TEST_F(CustomerImportXlsx, DamageInTheMiddleKeepsTheRowsReadBeforeIt)
{
    Book book;
    Sheet first{QStringLiteral("目录"), {}};
    Sheet active{QStringLiteral("客户"), {}};
    for (int row = 1; row <= 300; ++row) {
        first.cells.append(text(row, 1, QStringLiteral("x")));
        active.cells.append(text(row, 1, QStringLiteral("客户%1").arg(row)));
        active.cells.append(text(row, 2, QStringLiteral("c%1@example.com").arg(row)));
    }
    book.sheets = {first, active};
    book.active = 1;
    const QString whole = write(book, Format::Xlsx, m_dir.filePath(QStringLiteral("whole.xlsx")));
    const QByteArray sheet = readPart(whole, QStringLiteral("xl/worksheets/sheet2.xml"));
    const QByteArray cut = sheet.left(sheet.size() / 2);
    const QString path = m_dir.filePath(QStringLiteral("damaged.xlsx"));
    replacePart(whole, path, QStringLiteral("xl/worksheets/sheet2.xml"), cut);

    EXPECT_EQ(run(path), QString());
    const Rows rows = stored();
    ASSERT_EQ(rows.size(), cut.count("</row>"));
    ASSERT_GT(rows.size(), 100);
    EXPECT_EQ(rows.last().first, QStringLiteral("客户%1").arg(rows.size()));
    const QList<boxes::ShownBox> shown = m_boxes.takeShown();
    ASSERT_EQ(shown.size(), 2);
    const QString damaged = QStringLiteral("文件“%1”已损坏，无法读取").arg(QDir::toNativeSeparators(path));
    EXPECT_TRUE(shown[0].text.contains(damaged)) << shown[0].text.toStdString();
    EXPECT_TRUE(shown[1].text.contains(QStringLiteral("读取在中途停止（%1），其后的行未导入。").arg(damaged)));
    EXPECT_EQ(m_refreshes, 1);
}

// The sample file the window's hint names.
TEST_F(CustomerImportXlsx, TheShippedSampleImportsItsCustomers)
{
    EXPECT_EQ(run(testsupport::sourcePath(QStringLiteral("demo.xlsx"))), QString());
    const Rows rows = stored();
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows.first(), qMakePair(QStringLiteral("张三"), QStringLiteral("zhangsan@example.com")));
    EXPECT_EQ(boxes(), shownFor(5, 5, 0));
}

} // namespace
