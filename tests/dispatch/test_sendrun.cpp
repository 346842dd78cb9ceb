// The send run without the window: a real db.mdb, the run's own signals gathered as it emits them,
// and a scripted server on loopback (or none). Pauses are scaled down, so that a test waits a
// fraction of the seconds the pause choice names.
#include "SendRun.h"
#include "SendRunInputs.h"
#include "ServerTrust.h"
#include "SmtpSession.h"

#include "Database.h"
#include "Printers.h"
#include "RunScripts.h"
#include "TempDatabase.h"

#include <QElapsedTimer>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <mutex>
#include <optional>
#include <thread>

namespace {

using namespace std::chrono_literals;
using namespace testsupport;

using Counts = std::array<int, 3>; // sent, failed, total

// What a run reported, gathered on its own thread.
struct Reports
{
    std::optional<QString> completed;
    std::optional<QString> failed;
    std::optional<RunQuestion> asked;
    std::optional<Counts> progress; // the last counts
    int finished = 0;

    // The text of the box the window shows for the run's end, with the closing full stop the
    // error box adds.
    QString box() const
    {
        if (completed)
            return *completed;
        QString text = failed.value_or(QString());
        if (!text.isEmpty() && text.back() > QLatin1Char('.'))
            text += QLatin1Char('.');
        return text;
    }
};

class SendRunJobTest : public ::testing::Test
{
protected:
    // Three customers, two mails (the second is chosen), the account's boxes on the given server.
    void seed(const QString &server, const QString &user = QString(), const QString &password = QString())
    {
        seedCustomersAndMails(db);
        inputs.setAccount({server, user, password});
        // The scripted servers offer no encryption; the user agreed to the login in clear.
        if (!user.isEmpty())
            agreeToCleartextLogin(db, server, user);
        inputs.setSender({QStringLiteral("销售部"), QStringLiteral("sales@example.test")});
        inputs.setMailChoice(QStringLiteral("2"));
        inputs.setPauseChoice(QStringLiteral("0"));
    }

    // The same with a fourth customer.
    void seedFour(const QString &server)
    {
        seed(server);
        db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('赵六', 'zhao@example.test')"));
    }

    // Starts the run; `whileRunning` acts during it. Returns once the run has ended (the run's
    // destructor joins it).
    Reports run(const std::function<void()> &whileRunning = {})
    {
        Reports reports;
        std::mutex mutex;
        {
            SendRun job(inputs, db.path(), limits);
            QObject::connect(&job, &SendRun::completed, [&](const QString &summary) {
                std::lock_guard lock(mutex);
                reports.completed = summary;
            });
            QObject::connect(&job, &SendRun::failed, [&](const QString &message) {
                std::lock_guard lock(mutex);
                reports.failed = message;
            });
            QObject::connect(&job, &SendRun::asked, [&](const RunQuestion &question) {
                std::lock_guard lock(mutex);
                reports.asked = question;
            });
            QObject::connect(&job, &SendRun::progressed, [&](int sent, int failed, int total) {
                std::lock_guard lock(mutex);
                reports.progress = Counts{sent, failed, total};
            });
            QObject::connect(&job, &SendRun::finished, [&] {
                std::lock_guard lock(mutex);
                ++reports.finished;
            });
            job.start();
            if (whileRunning)
                whileRunning();
        }
        EXPECT_EQ(reports.finished, 1);
        return reports;
    }

    // The send records' results, in the order they were written.
    QStringList results() const
    {
        QStringList texts;
        for (const QVariantList &row : db.rows(QStringLiteral("select 发送结果 from 发送情况 order by rowid")))
            texts.append(row.value(0).toString());
        return texts;
    }

    QStringList records() const
    {
        QStringList rows;
        for (const QVariantList &row : db.rows(QStringLiteral("select 客户ID, 邮件ID from 发送情况")))
            rows.append(row.value(0).toString() + QLatin1Char('/') + row.value(1).toString());
        return rows;
    }

    int recordCount() const { return db.scalar(QStringLiteral("select count(*) from 发送情况")).toInt(); }

    testsupport::TempDatabase db;
    SendRunInputs inputs;
    SendRunLimits limits{.serverWait = 5s, .pauseSecond = 1ms};
};

// An empty server box: the session refuses to connect with an error whose text is empty. The run
// still ends as failed, so that the window shows its box and gives the controls back.
TEST_F(SendRunJobTest, AnEmptyServerBoxEndsTheRunAsFailed)
{
    seed(QString());
    const Reports reports = run();
    EXPECT_EQ(reports.failed, QString());
    EXPECT_EQ(reports.completed, std::nullopt);
    EXPECT_EQ(recordCount(), 0);
}

// The pause follows each accepted message and no refused one: two pauses for three customers.
TEST_F(SendRunJobTest, ARefusedRecipientIsRecordedWithoutAPause)
{
    const Script script = opening() + accepted("zhang@example.test")
        + Script{ScriptedServer::expect("RSET"),
                 ScriptedServer::say("250 OK"),
                 ScriptedServer::expect("MAIL FROM: <sales@example.test>"),
                 ScriptedServer::say("250 OK"),
                 ScriptedServer::expect("RCPT TO:<li@example.test>"),
                 ScriptedServer::say("550 5.1.1 <li@example.test>: Recipient address rejected"),
                 ScriptedServer::expect("RSET"),
                 ScriptedServer::say("250 OK")}
        + accepted("wang@example.test") + quit();
    ScriptedServer server(script, QStringLiteral("127.0.0.1"), 0, 60s);
    seed(serverText(server.address(), server.port()));
    inputs.setPauseChoice(QStringLiteral("4"));
    limits.pauseSecond = 250ms; // a pause of "4" lasts a second
    QElapsedTimer elapsed;
    elapsed.start();
    const Reports reports = run();
    EXPECT_GE(elapsed.elapsed(), 2000);
    EXPECT_LT(elapsed.elapsed(), 3000) << "a third pause";

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(server.dataBlocks().size(), 2);
    EXPECT_EQ(records(), QStringList({QStringLiteral("1/2"), QStringLiteral("2/2"), QStringLiteral("3/2")}));
    EXPECT_EQ(results(),
              QStringList({QStringLiteral("成功"),
                           QStringLiteral("失败：550 5.1.1 <li@example.test>: Recipient address rejected"),
                           QStringLiteral("成功")}));
    EXPECT_EQ(reports.progress, (Counts{2, 1, 3}));
    EXPECT_EQ(reports.completed, QStringLiteral("发送完成：成功 2 封，失败 1 封。"));
}

// A server without encryption and a login due, never agreed to: the run asks instead of failing,
// before any customer is reached and before AUTH; the answer, once kept, is found by the account.
TEST_F(SendRunJobTest, ALoginInClearIsAskedForBeforeAnybodyIsReached)
{
    ScriptedServer server(opening(true) + quit(), QStringLiteral("127.0.0.1"), 0, 60s);
    seed(serverText(server.address(), server.port()), QStringLiteral("sales"), QStringLiteral("secret"));
    db.exec(QStringLiteral("delete from 明文登录许可"));
    const Reports reports = run();

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(reports.failed, std::nullopt);
    EXPECT_EQ(reports.completed, std::nullopt);
    ASSERT_TRUE(reports.asked);
    EXPECT_EQ(reports.asked->kind, RunQuestion::Kind::CleartextLogin);
    EXPECT_EQ(reports.asked->text, QStringLiteral("服务器不支持加密，密码将以明文发送，是否继续？"));
    EXPECT_EQ(recordCount(), 0);

    Database database(db.path());
    database.setConnected(true);
    agree(database.handle(), *reports.asked);
    EXPECT_TRUE(readCleartextLoginAgreed(database.handle(), server.address(), server.port(), QStringLiteral("sales")));
    // Another user name, or another server, is another account.
    EXPECT_FALSE(readCleartextLoginAgreed(database.handle(), server.address(), server.port(), QStringLiteral("other")));
    EXPECT_FALSE(readCleartextLoginAgreed(database.handle(), server.address(), 25, QStringLiteral("sales")));
}

// A port that is not a number from 1 to 65535 stops the run before it connects.
TEST_F(SendRunJobTest, ABadPortIsRefusedNamingTheServerText)
{
    seed(QStringLiteral("smtp.example.test:70000"));
    const Reports reports = run();
    ASSERT_TRUE(reports.failed);
    EXPECT_EQ(reports.box(),
              QStringLiteral("SMTP服务器“smtp.example.test:70000”的端口无效：端口应是 1 到 65535 之间的数字."));
    EXPECT_EQ(recordCount(), 0);
}

// How a run ends with the server behaving one way: the send records (number and results), how it
// ended, what went over the wire (QUIT only while the connection is up, as each script states) and
// the last counts.
struct ServerCase
{
    const char *name;
    Script script;
    bool withLogin = false;
    std::chrono::milliseconds serverWait = 5s;
    QStringList results;
    Counts progress;
    bool failed = false; // an error box rather than a message box
    QString box;

    friend void PrintTo(const ServerCase &c, std::ostream *os) { *os << c.name; }
};

class ServerBehaviourTest : public SendRunJobTest, public ::testing::WithParamInterface<ServerCase>
{
};

TEST_P(ServerBehaviourTest, RecordsAndEnd)
{
    const ServerCase &c = GetParam();
    ScriptedServer server(c.script, QStringLiteral("127.0.0.1"), 0, 60s);
    if (c.withLogin)
        seed(serverText(server.address(), server.port()), QStringLiteral("sales"), QStringLiteral("secret"));
    else
        seed(serverText(server.address(), server.port()));
    limits.serverWait = c.serverWait;
    const Reports reports = run();

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(results(), c.results);
    EXPECT_EQ(reports.progress, c.progress);
    EXPECT_EQ(reports.failed.has_value(), c.failed);
    EXPECT_EQ(reports.completed.has_value(), !c.failed);
    EXPECT_EQ(reports.box(), c.box);
}

const QString failed3 = QStringLiteral("已发送 0 封，失败 1 封，其余 2 位客户没有发送。");

INSTANTIATE_TEST_SUITE_P(
    Servers, ServerBehaviourTest,
    ::testing::Values(
        ServerCase{"AllAccepted",
                   opening() + accepted("zhang@example.test") + accepted("li@example.test")
                       + accepted("wang@example.test") + quit(),
                   false, 5s, QStringList(3, QStringLiteral("成功")), Counts{3, 0, 3}, false,
                   QStringLiteral("发送完成：成功 3 封，失败 0 封。")},
        // A message refused at its end concerns that customer only.
        ServerCase{"MessageRefusedAtEndOfData",
                   opening() + accepted("zhang@example.test") + upToEndOfData("li@example.test")
                       + Script{ScriptedServer::say("554 5.7.1 Message rejected as spam"),
                                ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK")}
                       + accepted("wang@example.test") + quit(),
                   false,
                   5s,
                   {QStringLiteral("成功"), QStringLiteral("失败：554 5.7.1 Message rejected as spam"),
                    QStringLiteral("成功")},
                   Counts{2, 1, 3},
                   false,
                   QStringLiteral("发送完成：成功 2 封，失败 1 封。")},
        ServerCase{"LoginRefused",
                   opening(true)
                       + Script{ScriptedServer::expect("AUTH LOGIN"), ScriptedServer::say("334 VXNlcm5hbWU6"),
                                ScriptedServer::expect("c2FsZXM="), ScriptedServer::say("334 UGFzc3dvcmQ6"),
                                ScriptedServer::expect("c2VjcmV0"),
                                ScriptedServer::say("535 5.7.8 Authentication credentials invalid")}
                       + quit(),
                   true,
                   5s,
                   {QStringLiteral("失败：535 5.7.8 Authentication credentials invalid")},
                   Counts{0, 1, 3},
                   true,
                   QStringLiteral("邮件服务器拒绝了登录，发送已停止。\n") + failed3
                       + QStringLiteral("\n原因：535 5.7.8 Authentication credentials invalid.")},
        ServerCase{"LoginRequiredAtTheFirstMail",
                   opening()
                       + Script{ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK"),
                                ScriptedServer::expect("MAIL FROM: <sales@example.test>"),
                                ScriptedServer::say("530 5.7.0 Authentication required")}
                       + quit(),
                   false,
                   5s,
                   {QStringLiteral("失败：530 5.7.0 Authentication required")},
                   Counts{0, 1, 3},
                   true,
                   QStringLiteral("邮件服务器要求先登录，发送已停止。\n") + failed3
                       + QStringLiteral("\n原因：530 5.7.0 Authentication required.")},
        // A server that wants encryption first and offers none: no message of the run can go.
        ServerCase{"EncryptionRequiredAtTheFirstMail",
                   opening()
                       + Script{ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK"),
                                ScriptedServer::expect("MAIL FROM: <sales@example.test>"),
                                ScriptedServer::say("530 5.7.0 Must issue a STARTTLS command first")}
                       + quit(),
                   false,
                   5s,
                   {QStringLiteral("失败：530 5.7.0 Must issue a STARTTLS command first")},
                   Counts{0, 1, 3},
                   true,
                   QStringLiteral("服务器要求先加密连接，发送已停止。\n") + failed3
                       + QStringLiteral("\n原因：530 5.7.0 Must issue a STARTTLS command first.")},
        // STARTTLS offered, then refused: the run ends before anybody is reached, the password kept.
        ServerCase{"StartTlsOfferedThenRefused",
                   Script{ScriptedServer::say("220 scripted"),
                          ScriptedServer::expect("EHLO " + localHostName().toLatin1()),
                          ScriptedServer::say("250-scripted"), ScriptedServer::say("250-STARTTLS"),
                          ScriptedServer::say("250 AUTH LOGIN"), ScriptedServer::expect("STARTTLS"),
                          ScriptedServer::say("454 4.7.0 TLS not available")},
                   true,
                   5s,
                   {},
                   Counts{0, 0, 3},
                   true,
                   QStringLiteral("服务器拒绝了 STARTTLS 加密，未登录，邮件未发送。服务器的回复：454 TLS not available.")},
        // The server closes after the second message: the third customer fails and is the last one
        // tried; nothing is left to QUIT.
        ServerCase{
            "ServerClosesAfterTheSecondMessage",
            opening() + accepted("zhang@example.test") + accepted("li@example.test") + Script{ScriptedServer::close()},
            false,
            5s,
            {QStringLiteral("成功"), QStringLiteral("成功"), QStringLiteral("失败：服务器关闭了连接 Connection Closed Gracefully.")},
            Counts{2, 1, 3},
            true,
            QStringLiteral("与邮件服务器的连接已断开，发送已停止。\n已发送 2 封，失败 1 封，其余 0 "
                           "位客户没有发送。\n原因：服务器关闭了连接 Connection Closed Gracefully.")},
        ServerCase{"ServiceClosingAtMailFrom",
                   opening()
                       + Script{ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK"),
                                ScriptedServer::expect("MAIL FROM: <sales@example.test>"),
                                ScriptedServer::say("421 4.3.2 Service shutting down")}
                       + quit(),
                   false,
                   5s,
                   {QStringLiteral("失败：421 4.3.2 Service shutting down")},
                   Counts{0, 1, 3},
                   true,
                   QStringLiteral("邮件服务器暂停了服务，发送已停止。\n") + failed3
                       + QStringLiteral("\n原因：421 4.3.2 Service shutting down.")},
        // A refused greeting, and a server that reads on without answering QUIT: the run ends after
        // the short goodbye limit, far within the reply limit; the server's reply after the explanation.
        ServerCase{"GreetingRefusedAndQuitUnanswered",
                   Script{ScriptedServer::say("554 5.7.1 no service for you"), ScriptedServer::expect("QUIT")},
                   false,
                   10min,
                   {},
                   Counts{0, 0, 3},
                   true,
                   QStringLiteral("邮件服务器拒绝了这一步。服务器的回复：554 5.7.1 no service for you.")},
        // No answer to the end of the data within the (shortened) limit: the connection is closed,
        // so no QUIT.
        ServerCase{"SilentAtEndOfData",
                   opening() + upToEndOfData("zhang@example.test"),
                   false,
                   1s,
                   {QStringLiteral("失败：邮件服务器在限定的时间内没有回应 Socket Error # %1 Connection timed out.").arg(ETIMEDOUT)},
                   Counts{0, 1, 3},
                   true,
                   QStringLiteral("邮件服务器没有回应，发送已停止。\n") + failed3
                       + QStringLiteral("\n原因：邮件服务器在限定的时间内没有回应 Socket Error # %1 Connection timed out.").arg(ETIMEDOUT)}),
    [](const ::testing::TestParamInfo<ServerCase> &info) { return std::string(info.param.name); });

// Another program holds the file's write lock longer than the run waits for it: the run does not
// connect (nobody listens on the server's port, which would end it otherwise) and says why.
TEST_F(SendRunJobTest, AFileThatCannotBeWrittenStopsTheRunBeforeItConnects)
{
    seed(serverText(QStringLiteral("127.0.0.1"), unusedPort()));
    Database holder(db.path());
    holder.setConnected(true);
    ASSERT_TRUE(holder.database().exec(QStringLiteral("begin immediate")).isActive());
    limits.writeCheck = 500ms;
    const Reports reports = run();
    holder.database().exec(QStringLiteral("rollback"));

    ASSERT_TRUE(reports.failed);
    EXPECT_EQ(reports.box(), QStringLiteral("无法写入发送记录，发送没有开始。\n原因：database is locked."));
    EXPECT_EQ(recordCount(), 0);
}

// The file is locked for a while just as the first message is accepted: its record is written once
// the lock is gone, and the run goes on.
TEST_F(SendRunJobTest, ARecordRefusedForAWhileIsWrittenOnceTheFileIsFree)
{
    const Script script = opening() + upToEndOfData("zhang@example.test")
        + Script{ScriptedServer::pause(1000ms), ScriptedServer::say("250 queued")} + accepted("li@example.test")
        + accepted("wang@example.test") + quit();
    ScriptedServer server(script, QStringLiteral("127.0.0.1"), 0, 60s);
    seed(serverText(server.address(), server.port()));
    Database holder(db.path());
    holder.setConnected(true);
    const Reports reports = run([&] {
        while (!server.receivedSoFar().contains("\r\n.\r\n"))
            std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(holder.database().exec(QStringLiteral("begin immediate")).isActive());
        // Past the server's answer: the run is trying to write the record.
        std::this_thread::sleep_for(2000ms);
        EXPECT_EQ(recordCount(), 0);
        holder.database().exec(QStringLiteral("rollback"));
    });

    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(results(), QStringList(3, QStringLiteral("成功")));
    EXPECT_EQ(reports.completed, QStringLiteral("发送完成：成功 3 封，失败 0 封。"));
}

// The database keeps refusing the record of a delivered message: the run stops, QUIT goes out, and
// the box names the customer, so that the user does not mail them again.
TEST_F(SendRunJobTest, ARecordTheFileKeepsRefusingStopsTheRunAndNamesTheCustomer)
{
    const Script script = opening() + accepted("zhang@example.test") + accepted("li@example.test") + quit();
    ScriptedServer server(script, QStringLiteral("127.0.0.1"), 0, 60s);
    seed(serverText(server.address(), server.port()));
    db.exec(QStringLiteral("create trigger refuse before insert on 发送情况 when new.客户ID = 2 "
                           "begin select raise(abort, 'database or disk is full'); end"));
    limits.recordRetry = 500ms;
    const Reports reports = run();

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(records(), QStringList{QStringLiteral("1/2")});
    EXPECT_EQ(reports.progress, (Counts{2, 0, 3}));
    ASSERT_TRUE(reports.failed);
    EXPECT_EQ(
        reports.box(),
        QStringLiteral("发送记录无法写入数据库，发送已停止。\n"
                       "客户ID 2（李四 <li@example.test>）的邮件已经发出，但没有记录下来，请不要再给这位客户发送。\n"
                       "已发送 2 封，失败 0 封，其余 1 位客户没有发送。\n原因：database or disk is full."));
}

// The message recipients of a conversation, in order.
QStringList recipients(const QByteArray &received)
{
    QStringList addresses;
    for (const QByteArray &line : received.split('\n')) {
        if (line.startsWith("RCPT TO:<"))
            addresses.append(QString::fromLatin1(line.mid(9, line.indexOf('>') - 9)));
    }
    return addresses;
}

// Two customers hold one address (in other letter case): skipping, it is mailed once, and the
// second holder's record says why it was not.
TEST_F(SendRunJobTest, AnAddressHeldTwiceIsMailedOnce)
{
    ScriptedServer server(opening() + accepted("zhang@example.test") + accepted("li@example.test")
                              + accepted("wang@example.test") + quit(),
                          QStringLiteral("127.0.0.1"), 0, 60s);
    seedFour(serverText(server.address(), server.port()));
    db.exec(QStringLiteral("update 客户表 set 电子邮件地址 = ' Li@Example.TEST' where 客户名称 = '赵六'"));
    inputs.setSkipSent(true);
    const Reports reports = run();
    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(recipients(server.received()),
              QStringList({QStringLiteral("zhang@example.test"), QStringLiteral("li@example.test"),
                           QStringLiteral("wang@example.test")}));
    EXPECT_EQ(results(),
              QStringList({QStringLiteral("成功"), QStringLiteral("成功"), QStringLiteral("成功"),
                           QStringLiteral("跳过：地址重复")}));
    EXPECT_EQ(db.scalar(QStringLiteral("select 客户ID from 发送情况 where 发送结果 = '跳过：地址重复'")).toInt(), 4);
    EXPECT_EQ(reports.completed,
              QStringLiteral("发送完成：成功 3 封，失败 0 封，跳过 0 位已发送的客户和 1 位地址重复的客户。"));
    EXPECT_EQ(reports.progress, (Counts{3, 0, 3}));
}

// Everybody has the mail already: nothing to send, so the run does not even connect (nothing
// listens on the server's port) and says what it left out.
TEST_F(SendRunJobTest, WithEverybodySentTheRunDoesNotConnect)
{
    seedFour(serverText(QStringLiteral("127.0.0.1"), unusedPort()));
    db.exec(QStringLiteral("insert into 发送情况 select 客户ID, 2, '2026-12-01 09:00:00.000', '成功' from 客户表"));
    inputs.setSkipSent(true);
    const Reports reports = run();
    EXPECT_EQ(reports.completed, QStringLiteral("发送完成：成功 0 封，失败 0 封，跳过 4 位已发送的客户。"));
    EXPECT_EQ(recordCount(), 4);
}

} // namespace
