// The customer picker's search, on a db.mdb file and on a PostgreSQL server: what a typed text
// finds, in which order, how many, and that every typed character stands for itself.

#include "CustomerSearch.h"
#include "Database.h"
#include "EngineDatabase.h"
#include "Printers.h"
#include "TempDatabase.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class CustomerSearchEngines : public ::testing::TestWithParam<Engine>
{
protected:
    void SetUp() override
    {
        // IDs chosen so that digits find an exact number and longer ones beginning with it.
        db.exec(QStringLiteral(
            "insert into 客户表(\"客户ID\", 客户名称, 电子邮件地址) values"
            " (3, '张三', 'zhang.san@example.com'),"
            " (12, '李四', 'li4@shop.example'),"
            " (30, '张三丰', 'feng@wudang.example'),"
            " (31, '王五', 'WANG5@Example.com'),"
            " (120, '赵六', 'zhao@example.com'),"
            " (300, '百分之百%', 'percent@example.com'),"
            " (301, 'a_b', 'under_score@example.com'),"
            " (302, 'O''Brien', 'obrien@example.com'),"
            " (303, '反斜\\杠', 'back\\slash@example.com'),"
            " (304, 'axb', 'axb@example.com'),"
            " (1200, '钱七', 'qian@example.com'),"
            " (4000, '孙八', 'sun@张家.example')"));
        connection.setConnected(true);
    }

    static QList<qint64> ids(const QList<CustomerMatch> &matches)
    {
        QList<qint64> result;
        for (const CustomerMatch &match : matches)
            result.append(match.id);
        return result;
    }

    EngineDatabase db{GetParam()};
    Database connection{db.location()};
};

TEST_P(CustomerSearchEngines, FindsWhatTheTextNames)
{
    const struct
    {
        const char *name;
        QString typed;
        QList<qint64> found;
    } cases[] = {
        {"empty: the first customers", QString(), {3, 12, 30, 31, 120, 300, 301, 302, 303, 304, 1200, 4000}},
        {"blanks around are dropped", QStringLiteral("  12 "), {12, 120, 1200}},
        {"ID exact, then its prefixes by ID", QStringLiteral("3"), {3, 30, 31, 300, 301, 302, 303, 304}},
        {"ID exact only", QStringLiteral("4000"), {4000}},
        {"ID no match", QStringLiteral("5"), {}},
        {"ID with a leading zero", QStringLiteral("03"), {}},
        {"ID past the key's range", QStringLiteral("99999999999999999999"), {}},
        {"name prefix", QStringLiteral("张三"), {3, 30}},
        {"name inside", QStringLiteral("三丰"), {30}},
        {"address prefix", QStringLiteral("zhao"), {120}},
        {"address part", QStringLiteral("wudang"), {30}},
        {"address part, any case", QStringLiteral("example.COM"), {3, 31, 120, 300, 301, 302, 303, 304, 1200}},
        {"name prefix and address part", QStringLiteral("张"), {3, 30, 4000}},
        // those the indexes find first, then those the scan finds
        {"prefixes before inside matches", QStringLiteral("a"), {301, 304, 3, 12, 30, 31, 120, 300, 302, 303, 1200, 4000}},
        {"no match", QStringLiteral("无此人"), {}},
        {"% literally", QStringLiteral("%"), {300}},
        {"_ literally", QStringLiteral("a_b"), {301}},
        {"_ is no wildcard", QStringLiteral("_"), {301}},
        {"quote literally", QStringLiteral("O'B"), {302}},
        {"backslash literally", QStringLiteral("\\"), {303}},
        {"digits and text", QStringLiteral("li4"), {12}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ids(findCustomers(connection, c.typed)), c.found);
    }
}

TEST_P(CustomerSearchEngines, MatchesCarryIdNameAndAddress)
{
    EXPECT_EQ(findCustomers(connection, QStringLiteral("31")),
              QList<CustomerMatch>({{31, QStringLiteral("王五"), QStringLiteral("WANG5@Example.com")}}));
}

// Never more than the limit, the first by ID: from the key for digits, and over slices of the
// scan, which stops once the limit is reached.
TEST_P(CustomerSearchEngines, StopsAtTheLimit)
{
    db.exec(QStringLiteral("delete from 客户表"));
    QString values;
    for (int id = 1; id <= 250; ++id)
        values += QStringLiteral("%1(%2, '客户%2', 'c%2@example.com')").arg(id == 1 ? "" : ",").arg(id);
    db.exec(QStringLiteral("insert into 客户表(\"客户ID\", 客户名称, 电子邮件地址) values ") + values);

    QList<qint64> first50;
    for (int id = 1; id <= 50; ++id)
        first50.append(id);
    EXPECT_EQ(ids(findCustomers(connection, QString())), first50);
    EXPECT_EQ(ids(findCustomers(connection, QStringLiteral("客户"))).size(), 50);

    QList<qint64> ones{1};
    for (int id = 10; id <= 19; ++id)
        ones.append(id);
    for (int id = 100; id <= 138; ++id)
        ones.append(id);
    EXPECT_EQ(ids(findCustomers(connection, QStringLiteral("1"))), ones);

    // Text inside the addresses only: found by the scan, in slices of 7 customers.
    CustomerSearch search(connection, QStringLiteral("0@EXAMPLE"), 20);
    EXPECT_TRUE(search.quickMatches().isEmpty());
    QList<CustomerMatch> scanned;
    int slices = 0;
    while (search.scanning()) {
        scanned += search.scanMore(7);
        ++slices;
    }
    QList<qint64> tens;
    for (int id = 10; id <= 200; id += 10)
        tens.append(id);
    EXPECT_EQ(ids(scanned), tens);
    EXPECT_EQ(slices, 29); // up to customer 203, not the 250
}

INSTANTIATE_TEST_SUITE_P(, CustomerSearchEngines, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto &info) { return engineName(info.param); });

// A file made before the picker gets its indexes when the program opens it, and the searches
// use them.
TEST(CustomerSearchIndexes, AnOlderFileGetsThemOnOpen)
{
    TempDatabase db;
    db.exec(QStringLiteral("drop index 客户表_客户名称; drop index 客户表_电子邮件地址;"
                           "insert into 客户表(客户名称, 电子邮件地址) values ('张三', 'zhang@example.com')"));
    {
        Database connection(db.location());
        connection.setConnected(true);
        EXPECT_EQ(findCustomers(connection, QStringLiteral("张")).size(), 1);
    }
    QStringList indexes;
    for (const QVariantList &row : db.rows(QStringLiteral("select name, sql from sqlite_master where tbl_name = '客户表'"
                                                          " and type = 'index' order by name")))
        indexes << row.at(0).toString() + u'|' + row.at(1).toString();
    EXPECT_EQ(indexes, (QStringList{QStringLiteral("客户表_客户名称|CREATE INDEX 客户表_客户名称 on 客户表 (客户名称)"),
                                    QStringLiteral("客户表_电子邮件地址|CREATE INDEX 客户表_电子邮件地址 on 客户表 (电子邮件地址)")}));
    for (const char *column : {"客户名称", "电子邮件地址"}) {
        const QString plan = db.rows(QStringLiteral("explain query plan select 客户ID from 客户表 where %1 >= 'a' and %1 < 'b'")
                                         .arg(QString::fromUtf8(column)))
                                 .last()
                                 .last()
                                 .toString();
        EXPECT_EQ(plan, QStringLiteral("SEARCH 客户表 USING COVERING INDEX 客户表_%1 (%1>? AND %1<?)").arg(QString::fromUtf8(column)));
    }
}

} // namespace
