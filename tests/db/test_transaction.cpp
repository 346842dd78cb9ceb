#include "Database.h"
#include "DatabaseError.h"
#include "Printers.h"
#include "Statement.h"
#include "TempDatabase.h"
#include "Transaction.h"

#include <gtest/gtest.h>

using testsupport::TempDatabase;

namespace {

class TransactionTest : public ::testing::Test
{
protected:
    TransactionTest()
    {
        // A child row without its parent is refused only at the commit.
        db.exec(QStringLiteral("create table 父(id integer primary key);"
                               "create table 子(父id references 父 deferrable initially deferred)"));
        connection.setConnected(true);
        execute(connection.handle(), QStringLiteral("pragma foreign_keys = on"));
    }

    void insert(const QString &sql) { execute(connection.handle(), sql); }
    int children() const { return db.scalar(QStringLiteral("select count(*) from 子")).toInt(); }

    TempDatabase db;
    Database connection{db.path()};
};

} // namespace

TEST_F(TransactionTest, CommittedRowsStayAndLeftRowsAreRolledBack)
{
    {
        Transaction transaction(connection);
        insert(QStringLiteral("insert into 父 values (1); insert into 子 values (1)"));
        transaction.commit();
    }
    try {
        Transaction transaction(connection);
        insert(QStringLiteral("insert into 子 values (1)"));
        throw DatabaseError(QStringLiteral("中断"));
    } catch (const DatabaseError &) {
    }
    EXPECT_EQ(children(), 1);
}

// The commit's refusal carries the engine's text and leaves no transaction behind.
TEST_F(TransactionTest, ARefusedCommitReportsTheEngineAndRollsBack)
{
    Transaction transaction(connection);
    insert(QStringLiteral("insert into 子 values (7)"));
    try {
        transaction.commit();
        FAIL() << "committed";
    } catch (const DatabaseError &error) {
        EXPECT_EQ(error.message(), QStringLiteral("FOREIGN KEY constraint failed"));
    }
    EXPECT_EQ(children(), 0);
    Transaction next(connection); // would fail inside a transaction still open
    insert(QStringLiteral("insert into 父 values (7); insert into 子 values (7)"));
    next.commit();
    EXPECT_EQ(children(), 1);
}
