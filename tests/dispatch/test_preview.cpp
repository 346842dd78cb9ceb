// The preview against the run: the DATA text a scripted server receives for a customer is the
// preview's for that customer, but for the Date and Message-ID lines of their own moment. And who
// the preview says the run leaves out, and why.
#include "MessagePreview.h"
#include "PreviewPlan.h"
#include "SendRun.h"
#include "SendRunInputs.h"
#include "SmtpSession.h"

#include "Printers.h"
#include "RunScripts.h"
#include "TempDatabase.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using namespace testsupport;

// The text without its Date and Message-ID lines, which carry the moment it was written.
QByteArray withoutMoment(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    lines.removeIf([](const QByteArray &line) { return line.startsWith("Date: ") || line.startsWith("Message-ID: "); });
    return lines.join('\n');
}

struct DataCase
{
    const char *name;
    QString senderName;
    QString customerName;
    QString subject;
    QString content;
    bool eightBitMime;

    friend void PrintTo(const DataCase &c, std::ostream *os) { *os << c.name; }
};

class PreviewDataText : public ::testing::TestWithParam<DataCase>
{
};

TEST_P(PreviewDataText, IsWhatTheServerReceivesInARun)
{
    const DataCase &c = GetParam();
    const QByteArray address = "kunde@example.test";
    const Script opening = {ScriptedServer::say("220 scripted"),
                            ScriptedServer::expect("EHLO " + localHostName().toLatin1()),
                            ScriptedServer::say(c.eightBitMime ? "250-scripted" : "250 scripted")};
    Script script = c.eightBitMime ? opening + Script{ScriptedServer::say("250 8BITMIME")} : opening;
    // Every 8BITMIME case has a body that is not ASCII: the run declares it 8-bit.
    const QByteArray mailFrom
        = QByteArray("MAIL FROM: <sales@example.test>") + (c.eightBitMime ? " BODY=8BITMIME" : "");
    script = script
        + Script{ScriptedServer::expect("RSET"), ScriptedServer::say("250 OK"), ScriptedServer::expect(mailFrom),
                 ScriptedServer::say("250 OK"), ScriptedServer::expect("RCPT TO:<" + address + ">"),
                 ScriptedServer::say("250 OK"), ScriptedServer::expect("DATA"), ScriptedServer::say("354 go on"),
                 ScriptedServer::expectData(), ScriptedServer::say("250 queued")}
        + quit();
    ScriptedServer server(script);

    TempDatabase db;
    db.exec(QStringLiteral("insert into 客户表(客户名称, 电子邮件地址) values('%1', '%2');"
                           "insert into 邮件表(邮件主题, 邮件内容) values('%3', '%4')")
                .arg(c.customerName, QString::fromLatin1(address), c.subject, c.content));
    SendRunInputs inputs;
    inputs.setAccount({serverText(server.address(), server.port()), QString(), QString()});
    inputs.setSender({c.senderName, QStringLiteral("sales@example.test")});
    inputs.setMailChoice(QStringLiteral("1"));
    inputs.setPauseChoice(QStringLiteral("0"));
    {
        SendRun run(inputs, db.location(), {.serverWait = 5s, .pauseSecond = 1ms});
        run.start();
    }
    const QList<QByteArray> blocks = server.dataBlocks();
    ASSERT_EQ(blocks.size(), 1) << server.failure().toStdString();

    const MessagePreview preview
        = previewMessage({c.senderName, QStringLiteral("sales@example.test")}, {c.subject, c.content},
                         {1, c.customerName, QString::fromLatin1(address)}, c.eightBitMime);
    EXPECT_EQ(withoutMoment(preview.dataText + ".\r\n"), withoutMoment(blocks.first()));
    EXPECT_NE(withoutMoment(preview.dataText), preview.dataText) << "the moment's lines are there";
    EXPECT_EQ(preview.body, QStringLiteral("你好， ") + c.customerName + QStringLiteral(",  \n") + c.content);
    EXPECT_EQ(preview.to, QString::fromLatin1(address));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PreviewDataText,
    ::testing::Values(
        DataCase{"Ascii", QStringLiteral("Sales"), QStringLiteral("Smith"), QStringLiteral("News"),
                 QStringLiteral("Hello\n.a line with a dot"), false},
        DataCase{"ChineseWithout8BitMime", QStringLiteral("销售部"), QStringLiteral("张三"),
                 QStringLiteral("新品介绍"), QStringLiteral("第一行\n第二行"), false},
        DataCase{"ChineseWith8BitMime", QStringLiteral("销售部"), QStringLiteral("张三"), QStringLiteral("新品介绍"),
                 QStringLiteral("第一行\n第二行"), true},
        DataCase{"NameNeedingUtf8Words", QStringLiteral("销售部 한국지사"), QStringLiteral("김철수"),
                 QStringLiteral("신제품 新品"), QStringLiteral("안녕하세요"), true},
        DataCase{"EmptyName", QString(), QString(), QStringLiteral("新品介绍"), QStringLiteral("第一行"), false}),
    [](const ::testing::TestParamInfo<DataCase> &info) { return std::string(info.param.name); });

// Who the preview says the run leaves out, and the places of the others, for the customers
// (id, address) with the skip choice on and customer 2 sent before.
TEST(PreviewPlan, LeavesOutWhomTheRunLeavesOutAndSaysWhy)
{
    const QList<Recipient> customers = {{1, QStringLiteral("甲"), QStringLiteral("a@example.test")},
                                        {2, QStringLiteral("乙"), QStringLiteral("b@example.test")},
                                        {3, QStringLiteral("丙"), QStringLiteral(" B@Example.test ")},
                                        {4, QStringLiteral("丁"), QStringLiteral("  ")},
                                        {5, QStringLiteral("戊"), QStringLiteral("A@example.test")},
                                        {6, QStringLiteral("己"), QStringLiteral("c@example.test")}};
    const auto reasons = [&](bool skip, const QSet<qint64> &unsubscribed = {}, const UnknownResults &unknown = {}) {
        const PreviewPlan plan = planPreview(customers, {2}, skip, unsubscribed, unknown);
        QStringList texts;
        for (const PreviewPlan::Step &step : plan.steps)
            texts.append(step.leftOut == LeftOut::No ? QString::number(step.position)
                                                     : leftOutReason(step.leftOut, step.sameAddressAs));
        texts.append(QStringLiteral("共 %1").arg(plan.toSend));
        return texts;
    };
    EXPECT_EQ(reasons(true), QStringList({QStringLiteral("1"), QStringLiteral("已成功发送过（跳过已成功发送的客户）"),
                                          QStringLiteral("地址重复：与客户ID 2 相同"), QStringLiteral("没有电子邮件地址"),
                                          QStringLiteral("地址重复：与客户ID 1 相同"), QStringLiteral("2"),
                                          QStringLiteral("共 2")}));
    EXPECT_EQ(reasons(false), QStringList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                                           QStringLiteral("没有电子邮件地址"), QStringLiteral("4"),
                                           QStringLiteral("5"), QStringLiteral("共 5")}));
    // On the do-not-mail list: left out whatever the skip choice, and not counted.
    EXPECT_EQ(reasons(false, {2, 6}),
              QStringList({QStringLiteral("1"), QStringLiteral("已退订（地址在退订名单中）"), QStringLiteral("2"),
                           QStringLiteral("没有电子邮件地址"), QStringLiteral("3"),
                           QStringLiteral("已退订（地址在退订名单中）"), QStringLiteral("共 3")}));
    // A customer whose result an earlier run left unknown: left out unless chosen again, the address
    // taken all the same; with the skip choice off, mailed like the others.
    const QString unknown = QStringLiteral("发送结果未知（发送前的确认中可以选择再次发送）");
    EXPECT_EQ(reasons(true, {}, {{1, 6}, false}),
              QStringList({unknown, QStringLiteral("已成功发送过（跳过已成功发送的客户）"),
                           QStringLiteral("地址重复：与客户ID 2 相同"), QStringLiteral("没有电子邮件地址"),
                           QStringLiteral("地址重复：与客户ID 1 相同"), unknown, QStringLiteral("共 0")}));
    EXPECT_EQ(reasons(true, {}, {{1, 6}, true}), reasons(true));
    EXPECT_EQ(reasons(false, {}, {{1, 6}, false}), reasons(false));
}

} // namespace
