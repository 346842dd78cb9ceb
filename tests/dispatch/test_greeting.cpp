#include "dispatch/Greeting.h"
#include "mail/IdClock.h"
#include "mail/IdMemorySink.h"
#include "mail/IdMessage.h"
#include "mail/IdMessageClient.h"
#include "tests/support/Printers.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

class FixedClock : public IdClock
{
public:
    QDateTime Now() const override
    {
        return QDateTime(QDate(2012, 9, 3), QTime(14, 5, 9), QTimeZone(8 * 3600));
    }
};

TEST(Greeting, NameThenLineFeedThenContent)
{
    EXPECT_EQ(greetingText(QStringLiteral("张三"), QStringLiteral("第一行\n第二行")),
              QStringLiteral("你好， 张三,  \n第一行\n第二行"));
    EXPECT_EQ(greetingText(QString(), QString()), QStringLiteral("你好， ,  \n"));
}

// One customer's message as the session writes it after DATA.
TEST(Greeting, MessageOfOneCustomer)
{
    TIdMessage message;
    message.Locale = QLocale(QLocale::Chinese, QLocale::China);
    FixedClock clock;
    message.Clock = &clock;
    fillMessage(message, {QStringLiteral("销售部"), QStringLiteral("a@b")},
                {QStringLiteral("新品介绍"), QStringLiteral("第一行\r\n第二行")},
                {7, QStringLiteral("客户甲"), QStringLiteral("c@d")});

    ASSERT_EQ(message.Recipients.Count(), 1);
    EXPECT_EQ(message.Recipients[0].Address, QStringLiteral("c@d"));
    ASSERT_EQ(message.ReplyTo.Count(), 1);
    EXPECT_EQ(message.ReplyTo[0].Address, QStringLiteral("a@b"));

    IdMemorySink sink;
    SendMsg(sink, message);
    EXPECT_EQ(QString::fromUtf8(sink.bytes()),
              QStringLiteral("From: =?GB2312?B?z/rK27K/?= <a@b>\r\n"
                             "Subject: =?GB2312?B?0MLGt73pydw=?=\r\n"
                             "To: c@d\r\n"
                             "Reply-To: a@b\r\n"
                             "Date: Mon, 3 Sep 2012 14:05:09 +0800\r\n"
                             "\r\n"
                             "你好， 客户甲,  \r\n"
                             "第一行\r\n"
                             "第二行\r\n"
                             "\r\n"));
}

} // namespace
