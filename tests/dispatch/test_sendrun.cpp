// The send run without the window: a real db.mdb, the run's own signals gathered as it emits them,
// and a scripted server on loopback (or none). Pauses are scaled down, so that a test waits a
// fraction of the seconds the pause choice names.
#include "RunPlan.h"
#include "SendRun.h"
#include "SendRunInputs.h"
#include "ServerTrust.h"
#include "SmtpSession.h"

#include "AiosmtpdServer.h"
#include "Database.h"
#include "DateTimeText.h"
#include "Printers.h"
#include "RunScripts.h"
#include "Statement.h"
#include "SendRecords.h"
#include "TempDatabase.h"
#include "TestPaths.h"

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <vector>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>

#include <sys/mount.h>
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
    std::optional<QString> stopped;
    std::optional<RunQuestion> asked;
    std::optional<Counts> progress; // the last counts
    int finished = 0;
    // Each wait on the daily cap: the cap, the moment it ends, and the moments it was reported and
    // the next message after it went through.
    struct CapWait
    {
        int cap;
        QDateTime resumeAt;
        QDateTime reported;
        QDateTime nextSent;
    };
    std::vector<CapWait> capWaits;

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
    Reports run(const std::function<void()> &whileRunning = {}, const QString &path = {})
    {
        Reports reports;
        std::mutex mutex;
        {
            SendRun job(inputs, DatabaseLocation::inFile(path.isEmpty() ? db.path() : path), limits);
            QObject::connect(&job, &SendRun::completed, [&](const QString &summary) {
                std::lock_guard lock(mutex);
                reports.completed = summary;
            });
            QObject::connect(&job, &SendRun::failed, [&](const QString &message) {
                std::lock_guard lock(mutex);
                reports.failed = message;
            });
            QObject::connect(&job, &SendRun::stopped, [&](const QString &summary) {
                std::lock_guard lock(mutex);
                reports.stopped = summary;
            });
            QObject::connect(&job, &SendRun::asked, [&](const RunQuestion &question) {
                std::lock_guard lock(mutex);
                reports.asked = question;
            });
            // Taken at once, on the run's thread: every change of the counts is seen.
            QObject::connect(&job, &SendRun::reported, [&] {
                const std::optional<SendRunReport::Counts> counts = job.takeReport().counts;
                if (!counts)
                    return;
                const auto [sent, failed, total] = *counts;
                std::lock_guard lock(mutex);
                if (!reports.capWaits.empty() && !reports.capWaits.back().nextSent.isValid() && reports.progress
                    && sent > reports.progress->at(0))
                    reports.capWaits.back().nextSent = QDateTime::currentDateTime();
                reports.progress = Counts{sent, failed, total};
            });
            QObject::connect(&job, &SendRun::capWaiting, [&](int cap, const QDateTime &resumeAt) {
                std::lock_guard lock(mutex);
                reports.capWaits.push_back({cap, resumeAt, QDateTime::currentDateTime(), {}});
                capWaitReported = true;
            });
            QObject::connect(&job, &SendRun::finished, [&] {
                std::lock_guard lock(mutex);
                ++reports.finished;
            });
            capWaitReported = false;
            job.start();
            current = &job;
            if (whileRunning)
                whileRunning();
            current = nullptr;
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

    // Customers beyond the three seeded ones, numbered on (customer4@example.test, ...).
    void addCustomers(int count)
    {
        db.exec(QStringLiteral("with recursive n(i) as (select 4 union all select i + 1 from n where i < %1) "
                               "insert into 客户表(客户名称, 电子邮件地址) select '客户' || i, 'customer' || i || "
                               "'@example.test' from n")
                    .arg(count + 3));
    }

    testsupport::TempDatabase db;
    // The run going on, for `whileRunning` to stop.
    SendRun *current = nullptr;
    std::atomic<bool> capWaitReported = false;
    SendRunInputs inputs;
    SendRunLimits limits{.serverWait = 5s, .pauseSecond = 1ms};
};

// An empty server box: the session refuses to connect. The run ends as failed whatever the error's
// text, so that the window shows its box and gives the controls back.
TEST_F(SendRunJobTest, AnEmptyServerBoxEndsTheRunAsFailed)
{
    seed(QString());
    const Reports reports = run();
    EXPECT_EQ(reports.failed, QStringLiteral("没有指定邮件服务器"));
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
    // Every write of a record, in order (but the run's check that the file takes one): a refused
    // recipient's record is written once, with its result; an accepted customer's reads 发送中 first.
    db.exec(QStringLiteral(
        "create table 写入(客户ID, 发送结果);"
        "create trigger 记下插入 after insert on 发送情况 begin insert into 写入 values(new.客户ID, new.发送结果); end;"
        "create trigger 记下更新 after update on 发送情况 begin insert into 写入 values(new.客户ID, new.发送结果); end;"));
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
                           QStringLiteral("失败：服务器拒绝（收件人地址）：550 5.1.1 <li@example.test>: Recipient address rejected"),
                           QStringLiteral("成功")}));
    QStringList writes;
    for (const QVariantList &row : db.rows(QStringLiteral("select 客户ID, 发送结果 from 写入 where 客户ID <> 0 order by rowid")))
        writes.append(row.value(0).toString() + QLatin1Char(' ') + row.value(1).toString());
    EXPECT_EQ(writes, (QStringList{QStringLiteral("1 发送中"), QStringLiteral("1 成功"),
                                   QStringLiteral("2 失败：服务器拒绝（收件人地址）：550 5.1.1 <li@example.test>: "
                                                  "Recipient address rejected"),
                                   QStringLiteral("3 发送中"), QStringLiteral("3 成功")}));
    EXPECT_EQ(reports.progress, (Counts{2, 1, 3}));
    EXPECT_EQ(reports.completed, QStringLiteral("发送完成：成功 2 封，失败 1 封。") + failedRunHint());
}

// The record reading 发送中 reaches the file once the server took the envelope and before DATA:
// while the server holds its answer to RCPT TO there is none yet, while it holds its answer to
// DATA it is there, committed, for any other connection to read (and for a run killed then to
// leave behind).
TEST_F(SendRunJobTest, TheIntentIsWrittenBetweenTheEnvelopeAndData)
{
    const Script script = opening()
        + Script{ScriptedServer::expect("RSET"),
                 ScriptedServer::say("250 OK"),
                 ScriptedServer::expect("MAIL FROM: <sales@example.test>"),
                 ScriptedServer::say("250 OK"),
                 ScriptedServer::expect("RCPT TO:<zhang@example.test>"),
                 ScriptedServer::pause(500ms),
                 ScriptedServer::say("250 OK"),
                 ScriptedServer::expect("DATA"),
                 ScriptedServer::pause(500ms),
                 ScriptedServer::say("354 go on"),
                 ScriptedServer::expectData(),
                 ScriptedServer::say("250 queued")}
        + accepted("li@example.test") + accepted("wang@example.test") + quit();
    ScriptedServer server(script, QStringLiteral("127.0.0.1"), 0, 60s);
    seed(serverText(server.address(), server.port()));
    QStringList atRecipient;
    QStringList atData;
    const auto waitFor = [&](const QByteArray &line) {
        QElapsedTimer waited;
        waited.start();
        while (!server.receivedSoFar().contains(line) && waited.elapsed() < 10000)
            std::this_thread::sleep_for(1ms);
    };
    const Reports reports = run([&] {
        waitFor("RCPT TO:<zhang@example.test>\r\n");
        atRecipient = results();
        waitFor("DATA\r\n");
        atData = results();
    });

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(atRecipient, QStringList());
    EXPECT_EQ(atData, QStringList{SendingResult});
    EXPECT_EQ(results(), QStringList(3, QStringLiteral("成功")));
    EXPECT_EQ(reports.completed, QStringLiteral("发送完成：成功 3 封，失败 0 封。"));
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
    agree(database, *reports.asked);
    EXPECT_TRUE(readCleartextLoginAgreed(database, server.address(), server.port(), QStringLiteral("sales")));
    // Another user name, or another server, is another account.
    EXPECT_FALSE(readCleartextLoginAgreed(database, server.address(), server.port(), QStringLiteral("other")));
    EXPECT_FALSE(readCleartextLoginAgreed(database, server.address(), 25, QStringLiteral("sales")));
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

// What the stop box says of a customer whose reply never came.
QString unknownAdvice(int id, const QString &name, const QString &address)
{
    return QStringLiteral("客户ID %1（%2 <%3>）的邮件已经发出，但没有收到服务器的回复，不知道是否送达"
                          "（发送记录为“结果未知”）。\n以后勾选“跳过已成功发送的客户”再按“发送”，即可发送其余的"
                          "客户；结果未知的客户不会再收到这封邮件，除非您在发送前的确认中选择再次发送给他们。")
        .arg(id)
        .arg(name, address);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, ServerBehaviourTest,
    ::testing::Values(
        ServerCase{"AllAccepted",
                   opening() + accepted("zhang@example.test") + accepted("li@example.test")
                       + accepted("wang@example.test") + quit(),
                   false, 5s, QStringList(3, QStringLiteral("成功")), Counts{3, 0, 3}, false,
                   QStringLiteral("发送完成：成功 3 封，失败 0 封。")},
        // A message refused at its end concerns that customer only (its content, not the account).
        ServerCase{"MessageRefusedAtEndOfData",
                   opening() + accepted("zhang@example.test") + upToEndOfData("li@example.test")
                       + Script{ScriptedServer::say("554 5.6.0 Message content rejected"),
                                ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK")}
                       + accepted("wang@example.test") + quit(),
                   false,
                   5s,
                   {QStringLiteral("成功"), QStringLiteral("失败：服务器拒绝（邮件内容）：554 5.6.0 Message content rejected"),
                    QStringLiteral("成功")},
                   Counts{2, 1, 3},
                   false,
                   QStringLiteral("发送完成：成功 2 封，失败 1 封。") + failedRunHint()},
        // The same refusal after the text for three customers in a row is the account's: the run
        // stops with the third, pointing to the skip choice.
        ServerCase{"SameRefusalThreeTimesInARow",
                   opening()
                       + upToEndOfData("zhang@example.test")
                       + Script{ScriptedServer::say("554 5.6.0 Message content rejected"),
                                ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK")}
                       + upToEndOfData("li@example.test")
                       + Script{ScriptedServer::say("554 5.6.0 Message content rejected"),
                                ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK")}
                       + upToEndOfData("wang@example.test")
                       + Script{ScriptedServer::say("554 5.6.0 Message content rejected"),
                                ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK")}
                       + quit(),
                   false,
                   5s,
                   QStringList(3, QStringLiteral("失败：服务器拒绝（邮件内容）：554 5.6.0 Message content rejected")),
                   Counts{0, 3, 3},
                   true,
                   QStringLiteral("邮件服务器连续三次以同样的回复拒绝发送，发送已停止。\n"
                                  "已发送 0 封，失败 3 封，其余 0 位客户没有发送。\n"
                                  "以后勾选“跳过已成功发送的客户”再按“发送”，即可发送其余的客户。\n"
                                  "原因：服务器拒绝（邮件内容）：554 5.6.0 Message content rejected.")},
        // 4.7.1 after the text ("too many messages"): the account may not send now.
        ServerCase{"TooManyMessagesAfterTheText",
                   opening() + accepted("zhang@example.test") + upToEndOfData("li@example.test")
                       + Script{ScriptedServer::say("451 4.7.1 Too many messages, slow down"),
                                ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK")}
                       + quit(),
                   false,
                   5s,
                   {QStringLiteral("成功"), QStringLiteral("失败：服务器暂时拒绝（邮件内容，稍后可重试）：451 4.7.1 Too many messages, slow down")},
                   Counts{1, 1, 3},
                   true,
                   QStringLiteral("邮件服务器拒绝这个帐号继续发送，发送已停止。\n"
                                  "已发送 1 封，失败 1 封，其余 1 位客户没有发送。\n"
                                  "以后勾选“跳过已成功发送的客户”再按“发送”，即可发送其余的客户。\n"
                                  "原因：服务器暂时拒绝（邮件内容，稍后可重试）：451 4.7.1 Too many messages, slow down.")},
        ServerCase{"LoginRefused",
                   opening(true)
                       + Script{ScriptedServer::expect("AUTH LOGIN"), ScriptedServer::say("334 VXNlcm5hbWU6"),
                                ScriptedServer::expect("c2FsZXM="), ScriptedServer::say("334 UGFzc3dvcmQ6"),
                                ScriptedServer::expect("c2VjcmV0"),
                                ScriptedServer::say("535 5.7.8 Authentication credentials invalid")}
                       + quit(),
                   true,
                   5s,
                   {QStringLiteral("失败：服务器拒绝（永久性错误）：535 5.7.8 Authentication credentials invalid")},
                   Counts{0, 1, 3},
                   true,
                   QStringLiteral("邮件服务器拒绝了登录，发送已停止。\n") + failed3
                       + QStringLiteral("\n原因：服务器拒绝（永久性错误）：535 5.7.8 Authentication credentials invalid.")},
        ServerCase{"LoginRequiredAtTheFirstMail",
                   opening()
                       + Script{ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK"),
                                ScriptedServer::expect("MAIL FROM: <sales@example.test>"),
                                ScriptedServer::say("530 5.7.0 Authentication required")}
                       + quit(),
                   false,
                   5s,
                   {QStringLiteral("失败：服务器拒绝（发件人地址）：530 5.7.0 Authentication required")},
                   Counts{0, 1, 3},
                   true,
                   QStringLiteral("邮件服务器要求先登录，发送已停止。\n") + failed3
                       + QStringLiteral("\n原因：服务器拒绝（发件人地址）：530 5.7.0 Authentication required.")},
        // A server that wants encryption first and offers none: no message of the run can go.
        ServerCase{"EncryptionRequiredAtTheFirstMail",
                   opening()
                       + Script{ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK"),
                                ScriptedServer::expect("MAIL FROM: <sales@example.test>"),
                                ScriptedServer::say("530 5.7.0 Must issue a STARTTLS command first")}
                       + quit(),
                   false,
                   5s,
                   {QStringLiteral("失败：服务器拒绝（发件人地址）：530 5.7.0 Must issue a STARTTLS command first")},
                   Counts{0, 1, 3},
                   true,
                   QStringLiteral("服务器要求先加密连接，发送已停止。\n") + failed3
                       + QStringLiteral("\n原因：服务器拒绝（发件人地址）：530 5.7.0 Must issue a STARTTLS command first.")},
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
            {QStringLiteral("成功"), QStringLiteral("成功"), QStringLiteral("失败：服务器关闭了连接")},
            Counts{2, 1, 3},
            true,
            QStringLiteral("与邮件服务器的连接已断开，发送已停止。\n已发送 2 封，失败 1 封，其余 0 "
                           "位客户没有发送。\n原因：服务器关闭了连接.")},
        ServerCase{"ServiceClosingAtMailFrom",
                   opening()
                       + Script{ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK"),
                                ScriptedServer::expect("MAIL FROM: <sales@example.test>"),
                                ScriptedServer::say("421 4.3.2 Service shutting down")}
                       + quit(),
                   false,
                   5s,
                   {QStringLiteral("失败：服务器暂时拒绝（发件人地址，稍后可重试）：421 4.3.2 Service shutting down")},
                   Counts{0, 1, 3},
                   true,
                   QStringLiteral("邮件服务器暂停了服务，发送已停止。\n") + failed3
                       + QStringLiteral("\n原因：服务器暂时拒绝（发件人地址，稍后可重试）：421 4.3.2 Service shutting down.")},
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
        // so no QUIT. The whole message went out: whether it arrived is unknown.
        ServerCase{"SilentAtEndOfData",
                   opening() + upToEndOfData("zhang@example.test"),
                   false,
                   1s,
                   {QStringLiteral("结果未知：邮件服务器在限定的时间内没有回应（系统错误号 %1）").arg(ETIMEDOUT)},
                   Counts{0, 0, 3},
                   true,
                   QStringLiteral("邮件服务器没有回应，发送已停止。\n已发送 0 封，失败 0 封，结果未知 1 封，其余 2 位客户没有发送。\n")
                       + unknownAdvice(1, QStringLiteral("张三"), QStringLiteral("zhang@example.test"))
                       + QStringLiteral("\n原因：邮件服务器在限定的时间内没有回应（系统错误号 %1）.").arg(ETIMEDOUT)},
        // The connection drops after the final "." of the second message, before the reply: the
        // run ends as on a lost connection, the customer's result unknown.
        ServerCase{"ConnectionDropsAfterTheFinalDot",
                   opening() + accepted("zhang@example.test") + upToEndOfData("li@example.test")
                       + Script{ScriptedServer::close()},
                   false,
                   5s,
                   {QStringLiteral("成功"), QStringLiteral("结果未知：服务器关闭了连接")},
                   Counts{1, 0, 3},
                   true,
                   QStringLiteral("与邮件服务器的连接已断开，发送已停止。\n已发送 1 封，失败 0 封，结果未知 1 封，其余 1 位客户没有发送。\n")
                       + unknownAdvice(2, QStringLiteral("李四"), QStringLiteral("li@example.test"))
                       + QStringLiteral("\n原因：服务器关闭了连接.")}),
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
        EXPECT_EQ(results(), QStringList{SendingResult});
        holder.database().exec(QStringLiteral("rollback"));
    });

    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(results(), QStringList(3, QStringLiteral("成功")));
    EXPECT_EQ(reports.completed, QStringLiteral("发送完成：成功 3 封，失败 0 封。"));
}

// The database keeps refusing a record: the run stops and QUIT goes out. Refused once the
// message went out (the result), the box names the customer, whose record reads 发送中 (shown as
// 结果未知), so that the user does not mail them again; refused before (the record written once the
// server took the envelope), the transaction is reset and the customer is sent nothing of the
// message.
TEST_F(SendRunJobTest, ARecordTheFileKeepsRefusingStopsTheRun)
{
    struct Case
    {
        const char *trigger;
        Script script;
        QStringList results;
        Counts progress;
        QString box;
    };
    const Case cases[] = {
        {"before update",
         opening() + accepted("zhang@example.test") + accepted("li@example.test") + quit(),
         {QStringLiteral("成功"), SendingResult},
         {2, 0, 3},
         QStringLiteral("发送记录无法写入数据库，发送已停止。\n"
                        "客户ID 2（李四 <li@example.test>）的邮件已经发出，但发送结果没有记录下来"
                        "（发送记录显示为“结果未知”），请不要再给这位客户发送。\n"
                        "已发送 2 封，失败 0 封，其余 1 位客户没有发送。\n原因：database or disk is full.")},
        {"before insert",
         opening() + accepted("zhang@example.test")
             + Script{ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK"),
                      ScriptedServer::expect("MAIL FROM: <sales@example.test>"), ScriptedServer::say("250 OK"),
                      ScriptedServer::expect("RCPT TO:<li@example.test>"), ScriptedServer::say("250 OK"),
                      ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK")}
             + quit(),
         {QStringLiteral("成功")},
         {1, 0, 3},
         QStringLiteral("发送记录无法写入数据库，发送已停止。\n"
                        "已发送 1 封，失败 0 封，其余 2 位客户没有发送。\n原因：database or disk is full.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.trigger);
        db.exec(QStringLiteral("delete from 客户表; delete from 邮件表; delete from 发送情况; delete from sqlite_sequence;"
                               "drop trigger if exists refuse"));
        ScriptedServer server(c.script, QStringLiteral("127.0.0.1"), 0, 60s);
        seed(serverText(server.address(), server.port()));
        db.exec(QStringLiteral("create trigger refuse %1 on 发送情况 when new.客户ID = 2 "
                               "begin select raise(abort, 'database or disk is full'); end")
                    .arg(QLatin1String(c.trigger)));
        limits.recordRetry = 500ms;
        const Reports reports = run();

        EXPECT_EQ(server.failure(), QString());
        EXPECT_EQ(server.received(), server.expected());
        EXPECT_EQ(results(), c.results);
        EXPECT_EQ(reports.progress, c.progress);
        ASSERT_TRUE(reports.failed);
        EXPECT_EQ(reports.box(), c.box);
    }
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

// A window busy elsewhere takes the run's report seldom: what it takes still adds up to every
// record, in the order written, as the file holds it, and to the run's last counts; and the run
// tells of a waiting report once until it is taken, however many customers it reaches meanwhile.
TEST_F(SendRunJobTest, AReportTakenSeldomHoldsEverythingAndIsToldOfOnce)
{
    constexpr int total = 60;
    QByteArrayList addresses{"zhang@example.test", "li@example.test", "wang@example.test"};
    for (int i = 4; i <= total; ++i)
        addresses.append("customer" + QByteArray::number(i) + "@example.test");
    Script script = opening();
    for (const QByteArray &address : addresses)
        script = script
            + Script{ScriptedServer::expect("RSET"),
                     ScriptedServer::say("250 OK"),
                     ScriptedServer::expect("MAIL FROM: <sales@example.test>"),
                     ScriptedServer::say("250 OK"),
                     ScriptedServer::expect("RCPT TO:<" + address + ">"),
                     ScriptedServer::say("550 5.1.1 no such user"),
                     ScriptedServer::expect("RSET"),
                     ScriptedServer::say("250 OK")};
    ScriptedServer server(script + quit(), QStringLiteral("127.0.0.1"), 0, 60s);
    seed(serverText(server.address(), server.port()));
    addCustomers(total - 3);

    std::atomic<int> notices = 0;
    int takes = 0;
    QList<SendRunReport::Record> taken;
    std::optional<SendRunReport::Counts> counts;
    std::optional<QString> lastCustomer;
    {
        SendRun job(inputs, DatabaseLocation::inFile(db.path()), limits);
        QObject::connect(&job, &SendRun::reported, [&] { ++notices; });
        const auto take = [&] {
            SendRunReport report = job.takeReport();
            ++takes;
            taken.append(report.records);
            if (report.counts)
                counts = report.counts;
            if (report.customerName)
                lastCustomer = report.customerName;
        };
        job.start();
        while (job.running()) {
            std::this_thread::sleep_for(5ms);
            take();
        }
        take();
    }
    EXPECT_EQ(server.failure(), QString());
    EXPECT_GE(notices.load(), 1);
    EXPECT_LE(notices.load(), takes);
    const QList<QVariantList> rows = db.rows(QStringLiteral("select 客户ID, 邮件ID, 发送日期, 发送结果 from 发送情况 order by rowid"));
    ASSERT_EQ(taken.size(), total);
    ASSERT_EQ(rows.size(), total);
    for (int i = 0; i < total; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(taken[i].customerId, i + 1);
        EXPECT_EQ(taken[i].customerId, rows[i].value(0).toLongLong());
        EXPECT_EQ(taken[i].mailId, rows[i].value(1).toLongLong());
        EXPECT_EQ(taken[i].sendDate, rows[i].value(2).toString());
        EXPECT_EQ(taken[i].result, rows[i].value(3).toString());
        EXPECT_EQ(taken[i].result, QStringLiteral("失败：服务器拒绝（收件人地址）：550 5.1.1 no such user"));
    }
    ASSERT_TRUE(counts);
    EXPECT_EQ((Counts{counts->sent, counts->failed, counts->total}), (Counts{0, total, total}));
    EXPECT_EQ(lastCustomer, QStringLiteral("客户%1").arg(total));
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

// Two customers on the do-not-mail list, spelled otherwise there: one listed before the run, one
// added while the run is under way, before it reaches them. Neither is mailed, both are recorded,
// and the end box counts them.
TEST_F(SendRunJobTest, ListedAddressesAreLeftOutEvenWhenListedDuringTheRun)
{
    ScriptedServer server(opening() + accepted("zhang@example.test") + accepted("wang@example.test") + quit(),
                          QStringLiteral("127.0.0.1"), 0, 60s);
    seedFour(serverText(server.address(), server.port()));
    db.exec(QStringLiteral("insert into 退订名单(电子邮件地址, 退订日期, 原因) values(' LI@Example.test ', "
                           "'2026-12-01 09:00:00.000', '手工加入')"));
    inputs.setPauseChoice(QStringLiteral("4"));
    limits.pauseSecond = 50ms;
    const Reports reports = run([&] {
        // Once the first customer is recorded, the run has read its customers long since.
        QElapsedTimer waited;
        waited.start();
        while (recordCount() < 1 && waited.elapsed() < 10000)
            std::this_thread::sleep_for(5ms);
        db.exec(QStringLiteral("insert into 退订名单(电子邮件地址, 退订日期, 原因) values('Zhao@EXAMPLE.test', "
                               "'2026-12-01 09:00:00.000', '导入')"));
    });
    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(recipients(server.received()),
              QStringList({QStringLiteral("zhang@example.test"), QStringLiteral("wang@example.test")}));
    EXPECT_EQ(records(), QStringList({QStringLiteral("1/2"), QStringLiteral("2/2"), QStringLiteral("3/2"),
                                      QStringLiteral("4/2")}));
    EXPECT_EQ(results(), QStringList({QStringLiteral("成功"), QStringLiteral("跳过：已退订"), QStringLiteral("成功"),
                                      QStringLiteral("跳过：已退订")}));
    EXPECT_EQ(reports.completed, QStringLiteral("发送完成：成功 2 封，失败 0 封，2 位已退订的客户未发送。"));
    EXPECT_EQ(reports.progress, (Counts{2, 0, 2}));
}

// The refusal option and the advertising mark as a mail reader sees them, through a real server;
// with both off, the message text is byte for byte the one sent without them.
TEST_F(SendRunJobTest, TheRefusalOptionAndTheAdvertisingMarkReachTheReader)
{
    AiosmtpdServer server;
    seed(serverText(server.address(), server.port()), server.user(), server.password());
    db.exec(QStringLiteral("delete from 客户表 where 客户ID <> 1"));
    db.exec(QStringLiteral("insert into 设置(发信人电子邮件) values('sales@example.test')"));

    // Off (as a new file has them): the reference text.
    ASSERT_EQ(run().completed, QStringLiteral("发送完成：成功 1 封，失败 0 封。"));
    db.exec(QStringLiteral("update 设置 set 附带退订方式 = 1, 退订说明 = null"));
    db.exec(QStringLiteral("update 邮件表 set 广告 = 1 where 邮件ID = 2"));
    ASSERT_EQ(run().completed, QStringLiteral("发送完成：成功 1 封，失败 0 封。"));
    db.exec(QStringLiteral("update 设置 set 附带退订方式 = 0"));
    db.exec(QStringLiteral("update 邮件表 set 广告 = 0 where 邮件ID = 2"));
    ASSERT_EQ(run().completed, QStringLiteral("发送完成：成功 1 封，失败 0 封。"));

    const QList<ReceivedMessage> messages = server.waitForMessages(3);
    ASSERT_EQ(messages.size(), 3);
    const QJsonObject plain = parseWithPythonEmail(messages[0].path);
    const QJsonObject marked = parseWithPythonEmail(messages[1].path);
    const QString subject = db.scalar(QStringLiteral("select 邮件主题 from 邮件表 where 邮件ID = 2")).toString();

    EXPECT_EQ(plain[QStringLiteral("list_unsubscribe")].toString(), QString());
    EXPECT_EQ(plain[QStringLiteral("subject")].toString(), subject);
    EXPECT_EQ(marked[QStringLiteral("list_unsubscribe")].toString(),
              QStringLiteral("<mailto:sales@example.test?subject=%E9%80%80%E8%AE%A2>"));
    EXPECT_EQ(QUrl::fromPercentEncoding("%E9%80%80%E8%AE%A2"), QStringLiteral("退订"));
    EXPECT_EQ(marked[QStringLiteral("subject")].toString(), QStringLiteral("广告：") + subject);
    const auto bodyLines = [](const QJsonObject &parsed) {
        return parsed[QStringLiteral("body")].toString().remove(QLatin1Char('\r')).split(QLatin1Char('\n'),
                                                                                         Qt::SkipEmptyParts);
    };
    const QStringList lines = bodyLines(marked);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last(), QStringLiteral("如不希望再收到我们的邮件，请回复“退订”。"));
    EXPECT_EQ(lines.mid(0, lines.size() - 1), bodyLines(plain));
    EXPECT_EQ(marked[QStringLiteral("defects")].toArray().size(), 0);

    // The stored subject is what the user wrote; options off again give the same text as before,
    // but for the Date and Message-ID lines, which each message has its own of.
    const auto withoutOwnLines = [](QByteArray data) {
        QList<QByteArray> lines = data.split('\n');
        lines.removeIf([](const QByteArray &line) { return line.startsWith("Date:") || line.startsWith("Message-ID:"); });
        return lines;
    };
    EXPECT_EQ(withoutOwnLines(messages[0].data), withoutOwnLines(messages[2].data));
}

} // namespace

namespace {

// A mail carrying a file, through a real server: every customer's message has the text as typed and
// the file with its Chinese name and exact bytes.
TEST_F(SendRunJobTest, EveryCustomerGetsTheMailsFileWithItsNameAndExactBytes)
{
    AiosmtpdServer server;
    seed(serverText(server.address(), server.port()), server.user(), server.password());
    QByteArray bytes;
    for (int i = 0; i < 5000; ++i)
        bytes.append(char(i * 31 + i / 256));
    {
        Database connection(db.path());
        connection.setConnected(true);
        Statement store(connection.handle(),
                        QStringLiteral("update 邮件表 set 附件名称 = '2024年秋季价目表.pdf', 附件内容 = ? where 邮件ID = 2"));
        store.bind(1, bytes);
        store.step();
    }

    const Reports reports = run();
    EXPECT_EQ(reports.completed, QStringLiteral("发送完成：成功 3 封，失败 0 封。"));
    const QList<ReceivedMessage> messages = server.waitForMessages(3);
    ASSERT_EQ(messages.size(), 3);
    const QStringList names = {QStringLiteral("张三"), QStringLiteral("李四"), QStringLiteral("王五")};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject parsed = parseWithPythonEmail(messages[i].path);
        EXPECT_EQ(parsed.value(QStringLiteral("content_type")).toString(), QStringLiteral("multipart/mixed"));
        // The text part: the body lines, the line break before the boundary being the delimiter's.
        EXPECT_EQ(parsed.value(QStringLiteral("body")).toString().remove(QLatin1Char('\r')),
                  QStringLiteral("你好， ") + names[i] + QStringLiteral(",  \n第一行\n第二行\n"));
        const QJsonArray parts = parsed.value(QStringLiteral("parts")).toArray();
        ASSERT_EQ(parts.size(), 2);
        const QJsonObject file = parts[1].toObject();
        EXPECT_EQ(file.value(QStringLiteral("filename")).toString(), QStringLiteral("2024年秋季价目表.pdf"));
        EXPECT_EQ(file.value(QStringLiteral("content_type")).toString(), QStringLiteral("application/pdf"));
        EXPECT_EQ(QByteArray::fromBase64(file.value(QStringLiteral("data")).toString().toLatin1()), bytes);
    }
    EXPECT_EQ(results(), QStringList(3, QStringLiteral("成功")));
}

// The recipients of the messages a real server accepted, in order.
QStringList recipientsOf(const QList<ReceivedMessage> &messages)
{
    QStringList addresses;
    for (const ReceivedMessage &m : messages)
        addresses += m.rcptTos;
    return addresses;
}

// The daily cap with a day of a second: two messages, a wait reported with the moment it ends, the
// next message not before that moment, and so on until every customer is mailed once. The waits
// end the connection and the run connects again after each.
TEST_F(SendRunJobTest, TheDailyCapWaitsAndGoesOnWithTheSameCustomers)
{
    AiosmtpdServer server;
    seed(serverText(server.address(), server.port()));
    addCustomers(2);
    inputs.setDailyCap(2);
    limits.capDay = 1s;
    const Reports reports = run();

    EXPECT_EQ(reports.completed, QStringLiteral("发送完成：成功 5 封，失败 0 封。"));
    EXPECT_EQ(results(), QStringList(5, QStringLiteral("成功")));
    const QStringList mailed = recipientsOf(server.waitForMessages(5));
    EXPECT_EQ(mailed,
              QStringList({QStringLiteral("zhang@example.test"), QStringLiteral("li@example.test"),
                           QStringLiteral("wang@example.test"), QStringLiteral("customer4@example.test"),
                           QStringLiteral("customer5@example.test")}));
    ASSERT_GE(reports.capWaits.size(), 2u);
    for (const Reports::CapWait &wait : reports.capWaits) {
        EXPECT_EQ(wait.cap, 2);
        EXPECT_GT(wait.resumeAt, wait.reported);
        EXPECT_LE(wait.reported.msecsTo(wait.resumeAt), 1000);
        ASSERT_TRUE(wait.nextSent.isValid());
        EXPECT_GE(wait.nextSent, wait.resumeAt);
    }
    EXPECT_EQ(reports.progress, (Counts{5, 0, 5}));
}

// A cap used up by an earlier run's records (of another mail) makes the run wait before it
// connects; a stop during the wait ends it at once, with nothing sent and nothing recorded.
TEST_F(SendRunJobTest, AStopDuringTheCapsWaitEndsTheRunAtOnce)
{
    seed(serverText(QStringLiteral("127.0.0.1"), unusedPort()));
    db.exec(QStringLiteral("insert into 发送情况 values(1, 1, '%1', '成功')")
                .arg(formatDateTime(QDateTime::currentDateTime())));
    inputs.setDailyCap(1);
    QElapsedTimer elapsed;
    elapsed.start();
    const Reports reports = run([&] {
        while (!capWaitReported)
            std::this_thread::sleep_for(10ms);
        current->requestStop();
    });
    EXPECT_LT(elapsed.elapsed(), 10000);
    ASSERT_EQ(reports.capWaits.size(), 1u);
    EXPECT_EQ(reports.capWaits[0].cap, 1);
    EXPECT_EQ(reports.completed, std::nullopt);
    EXPECT_EQ(reports.failed, std::nullopt);
    EXPECT_EQ(recordCount(), 1);
}

// Stopped mid-run while waiting on the cap: the records say exactly who was mailed.
TEST_F(SendRunJobTest, AStopDuringTheCapsWaitKeepsTheRecordsTrue)
{
    AiosmtpdServer server;
    seed(serverText(server.address(), server.port()));
    addCustomers(2);
    inputs.setDailyCap(2);
    limits.capDay = 60s;
    const Reports reports = run([&] {
        while (!capWaitReported)
            std::this_thread::sleep_for(10ms);
        current->requestStop();
    });
    EXPECT_EQ(reports.completed, std::nullopt);
    EXPECT_EQ(reports.failed, std::nullopt);
    EXPECT_EQ(records(), QStringList({QStringLiteral("1/2"), QStringLiteral("2/2")}));
    EXPECT_EQ(results(), QStringList(2, QStringLiteral("成功")));
    EXPECT_EQ(recipientsOf(server.messages()),
              QStringList({QStringLiteral("zhang@example.test"), QStringLiteral("li@example.test")}));
}

// The provider's quota: a real server that takes 100 messages and then refuses every sender with
// 550 5.4.5. The run ends after customer 101 with one box that says why and how to send the rest;
// nothing is written for the other 399. With a cap set, the box says the provider's limit came first.
class QuotaTest : public SendRunJobTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(QuotaTest, AQuotaReplyStopsTheRunAfterItsCustomer)
{
    AiosmtpdServer::Options options;
    options.quota = 100;
    AiosmtpdServer server(options);
    seed(serverText(server.address(), server.port()));
    addCustomers(497);
    const int cap = GetParam();
    inputs.setDailyCap(cap);
    const Reports reports = run();

    EXPECT_EQ(recordCount(), 101);
    EXPECT_EQ(db.scalar(QStringLiteral("select count(*) from 发送情况 where 发送结果 = '成功'")).toInt(), 100);
    EXPECT_EQ(results().value(100), QStringLiteral("失败：服务器拒绝（发件人地址）：550 5.4.5 Daily user sending quota exceeded"));
    EXPECT_EQ(server.messages().size(), 100);
    EXPECT_EQ(reports.progress, (Counts{100, 1, 500}));
    const QString capLine = cap > 0
        ? QStringLiteral("邮件服务商的发送限额先于每日上限（%1 封）用完，请把“每日最多发送”调低。\n").arg(cap)
        : QString();
    EXPECT_EQ(reports.box(),
              QStringLiteral("邮件服务器拒绝继续发送（可能已达到发送额度），发送已停止。\n"
                             "已发送 100 封，失败 1 封，其余 399 位客户没有发送。\n")
                  + capLine
                  + QStringLiteral("以后勾选“跳过已成功发送的客户”再按“发送”，即可发送其余的客户。\n"
                                   "原因：服务器拒绝（发件人地址）：550 5.4.5 Daily user sending quota exceeded."));
}

INSTANTIATE_TEST_SUITE_P(Caps, QuotaTest, ::testing::Values(0, 300),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return info.param ? std::string("WithACap") : std::string("WithoutACap");
                         });

// The same list with the cap at 100 (and a day of a few seconds): 100 messages, a wait, and the
// rest sent by itself once the cap allows, each customer once.
TEST_F(SendRunJobTest, WithTheCapAtAHundredTheRunWaitsAndSendsTheRest)
{
    AiosmtpdServer server;
    seed(serverText(server.address(), server.port()));
    addCustomers(127);
    inputs.setDailyCap(100);
    limits.capDay = 4s;
    const Reports reports = run();

    EXPECT_EQ(reports.completed, QStringLiteral("发送完成：成功 130 封，失败 0 封。"));
    ASSERT_FALSE(reports.capWaits.empty());
    EXPECT_EQ(reports.capWaits[0].cap, 100);
    EXPECT_GE(reports.capWaits[0].nextSent, reports.capWaits[0].resumeAt);
    const QStringList mailed = recipientsOf(server.waitForMessages(130));
    EXPECT_EQ(mailed.size(), 130);
    EXPECT_EQ(QSet<QString>(mailed.begin(), mailed.end()).size(), 130);
}

// The run is killed after customer 2's whole message reached the server and before the run heard
// the reply: customer 2's record reads 发送中. A resumed run (skip choice on) leaves customer 2 out
// unless the user chooses to send to those whose result is unknown: nobody gets the mail twice
// without having been asked.
TEST_F(SendRunJobTest, AKilledRunLeavesTheResultUnknownAndAResumedRunAsksBeforeMailingAgain)
{
    {
        ScriptedServer server(opening() + accepted("zhang@example.test") + upToEndOfData("li@example.test"),
                              QStringLiteral("127.0.0.1"), 0, 60s);
        seed(serverText(server.address(), server.port()));
        QProcess child;
        child.start(binaryPath(QStringLiteral("tests/dispatch/sendrun_child")),
                    {db.path(), serverText(server.address(), server.port())});
        ASSERT_TRUE(child.waitForStarted());
        QElapsedTimer waited;
        waited.start();
        // The server has the whole of customer 2's message: its final "." came.
        while (server.receivedSoFar().count("\r\n.\r\n") < 2 && waited.elapsed() < 20000)
            std::this_thread::sleep_for(1ms);
        ::kill(pid_t(child.processId()), SIGKILL);
        ASSERT_EQ(server.dataBlocks().size(), 2);
        ASSERT_TRUE(child.waitForFinished());
        EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
    }
    EXPECT_EQ(records(), (QStringList{QStringLiteral("1/2"), QStringLiteral("2/2")}));
    EXPECT_EQ(results(), (QStringList{QStringLiteral("成功"), SendingResult}));

    struct Resume
    {
        bool sendAgain;
        QByteArray address;
        QString summary;
    };
    const Resume resumes[] = {
        {false, "wang@example.test",
         QStringLiteral("发送完成：成功 1 封，失败 0 封，跳过 1 位已发送的客户、1 位发送结果未知的客户。")},
        {true, "li@example.test", QStringLiteral("发送完成：成功 1 封，失败 0 封，跳过 2 位已发送的客户。")},
    };
    for (const Resume &resume : resumes) {
        SCOPED_TRACE(resume.sendAgain);
        ScriptedServer server(opening() + accepted(resume.address) + quit(), QStringLiteral("127.0.0.1"), 0, 60s);
        inputs.setAccount({serverText(server.address(), server.port()), QString(), QString()});
        inputs.setSkipSent(true);
        inputs.setSendUnknownAgain(resume.sendAgain);
        const Reports reports = run();
        EXPECT_EQ(server.failure(), QString());
        EXPECT_EQ(recipients(server.received()), QStringList{QString::fromLatin1(resume.address)});
        EXPECT_EQ(reports.completed, resume.summary);
    }
    EXPECT_EQ(results(), (QStringList{QStringLiteral("成功"), SendingResult, QStringLiteral("成功"),
                                      QStringLiteral("成功")}));
    EXPECT_EQ(records(), (QStringList{QStringLiteral("1/2"), QStringLiteral("2/2"), QStringLiteral("3/2"),
                                      QStringLiteral("2/2")}));
}

// The connection drops after customer 2's final "." and before the reply: their record reads
// 结果未知：…. A resumed run (skip choice on) leaves customer 2 out unless the user chose to send to
// those whose result is unknown.
TEST_F(SendRunJobTest, AReplyLostAfterTheMessageIsUnknownAndAResumedRunLeavesItOut)
{
    struct Resume
    {
        bool sendAgain;
        QByteArrayList mailed;
        QString summary;
    };
    const Resume resumes[] = {
        {false, {"wang@example.test"},
         QStringLiteral("发送完成：成功 1 封，失败 0 封，跳过 1 位已发送的客户、1 位发送结果未知的客户。")},
        {true, {"li@example.test", "wang@example.test"},
         QStringLiteral("发送完成：成功 2 封，失败 0 封，跳过 1 位已发送的客户。")},
    };
    const QString unknown = QStringLiteral("结果未知：服务器关闭了连接");
    for (const Resume &resume : resumes) {
        SCOPED_TRACE(resume.sendAgain);
        db.exec(QStringLiteral("delete from 客户表; delete from 邮件表; delete from 发送情况; delete from sqlite_sequence"));
        {
            ScriptedServer server(opening() + accepted("zhang@example.test") + upToEndOfData("li@example.test")
                                      + Script{ScriptedServer::close()},
                                  QStringLiteral("127.0.0.1"), 0, 60s);
            seed(serverText(server.address(), server.port()));
            inputs.setSkipSent(false);
            EXPECT_TRUE(run().failed.has_value());
            EXPECT_EQ(server.failure(), QString());
        }
        ASSERT_EQ(results(), (QStringList{QStringLiteral("成功"), unknown}));

        Script script = opening();
        for (const QByteArray &address : resume.mailed)
            script = script + accepted(address);
        ScriptedServer server(script + quit(), QStringLiteral("127.0.0.1"), 0, 60s);
        inputs.setAccount({serverText(server.address(), server.port()), QString(), QString()});
        inputs.setSkipSent(true);
        inputs.setSendUnknownAgain(resume.sendAgain);
        const Reports reports = run();
        EXPECT_EQ(server.failure(), QString());
        EXPECT_EQ(server.received(), server.expected());
        EXPECT_EQ(reports.completed, resume.summary);
        EXPECT_EQ(results().value(1), unknown);
    }
}

// A stop asked for while a customer's message is under way lets it finish: its result is known,
// the record written, QUIT sent, the rest left unwritten, and the box says how to send to them. A
// server that keeps the reply back longer than the stop allows is cut off: the result is unknown.
TEST_F(SendRunJobTest, AStopDuringTheMessageLetsItFinishWithinItsTime)
{
    struct Case
    {
        const char *name;
        Script afterTheText;
        QString result;
        QString box;
    };
    const QString rest = QStringLiteral("\n以后勾选“跳过已成功发送的客户”再按“发送”，即可发送其余的客户。");
    const Case cases[] = {
        {"AnsweredWithinTheTime",
         Script{ScriptedServer::pause(300ms), ScriptedServer::say("250 queued")} + quit(), QStringLiteral("成功"),
         QStringLiteral("发送已停止。\n已发送 1 封，失败 0 封，其余 2 位客户没有发送。") + rest},
        {"NotAnsweredInTime", Script{}, QStringLiteral("结果未知：连接已中止（系统错误号 %1）").arg(ECONNABORTED),
         QStringLiteral("发送已停止。\n已发送 0 封，失败 0 封，结果未知 1 封，其余 2 位客户没有发送。") + rest},
    };
    limits.finishAfterStop = 1s;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        db.exec(QStringLiteral("delete from 客户表; delete from 邮件表; delete from 发送情况; delete from sqlite_sequence"));
        ScriptedServer server(opening() + upToEndOfData("zhang@example.test") + c.afterTheText,
                              QStringLiteral("127.0.0.1"), 0, 60s);
        seed(serverText(server.address(), server.port()));
        const Reports reports = run([&] {
            QElapsedTimer waited;
            waited.start();
            while (!server.receivedSoFar().contains("\r\n.\r\n") && waited.elapsed() < 20000)
                std::this_thread::sleep_for(1ms);
            current->requestStop(SendRun::Stop::AfterCurrent);
        });
        EXPECT_EQ(server.failure(), QString());
        EXPECT_EQ(server.received(), server.expected());
        EXPECT_EQ(results(), QStringList{c.result});
        EXPECT_EQ(reports.stopped, c.box);
        EXPECT_FALSE(reports.failed.has_value());
        EXPECT_FALSE(reports.completed.has_value());
    }
}

// A disk that is full: a file system of the test's own (a tmpfs, which needs root to mount), filled
// with a file of its own. Full before the run, the run does not start; filled while the first
// customer's message goes out, its result cannot be written and the run stops there: every
// customer the server saw has a record, and nobody after them is mailed.
class FullDiskTest : public SendRunJobTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mountPoint.isValid());
        if (::mount("tmpfs", mountPoint.path().toUtf8().constData(), "tmpfs", 0, "size=4m") != 0) {
            GTEST_SKIP() << "a tmpfs cannot be mounted here (" << std::strerror(errno)
                         << "); the full-disk cases need root";
        }
        mounted = true;
        disk.emplace(mountPoint.path());
    }
    void TearDown() override
    {
        disk.reset();
        if (mounted)
            ::umount2(mountPoint.path().toUtf8().constData(), MNT_DETACH);
    }

    // Writes a file until the file system takes no more.
    void fill() const
    {
        std::ofstream filler((mountPoint.path() + QStringLiteral("/filler")).toStdString(), std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), std::streamsize(block.size())) && filler.flush()) {
        }
    }

    QStringList diskResults() const
    {
        QStringList texts;
        for (const QVariantList &row : disk->rows(QStringLiteral("select 发送结果 from 发送情况 order by rowid")))
            texts.append(row.value(0).toString());
        return texts;
    }

    QTemporaryDir mountPoint;
    bool mounted = false;
    std::optional<TempDatabase> disk;
};

TEST_F(FullDiskTest, BeforeTheRunNothingIsSent)
{
    ScriptedServer server(Script{}, QStringLiteral("127.0.0.1"), 0, 5s);
    seed(serverText(server.address(), server.port()));
    disk->exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('张三', 'zhang@example.test');"
                              "insert into 邮件表(邮件主题, 邮件内容) values('旧邮件', '旧');"
                              "insert into 邮件表(邮件主题, 邮件内容) values('新品介绍', '第一行');"));
    // A connection of another program keeps the file's companions in place, as the window does.
    Database window(disk->path());
    window.setConnected(true);
    fill();
    limits.writeCheck = 300ms;
    const Reports reports = run({}, disk->path());
    ASSERT_TRUE(reports.failed);
    EXPECT_TRUE(reports.failed->startsWith(QStringLiteral("无法写入发送记录，发送没有开始。\n原因：")))
        << reports.failed->toStdString();
    EXPECT_EQ(server.receivedSoFar(), QByteArray());
    EXPECT_EQ(diskResults(), QStringList());
}

TEST_F(FullDiskTest, DuringTheRunNobodyIsMailedWithoutARecord)
{
    ScriptedServer server(opening() + upToEndOfData("zhang@example.test")
                              + Script{ScriptedServer::pause(300ms), ScriptedServer::say("250 queued")} + quit(),
                          QStringLiteral("127.0.0.1"), 0, 60s);
    seed(serverText(server.address(), server.port()));
    disk->exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('张三', 'zhang@example.test');"
                              "insert into 客户表(客户名称, 电子邮件地址) values('李四', 'li@example.test');"
                              "insert into 邮件表(邮件主题, 邮件内容) values('旧邮件', '旧');"
                              "insert into 邮件表(邮件主题, 邮件内容) values('新品介绍', '第一行');"));
    Database window(disk->path());
    window.setConnected(true);
    limits.recordRetry = 300ms;
    const Reports reports = run(
        [&] {
            while (!server.receivedSoFar().contains("\r\n.\r\n"))
                std::this_thread::sleep_for(1ms);
            fill();
        },
        disk->path());
    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(recipients(server.received()), QStringList{QStringLiteral("zhang@example.test")});
    ASSERT_TRUE(reports.failed);
    EXPECT_TRUE(reports.failed->contains(QStringLiteral("客户ID 1（张三 <zhang@example.test>）的邮件已经发出")))
        << reports.failed->toStdString();
    ::unlink((mountPoint.path() + QStringLiteral("/filler")).toUtf8().constData());
    EXPECT_EQ(diskResults(), QStringList{SendingResult});
}

} // namespace
