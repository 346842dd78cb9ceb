// The send command and the send run, end to end: the real window offscreen on a real db.mdb, and a
// real SMTP server (aiosmtpd) or a scripted one where the test needs a refusal. Every server listens
// on a free port of 127.0.0.1, named in the server box as host:port.
#include "WindowFixture.h"

#include "AiosmtpdServer.h"
#include "Database.h"
#include "Error.h"
#include "ScriptedServer.h"
#include "SendRun.h"
#include "SmtpSession.h"
#include "TestCertificates.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

using testsupport::ScriptedServer;
using namespace std::chrono_literals;

// The server box's text for a server on a loopback port.
QString serverText(const QString &address, quint16 port)
{
    return address + QLatin1Char(':') + QString::number(port);
}

// A port of 127.0.0.1 that nothing listens on: taken from the system, then let go.
quint16 unusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length);
    ::close(fd);
    return ntohs(local.sin_port);
}

class SendRunTest : public WindowTest
{
protected:
    // Three customers, two mails (the second is chosen), and an account on the given server.
    void seed(const QString &server, const QString &user = QString(), const QString &password = QString())
    {
        db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('张三', 'zhang@example.test');"
                               "insert into 客户表(客户名称, 电子邮件地址) values('李四', 'li@example.test');"
                               "insert into 客户表(客户名称, 电子邮件地址) values('王五', 'wang@example.test');"
                               "insert into 邮件表(邮件主题, 邮件内容) values('旧邮件', '旧');"
                               "insert into 邮件表(邮件主题, 邮件内容) values('新品介绍', '第一行\n第二行');"));
        db.exec(QStringLiteral("insert into 设置 values('销售部', 'sales@example.test', '%1', '%2', '%3')")
                    .arg(server, user, password));
    }

    // The user opens the mail list and picks a mail, then a pause. The list offers no pause of
    // "0"; a test that asks for it adds it, to keep runs that do not time their pauses quick.
    void choose(const QString &mail, const QString &pause)
    {
        auto *choice = control<QComboBox>("mailChoice");
        choice->showPopup();
        choice->hidePopup();
        choice->setCurrentIndex(choice->findText(mail));
        auto *pauses = control<QComboBox>("pauseChoice");
        if (pauses->findText(pause) < 0)
            pauses->addItem(pause);
        pauses->setCurrentIndex(pauses->findText(pause));
    }

    QPushButton *sendButton() { return control<QPushButton>("sendButton"); }

    // Serves the window until the run has restored the send button.
    bool waitForRunEnd(std::chrono::milliseconds limit = 60s)
    {
        QElapsedTimer timer;
        timer.start();
        while (!(sendButton()->isEnabled() && sendButton()->text() == QStringLiteral("发送"))) {
            if (timer.elapsed() > limit.count())
                return false;
            QTest::qWait(20);
        }
        return true;
    }

    // Starts a run with the longest pause and waits until the first message is in: the run is pausing.
    void startPausingRun(ScriptedServer &server)
    {
        seed(serverText(server.address(), server.port()));
        open();
        choose(QStringLiteral("2"), QStringLiteral("45"));
        sendButton()->click();
        ASSERT_TRUE(QTest::qWaitFor([&server] { return server.receivedSoFar().contains("\r\n.\r\n"); }, 20000));
    }

    // The send records' results, in the order they were written.
    QStringList results() const
    {
        QStringList texts;
        for (const QVariantList &row : db.rows(QStringLiteral("select 发送结果 from 发送情况 order by rowid")))
            texts.append(row.value(0).toString());
        return texts;
    }

    QString progress() { return control<QLabel>("sendProgress")->text(); }

    void expectControlsRestored()
    {
        EXPECT_TRUE(sendButton()->isEnabled());
        EXPECT_EQ(sendButton()->text(), QStringLiteral("发送"));
        for (const char *name : {"mailNavigator", "accountNavigator", "mailChoice", "skipSentBox"})
            EXPECT_TRUE(control<QWidget>(name)->isEnabled()) << name;
    }

    QStringList records() const
    {
        QStringList rows;
        testsupport::TempDatabase::Rows all = db.rows(QStringLiteral("select 客户ID, 邮件ID from 发送情况"));
        for (const QVariantList &row : all)
            rows.append(row.value(0).toString() + QLatin1Char('/') + row.value(1).toString());
        return rows;
    }
};

using Script = std::vector<ScriptedServer::Step>;

Script operator+(Script script, const Script &more)
{
    script.insert(script.end(), more.begin(), more.end());
    return script;
}

// The server's greeting and the client's, offering the login when asked to.
Script opening(bool offerLogin = false)
{
    Script script = {ScriptedServer::say("220 scripted"), ScriptedServer::expect("EHLO " + localHostName().toLatin1())};
    if (offerLogin)
        return script + Script{ScriptedServer::say("250-scripted"), ScriptedServer::say("250 AUTH LOGIN")};
    return script + Script{ScriptedServer::say("250 scripted")};
}

Script quit()
{
    return {ScriptedServer::expect("QUIT"), ScriptedServer::say("221 bye"), ScriptedServer::close()};
}

// The mail transaction of one customer up to its message text, whose end the script answers.
Script upToEndOfData(const QByteArray &address)
{
    return {ScriptedServer::expect("RSET"),
            ScriptedServer::say("250 OK"),
            ScriptedServer::expect("MAIL FROM: <sales@example.test>"),
            ScriptedServer::say("250 OK"),
            ScriptedServer::expect("RCPT TO:<" + address + ">"),
            ScriptedServer::say("250 OK"),
            ScriptedServer::expect("DATA"),
            ScriptedServer::say("354 go on"),
            ScriptedServer::expectData()};
}

// The lines of one accepted customer in a scripted conversation.
Script accepted(const QByteArray &address)
{
    return upToEndOfData(address) + Script{ScriptedServer::say("250 queued")};
}

TEST_F(SendRunTest, EveryCustomerGetsTheMailOverOneConnectionWithOneLogin)
{
    testsupport::AiosmtpdServer server;
    seed(serverText(server.address(), server.port()), server.user(), server.password());
    open();
    choose(QStringLiteral("2"), QStringLiteral("4"));

    sendButton()->click();
    EXPECT_FALSE(sendButton()->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([this] { return sendButton()->text() == QStringLiteral("邮件发送中..."); }));
    ASSERT_TRUE(waitForRunEnd());

    const QList<testsupport::ReceivedMessage> messages = server.waitForMessages(3);
    ASSERT_EQ(messages.size(), 3);
    const QStringList names = {QStringLiteral("张三"), QStringLiteral("李四"), QStringLiteral("王五")};
    const QStringList addresses = {QStringLiteral("zhang@example.test"), QStringLiteral("li@example.test"),
                                   QStringLiteral("wang@example.test")};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(messages[i].login, server.user());
        EXPECT_EQ(messages[i].rcptTos, QStringList{addresses[i]});
        const QJsonObject parsed = testsupport::parseWithPythonEmail(messages[i].path);
        EXPECT_EQ(parsed.value(QStringLiteral("subject")).toString(), QStringLiteral("新品介绍"));
        EXPECT_EQ(parsed.value(QStringLiteral("from_name")).toString(), QStringLiteral("销售部"));
        // The body lines, then the empty line that ends every message text.
        EXPECT_EQ(parsed.value(QStringLiteral("body")).toString().remove(QLatin1Char('\r')),
                  QStringLiteral("你好， ") + names[i] + QStringLiteral(",  \n第一行\n第二行\n\n"));
    }

    EXPECT_EQ(records(), QStringList({QStringLiteral("1/2"), QStringLiteral("2/2"), QStringLiteral("3/2")}));
    // The send-record grid shows the new records without a re-query; its count stays as it was.
    EXPECT_EQ(form->views().sendRecords.recordCount(), 3);
    EXPECT_EQ(control<QLabel>("recordCount")->text(), QStringLiteral("0"));
    // The customer grid followed the run to its last customer; the controls are back.
    EXPECT_EQ(form->views().customers.fieldByName(QStringLiteral("客户ID")).toInt(), 3);
    for (const char *name : {"mailNavigator", "accountNavigator", "mailChoice"})
        EXPECT_TRUE(control<QWidget>(name)->isEnabled()) << name;
    EXPECT_EQ(control<QComboBox>("mailChoice")->currentText(), QStringLiteral("2"));
    EXPECT_EQ(results(), QStringList(3, QStringLiteral("成功")));
    EXPECT_EQ(form->views().sendRecords.fieldByName(QStringLiteral("发送结果")).toString(), QStringLiteral("成功"));
    EXPECT_EQ(progress(), QStringLiteral("已发送 3 / 3，失败 0"));

    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Message);
    EXPECT_EQ(shown[0].text, QStringLiteral("发送完成：成功 3 封，失败 0 封。"));
}

TEST_F(SendRunTest, ARefusedRecipientIsRecordedWithoutAPause)
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
    open();
    choose(QStringLiteral("2"), QStringLiteral("4"));
    QElapsedTimer run;
    run.start();
    sendButton()->click();
    ASSERT_TRUE(waitForRunEnd());
    // Two pauses of 4 seconds, after the two accepted messages; none after the refused one.
    EXPECT_GE(run.elapsed(), 8000);
    EXPECT_LT(run.elapsed(), 11500);

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(server.dataBlocks().size(), 2);
    EXPECT_EQ(records(), QStringList({QStringLiteral("1/2"), QStringLiteral("2/2"), QStringLiteral("3/2")}));
    EXPECT_EQ(results(),
              QStringList({QStringLiteral("成功"),
                           QStringLiteral("失败：550 5.1.1 <li@example.test>: Recipient address rejected"),
                           QStringLiteral("成功")}));
    EXPECT_EQ(progress(), QStringLiteral("已发送 2 / 3，失败 1"));

    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Message);
    EXPECT_EQ(shown[0].text, QStringLiteral("发送完成：成功 2 封，失败 1 封。"));
}

TEST_F(SendRunTest, NothingToSendOrNoMailChosenIsRefused)
{
    open();
    sendButton()->click();
    db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('张三', 'z@example.test');"
                           "insert into 邮件表(邮件主题, 邮件内容) values('主题', '内容');"));
    form->views().customers.refresh();
    form->views().mails.refresh();
    sendButton()->click();
    db.exec(QStringLiteral("insert into 设置(SMTP服务器) values('127.0.0.4')"));
    form->views().account.refresh();
    sendButton()->click();

    const QString nothing = QStringLiteral("请先输入邮箱帐号、邮件、客户信息。");
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[0].text, nothing);
    EXPECT_EQ(shown[1].text, nothing);
    EXPECT_EQ(shown[2].text, QStringLiteral("请选择要发送的邮件"));
    EXPECT_EQ(shown[2].kind, boxes::ShownBox::Kind::Message);
    EXPECT_TRUE(sendButton()->isEnabled());
    EXPECT_EQ(count(QStringLiteral("发送情况")), 0);
}

TEST_F(SendRunTest, AMailDeletedAfterItWasChosenIsRefused)
{
    seed(QStringLiteral("127.0.0.4"));
    open();
    choose(QStringLiteral("2"), QStringLiteral("4"));
    db.exec(QStringLiteral("delete from 邮件表 where 邮件ID = 2"));
    sendButton()->click();

    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("所选的邮件已不存在，请重新选择要发送的邮件。"));
    EXPECT_TRUE(sendButton()->isEnabled());
    EXPECT_EQ(count(QStringLiteral("发送情况")), 0);
}

TEST_F(SendRunTest, WithoutTheDatabaseTheSendCommandSaysSo)
{
    QFile::remove(db.path());
    open();
    boxes.takeShown();
    sendButton()->click();
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1) << "the send command went ahead on closed views";
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("数据库没有打开。"))) << shown[0].text.toStdString();
    EXPECT_TRUE(sendButton()->isEnabled());
}

TEST_F(SendRunTest, AnUnreachableServerGivesOneErrorBoxAndNoRecords)
{
    seed(serverText(QStringLiteral("127.0.0.1"), unusedPort()));
    open();
    choose(QStringLiteral("2"), QStringLiteral("4"));
    sendButton()->click();
    ASSERT_TRUE(waitForRunEnd());

    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_EQ(shown[0].text, QStringLiteral("Socket Error # %1\r\nConnection refused.").arg(ECONNREFUSED));
    EXPECT_EQ(count(QStringLiteral("发送情况")), 0);
    for (const char *name : {"mailNavigator", "accountNavigator", "mailChoice"})
        EXPECT_TRUE(control<QWidget>(name)->isEnabled()) << name;
}

// A run that is pausing after its first accepted message: the server takes QUIT next.
Script firstThenQuit()
{
    return opening() + accepted("zhang@example.test") + quit();
}

// Closing the window during the pause after the first message: the pause ends, the first customer
// is recorded, QUIT goes out over the still usable connection, and the window is gone at once,
// without a box.
TEST_F(SendRunTest, ClosingDuringAPauseStopsTheRunSafely)
{
    ScriptedServer server(firstThenQuit(), QStringLiteral("127.0.0.1"), 0, 60s);
    ASSERT_NO_FATAL_FAILURE(startPausingRun(server));
    // The message the pause follows is counted already.
    EXPECT_TRUE(QTest::qWaitFor([this] { return progress() == QStringLiteral("已发送 1 / 3，失败 0"); }, 5000))
        << progress().toStdString();
    EXPECT_EQ(count(QStringLiteral("发送情况")), 0);
    QTest::qWait(300);

    QElapsedTimer closing;
    closing.start();
    form->close();
    EXPECT_TRUE(form->isVisible()) << "the window waits for the run";
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form->isVisible(); }, 20000));
    EXPECT_LT(closing.elapsed(), 1000);

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(records(), QStringList{QStringLiteral("1/2")});
    EXPECT_EQ(results(), QStringList{QStringLiteral("成功")});
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

// Closing while the run waits for a server that does not answer (with the program's own time
// limits of minutes): the wait is aborted, the customer is recorded as failed, no QUIT goes over
// the aborted connection, and the window is gone within a second.
TEST_F(SendRunTest, ClosingWhileTheServerIsSilentEndsTheWaitAtOnce)
{
    ScriptedServer server(opening() + Script{ScriptedServer::expect("RSET")}, QStringLiteral("127.0.0.1"), 0, 60s);
    seed(serverText(server.address(), server.port()));
    open();
    choose(QStringLiteral("2"), QStringLiteral("4"));
    sendButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&server] { return server.receivedSoFar().contains("RSET\r\n"); }, 20000));
    QTest::qWait(200);

    QElapsedTimer closing;
    closing.start();
    form->close();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form->isVisible(); }, 20000));
    EXPECT_LT(closing.elapsed(), 1000);

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(
        results(),
        QStringList{QStringLiteral("失败：Socket Error # %1 Software caused connection abort.").arg(ECONNABORTED)});
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

// Destroying the window in the middle of a run (as a failing test or the program's end does) stops
// the run and joins it without a wait on either side; the customer it was at is still recorded.
TEST_F(SendRunTest, DestroyingTheWindowDuringARunStopsAndJoinsIt)
{
    ScriptedServer server(firstThenQuit(), QStringLiteral("127.0.0.1"), 0, 60s);
    ASSERT_NO_FATAL_FAILURE(startPausingRun(server));

    form.reset();

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(records(), QStringList{QStringLiteral("1/2")});
}

// While the run goes on (not only at its end), the customer grid shows the customer at hand, from
// wherever the user left it: here the last customer, behind which the run's first one lies.
TEST_F(SendRunTest, TheCustomerGridFollowsTheRunFromWhereverItStands)
{
    ScriptedServer server(opening() + accepted("zhang@example.test") + quit(), QStringLiteral("127.0.0.1"), 0, 60s);
    seed(serverText(server.address(), server.port()));
    open();
    choose(QStringLiteral("2"), QStringLiteral("45"));
    form->views().customers.last();
    sendButton()->click();
    // The run pauses after the first customer's message, the grid on that customer.
    EXPECT_TRUE(
        QTest::qWaitFor([this] { return form->views().customers.fieldByName(QStringLiteral("客户ID")).toInt() == 1; }, 20000));
    form.reset();

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(records(), QStringList{QStringLiteral("1/2")});
}

// Refused customers go by far faster than the screen changes: the window shows them a batch at a
// time and ends on the run's exact state, every record in the grid in the order written.
TEST_F(SendRunTest, AFastRunOfRefusedCustomersEndsOnItsExactState)
{
    constexpr int total = 200;
    Script script = opening();
    for (int i = 1; i <= total; ++i) {
        script = script
            + Script{ScriptedServer::expect("RSET"),
                     ScriptedServer::say("250 OK"),
                     ScriptedServer::expect("MAIL FROM: <sales@example.test>"),
                     ScriptedServer::say("250 OK"),
                     ScriptedServer::expect("RCPT TO:<c" + QByteArray::number(i) + "@example.test>"),
                     ScriptedServer::say("550 5.1.1 no such user"),
                     ScriptedServer::expect("RSET"),
                     ScriptedServer::say("250 OK")};
    }
    ScriptedServer server(script + quit(), QStringLiteral("127.0.0.1"), 0, 60s);
    db.exec(QStringLiteral(
                "with recursive n(i) as (select 1 union all select i + 1 from n where i < %1)"
                " insert into 客户表(客户名称, 电子邮件地址) select '客户' || i, 'c' || i || '@example.test' from n;"
                "insert into 邮件表(邮件主题, 邮件内容) values('新品介绍', '第一行');"
                "insert into 设置 values('销售部', 'sales@example.test', '%2', '', '')")
                .arg(total)
                .arg(serverText(server.address(), server.port())));
    open();
    choose(QStringLiteral("1"), QStringLiteral("4"));
    sendButton()->click();
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(form->views().customers.fieldByName(QStringLiteral("客户ID")).toInt(), total);
    EXPECT_EQ(progress(), QStringLiteral("已发送 0 / %1，失败 %1").arg(total));
    ASSERT_EQ(form->views().sendRecords.recordCount(), total);
    const int customer = form->views().sendRecords.fieldIndex(QStringLiteral("客户ID"));
    const int result = form->views().sendRecords.fieldIndex(QStringLiteral("发送结果"));
    for (int row = 0; row < total; ++row) {
        EXPECT_EQ(form->views().sendRecords.value(row, customer).toInt(), row + 1);
        EXPECT_EQ(form->views().sendRecords.value(row, result).toString(), QStringLiteral("失败：550 5.1.1 no such user"));
    }
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("发送完成：成功 0 封，失败 %1 封。").arg(total));
}

// A port that is not a number from 1 to 65535 stops the run before it connects.
TEST_F(SendRunTest, ABadPortIsRefusedNamingTheServerText)
{
    seed(QStringLiteral("smtp.example.test:70000"));
    open();
    choose(QStringLiteral("2"), QStringLiteral("4"));
    sendButton()->click();
    ASSERT_TRUE(waitForRunEnd());

    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_EQ(shown[0].text,
              QStringLiteral("SMTP服务器“smtp.example.test:70000”的端口无效：端口应是 1 到 65535 之间的数字."));
    EXPECT_EQ(count(QStringLiteral("发送情况")), 0);
}

// A server offering STARTTLS on another port, with a certificate for localhost from the given
// authority; one customer, so one pause at most.
class StartTlsRunTest : public SendRunTest
{
protected:
    using Issuer = testsupport::TestCertificates::Issuer;

    QList<boxes::ShownBox> run(Issuer issuer)
    {
        qputenv("SSL_CERT_FILE", certificates.caFile().toUtf8());
        const auto certificate = certificates.server(QStringLiteral("localhost"), issuer);
        testsupport::AiosmtpdServer::Options options;
        options.tls = testsupport::AiosmtpdServer::Options::Tls::StartTls;
        options.certificate = certificate.certificate;
        options.key = certificate.key;
        server = std::make_unique<testsupport::AiosmtpdServer>(options);
        seed(serverText(QStringLiteral("localhost"), server->port()), server->user(), server->password());
        db.exec(QStringLiteral("delete from 客户表 where 客户名称 <> '张三'"));
        open();
        choose(QStringLiteral("2"), QStringLiteral("4"));
        sendButton()->click();
        EXPECT_TRUE(waitForRunEnd());
        return boxes.takeShown();
    }

    ~StartTlsRunTest() override { qunsetenv("SSL_CERT_FILE"); }

    testsupport::TestCertificates certificates;
    std::unique_ptr<testsupport::AiosmtpdServer> server;
};

TEST_F(StartTlsRunTest, TheLoginAndTheMessageGoOnlyInsideTls)
{
    const QList<boxes::ShownBox> shown = run(Issuer::TrustedCa);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("发送完成：成功 1 封，失败 0 封。"));
    const QList<testsupport::ReceivedMessage> messages = server->waitForMessages(1);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].tls);
    EXPECT_EQ(messages[0].login, server->user());
    EXPECT_EQ(server->authAttempts(), QStringList{QStringLiteral("LOGIN tls")});
    EXPECT_EQ(records(), QStringList{QStringLiteral("1/2")});
}

TEST_F(StartTlsRunTest, AnUntrustedCertificateStopsTheRunBeforeTheLogin)
{
    const QList<boxes::ShownBox> shown = run(Issuer::UnknownCa);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_EQ(shown[0].text, QStringLiteral("服务器证书的签发者不受信任：unable to get local issuer certificate."));
    EXPECT_TRUE(server->messages().isEmpty());
    EXPECT_TRUE(server->authAttempts().isEmpty());
    EXPECT_EQ(count(QStringLiteral("发送情况")), 0);
}

// How a run ends with the server behaving one way: the send records (number and results), the one
// box, what went over the wire (QUIT only while the connection is up, as each script states), the
// progress label and the restored controls.
struct ServerCase
{
    const char *name;
    Script script;
    bool withLogin = false;
    TimeoutMs timeouts = 5000;
    QStringList results;
    QString progress;
    boxes::ShownBox::Kind boxKind;
    QString box;
    // The box text begins with `box`; what follows is the system's own text for the failure.
    bool boxIsStart = false;

    friend void PrintTo(const ServerCase &c, std::ostream *os) { *os << c.name; }
};

class ServerBehaviourTest : public SendRunTest, public ::testing::WithParamInterface<ServerCase>
{
};

TEST_P(ServerBehaviourTest, RecordsBoxAndControls)
{
    const ServerCase &c = GetParam();
    ScriptedServer server(c.script, QStringLiteral("127.0.0.1"), 0, 60s);
    if (c.withLogin)
        seed(serverText(server.address(), server.port()), QStringLiteral("sales"), QStringLiteral("secret"));
    else
        seed(serverText(server.address(), server.port()));
    open();
    form->setRunLimits({.serverWait = std::chrono::milliseconds(c.timeouts)});
    choose(QStringLiteral("2"), QStringLiteral("0"));
    sendButton()->click();
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(results(), c.results);
    EXPECT_EQ(progress(), c.progress);
    expectControlsRestored();
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, c.boxKind);
    if (c.boxIsStart)
        EXPECT_TRUE(shown[0].text.startsWith(c.box)) << shown[0].text.toStdString();
    else
        EXPECT_EQ(shown[0].text, c.box);
}

const QString failed3 = QStringLiteral("已发送 0 封，失败 1 封，其余 2 位客户没有发送。");

INSTANTIATE_TEST_SUITE_P(
    Servers, ServerBehaviourTest,
    ::testing::Values(
        ServerCase{"AllAccepted",
                   opening() + accepted("zhang@example.test") + accepted("li@example.test")
                       + accepted("wang@example.test") + quit(),
                   false, 5000, QStringList(3, QStringLiteral("成功")), QStringLiteral("已发送 3 / 3，失败 0"),
                   boxes::ShownBox::Kind::Message, QStringLiteral("发送完成：成功 3 封，失败 0 封。")},
        // A message refused at its end concerns that customer only.
        ServerCase{"MessageRefusedAtEndOfData",
                   opening() + accepted("zhang@example.test") + upToEndOfData("li@example.test")
                       + Script{ScriptedServer::say("554 5.7.1 Message rejected as spam"),
                                ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK")}
                       + accepted("wang@example.test") + quit(),
                   false,
                   5000,
                   {QStringLiteral("成功"), QStringLiteral("失败：554 5.7.1 Message rejected as spam"),
                    QStringLiteral("成功")},
                   QStringLiteral("已发送 2 / 3，失败 1"),
                   boxes::ShownBox::Kind::Message,
                   QStringLiteral("发送完成：成功 2 封，失败 1 封。")},
        ServerCase{"LoginRefused",
                   opening(true)
                       + Script{ScriptedServer::expect("AUTH LOGIN"), ScriptedServer::say("334 VXNlcm5hbWU6"),
                                ScriptedServer::expect("c2FsZXM="), ScriptedServer::say("334 UGFzc3dvcmQ6"),
                                ScriptedServer::expect("c2VjcmV0"),
                                ScriptedServer::say("535 5.7.8 Authentication credentials invalid")}
                       + quit(),
                   true,
                   5000,
                   {QStringLiteral("失败：535 5.7.8 Authentication credentials invalid")},
                   QStringLiteral("已发送 0 / 3，失败 1"),
                   boxes::ShownBox::Kind::Error,
                   QStringLiteral("邮件服务器拒绝了登录，发送已停止。\n") + failed3
                       + QStringLiteral("\n原因：535 5.7.8 Authentication credentials invalid.")},
        ServerCase{"LoginRequiredAtTheFirstMail",
                   opening()
                       + Script{ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK"),
                                ScriptedServer::expect("MAIL FROM: <sales@example.test>"),
                                ScriptedServer::say("530 5.7.0 Authentication required")}
                       + quit(),
                   false,
                   5000,
                   {QStringLiteral("失败：530 5.7.0 Authentication required")},
                   QStringLiteral("已发送 0 / 3，失败 1"),
                   boxes::ShownBox::Kind::Error,
                   QStringLiteral("邮件服务器要求先登录，发送已停止。\n") + failed3
                       + QStringLiteral("\n原因：530 5.7.0 Authentication required.")},
        // The server closes after the second message: the third customer fails and is the last one
        // tried; nothing is left to QUIT.
        ServerCase{
            "ServerClosesAfterTheSecondMessage",
            opening() + accepted("zhang@example.test") + accepted("li@example.test") + Script{ScriptedServer::close()},
            false,
            5000,
            {QStringLiteral("成功"), QStringLiteral("成功"), QStringLiteral("失败：Connection Closed Gracefully.")},
            QStringLiteral("已发送 2 / 3，失败 1"),
            boxes::ShownBox::Kind::Error,
            QStringLiteral("与邮件服务器的连接已断开，发送已停止。\n已发送 2 封，失败 1 封，其余 0 "
                           "位客户没有发送。\n原因：Connection Closed Gracefully."),
            false},
        ServerCase{"ServiceClosingAtMailFrom",
                   opening()
                       + Script{ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK"),
                                ScriptedServer::expect("MAIL FROM: <sales@example.test>"),
                                ScriptedServer::say("421 4.3.2 Service shutting down")}
                       + quit(),
                   false,
                   5000,
                   {QStringLiteral("失败：421 4.3.2 Service shutting down")},
                   QStringLiteral("已发送 0 / 3，失败 1"),
                   boxes::ShownBox::Kind::Error,
                   QStringLiteral("邮件服务器暂停了服务，发送已停止。\n") + failed3
                       + QStringLiteral("\n原因：421 4.3.2 Service shutting down.")},
        // No answer to the end of the data within the (shortened) limit: the connection is closed,
        // so no QUIT.
        ServerCase{"SilentAtEndOfData",
                   opening() + upToEndOfData("zhang@example.test"),
                   false,
                   1000,
                   {QStringLiteral("失败：Socket Error # %1 Connection timed out.").arg(ETIMEDOUT)},
                   QStringLiteral("已发送 0 / 3，失败 1"),
                   boxes::ShownBox::Kind::Error,
                   QStringLiteral("邮件服务器没有回应，发送已停止。\n") + failed3
                       + QStringLiteral("\n原因：Socket Error # %1 Connection timed out.").arg(ETIMEDOUT)}),
    [](const ::testing::TestParamInfo<ServerCase> &info) { return std::string(info.param.name); });

// Another program holds the file's write lock longer than the run waits for it: the run does not
// connect (nobody listens on the server's port, which would give another box) and says why.
TEST_F(SendRunTest, AFileThatCannotBeWrittenStopsTheRunBeforeItConnects)
{
    seed(serverText(QStringLiteral("127.0.0.1"), unusedPort())); // nobody listens there
    Database holder(db.path());
    holder.setConnected(true);
    ASSERT_TRUE(holder.database().exec(QStringLiteral("begin immediate")).isActive());
    open();
    form->setRunLimits({.writeCheck = 500ms});
    choose(QStringLiteral("2"), QStringLiteral("0"));
    sendButton()->click();
    ASSERT_TRUE(waitForRunEnd());
    holder.database().exec(QStringLiteral("rollback"));

    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_EQ(shown[0].text, QStringLiteral("无法写入发送记录，发送没有开始。\n原因：database is locked."));
    EXPECT_EQ(count(QStringLiteral("发送情况")), 0);
    expectControlsRestored();
}

// The file is locked for a while just as the first message is accepted: its record is written once
// the lock is gone, and the run goes on.
TEST_F(SendRunTest, ARecordRefusedForAWhileIsWrittenOnceTheFileIsFree)
{
    const Script script = opening() + upToEndOfData("zhang@example.test")
        + Script{ScriptedServer::pause(1000ms), ScriptedServer::say("250 queued")} + accepted("li@example.test")
        + accepted("wang@example.test") + quit();
    ScriptedServer server(script, QStringLiteral("127.0.0.1"), 0, 60s);
    seed(serverText(server.address(), server.port()));
    Database holder(db.path());
    holder.setConnected(true);
    open();
    choose(QStringLiteral("2"), QStringLiteral("0"));
    sendButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&server] { return server.receivedSoFar().contains("\r\n.\r\n"); }, 20000));
    ASSERT_TRUE(holder.database().exec(QStringLiteral("begin immediate")).isActive());
    QTest::qWait(3000);
    EXPECT_EQ(count(QStringLiteral("发送情况")), 0);
    holder.database().exec(QStringLiteral("rollback"));
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(results(), QStringList(3, QStringLiteral("成功")));
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("发送完成：成功 3 封，失败 0 封。"));
}

// The database keeps refusing the record of a delivered message: the run stops, QUIT goes out, and
// the box names the customer, so that the user does not mail them again.
TEST_F(SendRunTest, ARecordTheFileKeepsRefusingStopsTheRunAndNamesTheCustomer)
{
    const Script script = opening() + accepted("zhang@example.test") + accepted("li@example.test") + quit();
    ScriptedServer server(script, QStringLiteral("127.0.0.1"), 0, 60s);
    seed(serverText(server.address(), server.port()));
    db.exec(QStringLiteral("create trigger refuse before insert on 发送情况 when new.客户ID = 2 "
                           "begin select raise(abort, 'database or disk is full'); end"));
    open();
    form->setRunLimits({.recordRetry = 500ms});
    choose(QStringLiteral("2"), QStringLiteral("0"));
    sendButton()->click();
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(records(), QStringList{QStringLiteral("1/2")});
    EXPECT_EQ(progress(), QStringLiteral("已发送 2 / 3，失败 0"));
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_EQ(
        shown[0].text,
        QStringLiteral("发送记录无法写入数据库，发送已停止。\n"
                       "客户ID 2（李四 <li@example.test>）的邮件已经发出，但没有记录下来，请不要再给这位客户发送。\n"
                       "已发送 2 封，失败 0 封，其余 1 位客户没有发送。\n原因：database or disk is full."));
    expectControlsRestored();
}

// A db.mdb from before send records carried their result: it opens with its rows, gets the column,
// and the first run fills it, in the file and in the send-record grid.
TEST_F(SendRunTest, AnOlderFileGetsResultsFromItsFirstRun)
{
    db.exec(QStringLiteral("drop table 发送情况;"
                           "create table 发送情况 (客户ID INTEGER, 邮件ID INTEGER, 发送日期 NVARCHAR(50));"
                           "insert into 发送情况 values(1, 1, '2012/5/3 9:05:07');"));
    ScriptedServer server(opening() + accepted("zhang@example.test") + accepted("li@example.test")
                              + accepted("wang@example.test") + quit(),
                          QStringLiteral("127.0.0.1"), 0, 60s);
    seed(serverText(server.address(), server.port()));
    open();
    EXPECT_EQ(form->views().sendRecords.recordCount(), 1);
    choose(QStringLiteral("2"), QStringLiteral("0"));
    sendButton()->click();
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(
        records(),
        QStringList({QStringLiteral("1/1"), QStringLiteral("1/2"), QStringLiteral("2/2"), QStringLiteral("3/2")}));
    EXPECT_EQ(results(),
              QStringList({QString(), QStringLiteral("成功"), QStringLiteral("成功"), QStringLiteral("成功")}));
    EXPECT_TRUE(db.scalar(QStringLiteral("select 发送结果 from 发送情况 where 邮件ID = 1")).isNull());
    ASSERT_EQ(form->views().sendRecords.recordCount(), 4);
    const int result = form->views().sendRecords.fieldIndex(QStringLiteral("发送结果"));
    ASSERT_GE(result, 0);
    EXPECT_TRUE(form->views().sendRecords.value(0, result).isNull());
    for (int row = 1; row < 4; ++row)
        EXPECT_EQ(form->views().sendRecords.value(row, result).toString(), QStringLiteral("成功")) << row;
}

// Sending again with "跳过已成功发送的客户": four customers, a first run the server ends after the
// second message, then a second run to a fresh server.
class SendAgainTest : public SendRunTest
{
protected:
    void seedFour(const QString &server)
    {
        seed(server);
        db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('赵六', 'zhao@example.test')"));
    }

    // Clicked as the user clicks it, when it does not show `on` already.
    void setSkip(bool on)
    {
        auto *box = control<QCheckBox>("skipSentBox");
        if (box->isChecked() != on)
            box->click();
    }

    // Runs with the server box pointing at `server`; the box the run ended with.
    boxes::ShownBox run(const ScriptedServer &server)
    {
        control<QLineEdit>("serverEdit")->setText(serverText(server.address(), server.port()));
        sendButton()->click();
        EXPECT_TRUE(waitForRunEnd());
        const QList<boxes::ShownBox> shown = boxes.takeShown();
        EXPECT_EQ(shown.size(), 1);
        return shown.value(0);
    }

    // The message recipients of a conversation, in order.
    static QStringList recipients(const QByteArray &received)
    {
        QStringList addresses;
        for (const QByteArray &line : received.split('\n')) {
            if (line.startsWith("RCPT TO:<"))
                addresses.append(QString::fromLatin1(line.mid(9, line.indexOf('>') - 9)));
        }
        return addresses;
    }
};

struct SendAgainCase
{
    const char *name;
    bool skip;
    Script second;
    QStringList secondResults;
    QString progress;
    QString box;

    friend void PrintTo(const SendAgainCase &c, std::ostream *os) { *os << c.name; }
};

class SendAgainAfterAStopTest : public SendAgainTest, public ::testing::WithParamInterface<SendAgainCase>
{
};

TEST_P(SendAgainAfterAStopTest, MailsOnlyWhomTheChoiceLeaves)
{
    const SendAgainCase &c = GetParam();
    ScriptedServer first(opening() + accepted("zhang@example.test") + accepted("li@example.test")
                             + Script{ScriptedServer::close()},
                         QStringLiteral("127.0.0.1"), 0, 60s);
    ScriptedServer second(c.second, QStringLiteral("127.0.0.1"), 0, 60s);
    seedFour(serverText(first.address(), first.port()));
    open();
    choose(QStringLiteral("2"), QStringLiteral("0"));
    EXPECT_EQ(run(first).kind, boxes::ShownBox::Kind::Error);
    ASSERT_EQ(results(),
              QStringList({QStringLiteral("成功"), QStringLiteral("成功"),
                           QStringLiteral("失败：Connection Closed Gracefully.")}));

    setSkip(c.skip);
    const boxes::ShownBox box = run(second);
    EXPECT_EQ(second.failure(), QString());
    EXPECT_EQ(second.received(), second.expected());
    EXPECT_EQ(box.kind, boxes::ShownBox::Kind::Message);
    EXPECT_EQ(box.text, c.box);
    EXPECT_EQ(progress(), c.progress);
    EXPECT_EQ(results().mid(3), c.secondResults);
    EXPECT_EQ(form->views().sendRecords.recordCount(), 3 + c.secondResults.size());
    expectControlsRestored();
}

INSTANTIATE_TEST_SUITE_P(
    Choice, SendAgainAfterAStopTest,
    ::testing::Values(SendAgainCase{"Skipping", true,
                                    opening() + accepted("wang@example.test") + accepted("zhao@example.test") + quit(),
                                    QStringList(2, QStringLiteral("成功")), QStringLiteral("已发送 2 / 2，失败 0"),
                                    QStringLiteral("发送完成：成功 2 封，失败 0 封，跳过 2 位已发送的客户。")},
                      SendAgainCase{"NotSkipping", false,
                                    opening() + accepted("zhang@example.test") + accepted("li@example.test")
                                        + accepted("wang@example.test") + accepted("zhao@example.test") + quit(),
                                    QStringList(4, QStringLiteral("成功")), QStringLiteral("已发送 4 / 4，失败 0"),
                                    QStringLiteral("发送完成：成功 4 封，失败 0 封。")}),
    [](const ::testing::TestParamInfo<SendAgainCase> &info) { return std::string(info.param.name); });

// Two customers hold one address (in other letter case): skipping, it is mailed once, and the
// second holder's record says why it was not.
TEST_F(SendAgainTest, AnAddressHeldTwiceIsMailedOnce)
{
    ScriptedServer server(opening() + accepted("zhang@example.test") + accepted("li@example.test")
                              + accepted("wang@example.test") + quit(),
                          QStringLiteral("127.0.0.1"), 0, 60s);
    seedFour(serverText(server.address(), server.port()));
    db.exec(QStringLiteral("update 客户表 set 电子邮件地址 = ' Li@Example.TEST' where 客户名称 = '赵六'"));
    open();
    choose(QStringLiteral("2"), QStringLiteral("0"));
    setSkip(true);
    const boxes::ShownBox box = run(server);
    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(recipients(server.received()),
              QStringList({QStringLiteral("zhang@example.test"), QStringLiteral("li@example.test"),
                           QStringLiteral("wang@example.test")}));
    EXPECT_EQ(results(),
              QStringList({QStringLiteral("成功"), QStringLiteral("成功"), QStringLiteral("成功"),
                           QStringLiteral("跳过：地址重复")}));
    EXPECT_EQ(db.scalar(QStringLiteral("select 客户ID from 发送情况 where 发送结果 = '跳过：地址重复'")).toInt(), 4);
    EXPECT_EQ(box.text, QStringLiteral("发送完成：成功 3 封，失败 0 封，跳过 0 位已发送的客户和 1 位地址重复的客户。"));
    EXPECT_EQ(progress(), QStringLiteral("已发送 3 / 3，失败 0"));
}

// Everybody has the mail already: nothing to send, so the run does not even connect (nothing
// listens on the server's port) and says what it left out.
TEST_F(SendAgainTest, WithEverybodySentTheRunDoesNotConnect)
{
    seedFour(serverText(QStringLiteral("127.0.0.1"), unusedPort()));
    db.exec(QStringLiteral("insert into 发送情况 select 客户ID, 2, '2026-12-01 09:00:00.000', '成功' from 客户表"));
    open();
    choose(QStringLiteral("2"), QStringLiteral("0"));
    setSkip(true);
    sendButton()->click();
    ASSERT_TRUE(waitForRunEnd());
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Message);
    EXPECT_EQ(shown[0].text, QStringLiteral("发送完成：成功 0 封，失败 0 封，跳过 4 位已发送的客户。"));
    EXPECT_EQ(count(QStringLiteral("发送情况")), 4);
}

// The choice holds across restarts, also in a file from before it existed.
TEST_F(SendAgainTest, TheChoiceSurvivesARestart)
{
    db.exec(QStringLiteral("drop table 发送选项"));
    seedFour(QStringLiteral("127.0.0.1"));
    for (const bool on : {true, false}) {
        open();
        setSkip(on);
        form.reset();
        open();
        EXPECT_EQ(control<QCheckBox>("skipSentBox")->isChecked(), on);
        form.reset();
    }
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

// A file that refuses to keep the choice says so; the choice holds for this session all the same.
TEST_F(SendAgainTest, AChoiceTheFileRefusesIsShownAndStillHolds)
{
    db.exec(QStringLiteral("create trigger 拒绝 before insert on 发送选项 begin select raise(abort, '只读'); end"));
    open();
    setSkip(true);
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_EQ(shown[0].text, QStringLiteral("无法在数据库文件中保存“跳过已成功发送的客户”的选择：只读."));
    EXPECT_TRUE(control<QCheckBox>("skipSentBox")->isChecked());
    EXPECT_EQ(count(QStringLiteral("发送选项")), 0);
}

} // namespace
