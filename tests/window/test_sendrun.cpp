// The send command and the send run, end to end: the real window offscreen on a real db.mdb, and a
// real SMTP server (aiosmtpd) or a scripted one where the test needs a refusal. Every server listens
// on a free port of 127.0.0.1, named in the server box as host:port.
#include "WindowFixture.h"

#include "AiosmtpdServer.h"
#include "RunPlan.h"
#include "DateTimeText.h"
#include "RunScripts.h"
#include "TestCertificates.h"

#include "RecordGrid.h"
#include "RecordNavigator.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include <functional>

#include <cerrno>
#include <chrono>

namespace {

using namespace testsupport;
using namespace std::chrono_literals;

class SendRunTest : public WindowTest
{
protected:
    // Three customers, two mails (the second is chosen), and an account on the given server.
    void seed(const QString &server, const QString &user = QString(), const QString &password = QString())
    {
        seedCustomersAndMails(db);
        db.exec(QStringLiteral("insert into 设置(发信人名称, 发信人电子邮件, SMTP服务器, 用户名, 密码) values('销售部', 'sales@example.test', '%1', '%2', '%3')")
                    .arg(server, user, password));
        // Servers without encryption: the user agreed to the login in clear.
        if (!user.isEmpty())
            agreeToCleartextLogin(db, server, user);
    }

    // The user opens the mail list and picks a mail, then a pause. The list offers no pause of
    // "0"; a test that asks for it adds it, to keep runs that do not time their pauses quick.
    void choose(const QString &mail, const QString &pause)
    {
        auto *choice = control<QComboBox>("mailChoice");
        choice->showPopup();
        choice->hidePopup();
        choice->setCurrentIndex(choice->findData(mail));
        auto *pauses = control<QComboBox>("pauseChoice");
        if (pauses->findText(pause) < 0)
            pauses->addItem(pause);
        pauses->setCurrentIndex(pauses->findText(pause));
    }

    QPushButton *sendButton() { return control<QPushButton>("sendButton"); }

    // The user presses 发送 and answers the confirmation before the run with 是 (or 否); gives the
    // confirmation.
    boxes::ShownBox confirmSend(bool yes = true)
    {
        boxes.queueConfirmAnswer(yes);
        sendButton()->click();
        const QList<boxes::ShownBox> shown = boxes.takeShown();
        EXPECT_EQ(shown.size(), 1);
        EXPECT_EQ(shown.value(0).kind, boxes::ShownBox::Kind::YesNoQuestion);
        return shown.value(0);
    }

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
        confirmSend();
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

TEST_F(SendRunTest, EveryCustomerGetsTheMailOverOneConnectionWithOneLogin)
{
    testsupport::AiosmtpdServer server;
    seed(serverText(server.address(), server.port()), server.user(), server.password());
    open();
    choose(QStringLiteral("2"), QStringLiteral("4"));

    const boxes::ShownBox confirmation = confirmSend();
    EXPECT_EQ(confirmation.text, QStringLiteral("发送邮件“新品介绍”给 3 位客户。\n发件人：销售部 <sales@example.test>\n"
                                                "邮件服务器：%1\n每封间隔 4 秒，预计需要约 12 秒。\n\n现在开始发送吗？")
                                     .arg(serverText(server.address(), server.port())));
    EXPECT_TRUE(confirmation.check.isEmpty());
    // During the run the button stops it.
    EXPECT_TRUE(sendButton()->isEnabled());
    EXPECT_EQ(sendButton()->text(), QStringLiteral("停止发送"));
    EXPECT_TRUE(QTest::qWaitFor([this] { return progress().contains(QStringLiteral("正在发送：")); }, 20000))
        << progress().toStdString();
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
    // The send-record grid shows the new records without a re-query, and counts them.
    EXPECT_EQ(form->views().sendRecords.recordCount(), 3);
    EXPECT_EQ(control<QLabel>("recordCount")->text(), QStringLiteral("3"));
    // The customer grid stayed where the user left it; the controls are back.
    EXPECT_EQ(form->views().customers.fieldByName(QStringLiteral("客户ID")).toInt(), 1);
    for (const char *name : {"mailNavigator", "accountNavigator", "mailChoice"})
        EXPECT_TRUE(control<QWidget>(name)->isEnabled()) << name;
    EXPECT_EQ(control<QComboBox>("mailChoice")->currentData().toString(), QStringLiteral("2"));
    EXPECT_EQ(results(), QStringList(3, QStringLiteral("成功")));
    EXPECT_EQ(form->views().sendRecords.fieldByName(QStringLiteral("发送结果")).toString(), QStringLiteral("成功"));
    EXPECT_EQ(progress(), QStringLiteral("已发送 3 / 3，失败 0"));

    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Message);
    EXPECT_EQ(shown[0].text, QStringLiteral("发送完成：成功 3 封，失败 0 封。"));
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
    confirmSend();
    ASSERT_TRUE(waitForRunEnd());

    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Error);
    EXPECT_EQ(shown[0].text, QStringLiteral("邮件服务器拒绝了连接（该端口上没有邮件服务）（系统错误号 %1）.").arg(ECONNREFUSED));
    EXPECT_EQ(count(QStringLiteral("发送情况")), 0);
    for (const char *name : {"mailNavigator", "accountNavigator", "mailChoice"})
        EXPECT_TRUE(control<QWidget>(name)->isEnabled()) << name;
}

// Closing the window during the pause after the first message asks first: 否 keeps the run and the
// window; 是 ends the pause, the first customer is recorded, QUIT goes out over the still usable
// connection, and the window is gone at once, without a further box.
TEST_F(SendRunTest, ClosingDuringAPauseAsksThenStopsTheRunSafely)
{
    ScriptedServer server(firstThenQuit(), QStringLiteral("127.0.0.1"), 0, 60s);
    ASSERT_NO_FATAL_FAILURE(startPausingRun(server));
    // The message the pause follows is counted already; its record awaits the pause's end.
    EXPECT_TRUE(QTest::qWaitFor(
        [this] { return progress() == QStringLiteral("已发送 1 / 3，失败 0　正在发送：张三"); }, 5000))
        << progress().toStdString();
    EXPECT_EQ(results(), QStringList{QStringLiteral("发送中")});
    QTest::qWait(300);
    const QString question = QStringLiteral("正在发送邮件，确定要停止并退出吗？");

    boxes.queueConfirmAnswer(false);
    form->close();
    QTest::qWait(300);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(sendButton()->text(), QStringLiteral("停止发送"));
    EXPECT_EQ(results(), QStringList{QStringLiteral("发送中")}) << "the run goes on, in its pause";
    QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::YesNoQuestion);
    EXPECT_EQ(shown[0].text, question);

    QElapsedTimer closing;
    closing.start();
    boxes.queueConfirmAnswer(true);
    form->close();
    EXPECT_TRUE(form->isVisible()) << "the window waits for the run";
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form->isVisible(); }, 20000));
    EXPECT_LT(closing.elapsed(), 1000);

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(records(), QStringList{QStringLiteral("1/2")});
    EXPECT_EQ(results(), QStringList{QStringLiteral("成功")});
    shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, question);
}

// The stop button, in the pause after the first message and while the first message's reply is
// still on its way: that customer's exchange ends and is recorded, QUIT goes out, nobody after them
// is mailed or recorded, and the box says how to send to the rest.
TEST_F(SendRunTest, TheStopButtonStopsAfterTheCustomerAtHand)
{
    struct Case
    {
        const char *name;
        QString pause;
        Script afterTheText;
    };
    const Case cases[] = {
        {"InThePause", QStringLiteral("45"), Script{ScriptedServer::say("250 queued")} + quit()},
        {"WhileTheReplyIsOnItsWay", QStringLiteral("0"),
         Script{ScriptedServer::pause(500ms), ScriptedServer::say("250 queued")} + quit()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        db.exec(QStringLiteral("delete from 客户表; delete from 邮件表; delete from 设置; delete from 发送情况;"
                               "delete from sqlite_sequence"));
        ScriptedServer server(opening() + upToEndOfData("zhang@example.test") + c.afterTheText,
                              QStringLiteral("127.0.0.1"), 0, 60s);
        seed(serverText(server.address(), server.port()));
        open();
        choose(QStringLiteral("2"), c.pause);
        confirmSend();
        ASSERT_TRUE(QTest::qWaitFor([&server] { return server.receivedSoFar().contains("\r\n.\r\n"); }, 20000));
        if (c.pause != QStringLiteral("0")) {
            ASSERT_TRUE(QTest::qWaitFor([this] { return progress().startsWith(QStringLiteral("已发送 1 / 3")); }, 5000));
        }
        EXPECT_EQ(sendButton()->text(), QStringLiteral("停止发送"));
        sendButton()->click();
        EXPECT_EQ(sendButton()->text(), QStringLiteral("正在停止..."));
        EXPECT_FALSE(sendButton()->isEnabled());
        ASSERT_TRUE(waitForRunEnd(20s));

        EXPECT_EQ(server.failure(), QString());
        EXPECT_EQ(server.received(), server.expected());
        EXPECT_EQ(records(), QStringList{QStringLiteral("1/2")});
        EXPECT_EQ(results(), QStringList{QStringLiteral("成功")});
        const QList<boxes::ShownBox> shown = boxes.takeShown();
        ASSERT_EQ(shown.size(), 1);
        EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::Message);
        EXPECT_EQ(shown[0].text, QStringLiteral("发送已停止。\n已发送 1 封，失败 0 封，其余 2 位客户没有发送。\n"
                                                "以后勾选“跳过已成功发送的客户”再按“发送”，即可发送其余的客户。"));
        EXPECT_EQ(progress(), QStringLiteral("已发送 1 / 3，失败 0"));
        expectControlsRestored();
        form.reset();
    }
}

// Closing while the run waits for a server that does not answer (with the program's own time
// limits of minutes): the message under way gets its few seconds to finish, then the wait is
// aborted, the customer is recorded as failed, no QUIT goes over the aborted connection, and the
// window is gone.
TEST_F(SendRunTest, ClosingWhileTheServerIsSilentEndsTheWaitAtOnce)
{
    ScriptedServer server(opening() + Script{ScriptedServer::expect("RSET")}, QStringLiteral("127.0.0.1"), 0, 60s);
    seed(serverText(server.address(), server.port()));
    open();
    choose(QStringLiteral("2"), QStringLiteral("4"));
    confirmSend();
    ASSERT_TRUE(QTest::qWaitFor([&server] { return server.receivedSoFar().contains("RSET\r\n"); }, 20000));
    QTest::qWait(200);

    QElapsedTimer closing;
    closing.start();
    boxes.queueConfirmAnswer(true);
    form->close();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form->isVisible(); }, 20000));
    EXPECT_LT(closing.elapsed(), 5000);

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(
        results(),
        QStringList{QStringLiteral("失败：连接已中止（系统错误号 %1）").arg(ECONNABORTED)});
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("正在发送邮件，确定要停止并退出吗？"));
}

// Destroying the window in the middle of a run (as a failing test or the program's end does) stops
// the run and joins it without a wait on either side; the customer it was at is still recorded.
TEST_F(SendRunTest, DestroyingTheWindowDuringARunStopsAndJoinsIt)
{
    ScriptedServer server(firstThenQuit(), QStringLiteral("127.0.0.1"), 0, 60s);
    ASSERT_NO_FATAL_FAILURE(startPausingRun(server));
    // The run has the message's reply and is in its pause: destroying the window mid-exchange
    // would cut the exchange off, QUIT and all.
    ASSERT_TRUE(QTest::qWaitFor([this] { return progress().startsWith(QStringLiteral("已发送 1 ")); }, 5000))
        << progress().toStdString();

    form.reset();

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(records(), QStringList{QStringLiteral("1/2")});
}

// The user chooses a customer to delete; while the confirmation is open the run reaches its first
// customer. OK deletes the one the box named, and the grid never left it; the customer being
// mailed stays.
TEST_F(SendRunTest, DeletingDuringARunDeletesTheCustomerChosen)
{
    ScriptedServer server(opening() + accepted("zhang@example.test") + quit(), QStringLiteral("127.0.0.1"), 0, 60s);
    seed(serverText(server.address(), server.port()));
    open();
    choose(QStringLiteral("2"), QStringLiteral("45"));
    QTest::mouseClick(control<RecordNavigator>("customerNavigator")->button(RecordNavigator::Last), Qt::LeftButton);
    const auto currentCustomer = [this] { return form->views().customers.fieldByName(QStringLiteral("客户ID")).toInt(); };
    ASSERT_EQ(currentCustomer(), 3);

    // The run starts, and reports nothing until the window serves events: that is while the box is open.
    confirmSend();
    bool reached = false;
    boxes.whileNextQuestionOpen([&] {
        reached = QTest::qWaitFor([&server] { return server.receivedSoFar().contains("\r\n.\r\n"); }, 20000);
        // The run's report of the customer at hand, queued before the message went, is shown within
        // a frame or two.
        QTest::qWait(300);
        EXPECT_EQ(currentCustomer(), 3);
    });
    boxes.queueConfirmAnswer(true);
    auto *grid = control<RecordGrid>("customerGrid");
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_TRUE(reached);

    EXPECT_EQ(count(QStringLiteral("客户表 where 客户ID = 3")), 0);
    EXPECT_EQ(count(QStringLiteral("客户表 where 客户ID in (1, 2)")), 2);
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("删除客户“王五”（3）？"));
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
                "insert into 设置(发信人名称, 发信人电子邮件, SMTP服务器, 用户名, 密码) values('销售部', 'sales@example.test', '%2', '', '')")
                .arg(total)
                .arg(serverText(server.address(), server.port())));
    open();
    choose(QStringLiteral("1"), QStringLiteral("4"));
    confirmSend();
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(server.failure(), QString());
    EXPECT_EQ(server.received(), server.expected());
    EXPECT_EQ(form->views().customers.fieldByName(QStringLiteral("客户ID")).toInt(), 1);
    EXPECT_EQ(control<QLabel>("recordCount")->text(), QString::number(total));
    EXPECT_EQ(progress(), QStringLiteral("已发送 0 / %1，失败 %1").arg(total));
    ASSERT_EQ(form->views().sendRecords.recordCount(), total);
    const int customer = form->views().sendRecords.fieldIndex(QStringLiteral("客户ID"));
    const int result = form->views().sendRecords.fieldIndex(QStringLiteral("发送结果"));
    for (int row = 0; row < total; ++row) {
        EXPECT_EQ(form->views().sendRecords.value(row, customer).toInt(), row + 1);
        EXPECT_EQ(form->views().sendRecords.value(row, result).toString(), QStringLiteral("失败：服务器拒绝（收件人地址）：550 5.1.1 no such user"));
    }
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("发送完成：成功 0 封，失败 %1 封。").arg(total) + failedRunHint());
}

// A server offering STARTTLS on another port, with a certificate for localhost from the given
// authority; one customer, so one pause at most.
class StartTlsRunTest : public SendRunTest
{
protected:
    using Issuer = testsupport::TestCertificates::Issuer;

    // `beforeOpen` seeds the file once the server's port is known.
    QList<boxes::ShownBox> run(Issuer issuer, const std::function<void()> &beforeOpen = {})
    {
        qputenv("SSL_CERT_FILE", certificates.caFile().toUtf8());
        certificate = certificates.server(QStringLiteral("localhost"), issuer);
        testsupport::AiosmtpdServer::Options options;
        options.tls = testsupport::AiosmtpdServer::Options::Tls::StartTls;
        options.certificate = certificate.certificate;
        options.key = certificate.key;
        server = std::make_unique<testsupport::AiosmtpdServer>(options);
        seed(serverText(QStringLiteral("localhost"), server->port()), server->user(), server->password());
        db.exec(QStringLiteral("delete from 客户表 where 客户名称 <> '张三'"));
        if (beforeOpen)
            beforeOpen();
        open();
        choose(QStringLiteral("2"), QStringLiteral("4"));
        confirmSend();
        EXPECT_TRUE(waitForRunEnd());
        return boxes.takeShown();
    }

    QVariant trusted() const
    {
        return db.scalar(QStringLiteral("select 指纹 from 信任证书 where 主机 = 'localhost' and 端口 = %1")
                             .arg(server->port()));
    }

    ~StartTlsRunTest() override { qunsetenv("SSL_CERT_FILE"); }

    testsupport::TestCertificates certificates;
    testsupport::TestCertificates::ServerCertificate certificate;
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

// A company server's own certificate: the run stops before anybody is reached and the box shows
// the certificate; 取消 leaves everything as it was, nothing sent and nothing trusted.
TEST_F(StartTlsRunTest, AnUntrustedCertificateIsOfferedForTrustBeforeTheLogin)
{
    const QList<boxes::ShownBox> shown = run(Issuer::UnknownCa);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::TrustQuestion);
    EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("服务器证书的签发者不受信任")));
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("签发者：CN=Quillon test authority unknown-ca")));
    EXPECT_TRUE(shown[0].text.contains(TestCertificates::fingerprint(certificate.certificate)));
    EXPECT_TRUE(server->messages().isEmpty());
    EXPECT_TRUE(server->authAttempts().isEmpty());
    EXPECT_EQ(count(QStringLiteral("发送情况")), 0);
    EXPECT_TRUE(trusted().isNull());
}

// 信任此证书: the fingerprint is kept for the host and port and the run starts again by itself,
// taking exactly that certificate; the login and the message go only inside TLS.
TEST_F(StartTlsRunTest, ATrustedSelfSignedCertificateIsUsedByItsFingerprint)
{
    boxes.queueConfirmAnswer(true);
    const QList<boxes::ShownBox> shown = run(Issuer::SelfSigned);
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::TrustQuestion);
    const QString fingerprint = TestCertificates::fingerprint(certificate.certificate);
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("主题：CN=localhost\n签发者：CN=localhost\n")));
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("SHA-256 指纹：") + fingerprint));
    EXPECT_EQ(shown[1].text, QStringLiteral("发送完成：成功 1 封，失败 0 封。"));
    EXPECT_EQ(trusted().toString(), fingerprint);
    const QList<testsupport::ReceivedMessage> messages = server->waitForMessages(1);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].tls);
    EXPECT_EQ(server->authAttempts(), QStringList{QStringLiteral("LOGIN tls")});
    EXPECT_EQ(records(), QStringList{QStringLiteral("1/2")});
}

// Another certificate than the trusted one: a warning naming both fingerprints; 取消 sends nothing and
// keeps the trusted one.
TEST_F(StartTlsRunTest, AChangedCertificateIsRefusedNamingBothFingerprints)
{
    const QString stored = QStringLiteral("AA:BB:CC");
    const QList<boxes::ShownBox> shown = run(Issuer::SelfSigned, [&] {
        db.exec(QStringLiteral("insert into 信任证书 values('localhost', %1, '%2')").arg(server->port()).arg(stored));
    });
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::TrustWarning);
    EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("警告：服务器的证书与已信任的证书不同")));
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("已信任的证书指纹：") + stored));
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("服务器现在的证书指纹：")
                                       + TestCertificates::fingerprint(certificate.certificate)));
    EXPECT_TRUE(server->messages().isEmpty());
    EXPECT_TRUE(server->authAttempts().isEmpty());
    EXPECT_EQ(count(QStringLiteral("发送情况")), 0);
    EXPECT_EQ(trusted().toString(), stored);
}

// A server without encryption and an account with a login: asked once. 否 sends nothing; 是 is kept
// for the account and the run starts again, logging in in clear.
TEST_F(SendRunTest, ALoginInClearIsAskedForOnce)
{
    testsupport::AiosmtpdServer server;
    seed(serverText(server.address(), server.port()), server.user(), server.password());
    db.exec(QStringLiteral("delete from 明文登录许可"));
    db.exec(QStringLiteral("delete from 客户表 where 客户名称 <> '张三'"));
    open();
    choose(QStringLiteral("2"), QStringLiteral("4"));
    const boxes::ShownBox question{boxes::ShownBox::Kind::YesNoQuestion, boxes::applicationTitle(),
                                   QStringLiteral("服务器不支持加密，密码将以明文发送，是否继续？")};

    confirmSend();
    ASSERT_TRUE(waitForRunEnd());
    QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, question.kind);
    EXPECT_EQ(shown[0].text, question.text);
    EXPECT_TRUE(server.authAttempts().isEmpty());
    EXPECT_TRUE(server.messages().isEmpty());
    EXPECT_EQ(count(QStringLiteral("发送情况")), 0);
    EXPECT_EQ(count(QStringLiteral("明文登录许可")), 0);

    boxes.queueConfirmAnswer(true);
    confirmSend();
    ASSERT_TRUE(waitForRunEnd());
    shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].text, question.text);
    EXPECT_EQ(shown[1].text, QStringLiteral("发送完成：成功 1 封，失败 0 封。"));
    EXPECT_EQ(server.authAttempts(), QStringList{QStringLiteral("LOGIN plain")});
    EXPECT_EQ(server.waitForMessages(1).size(), 1);
    EXPECT_EQ(count(QStringLiteral("明文登录许可")), 1);

    // Asked once: the next run goes straight on.
    confirmSend();
    ASSERT_TRUE(waitForRunEnd());
    shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("发送完成：成功 1 封，失败 0 封。"));
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
    confirmSend();
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
        confirmSend();
        EXPECT_TRUE(waitForRunEnd());
        const QList<boxes::ShownBox> shown = boxes.takeShown();
        EXPECT_EQ(shown.size(), 1);
        return shown.value(0);
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
                           QStringLiteral("失败：服务器关闭了连接")}));

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

// A run before this one was killed after customer 2's message went out: its record still reads
// 发送中 (or a lost reply left it reading 结果未知：…). The grid shows that its result is unknown, and
// the confirmation of the next run with the skip choice offers to mail such customers again:
// unticked leaves customer 2 out, ticked mails them, 否 sends and writes nothing.
TEST_F(SendAgainTest, AnUnknownResultIsShownAndMailedAgainOnlyWhenChosen)
{
    struct Case
    {
        bool again;
        Script script;
        QString box;
        QString unknownRecord = QStringLiteral("发送中");
        bool yes = true;
    };
    const Case cases[] = {
        {false, opening() + accepted("wang@example.test") + accepted("zhao@example.test") + quit(),
         QStringLiteral("发送完成：成功 2 封，失败 0 封，跳过 1 位已发送的客户、1 位发送结果未知的客户。")},
        {true,
         opening() + accepted("li@example.test") + accepted("wang@example.test") + accepted("zhao@example.test")
             + quit(),
         QStringLiteral("发送完成：成功 3 封，失败 0 封，跳过 1 位已发送的客户。")},
        {false, opening() + accepted("wang@example.test") + accepted("zhao@example.test") + quit(),
         QStringLiteral("发送完成：成功 2 封，失败 0 封，跳过 1 位已发送的客户、1 位发送结果未知的客户。"),
         QStringLiteral("结果未知：服务器关闭了连接")},
        {true, Script{}, QString(), QStringLiteral("发送中"), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE((c.unknownRecord + (c.again ? " again" : "") + (c.yes ? "" : " 否")).toStdString());
        db.exec(QStringLiteral("delete from 客户表; delete from 邮件表; delete from 设置; delete from 发送情况;"
                               "delete from sqlite_sequence"));
        // 否: nobody connects within the server's short life.
        ScriptedServer server(c.script, QStringLiteral("127.0.0.1"), 0, c.yes ? 60s : 1s);
        seedFour(serverText(server.address(), server.port()));
        db.exec(QStringLiteral("insert into 发送情况 values (1, 2, '2026/12/1 9:00:00', '成功'),"
                               " (2, 2, '2026/12/1 9:00:06', '%1')")
                    .arg(c.unknownRecord));
        open();
        const QAbstractItemModel *grid = control<QAbstractItemView>("sendRecordGrid")->model();
        const int result = form->views().sendRecords.fieldIndex(QStringLiteral("发送结果"));
        EXPECT_TRUE(grid->data(grid->index(1, result)).toString().startsWith(QStringLiteral("结果未知")));
        EXPECT_EQ(grid->data(grid->index(0, result)).toString(), QStringLiteral("成功"));

        choose(QStringLiteral("2"), QStringLiteral("0"));
        setSkip(true);
        boxes.queueConfirmAnswer(c.yes);
        boxes.queueCheckAnswer(c.again);
        sendButton()->click();
        ASSERT_TRUE(waitForRunEnd());
        const QList<boxes::ShownBox> shown = boxes.takeShown();
        ASSERT_EQ(shown.size(), c.yes ? 2 : 1);
        EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::YesNoQuestion);
        EXPECT_EQ(shown[0].text,
                  QStringLiteral("发送邮件“新品介绍”给 2 位客户。\n发件人：销售部 <sales@example.test>\n邮件服务器：%1\n"
                                 "每封间隔 0 秒，预计需要约 0 秒。\n跳过 1 位已成功发送的客户。\n"
                                 "有 1 位客户的发送结果未知（上次发送时程序意外中断，或没有收到服务器的回复），"
                                 "他们可能已经收到这封邮件；勾选下面的选项才会再次发送给他们。\n\n现在开始发送吗？")
                      .arg(serverText(server.address(), server.port())));
        EXPECT_EQ(shown[0].check, QStringLiteral("也发送给这 1 位发送结果未知的客户"));
        if (c.yes) {
            EXPECT_EQ(shown[1].text, c.box);
        } else {
            EXPECT_EQ(count(QStringLiteral("发送情况")), 2);
        }
        EXPECT_EQ(server.failure(), c.yes ? QString() : QStringLiteral("no client connected"));
        EXPECT_EQ(server.received(), server.expected());
        // The file keeps what was written; the run's own records show with their results.
        EXPECT_EQ(results().value(1), c.unknownRecord);
        if (c.yes) {
            EXPECT_EQ(grid->data(grid->index(grid->rowCount() - 1, result)).toString(), QStringLiteral("成功"));
        }
        form.reset();
    }
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

namespace {

// A daily cap used up by a message accepted a moment ago: before the run the confirmation says how
// many may go today; the run then waits before it connects (nothing listens on the port), the
// progress label says until when, and closing the window ends the wait at once with nothing sent.
TEST_F(SendRunTest, AUsedUpCapIsConfirmedShownAndItsWaitEndsWithTheWindow)
{
    seed(serverText(QStringLiteral("127.0.0.1"), unusedPort()));
    db.exec(QStringLiteral("update 设置 set 每日上限 = 1"));
    const QDateTime accepted = QDateTime::currentDateTime();
    db.exec(QStringLiteral("insert into 发送情况 values(1, 1, '%1', '成功')").arg(formatDateTime(accepted)));
    open();
    EXPECT_EQ(control<QSpinBox>("dailyCapBox")->value(), 1);
    choose(QStringLiteral("2"), QStringLiteral("4"));

    // 否: no run, nothing written.
    const QString question
        = QStringLiteral("发送邮件“新品介绍”给 3 位客户。\n发件人：销售部 <sales@example.test>\n邮件服务器：%1\n"
                         "每封间隔 4 秒，预计需要约 12 秒。\n今天还可以发送 0 封，其余的将在上限允许时继续发送。\n\n"
                         "现在开始发送吗？")
              .arg(control<QLineEdit>("serverEdit")->text());
    EXPECT_EQ(confirmSend(false).text, question);
    EXPECT_EQ(sendButton()->text(), QStringLiteral("发送"));
    QTest::qWait(200);
    EXPECT_EQ(results(), QStringList{QStringLiteral("成功")});

    EXPECT_EQ(confirmSend().text, question);
    // The record keeps whole seconds: the wait ends a day after the end of its second.
    const QString resume = accepted.addMSecs(999 - accepted.time().msec()).addDays(1).toString(QStringLiteral("HH:mm"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return progress() == QStringLiteral("已达每日上限 1 封，%1 继续").arg(resume); }, 10000))
        << progress().toStdString();

    QElapsedTimer closing;
    closing.start();
    boxes.queueConfirmAnswer(true);
    form->close();
    ASSERT_TRUE(waitForRunEnd(10s));
    EXPECT_LT(closing.elapsed(), 5000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }, 5000));
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QStringLiteral("正在发送邮件，确定要停止并退出吗？"));
    EXPECT_EQ(results(), QStringList{QStringLiteral("成功")});
}

} // namespace
