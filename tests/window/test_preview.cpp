// The preview and the test mail through the real window offscreen on a real db.mdb, the test
// mail to a real SMTP server (aiosmtpd) on 127.0.0.1.
#include "WindowFixture.h"

#include "AiosmtpdServer.h"
#include "RunScripts.h"

#include <QComboBox>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>

#include <algorithm>

namespace {

using namespace testsupport;

class PreviewTest : public WindowTest
{
protected:
    void seed(const QString &server, const QString &user = QString(), const QString &password = QString())
    {
        seedCustomersAndMails(db);
        db.exec(QStringLiteral("insert into 设置(发信人名称, 发信人电子邮件, SMTP服务器, 用户名, 密码) values('销售部', 'sales@example.test', '%1', '%2', '%3')")
                    .arg(server, user, password));
    }

    void chooseMail(const QString &mail)
    {
        auto *choice = control<QComboBox>("mailChoice");
        choice->showPopup();
        choice->hidePopup();
        choice->setCurrentIndex(choice->findData(mail));
    }

    QDialog *preview() const { return form->findChild<QDialog *>(QStringLiteral("PreviewDialog")); }

    template <class T> T *inPreview(const char *name) const
    {
        T *widget = preview()->findChild<T *>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // Each customer as the preview shows them, stepping with 下一位 from where it opened: the
    // place line, then the recipient or why there is none.
    QStringList stepThrough()
    {
        QStringList shown;
        for (;;) {
            const bool leftOut = inPreview<QStackedWidget>("customerPages")->currentWidget()->objectName()
                == QStringLiteral("leftOutText");
            shown.append(inPreview<QLabel>("positionLabel")->text() + QStringLiteral(" | ")
                         + (leftOut ? inPreview<QLabel>("leftOutText")->text() : inPreview<QLabel>("toText")->text()));
            auto *next = inPreview<QPushButton>("nextButton");
            if (!next->isEnabled())
                return shown;
            next->setFocus();
            QTest::keyClick(next, Qt::Key_Space);
        }
    }

    // Serves the window until a box has been shown; gives the boxes.
    QList<boxes::ShownBox> waitForBox()
    {
        QList<boxes::ShownBox> shown;
        const bool arrived = QTest::qWaitFor(
            [&] {
                shown += boxes.takeShown();
                return std::any_of(shown.cbegin(), shown.cend(), [](const boxes::ShownBox &box) {
                    return box.kind == boxes::ShownBox::Kind::Message || box.kind == boxes::ShownBox::Kind::Error;
                });
            },
            30000);
        EXPECT_TRUE(arrived) << "no box";
        return shown;
    }
};

// Five customers: 李四 was sent the mail before, 赵六 has no address, 钱七 holds 张三's address.
// The preview opens on the grid's current customer and steps in the run's order; with the skip
// choice on, the customers the run leaves out say why and the count is of those it mails.
TEST_F(PreviewTest, StepsInTheRunsOrderShowingWhyCustomersAreLeftOut)
{
    seed(QStringLiteral("127.0.0.1:25"));
    db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('赵六', '');"
                           "insert into 客户表(客户名称, 电子邮件地址) values('钱七', 'ZHANG@example.test');"
                           "insert into 发送情况 values(2, 2, '2026-01-01 09:00:00.000', '成功')"));
    open();
    chooseMail(QStringLiteral("2"));

    control<QPushButton>("previewButton")->click();
    ASSERT_NE(preview(), nullptr);
    EXPECT_EQ(inPreview<QLabel>("subjectText")->text(), QStringLiteral("新品介绍"));
    EXPECT_EQ(inPreview<QLabel>("fromText")->text(), QStringLiteral("销售部 <sales@example.test>"));
    EXPECT_EQ(inPreview<QPlainTextEdit>("bodyText")->toPlainText(), QStringLiteral("你好， 张三,  \n第一行\n第二行"));
    EXPECT_TRUE(inPreview<QPlainTextEdit>("rawText")->toPlainText().contains(QStringLiteral("\nTo: zhang@example.test\n")));
    EXPECT_EQ(stepThrough(),
              QStringList({QStringLiteral("第 1 / 4 位  客户ID 1 张三 | zhang@example.test"),
                           QStringLiteral("第 2 / 4 位  客户ID 2 李四 | li@example.test"),
                           QStringLiteral("第 3 / 4 位  客户ID 3 王五 | wang@example.test"),
                           QStringLiteral("不发送（共 4 位）  客户ID 4 赵六 | 这位客户不会收到这封邮件：没有电子邮件地址"),
                           QStringLiteral("第 4 / 4 位  客户ID 5 钱七 | ZHANG@example.test")}));
    preview()->reject();
    QTest::qWait(0);

    control<QCheckBox>("skipSentBox")->setChecked(true);
    ASSERT_TRUE(form->views().customers.locate(QStringLiteral("客户ID"), 2));
    control<QPushButton>("previewButton")->click();
    ASSERT_NE(preview(), nullptr);
    EXPECT_EQ(stepThrough(),
              QStringList({QStringLiteral("不发送（共 2 位）  客户ID 2 李四 | "
                                          "这位客户不会收到这封邮件：已成功发送过（跳过已成功发送的客户）"),
                           QStringLiteral("第 2 / 2 位  客户ID 3 王五 | wang@example.test"),
                           QStringLiteral("不发送（共 2 位）  客户ID 4 赵六 | 这位客户不会收到这封邮件：没有电子邮件地址"),
                           QStringLiteral("不发送（共 2 位）  客户ID 5 钱七 | 这位客户不会收到这封邮件：地址重复：与客户ID 1 相同")}));
    auto *previous = inPreview<QPushButton>("previousButton");
    for (int i = 0; i < 4; ++i)
        previous->click();
    EXPECT_FALSE(previous->isEnabled());
    EXPECT_EQ(inPreview<QLabel>("positionLabel")->text(), QStringLiteral("第 1 / 2 位  客户ID 1 张三"));
    EXPECT_EQ(boxes.takeShown().size(), 0);
    EXPECT_EQ(count(QStringLiteral("发送情况")), 1);
}

// A test mail goes to the typed address only, with the first customer's greeting, and writes no
// record; the next window on the same file offers the address again.
TEST_F(PreviewTest, ATestMailGoesToTheTypedAddressAndTheAddressIsRemembered)
{
    AiosmtpdServer server;
    seed(serverText(server.address(), server.port()), server.user(), server.password());
    agreeToCleartextLogin(db, serverText(server.address(), server.port()), server.user());
    open();
    chooseMail(QStringLiteral("2"));

    boxes.queueTextAnswer(QStringLiteral(" me@example.test "));
    control<QPushButton>("testSendButton")->click();
    const QList<boxes::ShownBox> shown = waitForBox();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].kind, boxes::ShownBox::Kind::TextQuestion);
    EXPECT_EQ(shown[0].initial, QStringLiteral("sales@example.test")) << "the sender's own address first";
    EXPECT_EQ(shown[1].kind, boxes::ShownBox::Kind::Message);
    EXPECT_EQ(shown[1].text, QStringLiteral("测试邮件已发送到 me@example.test"));
    EXPECT_TRUE(control<QPushButton>("testSendButton")->isEnabled());

    const QList<ReceivedMessage> messages = server.waitForMessages(1);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].rcptTos, QStringList{QStringLiteral("me@example.test")});
    EXPECT_EQ(messages[0].login, server.user());
    EXPECT_TRUE(messages[0].data.contains(QStringLiteral("你好， 张三,  ").toUtf8()));
    EXPECT_EQ(count(QStringLiteral("发送情况")), 0);

    // A restart: the address typed last is offered; cancelling sends nothing.
    form.reset();
    open();
    chooseMail(QStringLiteral("2"));
    boxes.queueTextAnswer(std::nullopt);
    control<QPushButton>("testSendButton")->click();
    const QList<boxes::ShownBox> again = boxes.takeShown();
    ASSERT_EQ(again.size(), 1);
    EXPECT_EQ(again[0].initial, QStringLiteral("me@example.test"));
    QTest::qWait(200);
    EXPECT_EQ(server.messages().size(), 1);
    EXPECT_EQ(count(QStringLiteral("发送情况")), 0);
}

// A login the server refuses: the box says so with the server's reply, and nothing is written or sent.
TEST_F(PreviewTest, ARefusedLoginShowsTheServersReply)
{
    AiosmtpdServer server;
    seed(serverText(server.address(), server.port()), server.user(), QStringLiteral("wrong"));
    agreeToCleartextLogin(db, serverText(server.address(), server.port()), server.user());
    open();
    chooseMail(QStringLiteral("2"));
    control<QPushButton>("previewButton")->click();
    ASSERT_NE(preview(), nullptr);

    inPreview<QPushButton>("testSendButton")->click();
    EXPECT_FALSE(inPreview<QPushButton>("testSendButton")->isEnabled()) << "while it goes on";
    const QList<boxes::ShownBox> shown = waitForBox();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[1].kind, boxes::ShownBox::Kind::Error);
    EXPECT_TRUE(shown[1].text.startsWith(QStringLiteral("测试邮件没有发出：邮件服务器拒绝了登录。\n原因：服务器拒绝（永久性错误）：535")))
        << shown[1].text.toStdString();
    EXPECT_TRUE(inPreview<QPushButton>("testSendButton")->isEnabled());
    EXPECT_EQ(server.messages().size(), 0);
    EXPECT_EQ(count(QStringLiteral("发送情况")), 0);
}

} // namespace
