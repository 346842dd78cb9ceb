#include "Greeting.h"
#include "MailMessage.h"
#include "Printers.h"

#include <gtest/gtest.h>

namespace {

TEST(Greeting, NameThenLineFeedThenContent)
{
    EXPECT_EQ(greetingText(QStringLiteral("张三"), QStringLiteral("第一行\n第二行")),
              QStringLiteral("你好， 张三,  \n第一行\n第二行"));
    EXPECT_EQ(greetingText(QString(), QString()), QStringLiteral("你好， ,  \n"));
}

// The fields of one customer's message, as the session and the writer read them.
TEST(Greeting, MessageOfOneCustomer)
{
    MailMessage message;
    fillMessage(message, {QStringLiteral("销售部"), QStringLiteral("Sales <a@b>")},
                {QStringLiteral("新品介绍"), QStringLiteral("第一行\r\n第二行")},
                {7, QStringLiteral("客户甲"), QStringLiteral("c@d, e@f")});

    EXPECT_EQ(message.charSet, QStringLiteral("utf-8"));
    EXPECT_EQ(message.from().address, QStringLiteral("Sales <a@b>"));
    EXPECT_EQ(message.from().name, QStringLiteral("销售部"));
    EXPECT_EQ(message.subject, QStringLiteral("新品介绍"));
    // The sender box is read as list text for the reply address, the customer's address for the
    // recipients.
    ASSERT_EQ(message.replyTo.count(), 1);
    EXPECT_EQ(message.replyTo[0].address, QStringLiteral("a@b"));
    EXPECT_EQ(message.replyTo[0].name, QStringLiteral("Sales"));
    ASSERT_EQ(message.recipients.count(), 2);
    EXPECT_EQ(message.recipients[0].address, QStringLiteral("c@d"));
    EXPECT_EQ(message.recipients[1].address, QStringLiteral("e@f"));
    EXPECT_EQ(message.body, QStringList{QStringLiteral("你好， 客户甲,  \n第一行\r\n第二行")});
}

} // namespace
