// The engine's own refusals of a save, on a db.mdb file and on a PostgreSQL server: the same words
// for the user on both, and each taken for a refusal of the row, not a failure of the database.

#include "CustomerBatch.h"
#include "Database.h"
#include "DatabaseError.h"
#include "EngineDatabase.h"
#include "Printers.h"
#include "Refusals.h"
#include "Statement.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class RefusalEngines : public ::testing::TestWithParam<Engine>
{
};

TEST_P(RefusalEngines, EachKindReadsTheSameOnBothEngines)
{
    const EngineDatabase db(GetParam());
    db.exec(QStringLiteral("insert into 退订名单(电子邮件地址) values('wang@example.test')"));
    const struct
    {
        const char *kind;
        QString sql;
        QString shown;
        bool refusedRow;
    } cases[] = {
        {"CHECK", QStringLiteral("insert into 客户表(客户名称) values('%1')").arg(QString(101, u'名')),
         QStringLiteral("客户名称不能超过 100 个字符"), true},
        {"NOT NULL", QStringLiteral("insert into 退订名单(原因) values('手工')"), QStringLiteral("电子邮件地址不能为空"), true},
        {"UNIQUE", QStringLiteral("insert into 退订名单(电子邮件地址) values(' WANG@example.test')"),
         QStringLiteral("这个电子邮件地址已在退订名单中"), true},
        // a statement wrong in itself is no refusal of a row: an import stops on it
        {"no table", QStringLiteral("insert into 没有的表(名称) values('x')"), QString(), false},
    };
    Database connection(db.location());
    connection.setConnected(true);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.kind);
        try {
            Statement statement(connection, c.sql);
            statement.step();
            ADD_FAILURE() << "not refused";
        } catch (const DatabaseError &e) {
            EXPECT_EQ(refusedRow(connection, e), c.refusedRow) << e.message().toStdString();
            if (!c.shown.isEmpty()) {
                EXPECT_EQ(refusalText(e.message(), e.sqlState()), c.shown) << e.message().toStdString();
            }
            if (GetParam() == Engine::Postgres && c.refusedRow) {
                EXPECT_TRUE(e.sqlState().startsWith(QStringLiteral("23"))) << e.sqlState().toStdString();
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(, RefusalEngines, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto &info) { return engineName(info.param); });

} // namespace
