#include "mail/IdMemorySink.h"
#include "mail/IdMessage.h"
#include "mail/IdMessageClient.h"

#include "tests/mail/MessageFixtures.h"
#include "tests/support/Printers.h"

#include <gtest/gtest.h>

namespace {

class MessageWriting : public testing::Test
{
protected:
    MessageWriting()
    {
        msg.Locale = chinaLocale();
        msg.Clock = &clock;
    }

    // The message as the send run fills it for one customer.
    void fill(const QString &senderName, const QString &senderAddress, const QString &subject,
              const QString &customerName, const QString &customerAddress, const QString &content)
    {
        msg.CharSet = QStringLiteral("utf-8");
        msg.From().Address = senderAddress;
        msg.Subject = subject;
        msg.From().Name = senderName;
        msg.ReplyTo.setEMailAddresses(senderAddress);
        msg.Recipients.setEMailAddresses(customerAddress);
        msg.Body = {QStringLiteral("你好， ") + customerName + QStringLiteral(",  \n") + content};
    }

    QByteArray written()
    {
        IdMemorySink sink;
        SendMsg(sink, msg);
        return sink.bytes();
    }

    FixedClock clock{sampleMoment()};
    TIdMessage msg;
};

TEST_F(MessageWriting, WritesTheDataTextByteForByte)
{
    fill(QStringLiteral("销售部"), QStringLiteral("a@b"), QStringLiteral("新品介绍"), QStringLiteral("客户甲"),
         QStringLiteral("c@d"), QStringLiteral("第一行\n第二行"));
    const QByteArray expected = "From: =?GB2312?B?z/rK27K/?= <a@b>\r\n"
                                "Subject: =?GB2312?B?0MLGt73pydw=?=\r\n"
                                "To: c@d\r\n"
                                "Reply-To: a@b\r\n"
                                "Date: Mon, 3 Sep 2012 14:05:09 +0800\r\n"
                                "\r\n"
                                "你好， 客户甲,  \r\n"
                                "第一行\r\n"
                                "第二行\r\n"
                                "\r\n";
    EXPECT_EQ(written(), expected);
    EXPECT_EQ(msg.Encoding, mePlainText);
}

} // namespace
