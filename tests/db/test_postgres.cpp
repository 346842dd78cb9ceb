#include "Database.h"
#include "DatabaseError.h"
#include "PostgresCluster.h"
#include "PostgresStatement.h"
#include "Printers.h"
#include "SendClaims.h"
#include "ServerSchema.h"
#include "Statement.h"
#include "TempDatabase.h"
#include "Transaction.h"

#include <gtest/gtest.h>

#include <QScopeGuard>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <thread>

using testsupport::PostgresCluster;

namespace {

// One throwaway cluster per test process, each test on a database of its own. A cluster that does
// not start fails the test with the tools' words: these tests are never skipped.
class Postgres : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_cluster = std::make_unique<PostgresCluster>();
        s_failure = s_cluster->start();
    }
    static void TearDownTestSuite() { s_cluster.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(s_failure.isEmpty()) << "PostgreSQL did not start: " << s_failure.toStdString();
        const QString name = QStringLiteral("t_%1").arg(++s_databases);
        m_location = s_cluster->createDatabase(name);
        // The way a user names it, through the socket directory.
        m_url = QStringLiteral("postgresql:///%1?host=%2&user=%3")
                    .arg(name, s_cluster->socketDirectory(), PostgresCluster::user());
    }

    static std::unique_ptr<PostgresCluster> s_cluster;
    static QString s_failure;
    static int s_databases;
    DatabaseLocation m_location;
    QString m_url;
};

std::unique_ptr<PostgresCluster> Postgres::s_cluster;
QString Postgres::s_failure;
int Postgres::s_databases = 0;

QStringList serverColumns(Database &server, const QString &table)
{
    Statement query(server, QStringLiteral("select column_name from information_schema.columns "
                                           "where table_schema = current_schema() and table_name = ? "
                                           "order by ordinal_position"));
    query.bind(1, table);
    QStringList columns;
    while (query.step())
        columns.append(query.column(0).toString());
    return columns;
}

} // namespace

TEST_F(Postgres, ConnectsThroughTheSocketTheUrlNames)
{
    const DatabaseLocation location = parseDatabaseUrl(m_url);
    EXPECT_EQ(location, m_location);
    Database server(location);
    EXPECT_EQ(server.engine(), Engine::Postgres);
    EXPECT_TRUE(server.path().isEmpty());
    server.setConnected(true);
    ASSERT_TRUE(server.isConnected());
    EXPECT_EQ(server.handle(), nullptr);
    {
        Statement query(server, QStringLiteral("select current_database(), ?"));
        query.bind(1, QStringLiteral("你好"));
        ASSERT_TRUE(query.step());
        EXPECT_EQ(query.column(0).toString(), location.databaseName);
        EXPECT_EQ(query.column(1).toString(), QStringLiteral("你好"));
        EXPECT_FALSE(query.step());
    }
    // A statement is let go before its connection, as on a file.
    server.setConnected(false);
    EXPECT_FALSE(server.isConnected());
}

// A start that cannot connect says why in the server's own words.
TEST_F(Postgres, ADatabaseThatIsNotThereIsRefusedWithTheServersReason)
{
    Database server(s_cluster->location(QStringLiteral("没有这个库")));
    try {
        server.setConnected(true);
        ADD_FAILURE() << "connected";
    } catch (const DatabaseError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("没有这个库"))) << e.message().toStdString();
        EXPECT_FALSE(e.message().contains(u'\n')) << e.message().toStdString();
    }
    EXPECT_FALSE(server.isConnected());
    EXPECT_THROW(Statement(server, QStringLiteral("select 1")), DatabaseError);
}

// A server that takes the connection and never answers (a host whose packets go nowhere looks the
// same from here) fails the connect after a while instead of holding the window for good.
TEST(PostgresConnect, AServerThatNeverAnswersFailsTheConnect)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    const auto closeListener = qScopeGuard([&] { ::close(listener); });
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0); // the kernel completes the handshake; nobody replies
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);

    DatabaseLocation location;
    location.engine = Engine::Postgres;
    location.host = QStringLiteral("127.0.0.1");
    location.port = ntohs(address.sin_port);
    location.databaseName = QStringLiteral("quillon");
    Database server(location);
    EXPECT_THROW(server.setConnected(true), DatabaseError);
    EXPECT_FALSE(server.isConnected());
}

// The first start finds no tables and makes them: the same tables and columns as a file, each
// table the window edits with a key of its own on the server.
TEST_F(Postgres, TheFirstStartMakesTheTablesOfAFile)
{
    Database server(m_location);
    server.setConnected(true);
    EXPECT_TRUE(serverHasNoTables(server));
    EXPECT_EQ(createTablesQuestion(m_location),
              QStringLiteral("数据库“%1”中还没有本程序的表。现在创建这些表吗？").arg(m_location.text()));
    createServerTables(server);
    EXPECT_FALSE(serverHasNoTables(server));

    testsupport::TempDatabase file;
    const auto tables = file.rows(QStringLiteral("select name from sqlite_master where type = 'table' "
                                                 "and name not like 'sqlite%' order by name"));
    const QStringList keys = {QStringLiteral("记录ID"), QStringLiteral("设置ID"), QStringLiteral("退订ID")};
    for (const QVariantList &row : tables) {
        const QString table = row.at(0).toString();
        QStringList fileColumns;
        for (const QVariantList &column : file.rows(QStringLiteral("select name from pragma_table_info('%1')").arg(table)))
            fileColumns.append(column.at(0).toString());
        QStringList onServer = serverColumns(server, table);
        for (const QString &key : keys)
            onServer.removeAll(key);
        EXPECT_EQ(onServer, fileColumns) << table.toStdString();
    }

    // A second attempt changes nothing and says why.
    EXPECT_THROW(createServerTables(server), DatabaseError);
    EXPECT_FALSE(serverHasNoTables(server));
}

TEST_F(Postgres, ACustomerWithChineseTextGoesInAndComesBack)
{
    Database server(m_location);
    server.setConnected(true);
    createServerTables(server);

    Statement insert(server, QStringLiteral("insert into 客户表(客户名称, 电子邮件地址, 录入日期) values(?, ?, ?)"));
    insert.bind(1, QStringLiteral("张三丰"));
    insert.bindText(2, QByteArrayView("zhang@例子.中国"));
    insert.bind(3, QStringLiteral("2026-12-10 14:05:09.123"));
    EXPECT_FALSE(insert.step());
    EXPECT_EQ(insert.changes(), 1);
    const qint64 id = insert.lastInsertId();
    EXPECT_EQ(id, 1);
    insert.reset();
    insert.bind(1, QStringLiteral("李四"));
    insert.bind(2, QVariant());
    insert.bind(3, QVariant());
    insert.step();
    EXPECT_EQ(insert.lastInsertId(), 2);

    // Latin letters in a name fold to lower case on the server unless the name is quoted.
    Statement select(server, QStringLiteral("select \"客户ID\", 客户名称, 电子邮件地址, 录入日期 from 客户表 "
                                            "where \"客户ID\" = :id or 客户名称 = :name order by \"客户ID\""));
    EXPECT_EQ(select.parameterIndex(QStringLiteral(":id")), 1);
    EXPECT_EQ(select.parameterIndex(QStringLiteral(":name")), 2);
    EXPECT_EQ(select.parameterIndex(QStringLiteral(":other")), 0);
    ASSERT_TRUE(select.bind(QStringLiteral(":id"), id));
    ASSERT_TRUE(select.bind(QStringLiteral(":name"), QStringLiteral("李四")));
    ASSERT_TRUE(select.step());
    EXPECT_EQ(select.columnCount(), 4);
    EXPECT_EQ(select.column(0), QVariant(qlonglong(1)));
    EXPECT_EQ(select.column(1), QVariant(QStringLiteral("张三丰")));
    EXPECT_EQ(select.column(2), QVariant(QStringLiteral("zhang@例子.中国")));
    EXPECT_EQ(select.column(3), QVariant(QStringLiteral("2026-12-10 14:05:09.123")));
    ASSERT_TRUE(select.step());
    EXPECT_EQ(select.column(0), QVariant(qlonglong(2)));
    EXPECT_TRUE(select.column(2).isNull());
    EXPECT_TRUE(select.column(3).isNull());
    EXPECT_FALSE(select.step());

    // Run again after a reset, with new values.
    select.reset();
    select.bind(1, qlonglong(2));
    ASSERT_TRUE(select.step());
    EXPECT_EQ(select.column(1), QVariant(QStringLiteral("李四")));
}

// A refusal of the schema's CHECK comes back as a DatabaseError naming the constraint, and the
// transaction it happened in leaves nothing behind.
TEST_F(Postgres, ACheckRefusalIsADatabaseError)
{
    Database server(m_location);
    server.setConnected(true);
    createServerTables(server);

    const struct
    {
        QString sql;
        QVariant value;
        QString constraint;
    } cases[] = {
        {QStringLiteral("insert into 客户表(客户名称) values(?)"), QString(101, u'名'), QStringLiteral("客户名称超过100个字符")},
        {QStringLiteral("insert into 客户表(电子邮件地址) values(?)"), QString(255, u'a'), QStringLiteral("电子邮件地址超过254个字符")},
        {QStringLiteral("insert into 设置(每日上限) values(?)"), 100001, QStringLiteral("每日上限超出范围")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.constraint.toStdString());
        // Made before the transaction: the server frees a statement only outside a failed one.
        Statement insert(server, c.sql);
        {
            Transaction transaction(server);
            insert.bind(1, c.value);
            try {
                insert.step();
                ADD_FAILURE() << "accepted";
            } catch (const DatabaseError &e) {
                EXPECT_TRUE(e.message().contains(c.constraint)) << e.message().toStdString();
                // the refused row's values stay out of the message
                EXPECT_FALSE(e.message().contains(u'\n')) << e.message().toStdString();
            }
        }
        Statement count(server, QStringLiteral("select (select count(*) from 客户表) + (select count(*) from 设置)"));
        ASSERT_TRUE(count.step());
        EXPECT_EQ(count.column(0).toLongLong(), 0);
    }
    // The widths themselves go in.
    Statement insert(server, QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values(?, ?)"));
    insert.bind(1, QString(100, u'名'));
    insert.bind(2, QString(254, u'a'));
    EXPECT_NO_THROW(insert.step());
}

// The do-not-mail list folds the case of ASCII letters only, as a file does, whatever the server's
// locale; a second entry of an address is refused.
TEST_F(Postgres, TheDoNotMailListFoldsAsciiLettersOnly)
{
    Database server(m_location);
    server.setConnected(true);
    createServerTables(server);
    Statement insert(server, QStringLiteral("insert into 退订名单(电子邮件地址) values(?) on conflict do nothing"));
    for (const QString &address : {QStringLiteral("Anna@Example.com"), QStringLiteral(" anna@example.COM "),
                                   QStringLiteral("ÄNNA@example.com"), QStringLiteral("änna@example.com")}) {
        insert.reset();
        insert.bind(1, address);
        insert.step();
    }
    Statement count(server, QStringLiteral("select count(*) from 退订名单"));
    ASSERT_TRUE(count.step());
    EXPECT_EQ(count.column(0).toLongLong(), 3);
}

TEST(PostgresParameters, SqliteParametersBecomeTheServers)
{
    const struct
    {
        QString sql;
        QString expected;
        QStringList names;
    } cases[] = {
        {QStringLiteral("select ? , ?"), QStringLiteral("select $1 , $2"), {QString(), QString()}},
        {QStringLiteral("where a >= ?1 and a <= ?2 limit ?3 offset ?1"),
         QStringLiteral("where a >= $1 and a <= $2 limit $3 offset $1"), {QString(), QString(), QString()}},
        {QStringLiteral("values(:name, :address, :name)"), QStringLiteral("values($1, $2, $1)"),
         {QStringLiteral(":name"), QStringLiteral(":address")}},
        {QStringLiteral("where 客户名称 = :名称"), QStringLiteral("where 客户名称 = $1"), {QStringLiteral(":名称")}},
        // texts, quoted names, comments and casts hold no parameters
        {QStringLiteral("select '?', '10:30', \"a?b\", x::text, ? -- why?\n, ?"),
         QStringLiteral("select '?', '10:30', \"a?b\", x::text, $1 -- why?\n, $2"), {QString(), QString()}},
        {QStringLiteral("select 'it''s ?', ?"), QStringLiteral("select 'it''s ?', $1"), {QString()}},
        {QStringLiteral("select 1"), QStringLiteral("select 1"), {}},
    };
    for (const auto &c : cases) {
        const PostgresStatement::Numbered numbered = PostgresStatement::numberParameters(c.sql);
        EXPECT_EQ(numbered.sql, c.expected) << c.sql.toStdString();
        EXPECT_EQ(numbered.names, c.names) << c.sql.toStdString();
    }
}

// When a run may take a customer another run holds: only when the holder can no longer be mailing
// them. The holder's row is written as it would stand; the claiming run starts after it.
TEST_F(Postgres, AClaimIsTakenOverOnlyFromARunThatEndedBeforeOrDiedMidMessage)
{
    struct Case
    {
        const char *holder;
        const char *claimedAgo; // interval before now
        bool resultRecorded;
        const char *endedAgo; // null: the holder never ended
        bool taken;
    };
    const Case cases[] = {
        {"a run going on, mid-message", "1 second", false, nullptr, false},
        {"a run going on, the customer done", "1 second", true, nullptr, false},
        {"a run going on for hours, the customer done long ago", "5 hours", true, nullptr, false},
        {"a run that died mid-message, within the limit", "10 minutes", false, nullptr, false},
        {"a run that died mid-message, past the limit", "31 minutes", false, nullptr, true},
        {"a run that ended before this one began", "2 hours", true, "1 hour", true},
        {"a run that ended with the customer unsettled", "2 hours", false, "1 hour", true},
    };
    Database server(m_location);
    server.setConnected(true);
    createServerTables(server);
    qint64 customer = 0;
    for (const Case &c : cases) {
        ++customer;
        execute(server, QStringLiteral("insert into 发送认领(\"客户ID\", \"邮件ID\", 认领者, 认领时间, 结果时间, 结束时间) "
                                       "values(%1, 7, 'other', localtimestamp - interval '%2', %3, %4)")
                            .arg(customer)
                            .arg(QString::fromUtf8(c.claimedAgo),
                                 c.resultRecorded ? QStringLiteral("localtimestamp - interval '%1'").arg(QString::fromUtf8(c.claimedAgo))
                                                  : QStringLiteral("null"),
                                 c.endedAgo ? QStringLiteral("localtimestamp - interval '%1'").arg(QString::fromUtf8(c.endedAgo))
                                            : QStringLiteral("null")));
    }
    SendClaims claims(server, QStringLiteral("this"), 7, std::chrono::minutes(30));
    customer = 0;
    for (const Case &c : cases)
        EXPECT_EQ(claims.claim(++customer), c.taken) << c.holder;
    // A customer nobody held, and one this run holds already.
    EXPECT_TRUE(claims.claim(100));
    EXPECT_TRUE(claims.claim(100));
    // Another mail is another claim.
    SendClaims otherMail(server, QStringLiteral("other"), 8, std::chrono::minutes(30));
    EXPECT_TRUE(otherMail.claim(100));
    // A second run now, while this one goes on: nothing it holds.
    SendClaims second(server, QStringLiteral("second"), 7, std::chrono::minutes(30));
    EXPECT_FALSE(second.claim(100));
    claims.settle(100);
    EXPECT_FALSE(second.claim(100));
    claims.end();
    // Ended after the second began: still not the second's.
    EXPECT_FALSE(second.claim(100));
    // A run begun after the end (the server's clock counts milliseconds) may send again.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    SendClaims later(server, QStringLiteral("later"), 7, std::chrono::minutes(30));
    EXPECT_TRUE(later.claim(100));
}
