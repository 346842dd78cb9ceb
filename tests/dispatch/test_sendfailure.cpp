// Which failures end a send run and which concern one customer, and how a failure reads in its
// send record.
#include "EnglishWords.h"
#include "MailErrors.h"
#include "Printers.h"
#include "SendFailure.h"
#include "SmtpReply.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <functional>
#include <vector>

namespace {

using Kind = SendFailure::Kind;

// A case's name as a test name: its words joined by underscores.
std::string caseName(const char *name)
{
    std::string text = name;
    for (char &c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return text;
}

struct StopCase
{
    const char *name;
    SendFailure failure;
    RunStop stop;

    friend void PrintTo(const StopCase &c, std::ostream *os) { *os << c.name; }
};

class RunStopTest : public ::testing::TestWithParam<StopCase>
{
};

TEST_P(RunStopTest, OnlyFailuresThatWouldRepeatForEveryCustomerStopTheRun)
{
    EXPECT_EQ(runStopFor(GetParam().failure), GetParam().stop);
}

// The fields: kind, reply code, at the login, a message accepted already, connection usable after.
INSTANTIATE_TEST_SUITE_P(
    Failures, RunStopTest,
    ::testing::Values(
        StopCase{"recipient refused", {Kind::Refused, 550, false, false, true}, RunStop::None},
        StopCase{"message refused at end of data", {Kind::Refused, 554, false, true, true}, RunStop::None},
        StopCase{"mailbox busy", {Kind::Refused, 450, false, true, true}, RunStop::None},
        StopCase{"control character in address", {Kind::InvalidAddress, 0, false, false, true}, RunStop::None},
        StopCase{"writer failure, connection kept", {Kind::Other, 0, false, false, true}, RunStop::None},
        StopCase{"login refused 535", {Kind::Refused, 535, true, false, true}, RunStop::LoginRefused},
        StopCase{"login refused 454 at the login", {Kind::Refused, 454, true, false, true}, RunStop::LoginRefused},
        StopCase{"534 outside the login", {Kind::Refused, 534, false, false, true}, RunStop::LoginRefused},
        StopCase{"538 outside the login", {Kind::Refused, 538, false, true, true}, RunStop::LoginRefused},
        StopCase{"530 before any message", {Kind::Refused, 530, false, false, true}, RunStop::LoginRequired},
        StopCase{"530 after a message went through", {Kind::Refused, 530, false, true, true}, RunStop::None},
        StopCase{"530 asking for STARTTLS", {.kind = Kind::Refused, .replyCode = 530, .atLogin = false, .anyAccepted = false, .connectionUsable = true, .encryptionDemanded = true}, RunStop::EncryptionRequired},
        StopCase{"530 asking for STARTTLS at the login", {.kind = Kind::Refused, .replyCode = 530, .atLogin = true, .anyAccepted = false, .connectionUsable = true, .encryptionDemanded = true},
                 RunStop::EncryptionRequired},
        StopCase{"530 asking for STARTTLS after a message", {.kind = Kind::Refused, .replyCode = 530, .atLogin = false, .anyAccepted = true, .connectionUsable = true, .encryptionDemanded = true},
                 RunStop::EncryptionRequired},
        StopCase{"421 at MAIL FROM", {Kind::Refused, 421, false, true, true}, RunStop::ServerClosing},
        StopCase{"421 with the connection closed", {Kind::Refused, 421, false, true, false}, RunStop::ServerClosing},
        StopCase{"refusal, then the server closed", {Kind::Refused, 550, false, true, false}, RunStop::ConnectionLost},
        StopCase{"password kept back at the login", {Kind::Other, 0, true, false, true}, RunStop::LoginRefused},
        StopCase{"connection closed", {Kind::ConnectionLost, 0, false, true, false}, RunStop::ConnectionLost},
        StopCase{
            "connection closed at the login", {Kind::ConnectionLost, 0, true, false, false}, RunStop::ConnectionLost},
        StopCase{"timed out", {Kind::NoAnswer, 0, false, false, false}, RunStop::NoAnswer},
        StopCase{"unreadable reply", {Kind::UnreadableReply, 0, false, true, true}, RunStop::UnreadableReply},
        StopCase{"writer failure, connection closed", {Kind::Other, 0, false, true, false}, RunStop::ConnectionLost},
        // The account's refusals: by their enhanced code at the sender or after the text, or by
        // repeating there; never at a recipient.
        StopCase{"5.4.5 at MAIL FROM",
                 {Kind::Refused, 550, false, true, true, SmtpStep::MailFrom, {5, 4, 5, true}},
                 RunStop::QuotaReached},
        StopCase{"4.4.5 after the data",
                 {Kind::Refused, 452, false, true, true, SmtpStep::EndOfData, {4, 4, 5, true}},
                 RunStop::QuotaReached},
        StopCase{"4.7.1 after the data",
                 {Kind::Refused, 451, false, true, true, SmtpStep::EndOfData, {4, 7, 1, true}},
                 RunStop::AccountRefused},
        StopCase{"5.7.0 at MAIL FROM after messages went through",
                 {Kind::Refused, 530, false, true, true, SmtpStep::MailFrom, {5, 7, 0, true}},
                 RunStop::AccountRefused},
        StopCase{"5.4.5 at a recipient",
                 {Kind::Refused, 550, false, true, true, SmtpStep::Recipient, {5, 4, 5, true}},
                 RunStop::None},
        StopCase{"5.7.1 at a recipient",
                 {Kind::Refused, 550, false, true, true, SmtpStep::Recipient, {5, 7, 1, true}},
                 RunStop::None},
        StopCase{"5.4.5 answering DATA itself",
                 {Kind::Refused, 554, false, true, true, SmtpStep::Data, {5, 4, 5, true}},
                 RunStop::None},
        StopCase{"a second identical 554 after the data",
                 {Kind::Refused, 554, false, true, true, SmtpStep::EndOfData, {5, 6, 0, true}, 2},
                 RunStop::None},
        StopCase{"three identical 554s after the data",
                 {Kind::Refused, 554, false, true, true, SmtpStep::EndOfData, {5, 6, 0, true}, 3},
                 RunStop::RepeatedRefusal},
        StopCase{"three identical 451s at MAIL FROM",
                 {Kind::Refused, 451, false, true, true, SmtpStep::MailFrom, {}, 3},
                 RunStop::RepeatedRefusal},
        StopCase{"three 550 5.1.1 at a recipient",
                 {Kind::Refused, 550, false, true, true, SmtpStep::Recipient, {5, 1, 1, true}, 3},
                 RunStop::None}),
    [](const ::testing::TestParamInfo<StopCase> &info) { return caseName(info.param.name); });

// A customer's outcome for the streak: a refusal at a step with a code, or a message that went through.
struct Outcome
{
    bool refused;
    SmtpStep step = SmtpStep::Other;
    int code = 0;
    EnhancedStatusCode enhanced = {};
};

struct StreakCase
{
    const char *name;
    std::vector<Outcome> outcomes;
    std::vector<int> counts; // what the streak gives after each

    friend void PrintTo(const StreakCase &c, std::ostream *os) { *os << c.name; }
};

class RefusalStreakTest : public ::testing::TestWithParam<StreakCase>
{
};

TEST_P(RefusalStreakTest, CountsTheSameRefusalCustomerAfterCustomer)
{
    RefusalStreak streak;
    std::vector<int> counts;
    for (const Outcome &o : GetParam().outcomes) {
        const SendFailure failure{Kind::Refused, o.code, false, true, true, o.step, o.enhanced};
        counts.push_back(streak.note(o.refused ? &failure : nullptr));
    }
    EXPECT_EQ(counts, GetParam().counts);
}

const Outcome Sent{false};
const Outcome Spam554{true, SmtpStep::EndOfData, 554, {5, 6, 0, true}};
const Outcome Busy451{true, SmtpStep::MailFrom, 451, {}};
const Outcome Unknown550{true, SmtpStep::Recipient, 550, {5, 1, 1, true}};

INSTANTIATE_TEST_SUITE_P(
    Streaks, RefusalStreakTest,
    ::testing::Values(StreakCase{"three alike", {Spam554, Spam554, Spam554}, {1, 2, 3}},
                      StreakCase{"a message through breaks it", {Spam554, Spam554, Sent, Spam554}, {1, 2, 0, 1}},
                      StreakCase{"another code starts anew", {Spam554, Busy451, Busy451}, {1, 1, 2}},
                      StreakCase{"same code, other enhanced code",
                                 {Spam554, Outcome{true, SmtpStep::EndOfData, 554, {5, 7, 1, true}}},
                                 {1, 1}},
                      StreakCase{"the sender step and the end of the data alike",
                                 {Spam554, Outcome{true, SmtpStep::MailFrom, 554, {5, 6, 0, true}}},
                                 {1, 2}},
                      StreakCase{"recipients never count and break it",
                                 {Unknown550, Unknown550, Unknown550, Spam554, Unknown550, Spam554},
                                 {0, 0, 0, 1, 0, 1}}),
    [](const ::testing::TestParamInfo<StreakCase> &info) { return caseName(info.param.name); });

SmtpReply reply(const QStringList &lines)
{
    return parseReply(lines);
}

struct ErrorCase
{
    const char *name;
    std::function<void()> raise;
    Kind kind;
    int code;
    const char16_t *detail;

    friend void PrintTo(const ErrorCase &c, std::ostream *os) { *os << c.name; }
};

class ErrorTest : public ::testing::TestWithParam<ErrorCase>
{
};

TEST_P(ErrorTest, KindCodeAndDetail)
{
    const ErrorCase &c = GetParam();
    try {
        c.raise();
        FAIL() << "nothing raised";
    } catch (const std::exception &e) {
        EXPECT_EQ(failureKind(e), c.kind);
        EXPECT_EQ(replyCode(e), c.code);
        EXPECT_EQ(failureDetail(e), QString::fromUtf16(c.detail));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Errors, ErrorTest,
    ::testing::Values(
        // The code class in Chinese with the step it answered, then the reply verbatim: the codes
        // the reply lost when it was read come back; only the first line is kept.
        ErrorCase{"refusal of a recipient with enhanced code",
                  [] {
                      SmtpReplyError e(reply({QStringLiteral("550-5.1.1 <x@y>: Recipient address rejected"),
                                              QStringLiteral("550 5.1.1 see the help")}));
                      e.step = SmtpStep::Recipient;
                      throw e;
                  },
                  Kind::Refused, 550, u"服务器拒绝（收件人地址）：550 5.1.1 <x@y>: Recipient address rejected"},
        ErrorCase{"refusal at the login without enhanced code",
                  [] { throw SmtpReplyError(reply({QStringLiteral("535 Authentication failed")})); }, Kind::Refused,
                  535, u"服务器拒绝（永久性错误）：535 Authentication failed"},
        ErrorCase{"temporary refusal of the sender",
                  [] {
                      SmtpReplyError e(reply({QStringLiteral("451 4.7.1 Try again later")}));
                      e.step = SmtpStep::MailFrom;
                      throw e;
                  },
                  Kind::Refused, 451, u"服务器暂时拒绝（发件人地址，稍后可重试）：451 4.7.1 Try again later"},
        ErrorCase{"temporary refusal with a bare code", [] { throw SmtpReplyError(reply({QStringLiteral("421")})); },
                  Kind::Refused, 421, u"服务器暂时拒绝（临时性错误，稍后可重试）：421"},
        ErrorCase{"unexpected code after the text",
                  [] {
                      SmtpReplyError e(reply({QStringLiteral("354 go on")}));
                      e.step = SmtpStep::EndOfData;
                      throw e;
                  },
                  Kind::Refused, 354, u"服务器的回复不是预期的回复（邮件内容）：354 go on"},
        ErrorCase{"reset", [] { throw SocketError(ECONNRESET); }, Kind::ConnectionLost, 0,
                  u"连接被邮件服务器重置（系统错误号 104）"},
        ErrorCase{"timed out", [] { throw SocketError(ETIMEDOUT); }, Kind::NoAnswer, 0,
                  u"邮件服务器在限定的时间内没有回应（系统错误号 110）"},
        ErrorCase{"aborted", [] { throw SocketError(ECONNABORTED); }, Kind::ConnectionLost, 0,
                  u"连接已中止（系统错误号 103）"},
        ErrorCase{"closed", [] { throw ConnectionClosedError(); }, Kind::ConnectionLost, 0, u"服务器关闭了连接"},
        ErrorCase{"not connected", [] { throw NotConnectedError(); }, Kind::ConnectionLost, 0, u"没有连接到邮件服务器"},
        ErrorCase{"line too long", [] { throw LineTooLongError(); }, Kind::UnreadableReply, 0,
                  u"邮件服务器回复的一行超过了长度上限"},
        ErrorCase{"reply too long", [] { throw ReplyTooLongError(); }, Kind::UnreadableReply, 0,
                  u"邮件服务器的回复过长：超过 100 行或 64 KB"},
        ErrorCase{"address with a line break",
                  [] { throw InvalidAddressError(QStringLiteral("a@b\r\nRCPT TO:<c@d>")); }, Kind::InvalidAddress, 0,
                  u"电子邮件地址中含有控制字符，邮件未发送：a@b\\x0d\\x0aRCPT TO:<c@d>"},
        ErrorCase{"charset", [] { throw MailError(QStringLiteral("Could not encode\r\nheader data")); }, Kind::Other, 0,
                  u"Could not encode header data"}),
    [](const ::testing::TestParamInfo<ErrorCase> &info) { return caseName(info.param.name); });

// RFC 3207's 530 asks for STARTTLS; RFC 4954's 530 for a login: the same codes, told apart by the text.
TEST(EncryptionDemanded, Only530AskingForStartTls)
{
    const auto check = [](const QString &line, bool demanded, const QString &message) {
        SCOPED_TRACE(line.toStdString());
        const SmtpReplyError error(reply({line}));
        EXPECT_EQ(demandsEncryption(error), demanded);
        EXPECT_EQ(error.message(), message);
    };
    check(QStringLiteral("530 5.7.0 Must issue a STARTTLS command first"), true,
          QStringLiteral("服务器要求先加密连接。服务器的回复：530 5.7.0 Must issue a STARTTLS command first"));
    check(QStringLiteral("530 5.7.0 Authentication required"), false,
          QStringLiteral("邮件服务器拒绝了这一步。服务器的回复：530 5.7.0 Authentication required"));
    check(QStringLiteral("550 5.7.0 STARTTLS first"), false,
          QStringLiteral("邮件服务器拒绝了这一步。服务器的回复：550 5.7.0 STARTTLS first"));
}

TEST(SendResult, SuccessOrFailureWithTheDetailWithinTheColumnWidth)
{
    EXPECT_EQ(sendResult(), QStringLiteral("成功"));
    EXPECT_EQ(sendResult(QStringLiteral("550 5.1.1 no such user")), QStringLiteral("失败：550 5.1.1 no such user"));
    // An empty detail is still a failure.
    EXPECT_EQ(sendResult(QStringLiteral("")), QStringLiteral("失败："));

    const QString longReply = QStringLiteral("554 ") + QString(400, QLatin1Char('x'));
    EXPECT_EQ(sendResult(longReply), (QStringLiteral("失败：") + longReply).left(255));
    // A character outside the basic plane straddling the cut is left out whole, never halved.
    const QString straddling = QString(251, QLatin1Char('x')) + QStringLiteral("😀") + QStringLiteral("yyy");
    const QString cut = sendResult(straddling);
    EXPECT_EQ(cut.size(), 254);
    EXPECT_FALSE(cut.back().isSurrogate());
}

// Every reason a run or a test mail gives the user is Chinese; English appears only where the
// server's own reply is quoted, after the explanation of its code class.
TEST(ReasonTexts, ChineseButTheServersReply)
{
    for (const RunStop stop : {RunStop::LoginRefused, RunStop::LoginRequired, RunStop::EncryptionRequired,
                               RunStop::ServerClosing, RunStop::ConnectionLost, RunStop::NoAnswer,
                               RunStop::UnreadableReply, RunStop::QuotaReached, RunStop::AccountRefused,
                               RunStop::RepeatedRefusal}) {
        const QString reason = runStopReason(stop);
        EXPECT_FALSE(reason.isEmpty());
        EXPECT_EQ(englishWords(reason), QStringList()) << reason.toStdString();
    }

    const std::function<void()> failures[] = {
        [] { throw ConnectionClosedError(); }, [] { throw NotConnectedError(); },
        [] { throw LineTooLongError(); },      [] { throw ReplyTooLongError(); },
        [] { throw NoRecipientError(); },      [] { throw CouldNotBindSocketError(); },
        [] { throw TlsError(QStringLiteral("与服务器的加密握手失败"), QStringLiteral("wrong version number")); },
    };
    QStringList details;
    for (const auto &fail : failures) {
        try {
            fail();
        } catch (const std::exception &e) {
            details << failureDetail(e);
        }
    }
    for (const int error : {ECONNREFUSED, ECONNRESET, ECONNABORTED, ETIMEDOUT, EPIPE, ENETUNREACH, EHOSTUNREACH,
                            EADDRINUSE, EMFILE, EACCES, ENOTEMPTY, EINVAL}) {
        try {
            raiseSocketError(error);
        } catch (const std::exception &e) {
            details << failureDetail(e);
        }
    }
    for (const QString &detail : details)
        EXPECT_EQ(englishWords(detail), QStringList()) << detail.toStdString();

    // A refusal: the Chinese explanation, then the reply exactly as the server wrote it.
    const QString reply = QStringLiteral("550 5.1.1 <li@example.test>: Recipient address rejected");
    for (const SmtpStep step : {SmtpStep::Other, SmtpStep::MailFrom, SmtpStep::Recipient, SmtpStep::Data,
                                SmtpStep::EndOfData}) {
        SmtpReplyError refusal(parseReply({reply}));
        refusal.step = step;
        const QString detail = failureDetail(refusal);
        ASSERT_TRUE(detail.endsWith(QStringLiteral("：") + reply)) << detail.toStdString();
        const QString explanation = detail.chopped(reply.size());
        EXPECT_TRUE(explanation.startsWith(QStringLiteral("服务器拒绝（"))) << detail.toStdString();
        EXPECT_EQ(englishWords(explanation), QStringList()) << detail.toStdString();
    }
}

} // namespace
