#include "MailErrors.h"
#include "MailMessage.h"
#include "SmtpSession.h"

#include "AiosmtpdServer.h"
#include "Printers.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>

using testsupport::AiosmtpdServer;

namespace {

struct Customer
{
    QString name;
    QString address;
};

// Three messages over one connection with a login, built as the send run builds them, each arriving
// intact at a real server and reading back, through a real mail parser, as what was written.
TEST(RealServerTest, DeliversThreeMessagesOverOneLoggedInConnection)
{
    AiosmtpdServer server;
    SmtpSession smtp;
    smtp.host = server.address();
    smtp.port = server.port();
    smtp.userName = server.user();
    smtp.password = server.password();
    smtp.timeouts = SmtpTimeouts::all(10000);
    smtp.connect();

    const QString senderName = QString::fromUtf8("上海星辰贸易有限公司");
    const QString subject = QString::fromUtf8("【新品上市】秋季新款，欢迎选购！");
    const QString content = QString::fromUtf8("本店新品已上架。\n.\n详情请回复本邮件。");
    const QList<Customer> customers = {{QString::fromUtf8("张三"), QStringLiteral("zhangsan@example.test")},
                                       {QString::fromUtf8("李四"), QStringLiteral("lisi@example.test")},
                                       {QStringLiteral("Wang Wu"), QStringLiteral("wangwu@example.test")}};
    for (const Customer &customer : customers) {
        MailMessage message;
        message.charSet = QStringLiteral("utf-8");
        message.from().address = server.user();
        message.subject = subject;
        message.from().name = senderName;
        message.replyTo.setAddresses(server.user());
        message.recipients.setAddresses(customer.address);
        message.body = {QString::fromUtf8("你好， ") + customer.name + QStringLiteral(",  \n") + content};
        smtp.send(message);
        EXPECT_TRUE(smtp.didAuthenticate());
    }
    smtp.disconnect();

    const QList<testsupport::ReceivedMessage> received = server.waitForMessages(int(customers.size()));
    ASSERT_EQ(received.size(), customers.size());
    for (qsizetype i = 0; i < customers.size(); ++i) {
        SCOPED_TRACE(customers[i].address.toStdString());
        EXPECT_EQ(received[i].login, server.user());
        EXPECT_EQ(received[i].mailFrom, server.user());
        EXPECT_EQ(received[i].rcptTos, QStringList{customers[i].address});

        const QJsonObject parsed = testsupport::parseWithPythonEmail(received[i].path);
        // The Subject line is folded right after its colon; the blank that begins the folded value
        // is not part of the text a reader shows.
        EXPECT_EQ(parsed.value(QLatin1String("subject")).toString().trimmed(), subject);
        EXPECT_EQ(parsed.value(QLatin1String("from_name")).toString(), senderName);
        EXPECT_EQ(parsed.value(QLatin1String("from_address")).toString(), server.user());
        EXPECT_EQ(parsed.value(QLatin1String("to")).toString(), customers[i].address);
        // The body is undeclared UTF-8, read back as such; the lone "." line came through dot-stuffing
        // intact, and the lines end in LF as the parser gives them.
        const QString body = parsed.value(QLatin1String("body")).toString();
        EXPECT_TRUE(
            body.startsWith(QString::fromUtf8("你好， ") + customers[i].name + QStringLiteral(",  \n") + content))
            << body.toStdString();
        EXPECT_EQ(parsed.value(QLatin1String("defects")).toArray().size(), 0);
    }
}

TEST(RealServerTest, WrongPasswordIsRefusedAndTheConnectionStaysUsable)
{
    AiosmtpdServer server;
    SmtpSession smtp;
    smtp.host = server.address();
    smtp.port = server.port();
    smtp.userName = server.user();
    smtp.password = QStringLiteral("wrong");
    smtp.timeouts = SmtpTimeouts::all(10000);
    smtp.connect();
    MailMessage message;
    message.from().address = server.user();
    message.recipients.setAddresses(QStringLiteral("someone@example.test"));
    message.body = {QStringLiteral("x")};
    EXPECT_THROW(smtp.send(message), SmtpReplyError);
    EXPECT_EQ(smtp.lastReply().numericCode, 535);
    smtp.password = server.password();
    smtp.send(message);
    smtp.disconnect();
    EXPECT_EQ(server.waitForMessages(1).size(), 1);
}

} // namespace
