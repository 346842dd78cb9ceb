// The send run's data on either engine: one real run against a db.mdb file and against a database
// on a throwaway PostgreSQL cluster, with a real server on loopback, and the same checks of its
// records and results on both.
#include "RunQuestion.h"
#include "SendRun.h"
#include "SendRunInputs.h"

#include "AiosmtpdServer.h"
#include "EngineDatabase.h"
#include "Database.h"
#include "Dialect.h"
#include "ResultSummary.h"
#include "RunScripts.h"
#include "SendRecords.h"
#include "Statement.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>

#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <csignal>

namespace {

using namespace std::chrono_literals;
using namespace testsupport;

struct Ended
{
    std::optional<QString> completed;
    std::optional<QString> failed;
};

Ended runToEnd(const SendRunInputs &inputs, const DatabaseLocation &location)
{
    Ended ended;
    std::mutex mutex;
    {
        SendRun job(inputs, location, {.serverWait = 10s, .pauseSecond = 1ms});
        QObject::connect(&job, &SendRun::completed, [&](const QString &text) {
            std::lock_guard lock(mutex);
            ended.completed = text;
        });
        QObject::connect(&job, &SendRun::failed, [&](const QString &text) {
            std::lock_guard lock(mutex);
            ended.failed = text;
        });
        job.start();
    }
    return ended;
}

// Fills the run's inputs for mail 2 from the server's account, its login in clear agreed to
// beforehand.
void chooseSecondMail(const EngineDatabase &db, const AiosmtpdServer &server, SendRunInputs &inputs)
{
    {
        Database connection(db.location());
        connection.setConnected(true);
        agree(connection, {RunQuestion::Kind::CleartextLogin, server.address(), server.port(), server.user(),
                           QString(), QString()});
    }
    inputs.setAccount({serverText(server.address(), server.port()), server.user(), server.password()});
    inputs.setSender({QStringLiteral("销售部"), QStringLiteral("sales@example.test")});
    inputs.setMailChoice(QStringLiteral("2"));
    inputs.setPauseChoice(QStringLiteral("0"));
}

class SendRunEngines : public ::testing::TestWithParam<Engine>
{
};

// Four customers, one on the do-not-mail list in other letters' case and with blanks, the chosen mail
// with a file, a login the user agreed to send in clear: three messages with the file, a record
// per customer in the order written with its result, the summary; a second run with the skip
// choice mails nobody again.
TEST_P(SendRunEngines, ARunRecordsEveryCustomerAndASecondRunSkipsThoseSent)
{
    const EngineDatabase db(GetParam());
    AiosmtpdServer server;
    for (const auto &[name, address] : {std::pair{"张三", "zhang@example.test"}, std::pair{"李四", "li@example.test"},
                                        std::pair{"王五", "wang@example.test"}, std::pair{"赵六", "zhao@example.test"}})
        db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values(?, ?)"),
                {QString::fromUtf8(name), QString::fromUtf8(address)});
    db.exec(QStringLiteral("insert into 邮件表(邮件主题, 邮件内容) values('旧邮件', '旧')"));
    db.exec(QStringLiteral("insert into 邮件表(邮件主题, 邮件内容, 附件名称, 附件内容) values(?, ?, ?, ?)"),
            {QStringLiteral("新品介绍"), QStringLiteral("第一行\n第二行"), QStringLiteral("价目表.pdf"),
             QByteArray("%PDF\0\xff", 6)});
    db.exec(QStringLiteral("insert into 退订名单(电子邮件地址, 退订日期, 原因) values(' LI@Example.test ', "
                           "'2026-12-01 09:00:00.000', '手工加入')"));
    SendRunInputs inputs;
    chooseSecondMail(db, server, inputs);

    const Ended first = runToEnd(inputs, db.location());
    EXPECT_EQ(first.failed, std::nullopt);
    EXPECT_EQ(first.completed, QStringLiteral("发送完成：成功 3 封，失败 0 封，1 位已退订的客户未发送。"));
    const QList<ReceivedMessage> messages = server.waitForMessages(3);
    QStringList recipients;
    for (const ReceivedMessage &message : messages) {
        recipients += message.rcptTos;
        // The file's bytes, base64
        EXPECT_TRUE(message.data.contains(QByteArray("%PDF\0\xff", 6).toBase64())) << message.data.toStdString();
    }
    EXPECT_EQ(recipients, QStringList({QStringLiteral("zhang@example.test"), QStringLiteral("wang@example.test"),
                                       QStringLiteral("zhao@example.test")}));
    const QList<QVariantList> records
        = db.rows(QStringLiteral("select \"客户ID\", \"邮件ID\", 发送结果 from 发送情况 order by %1"));
    QStringList seen;
    for (const QVariantList &row : records)
        seen.append(row[0].toString() + u'/' + row[1].toString() + u' ' + row[2].toString());
    EXPECT_EQ(seen, QStringList({QStringLiteral("1/2 成功"), QStringLiteral("2/2 跳过：已退订"),
                                 QStringLiteral("3/2 成功"), QStringLiteral("4/2 成功")}));
    {
        Database connection(db.location());
        connection.setConnected(true);
        EXPECT_EQ(readResultSummary(connection, 2), (ResultSummary{3, 0, 1, 0, 0}));
        EXPECT_EQ(readResultSummary(connection, 1), (ResultSummary{0, 0, 0, 4, 0}));
        EXPECT_EQ(readSentCustomers(connection, 2), (QSet<qint64>{1, 3, 4}));
        EXPECT_EQ(readAcceptedSince(connection, QDateTime::currentDateTime().addSecs(-60)).size(), 3);
    }

    inputs.setSkipSent(true);
    const Ended second = runToEnd(inputs, db.location());
    EXPECT_EQ(second.failed, std::nullopt);
    ASSERT_TRUE(second.completed);
    EXPECT_EQ(server.messages().size(), 3);

    // Sent again on purpose, after the first runs ended: everybody but the refused address again
    // (on a server the first runs' claims keep nobody away).
    inputs.setSkipSent(false);
    EXPECT_EQ(runToEnd(inputs, db.location()).completed,
              QStringLiteral("发送完成：成功 3 封，失败 0 封，1 位已退订的客户未发送。"));
    EXPECT_EQ(server.waitForMessages(6).size(), 6);
}

// The claims' tests' data on a server: `Customers` customers and two mails, the second the one sent.
constexpr int Customers = 200;

void seedClaimedMailing(const EngineDatabase &db)
{
    db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) select '客户' || i, 'customer' "
                           "|| i || '@example.test' from generate_series(1, %1) as i")
                .arg(Customers));
    db.exec(QStringLiteral("insert into 邮件表(邮件主题, 邮件内容) values('旧邮件', '旧')"));
    db.exec(QStringLiteral("insert into 邮件表(邮件主题, 邮件内容) values('新品介绍', '正文')"));
}

// Two runs of the same mail at the same moment on one server database, 200 customers, each run on
// its own connection and its own SMTP connection: every customer gets the message exactly once,
// one record each, and the two end boxes count between them every customer.
TEST(SendRunClaims, TwoRunsAtOnceMailEveryCustomerExactlyOnce)
{
    const EngineDatabase db(Engine::Postgres);
    seedClaimedMailing(db);
    AiosmtpdServer server;
    SendRunInputs inputs;
    chooseSecondMail(db, server, inputs);

    std::optional<Ended> first;
    std::thread other([&] { first = runToEnd(inputs, db.location()); });
    const Ended second = runToEnd(inputs, db.location());
    other.join();

    ASSERT_TRUE(first && first->completed) << (first && first->failed ? first->failed->toStdString() : "");
    ASSERT_TRUE(second.completed) << second.failed.value_or(QString()).toStdString();
    const QList<ReceivedMessage> messages = server.waitForMessages(Customers, 60s);
    QMap<QString, int> mailed;
    for (const ReceivedMessage &message : messages)
        for (const QString &recipient : message.rcptTos)
            ++mailed[recipient];
    EXPECT_EQ(mailed.size(), Customers);
    for (auto it = mailed.cbegin(); it != mailed.cend(); ++it)
        EXPECT_EQ(it.value(), 1) << it.key().toStdString();
    EXPECT_EQ(db.rows(QStringLiteral("select count(*), count(distinct \"客户ID\") from 发送情况 where 发送结果 = '成功'")),
              (QList<QVariantList>{{qlonglong(Customers), qlonglong(Customers)}}));
    EXPECT_EQ(db.rows(QStringLiteral("select count(*) from 发送情况 where 发送结果 <> '成功'")),
              (QList<QVariantList>{{qlonglong(0)}}));

    // Each box counts its own messages and names the customers the other run had.
    const QRegularExpression counts(QStringLiteral("^发送完成：成功 (\\d+) 封，失败 0 封。(?:\n另有 (\\d+) 位客户由同时发送这封邮件的另一处程序发送。)?$"));
    const QRegularExpressionMatch a = counts.match(*first->completed);
    const QRegularExpressionMatch b = counts.match(second.completed.value_or(QString()));
    ASSERT_TRUE(a.hasMatch()) << first->completed->toStdString();
    ASSERT_TRUE(b.hasMatch()) << second.completed->toStdString();
    EXPECT_EQ(a.captured(1).toInt() + b.captured(1).toInt(), Customers);
    EXPECT_EQ(a.captured(1).toInt() + a.captured(2).toInt(), Customers);
    EXPECT_EQ(b.captured(1).toInt() + b.captured(2).toInt(), Customers);
}

// The same in two processes, one killed half-way and started again, as a user resumes, with the
// skip choice (the other may have ended by then, and a run begun after every other ended may mail
// anybody again): no customer is mailed twice. The customer whose message the killed run had under way is mailed at
// most once: its claim, without a result, keeps the others away for the claim's time limit, and
// its record, if any, reads 发送中 (the skip choice's "result unknown"); every other customer
// exactly once.
TEST(SendRunClaims, TwoProcessesOneKilledHalfWayAndStartedAgainMailNobodyTwice)
{
    const EngineDatabase db(Engine::Postgres);
    seedClaimedMailing(db);
    AiosmtpdServer server;
    const QStringList arguments = {db.location().text(), serverText(server.address(), server.port())};
    const QString child = binaryPath(QStringLiteral("tests/dispatch/sendrun_child"));

    QProcess first;
    QProcess second;
    first.start(child, arguments);
    second.start(child, arguments);
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(second.waitForStarted());
    QElapsedTimer waited;
    waited.start();
    while (server.messages().size() < Customers / 2 && waited.elapsed() < 60000)
        std::this_thread::sleep_for(1ms);
    ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished());
    EXPECT_EQ(first.exitStatus(), QProcess::CrashExit);
    QProcess again;
    again.start(child, arguments + QStringList{QStringLiteral("skip")});
    ASSERT_TRUE(again.waitForStarted());
    EXPECT_TRUE(again.waitForFinished(60000)) << again.readAllStandardError().toStdString();
    EXPECT_TRUE(second.waitForFinished(60000)) << second.readAllStandardError().toStdString();
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_EQ(again.exitCode(), 0) << again.readAllStandardError().toStdString();

    QMap<QString, int> mailed;
    for (const ReceivedMessage &message : server.messages())
        for (const QString &recipient : message.rcptTos)
            ++mailed[recipient];
    for (auto it = mailed.cbegin(); it != mailed.cend(); ++it)
        EXPECT_EQ(it.value(), 1) << it.key().toStdString();
    QStringList missing;
    for (int i = 1; i <= Customers; ++i) {
        if (!mailed.contains(QStringLiteral("customer%1@example.test").arg(i)))
            missing.append(QString::number(i));
    }
    EXPECT_LE(missing.size(), 1) << missing.join(u' ').toStdString();
    // Killed between its claim and its message: the claim, without a result or an end, keeps it
    // for the claim's time limit; its record, if written yet, reads 发送中.
    for (const QString &customer : missing) {
        EXPECT_EQ(db.rows(QStringLiteral("select count(*) from 发送认领 where \"客户ID\" = %1 and 结果时间 is null "
                                         "and 结束时间 is null").arg(customer)),
                  (QList<QVariantList>{{qlonglong(1)}}));
        EXPECT_EQ(db.rows(QStringLiteral("select count(*) from 发送情况 where \"客户ID\" = %1 and 发送结果 <> '发送中'")
                              .arg(customer)),
                  (QList<QVariantList>{{qlonglong(0)}}));
    }
    EXPECT_EQ(db.rows(QStringLiteral("select count(*) - count(distinct \"客户ID\") from 发送情况")),
              (QList<QVariantList>{{qlonglong(0)}}));
}

INSTANTIATE_TEST_SUITE_P(, SendRunEngines, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const ::testing::TestParamInfo<Engine> &info) { return engineName(info.param); });

} // namespace
