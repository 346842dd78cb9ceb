// The send command and the send run, end to end: the real window offscreen on a real db.mdb, and a
// real SMTP server (aiosmtpd) or a scripted one where the test needs a refusal. Every server listens
// on a free port of 127.0.0.1, named in the server box as host:port.
#include "WindowFixture.h"

#include "AiosmtpdServer.h"
#include "Error.h"
#include "ScriptedServer.h"
#include "SmtpSession.h"
#include "TestCertificates.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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

    // The user opens the mail list and picks a mail, then a pause.
    void choose(const QString &mail, const QString &pause)
    {
        auto *choice = control<QComboBox>("mailChoice");
        choice->showPopup();
        choice->hidePopup();
        choice->setCurrentIndex(choice->findText(mail));
        auto *pauses = control<QComboBox>("pauseChoice");
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

    QStringList records() const
    {
        QStringList rows;
        testsupport::TempDatabase::Rows all = db.rows(QStringLiteral("select 客户ID, 邮件ID from 发送情况"));
        for (const QVariantList &row : all)
            rows.append(row.value(0).toString() + QLatin1Char('/') + row.value(1).toString());
        return rows;
    }
};

// The greeting and pause lines of one accepted customer in a scripted conversation.
std::vector<ScriptedServer::Step> accepted(const QByteArray &address)
{
    return {ScriptedServer::expect("RSET"),
            ScriptedServer::say("250 OK"),
            ScriptedServer::expect("MAIL FROM: <sales@example.test>"),
            ScriptedServer::say("250 OK"),
            ScriptedServer::expect("RCPT TO:<" + address + ">"),
            ScriptedServer::say("250 OK"),
            ScriptedServer::expect("DATA"),
            ScriptedServer::say("354 go on"),
            ScriptedServer::expectData(),
            ScriptedServer::say("250 queued")};
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
    EXPECT_EQ(form->sendRecords->recordCount(), 3);
    EXPECT_EQ(control<QLabel>("recordCount")->text(), QStringLiteral("0"));
    // The customer grid followed the run to its last customer; the controls are back.
    EXPECT_EQ(form->customers->fieldByName(QStringLiteral("客户ID")).toInt(), 3);
    for (const char *name : {"mailNavigator", "accountNavigator", "mailChoice"})
        EXPECT_TRUE(control<QWidget>(name)->isEnabled()) << name;
    EXPECT_EQ(control<QComboBox>("mailChoice")->currentText(), QStringLiteral("2"));
    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

TEST_F(SendRunTest, ARefusedRecipientIsRecordedWithoutAPause)
{
    std::vector<ScriptedServer::Step> script
        = {ScriptedServer::say("220 scripted"), ScriptedServer::expect("EHLO " + localHostName().toLatin1()),
           ScriptedServer::say("250 scripted")};
    const auto add = [&script](const std::vector<ScriptedServer::Step> &steps) {
        script.insert(script.end(), steps.begin(), steps.end());
    };
    add(accepted("zhang@example.test"));
    add({ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK"),
         ScriptedServer::expect("MAIL FROM: <sales@example.test>"), ScriptedServer::say("250 OK"),
         ScriptedServer::expect("RCPT TO:<li@example.test>"), ScriptedServer::say("550 5.1.1 no such user"),
         ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK")});
    add(accepted("wang@example.test"));
    add({ScriptedServer::expect("QUIT"), ScriptedServer::say("221 bye"), ScriptedServer::close()});
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

    EXPECT_TRUE(boxes.takeShown().isEmpty());
}

TEST_F(SendRunTest, NothingToSendOrNoMailChosenIsRefused)
{
    open();
    sendButton()->click();
    db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('张三', 'z@example.test');"
                           "insert into 邮件表(邮件主题, 邮件内容) values('主题', '内容');"));
    form->customers->refresh();
    form->mails->refresh();
    sendButton()->click();
    db.exec(QStringLiteral("insert into 设置(SMTP服务器) values('127.0.0.4')"));
    form->account->refresh();
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
std::vector<ScriptedServer::Step> firstThenQuit()
{
    std::vector<ScriptedServer::Step> script
        = {ScriptedServer::say("220 scripted"), ScriptedServer::expect("EHLO " + localHostName().toLatin1()),
           ScriptedServer::say("250 scripted")};
    const std::vector<ScriptedServer::Step> first = accepted("zhang@example.test");
    script.insert(script.end(), first.begin(), first.end());
    script.insert(script.end(),
                  {ScriptedServer::expect("QUIT"), ScriptedServer::say("221 bye"), ScriptedServer::close()});
    return script;
}

// Closing the window during the pause after the first message: the pause ends, the first customer
// is recorded, QUIT goes out, and only then does the window close.
TEST_F(SendRunTest, ClosingDuringAPauseStopsTheRunSafely)
{
    ScriptedServer server(firstThenQuit(), QStringLiteral("127.0.0.1"), 0, 60s);
    ASSERT_NO_FATAL_FAILURE(startPausingRun(server));
    QTest::qWait(300);

    form->close();
    EXPECT_TRUE(form->isVisible()) << "the window waits for the run";
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form->isVisible(); }, 20000));

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(records(), QStringList{QStringLiteral("1/2")});
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
    EXPECT_TRUE(run(Issuer::TrustedCa).isEmpty());
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

} // namespace
