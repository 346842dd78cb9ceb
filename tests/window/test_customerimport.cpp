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
        CustomerImport import(m_connection.path(), [this] { m_customers.refresh(); });
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

    QStringList boxes()
    {
        QStringList shown;
        for (const boxes::ShownBox &box : m_boxes.takeShown())
            shown.append(box.text);
        return shown;
    }

    QTemporaryDir m_dir;
    Database m_connection{m_dir.filePath(QStringLiteral("db.mdb"))};
    RecordView m_customers;
    int m_refreshes = 0;
    boxes::BoxRecorder m_boxes;
};

const QString done = QStringLiteral("         导入完成。        ");

TEST_P(CustomerImportTest, ThreeRowsBecomeThreeCustomersStampedByTheEngine)
{
    const Rows rows{{QStringLiteral("张三"), QStringLiteral("zs@example.com")},
                    {QStringLiteral("李四"), QStringLiteral("\"Li Si\" <ls@example.com>")},
                    {QStringLiteral("王五"), QStringLiteral("ww@example.com")}};
    EXPECT_EQ(run(file(customers(rows))), QString());
    EXPECT_EQ(stored(), rows);
    EXPECT_EQ(boxes(), QStringList{done});
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

TEST_P(CustomerImportTest, ReadsDownToTheFirstRowWithBothCellsEmpty)
{
    const QString a = QStringLiteral("甲"), b = QStringLiteral("b@example.com");
    struct Case
    {
        const char *name;
        Rows rows;
        Rows imported;
    };
    const Case cases[] = {
        {"only a name or only an address", {{a, {}}, {{}, b}, {a, b}}, {{a, {}}, {{}, b}, {a, b}}},
        {"an empty row inside the data", {{a, b}, {a, {}}, {}, {a, b}}, {{a, b}, {a, {}}}},
        {"a heading row",
         {{QStringLiteral("客户名称"), QStringLiteral("电子邮件地址")}, {a, b}},
         {{QStringLiteral("客户名称"), QStringLiteral("电子邮件地址")}, {a, b}}},
        {"the first row empty", {{}, {a, b}}, {}},
        {"blanks are not empty",
         {{QStringLiteral(" "), {}}, {{}, QStringLiteral("  ")}, {a, b}},
         {{QStringLiteral(" "), {}}, {{}, QStringLiteral("  ")}, {a, b}}},
    };
    int imported = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run(file(customers(c.rows), QString::fromLatin1(c.name))), QString());
        imported += int(c.imported.size());
        EXPECT_EQ(stored().mid(stored().size() - c.imported.size()), c.imported);
        EXPECT_EQ(stored().size(), imported);
        EXPECT_EQ(boxes(), QStringList{done});
        EXPECT_EQ(m_customers.recordCount(), imported);
    }
}

TEST_P(CustomerImportTest, TheSameFileTwiceAddsEveryCustomerTwice)
{
    const Rows rows{{QStringLiteral("张三"), QStringLiteral("zs@example.com")}, {QStringLiteral("李四"), {}}};
    const QString path = file(customers(rows));
    EXPECT_EQ(run(path), QString());
    EXPECT_EQ(run(path), QString());
    EXPECT_EQ(stored(), rows + rows);
    EXPECT_EQ(boxes(), (QStringList{done, done}));
}

TEST_P(CustomerImportTest, ARefusedRowKeepsTheRowsBeforeItAndReadsNoFurther)
{
    const QString first = QStringLiteral("张三"), address = QStringLiteral("zs@example.com");
    struct Case
    {
        int before; // rows before the refused one
        QPair<QString, QString> refused;
        QString error;
    };
    const Case cases[] = {
        {1,
         {QString(101, u'名'), address},
         QStringLiteral("第2行未能导入：CHECK constraint failed: 客户名称超过100个字符")},
        {1,
         {first, QString(255, u'a')},
         QStringLiteral("第2行未能导入：CHECK constraint failed: 电子邮件地址超过254个字符")},
        // Among many rows, which go in many to a statement.
        {76,
         {QString(101, u'名'), address},
         QStringLiteral("第77行未能导入：CHECK constraint failed: 客户名称超过100个字符")},
    };
    int kept = 0;
    for (const Case &c : cases) {
        const Rows before(c.before, {first, address});
        EXPECT_EQ(run(file(customers(before + Rows{c.refused} + Rows(60, {first, address})))), c.error);
        kept += c.before;
        EXPECT_EQ(stored().size(), kept);
        EXPECT_EQ(boxes(), QStringList{done});
        EXPECT_EQ(m_customers.recordCount(), kept);
    }
    // The longest texts the columns take go in whole.
    EXPECT_EQ(run(file(customers({{QString(100, u'名'), QString(254, u'a')}}))), QString());
    EXPECT_EQ(stored().last(), qMakePair(QString(100, u'名'), QString(254, u'a')));
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
    }
    book.sheets = {first, active};
    book.active = 1;
    const QString whole = write(book, Format::Xlsx, m_dir.filePath(QStringLiteral("whole.xlsx")));
    const QByteArray sheet = readPart(whole, QStringLiteral("xl/worksheets/sheet2.xml"));
    const QByteArray cut = sheet.left(sheet.size() / 2);
    const QString path = m_dir.filePath(QStringLiteral("damaged.xlsx"));
    replacePart(whole, path, QStringLiteral("xl/worksheets/sheet2.xml"), cut);

    EXPECT_EQ(run(path), QStringLiteral("文件“%1”已损坏，无法读取").arg(QDir::toNativeSeparators(path)));
    const Rows rows = stored();
    ASSERT_EQ(rows.size(), cut.count("</row>"));
    ASSERT_GT(rows.size(), 100);
    EXPECT_EQ(rows.last().first, QStringLiteral("客户%1").arg(rows.size()));
    EXPECT_EQ(boxes(), QStringList{done});
    EXPECT_EQ(m_refreshes, 1);
}

// The sample file the window's hint names.
TEST_F(CustomerImportXlsx, TheShippedSampleImportsItsCustomers)
{
    EXPECT_EQ(run(testsupport::sourcePath(QStringLiteral("demo.xlsx"))), QString());
    const Rows rows = stored();
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows.first(), qMakePair(QStringLiteral("张三"), QStringLiteral("zhangsan@example.com")));
    EXPECT_EQ(boxes(), QStringList{done});
}

} // namespace
