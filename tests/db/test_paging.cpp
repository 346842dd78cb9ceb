// A whole table is read as it is looked at, a few hundred rows at a time; these tables are several
// such pages long, with and without gaps in their keys, so every way of finding a page is taken.

#include "Database.h"
#include "DatabaseError.h"
#include "Printers.h"
#include "RecordView.h"
#include "TempDatabase.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>

using testsupport::TempDatabase;

namespace {

constexpr int tableRows = 1000;

struct Layout
{
    const char *name;
    const char *removed; // the keys deleted before the view opens
};

const Layout layouts[] = {
    {"keys without gaps", "0"},
    {"gaps throughout", "rowid % 7 = 3"},
    {"a gap at the start", "rowid <= 10"},
    {"a gap near the end", "rowid between 990 and 995"},
};

// The rows read first, in this order, in a table of n rows (then all are read): the last page, a
// page found back from it, the middle, the first, either side of pages read.
QList<int> scattered(int n)
{
    return {n - 1, 600, n / 2, 0, 511, 512, 257, 255, 256, n - 300, 1, n - 2, 768, 767};
}

QStringList texts(const QVariantList &values)
{
    QStringList texts;
    for (const QVariant &value : values)
        texts.append(value.isNull() ? QStringLiteral("(null)") : value.toString());
    return texts;
}

class Paging : public ::testing::Test
{
protected:
    Paging()
        : connection(db.path())
    {
        view.setDatabase(&connection);
        view.setCommandType(RecordView::CommandType::Table);
        view.setCommandText(QStringLiteral("发送情况"));
        connection.setConnected(true);
    }

    // The table holds the rows of the layout, keys 1 to 1000 less the removed ones.
    void open(const Layout &layout, RecordView::CommandType type = RecordView::CommandType::Table)
    {
        db.exec(QStringLiteral("delete from 发送情况;"
                               "with recursive n(i) as (select 1 union all select i + 1 from n where i < %1)"
                               " insert into 发送情况(rowid, 客户ID, 邮件ID, 发送日期, 发送结果)"
                               " select i, i, i % 7, '2026/12/1 9:00:' || i, case when i % 2 then '成功' end from n;"
                               "delete from 发送情况 where %2")
                    .arg(tableRows)
                    .arg(QLatin1String(layout.removed)));
        view.setCommandType(type);
        view.setCommandText(type == RecordView::CommandType::Table ? QStringLiteral("发送情况")
                                                                   : QStringLiteral("select * from 发送情况"));
        view.open();
    }

    QStringList shown(int row) const
    {
        QVariantList values;
        for (int c = 0; c < view.fields().size(); ++c)
            values.append(view.value(row, c));
        return texts(values);
    }

    QList<QStringList> stored() const
    {
        QList<QStringList> rows;
        for (const QVariantList &row : db.rows(QStringLiteral("select * from 发送情况 order by rowid")))
            rows.append(texts(row));
        return rows;
    }

    // Every row as the view shows it equals the table's row in key order, read scattered first.
    void expectTableRows(const QList<QStringList> &expected, const char *when) const
    {
        ASSERT_EQ(view.recordCount(), expected.size()) << when;
        for (const int row : scattered(int(expected.size()))) {
            if (row < expected.size()) {
                EXPECT_EQ(shown(row), expected.at(row)) << when << ", row " << row;
            }
        }
        for (int row = 0; row < expected.size(); ++row)
            ASSERT_EQ(shown(row), expected.at(row)) << when << ", row " << row;
    }

    TempDatabase db;
    Database connection;
    RecordView view;
};

} // namespace

TEST_F(Paging, EveryRowShowsInTheTablesOrderWhereverReadingStarts)
{
    for (const Layout &layout : layouts) {
        for (const auto type : {RecordView::CommandType::Table, RecordView::CommandType::Text}) {
            SCOPED_TRACE(layout.name);
            SCOPED_TRACE(type == RecordView::CommandType::Table ? "table" : "select * statement");
            open(layout, type);
            EXPECT_TRUE(view.canModify());
            expectTableRows(stored(), "at open");
            view.close();
        }
    }
}

TEST_F(Paging, RowsRemovedAndAddedThroughTheViewKeepEveryOtherRowInPlace)
{
    for (const Layout &layout : layouts) {
        SCOPED_TRACE(layout.name);
        open(layout);
        const int opened = view.recordCount();
        // Removed where nothing around has been read yet, then rows read on both sides.
        for (const int row : {600, 300, 10, opened - 4}) {
            view.setCurrentRow(row);
            view.remove();
        }
        view.append();
        view.setFieldValue(QStringLiteral("客户ID"), 5000);
        view.post();
        db.exec(QStringLiteral("insert into 发送情况(客户ID, 邮件ID, 发送日期) values (6000, 1, '2026/12/9 9:00:00')"));
        view.appendRow({6000, 1, QStringLiteral("2026/12/9 9:00:00")},
                       db.scalar(QStringLiteral("select max(rowid) from 发送情况")).toLongLong());

        expectTableRows(stored(), "after the changes");
        EXPECT_EQ(view.recordCount(), opened - 4 + 2);
        view.setCurrentRow(view.recordCount() - 1);
        view.remove(); // the row written elsewhere goes by its key like the others
        expectTableRows(stored(), "after removing the last row");
        view.close();
    }
}

TEST_F(Paging, RowsWrittenElsewhereAfterOpenStayOutOfTheRowsRead)
{
    open(layouts[0]);
    const QList<QStringList> atOpen = stored();
    db.exec(QStringLiteral("insert into 发送情况(客户ID, 邮件ID) values (7000, 1), (7001, 1);"
                           "delete from 发送情况 where 客户ID = 900"));
    EXPECT_EQ(view.recordCount(), tableRows);
    EXPECT_EQ(shown(tableRows - 1), atOpen.last());
    // A row deleted elsewhere before it was read leaves its place empty; the rows around it keep theirs.
    EXPECT_EQ(shown(899), QStringList(4, QStringLiteral("(null)")));
    EXPECT_EQ(shown(898), atOpen.at(898));
    EXPECT_EQ(shown(900), atOpen.at(900));
    view.setCurrentRow(899);
    EXPECT_THROW(view.remove(), DatabaseError);
    EXPECT_EQ(view.recordCount(), tableRows);
}

TEST_F(Paging, ReadsLeaveTheFileFreeForAnotherConnectionsWrites)
{
    open(layouts[1]);
    view.last();
    view.setCurrentRow(400);
    EXPECT_EQ(shown(650).at(0), stored().at(650).at(0));

    // No statement of the view's connection is left stepped: with a rollback journal its read
    // lock would refuse other connections' commits; with the write-ahead log it would hold the
    // log from being checkpointed.
    for (sqlite3_stmt *statement = sqlite3_next_stmt(connection.handle(), nullptr); statement;
         statement = sqlite3_next_stmt(connection.handle(), statement))
        EXPECT_FALSE(sqlite3_stmt_busy(statement)) << sqlite3_sql(statement);

    // Without waiting: a read lock kept between reads would make this fail at once.
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open_v2(db.path().toUtf8().constData(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    char *error = nullptr;
    const int result = sqlite3_exec(other, "begin exclusive; insert into 发送情况(客户ID) values (8000); commit;",
                                    nullptr, nullptr, &error);
    EXPECT_EQ(result, SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(other);
}

TEST_F(Paging, RefreshFindsTheCurrentRowByItsKey)
{
    for (const Layout &layout : layouts) {
        SCOPED_TRACE(layout.name);
        open(layout);
        view.setCurrentRow(700);
        const QStringList current = shown(700);
        db.exec(QStringLiteral("delete from 发送情况 where rowid between 100 and 120;"
                               "insert into 发送情况(客户ID) values (9000)"));
        view.refresh();
        const QList<QStringList> now = stored();
        EXPECT_EQ(view.recordCount(), now.size());
        ASSERT_GE(view.currentRow(), 0);
        EXPECT_EQ(shown(view.currentRow()), current);
        EXPECT_EQ(view.currentRow(), now.indexOf(current));
        view.close();
    }
}

TEST_F(Paging, LocateAndLastReachRowsNotReadYet)
{
    for (const Layout &layout : layouts) {
        SCOPED_TRACE(layout.name);
        open(layout);
        const QList<QStringList> rows = stored();
        view.last();
        EXPECT_EQ(view.currentRow(), rows.size() - 1);
        EXPECT_EQ(shown(view.currentRow()), rows.last());
        view.first();
        const int far = int(rows.size()) - 50;
        ASSERT_TRUE(view.locate(QStringLiteral("客户ID"), rows.at(far).at(0)));
        EXPECT_EQ(view.currentRow(), far);
        EXPECT_FALSE(view.locate(QStringLiteral("客户ID"), 123456));
        EXPECT_EQ(view.currentRow(), far);
        view.close();
    }
}
