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
    QString addressText; // the customer's address field, read as list text
    QString address;
    QString displayName;
};

// Three messages over one connection with a login, built as the send run builds them (under the
// Chinese (PRC) locale, whose header charset is GB2312), each arriving intact at a real server and
// reading back, through a real mail parser, exactly as typed: with 8BITMIME offered and without.
class RealServerTest : public ::testing::TestWithParam<bool>
{
};

TEST_P(RealServerTest, DeliversThreeMessagesAsTyped)
{
    const bool eightBitMime = GetParam();
    AiosmtpdServer::Options options;
    options.eightBitMime = eightBitMime;
    AiosmtpdServer server(options);
    SmtpSession smtp;
    smtp.host = server.address();
    smtp.port = server.port();
    smtp.userName = server.user();
    smtp.password = server.password();
    smtp.timeouts = SmtpTimeouts::all(10000);
    // A plain server: the user agreed to the login in clear.
    smtp.cleartextLoginAgreed = true;
    smtp.connect();

    const QString senderName = QString::fromUtf8("上海星辰贸易有限公司");
    // "€" and the emoji are beyond GB2312: this subject goes in UTF-8 words, the sender name in GB2312.
    const QString subject = QString::fromUtf8("【新品上市】秋季新款，仅需 €99，欢迎选购！😀");
    const QString content = QString::fromUtf8("本店新品已上架。\n.\n详情请回复本邮件。Grüße!");
    const QList<Customer> customers
        = {{QString::fromUtf8("张三"), QStringLiteral("zhangsan@example.test"), QStringLiteral("zhangsan@example.test"),
            QString()},
           {QString::fromUtf8("李四"), QString::fromUtf8("\"李四 Müller 😀\" <lisi@example.test>"),
            QStringLiteral("lisi@example.test"), QString::fromUtf8("李四 Müller 😀")},
           {QStringLiteral("Wang Wu"), QStringLiteral("Wang Wu <wangwu@example.test>"),
            QStringLiteral("wangwu@example.test"), QStringLiteral("Wang Wu")}};
    for (const Customer &customer : customers) {
        MailMessage message;
        message.locale = QLocale(QLocale::Chinese, QLocale::China);
        message.charSet = QStringLiteral("utf-8");
        message.from().address = server.user();
        message.subject = subject;
        message.from().name = senderName;
        message.replyTo.setAddresses(server.user());
        message.recipients.setAddresses(customer.addressText);
        message.body = {QString::fromUtf8("你好， ") + customer.name + QStringLiteral(",  \n") + content};
        smtp.send(message);
        EXPECT_TRUE(smtp.didAuthenticate());
    }
    smtp.disconnect();

    const QList<testsupport::ReceivedMessage> received = server.waitForMessages(int(customers.size()));
    ASSERT_EQ(received.size(), customers.size());
    QStringList messageIds;
    for (qsizetype i = 0; i < customers.size(); ++i) {
        SCOPED_TRACE(customers[i].address.toStdString());
        EXPECT_EQ(received[i].login, server.user());
        EXPECT_EQ(received[i].mailFrom, server.user());
        EXPECT_EQ(received[i].rcptTos, QStringList{customers[i].address});
        if (eightBitMime) {
            EXPECT_EQ(received[i].mailOptions, QStringList{QStringLiteral("BODY=8BITMIME")});
        } else {
            EXPECT_EQ(received[i].mailOptions, QStringList());
            EXPECT_TRUE(
                std::all_of(received[i].data.begin(), received[i].data.end(), [](char b) { return uchar(b) < 0x80; }));
        }

        const QJsonObject parsed = testsupport::parseWithPythonEmail(received[i].path);
        // The Subject line is folded right after its colon; the blank that begins the folded value
        // is not part of the text a reader shows.
        EXPECT_EQ(parsed.value(QLatin1String("subject")).toString().trimmed(), subject);
        EXPECT_EQ(parsed.value(QLatin1String("from_name")).toString(), senderName);
        EXPECT_EQ(parsed.value(QLatin1String("from_address")).toString(), server.user());
        EXPECT_EQ(parsed.value(QLatin1String("to_name")).toString(), customers[i].displayName);
        EXPECT_EQ(parsed.value(QLatin1String("to_address")).toString(), customers[i].address);
        EXPECT_EQ(parsed.value(QLatin1String("mime_version")).toString(), QStringLiteral("1.0"));
        EXPECT_EQ(parsed.value(QLatin1String("content_type")).toString(), QStringLiteral("text/plain"));
        EXPECT_EQ(parsed.value(QLatin1String("charset")).toString(), QStringLiteral("utf-8"));
        EXPECT_EQ(parsed.value(QLatin1String("transfer_encoding")).toString(),
                  eightBitMime ? QStringLiteral("8bit") : QStringLiteral("base64"));
        // The greeting and the content, then the empty line that ends every message text; the lone
        // "." line came through intact. The parser gives the line ends of an 8-bit body as LF, those
        // inside base64 as they were sent (CR LF): a reader shows both alike.
        const QString expected = QString::fromUtf8("你好， ") + customers[i].name + QStringLiteral(",  \n") + content;
        EXPECT_EQ(parsed.value(QLatin1String("body")).toString().remove(u'\r'), expected + QStringLiteral("\n\n"));
        EXPECT_EQ(parsed.value(QLatin1String("defects")).toArray().size(), 0);

        const QString messageId = parsed.value(QLatin1String("message_id")).toString();
        EXPECT_TRUE(messageId.startsWith(u'<') && messageId.endsWith(QStringLiteral("@example.test>")))
            << messageId.toStdString();
        messageIds.append(messageId);
    }
    messageIds.removeDuplicates();
    EXPECT_EQ(messageIds.size(), customers.size());
}

INSTANTIATE_TEST_SUITE_P(Server, RealServerTest, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "With8BitMime" : "Without8BitMime"; });

TEST(RealServerLoginTest, WrongPasswordIsRefusedAndTheConnectionStaysUsable)
{
    AiosmtpdServer server;
    SmtpSession smtp;
    smtp.host = server.address();
    smtp.port = server.port();
    smtp.userName = server.user();
    smtp.password = QStringLiteral("wrong");
    smtp.timeouts = SmtpTimeouts::all(10000);
    // A plain server: the user agreed to the login in clear.
    smtp.cleartextLoginAgreed = true;
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
