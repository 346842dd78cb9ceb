#include "MailErrors.h"
#include "MailMessage.h"
#include "SmtpSession.h"

#include "MessageFixtures.h"
#include "Printers.h"
#include "ScriptedServer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <thread>

using testsupport::ScriptedServer;
using Step = ScriptedServer::Step;
using Script = std::vector<Step>;

namespace {

Step S(const char *line)
{
    return ScriptedServer::say(line);
}
Step C(const char *line)
{
    return ScriptedServer::expect(line);
}
const Step DataText = ScriptedServer::expectData();

Script operator+(Script a, const Script &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Script Greeting = {S("220 mail.test ESMTP"), C("EHLO client.test")};
const Script EhloWithLogin = {S("250-mail.test greets you"), S("250-AUTH=LOGIN PLAIN"), S("250 8BITMIME")};
const Script Login = {C("AUTH LOGIN"),       S("334 VXNlcm5hbWU6"), C("dXNlcg=="),
                      S("334 UGFzc3dvcmQ6"), C("c2VjcmV0"),         S("235 2.7.0 Authentication successful")};
const Script Transaction = {C("RSET"),
                            S("250 2.0.0 OK"),
                            C("MAIL FROM: <from@test>"),
                            S("250 2.1.0 Sender OK"),
                            C("RCPT TO:<to@test>"),
                            S("250 2.1.5 Recipient OK"),
                            C("DATA"),
                            S("354 go ahead"),
                            DataText,
                            S("250 2.0.0 queued")};
const Script Quit = {C("QUIT"), S("221 2.0.0 bye")};

const FixedClock Noon(sampleMoment());

struct MessageSetup
{
    QString sender = QStringLiteral("from@test");
    QStringList recipients = {QStringLiteral("to@test")};
    QString body = QStringLiteral("body");
};

class SessionTest : public ::testing::Test
{
protected:
    SessionTest()
    {
        smtp.host = QStringLiteral("127.0.0.1");
        smtp.heloName = QStringLiteral("client.test");
        smtp.userName = QStringLiteral("user");
        smtp.password = QStringLiteral("secret");
        smtp.timeouts = SmtpTimeouts::all(5000);
        // These servers offer no encryption; the user agreed to the login in clear.
        smtp.cleartextLoginAgreed = true;
    }

    void listen(Script script)
    {
        server = std::make_unique<ScriptedServer>(std::move(script));
        smtp.port = server->port();
    }

    std::string send(const MessageSetup &setup = {}, const Clock &clock = Noon)
    {
        MailMessage message;
        message.clock = &clock;
        message.charSet = QStringLiteral("utf-8");
        message.from().address = setup.sender;
        message.subject = QStringLiteral("hello");
        for (const QString &address : setup.recipients)
            message.recipients.add().address = address;
        message.body = {setup.body};
        return outcome([&] { smtp.send(message); });
    }

    // Every byte the client sent must be what the script expects, and nothing more.
    void expectTranscript()
    {
        smtp.disconnect();
        EXPECT_EQ(server->failure(), QString());
        EXPECT_EQ(server->received(), server->expected());
    }

    SmtpSession smtp;
    std::unique_ptr<ScriptedServer> server;
};

// One conversation: the script the server plays and what each call of the session gives.
struct Conversation
{
    const char *name;
    Script script;
    std::vector<std::string> outcomes; // Connect, then Send per entry after the first, then Disconnect
    QString username = QStringLiteral("user");
    QString password = QStringLiteral("secret");
    MessageSetup message = {};

    friend void PrintTo(const Conversation &c, std::ostream *os) { *os << c.name; }
};

class ConversationTest : public SessionTest, public ::testing::WithParamInterface<Conversation>
{
};

TEST_P(ConversationTest, SendsExactlyTheScriptedLines)
{
    const Conversation &c = GetParam();
    smtp.userName = c.username;
    smtp.password = c.password;
    listen(c.script);
    std::vector<std::string> outcomes{outcome([&] { smtp.connect(); })};
    for (size_t i = 2; i < c.outcomes.size(); ++i)
        outcomes.push_back(send(c.message));
    outcomes.push_back(outcome([&] { smtp.disconnect(); }));
    EXPECT_EQ(outcomes, c.outcomes);
    EXPECT_FALSE(smtp.isConnected());
    EXPECT_EQ(server->received(), server->expected());
}

INSTANTIATE_TEST_SUITE_P(
    Session, ConversationTest,
    ::testing::Values(
        // A server that refuses the greeting or the EHLO/HELO still hears QUIT.
        Conversation{"Greeting554", Script{S("554 no service here")} + Quit, {"reply 554", "ok"}},
        Conversation{"InvalidGreetingCode", {S("hey there")}, {"邮件服务器的回复无法识别，回复代码无效：hey", "ok"}},
        Conversation{"OverlongEhloLine",
                     Greeting + Script{ScriptedServer::sayRaw("250 " + QByteArray(20000, 'x') + "\r\n")},
                     {"邮件服务器回复的一行超过了长度上限", "ok"}},
        Conversation{"Ehlo502ThenHeloAndNoLogin",
                     Greeting + Script{S("502 not here"), C("HELO client.test"), S("250 ok")} + Transaction + Quit,
                     {"ok", "ok", "ok"}},
        Conversation{"HeloRefused",
                     Greeting + Script{S("502 not here"), C("HELO client.test"), S("501 go away")} + Quit,
                     {"reply 501", "ok"}},
        Conversation{"ThreeLineEhloLogsIn",
                     Greeting + EhloWithLogin + Login + Transaction + Transaction + Quit,
                     {"ok", "ok", "ok", "ok"}},
        Conversation{"LowerCaseAuthLine",
                     Greeting + Script{S("250-mail.test"), S("250 auth login")} + Login + Transaction + Quit,
                     {"ok", "ok", "ok"}},
        Conversation{"PlainOnlyMeansNoLogin",
                     Greeting + Script{S("250-mail.test"), S("250 AUTH PLAIN")} + Transaction + Quit,
                     {"ok", "ok", "ok"}},
        Conversation{
            "EmptyUserNameMeansNoLogin", Greeting + EhloWithLogin + Transaction + Quit, {"ok", "ok", "ok"}, QString()},
        Conversation{"EmptyPasswordIsAnEmptyLine",
                     Greeting + EhloWithLogin
                         + Script{C("AUTH LOGIN"), S("334 VXNlcm5hbWU6"), C("dXNlcg=="), S("334 UGFzc3dvcmQ6"), C(""),
                                  S("235 ok")}
                         + Transaction + Quit,
                     {"ok", "ok", "ok"},
                     QStringLiteral("user"),
                     QString()},
        Conversation{"PasswordAsLatin1Bytes",
                     Greeting + EhloWithLogin
                         + Script{C("AUTH LOGIN"), S("334 VXNlcm5hbWU6"), C("dXNlcg=="), S("334 UGFzc3dvcmQ6"),
                                  C("cORzc3f2cmQ="), S("235 ok")}
                         + Transaction + Quit,
                     {"ok", "ok", "ok"},
                     QStringLiteral("user"),
                     QString::fromUtf8("pässwörd")},
        Conversation{"PasswordAboveLatin1AsQuestionMarks",
                     Greeting + EhloWithLogin
                         + Script{C("AUTH LOGIN"), S("334 VXNlcm5hbWU6"), C("dXNlcg=="), S("334 UGFzc3dvcmQ6"),
                                  C("Pz8="), S("235 ok")}
                         + Transaction + Quit,
                     {"ok", "ok", "ok"},
                     QStringLiteral("user"),
                     QString::fromUtf8("密码")},
        Conversation{"WrongPasswordThenLoginAgain",
                     Greeting + EhloWithLogin
                         + Script{C("AUTH LOGIN"), S("334 VXNlcm5hbWU6"), C("dXNlcg=="), S("334 UGFzc3dvcmQ6"),
                                  C("c2VjcmV0"), S("535 5.7.8 Authentication credentials invalid")}
                         + Login + Transaction + Quit,
                     {"ok", "reply 535", "ok", "ok"}},
        Conversation{"RecipientRefusedThenRset",
                     Greeting + EhloWithLogin + Login
                         + Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("250 ok"),
                                  C("RCPT TO:<to@test>"), S("550 5.1.1 no such user"), C("RSET"), S("250 ok")}
                         + Transaction + Quit,
                     {"ok", "reply 550", "ok", "ok"}},
        Conversation{
            "FirstOfTwoRecipientsRefused",
            Greeting + EhloWithLogin + Login
                + Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("250 ok"), C("RCPT TO:<bad@test>"),
                         S("550 no"), C("RSET"), S("250 ok")}
                + Quit,
            {"ok", "reply 550", "ok"},
            QStringLiteral("user"),
            QStringLiteral("secret"),
            MessageSetup{QStringLiteral("from@test"), {QStringLiteral("bad@test"), QStringLiteral("to@test")}}},
        Conversation{"Recipient251Accepted",
                     Greeting + EhloWithLogin + Login
                         + Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("250 ok"),
                                  C("RCPT TO:<to@test>"), S("251 will forward"), C("DATA"), S("354 go"), DataText,
                                  S("250 ok")}
                         + Quit,
                     {"ok", "ok", "ok"}},
        // A message for nobody is not begun, and the login it would have brought waits too.
        Conversation{"NoRecipientsNothingSent",
                     Greeting + EhloWithLogin + Quit,
                     {"ok", "没有收件人地址", "ok"},
                     QStringLiteral("user"),
                     QStringLiteral("secret"),
                     MessageSetup{QStringLiteral("from@test"), {}}},
        Conversation{"SenderTrimmedRecipientAsItIs",
                     Greeting + EhloWithLogin + Login
                         + Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("250 ok"),
                                  C("RCPT TO:< to@test>"), S("250 ok"), C("DATA"), S("354 go"), DataText, S("250 ok")}
                         + Quit,
                     {"ok", "ok", "ok"},
                     QStringLiteral("user"),
                     QStringLiteral("secret"),
                     MessageSetup{QStringLiteral("  from@test  "), {QStringLiteral(" to@test")}}},
        Conversation{"DataEndRefusedThenRset",
                     Greeting + EhloWithLogin + Login
                         + Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("250 ok"),
                                  C("RCPT TO:<to@test>"), S("250 ok"), C("DATA"), S("354 go"), DataText,
                                  S("554 5.7.1 spam"), C("RSET"), S("250 ok")}
                         + Quit,
                     {"ok", "reply 554", "ok"}},
        Conversation{"RsetAfterRefusalFailsInstead",
                     Greeting + EhloWithLogin + Login
                         + Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("250 ok"),
                                  C("RCPT TO:<to@test>"), S("550 no"), C("RSET"), S("bad")}
                         + Quit,
                     {"ok", "邮件服务器的回复无法识别，回复代码无效：bad", "ok"}},
        Conversation{"MailFrom421AndCloseFailsEveryLaterSend",
                     Greeting + EhloWithLogin + Login
                         + Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("421 4.3.2 shutting down"),
                                  ScriptedServer::close()},
                     {"ok", "reply 421", "closed", "closed", "ok"}},
        Conversation{
            "Quit500StillCloses", Greeting + EhloWithLogin + Script{C("QUIT"), S("500 what")}, {"ok", "reply 500"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(SessionTest, ConnectKeepsTheCapabilitiesOfEhlo)
{
    listen(Greeting + EhloWithLogin + Quit);
    smtp.connect();
    EXPECT_EQ(smtp.capabilities(), (QStringList{QStringLiteral("AUTH=LOGIN PLAIN"), QStringLiteral("8BITMIME")}));
    EXPECT_EQ(smtp.lastReply().numericCode, 250);
    expectTranscript();
}

TEST_F(SessionTest, HeloGreetingLeavesNoCapabilities)
{
    listen(Greeting + Script{S("502 no"), C("HELO client.test"), S("250 ok")} + Quit);
    smtp.connect();
    EXPECT_EQ(smtp.capabilities(), QStringList());
    expectTranscript();
}

TEST_F(SessionTest, ReplyErrorCarriesCodeTextAndEnhancedCode)
{
    listen(Greeting + EhloWithLogin + Login
           + Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("550-5.7.1 first"), S("550 5.7.1 second"),
                    C("QUIT"), S("221 bye")});
    smtp.connect();
    MailMessage message;
    message.from().address = QStringLiteral("from@test");
    message.recipients.add().address = QStringLiteral("to@test");
    try {
        smtp.send(message);
        ADD_FAILURE() << "Send did not fail";
    } catch (const SmtpReplyError &e) {
        EXPECT_EQ(e.errorCode, 550);
        EXPECT_EQ(e.replyText, QStringLiteral("first\r\nsecond\r\n"));
        EXPECT_EQ(e.message(), QStringLiteral("邮件服务器拒绝了这一步。服务器的回复：550 5.7.1 first\r\nsecond"));
        EXPECT_EQ(e.enhancedCode, (EnhancedStatusCode{5, 7, 1, true}));
    }
    EXPECT_EQ(smtp.lastReply().text, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
    EXPECT_TRUE(smtp.didAuthenticate());
    expectTranscript();
    EXPECT_FALSE(smtp.didAuthenticate());
}

// The run tells a refusal of the account from one of a recipient by the step it answered.
struct StepCase
{
    const char *name;
    Script transaction; // after the login, up to the refusal and the RSET that follows it
    SmtpStep step;

    friend void PrintTo(const StepCase &c, std::ostream *os) { *os << c.name; }
};

class RefusalStepTest : public SessionTest, public ::testing::WithParamInterface<StepCase>
{
};

TEST_P(RefusalStepTest, TheRefusalNamesItsStep)
{
    listen(Greeting + EhloWithLogin + Login + GetParam().transaction + Quit);
    smtp.connect();
    MailMessage message;
    message.clock = &Noon;
    message.from().address = QStringLiteral("from@test");
    message.recipients.add().address = QStringLiteral("to@test");
    message.body = {QStringLiteral("body")};
    try {
        smtp.send(message);
        ADD_FAILURE() << "Send did not fail";
    } catch (const ReplyError &e) {
        EXPECT_EQ(e.step, GetParam().step);
    }
    expectTranscript();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RefusalStepTest,
    ::testing::Values(
        StepCase{"MailFrom", Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("550 5.4.5 quota")},
                 SmtpStep::MailFrom},
        StepCase{"Recipient",
                 Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("250 ok"), C("RCPT TO:<to@test>"),
                        S("550 5.1.1 unknown"), C("RSET"), S("250 ok")},
                 SmtpStep::Recipient},
        StepCase{"Data",
                 Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("250 ok"), C("RCPT TO:<to@test>"),
                        S("250 ok"), C("DATA"), S("451 4.7.1 later"), C("RSET"), S("250 ok")},
                 SmtpStep::Data},
        StepCase{"EndOfData",
                 Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("250 ok"), C("RCPT TO:<to@test>"),
                        S("250 ok"), C("DATA"), S("354 go"), DataText, S("554 5.7.1 refused"), C("RSET"),
                        S("250 ok")},
                 SmtpStep::EndOfData}),
    [](const auto &info) { return std::string(info.param.name); });

// What a caller must do before any of a message's content goes out (the run's record of it) comes
// once the server took the whole envelope and before DATA; never for an envelope refused; what it
// throws ends the send with the transaction reset and reaches the caller as it was.
struct EnvelopeCase
{
    const char *name;
    QStringList recipients;
    Script transaction; // after the login
    bool callbackThrows;
    int calls;
    QByteArray sentBeforeCall; // the last line the server had when the callback came
    std::string outcome;

    friend void PrintTo(const EnvelopeCase &c, std::ostream *os) { *os << c.name; }
};

class EnvelopeCallbackTest : public SessionTest, public ::testing::WithParamInterface<EnvelopeCase>
{
};

struct CallerFailure
{
};

TEST_P(EnvelopeCallbackTest, ComesBetweenTheEnvelopeAndData)
{
    const EnvelopeCase &c = GetParam();
    listen(Greeting + EhloWithLogin + Login + c.transaction + Quit);
    smtp.connect();
    MailMessage message;
    message.clock = &Noon;
    message.from().address = QStringLiteral("from@test");
    for (const QString &address : c.recipients)
        message.recipients.add().address = address;
    message.body = {QStringLiteral("body")};
    int calls = 0;
    QByteArray sentBeforeCall;
    bool callerFailureReached = false;
    const std::string result = outcome([&] {
        try {
            smtp.send(message, [&] {
                ++calls;
                sentBeforeCall = server->receivedSoFar();
                if (c.callbackThrows)
                    throw CallerFailure();
            });
        } catch (const CallerFailure &) {
            callerFailureReached = true;
        }
    });
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(callerFailureReached, c.callbackThrows);
    EXPECT_EQ(result, c.outcome);
    if (calls > 0) {
        EXPECT_TRUE(sentBeforeCall.endsWith(c.sentBeforeCall)) << sentBeforeCall.toStdString();
        EXPECT_FALSE(sentBeforeCall.contains("DATA"));
    }
    expectTranscript();
}

INSTANTIATE_TEST_SUITE_P(
    Envelope, EnvelopeCallbackTest,
    ::testing::Values(
        EnvelopeCase{"OneRecipient", {QStringLiteral("to@test")}, Transaction, false, 1, "RCPT TO:<to@test>\r\n", "ok"},
        EnvelopeCase{"TwoRecipients",
                     {QStringLiteral("to@test"), QStringLiteral("cc@test")},
                     Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("250 ok"), C("RCPT TO:<to@test>"),
                            S("250 ok"), C("RCPT TO:<cc@test>"), S("251 forwarded"), C("DATA"), S("354 go"), DataText,
                            S("250 queued")},
                     false,
                     1,
                     "RCPT TO:<cc@test>\r\n",
                     "ok"},
        EnvelopeCase{"RecipientRefused",
                     {QStringLiteral("to@test")},
                     Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("250 ok"), C("RCPT TO:<to@test>"),
                            S("550 5.1.1 unknown"), C("RSET"), S("250 ok")},
                     false,
                     0,
                     "",
                     "reply 550"},
        EnvelopeCase{"CallerFails",
                     {QStringLiteral("to@test")},
                     Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("250 ok"), C("RCPT TO:<to@test>"),
                            S("250 ok"), C("RSET"), S("250 ok")},
                     true,
                     1,
                     "RCPT TO:<to@test>\r\n",
                     "ok"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(SessionTest, InvalidReplyLeavesNoLastResult)
{
    listen({S("2")});
    EXPECT_EQ(outcome([&] { smtp.connect(); }), "邮件服务器的回复无法识别，回复代码无效：2");
    EXPECT_TRUE(smtp.lastReply().isEmpty());
}

TEST_F(SessionTest, ChecksBeforeConnectingPutNothingOnTheWire)
{
    EXPECT_EQ(send(), "not connected");
    EXPECT_EQ(outcome([&] { smtp.disconnect(); }), "ok");

    listen(Greeting + EhloWithLogin + Quit);
    smtp.host.clear();
    EXPECT_THROW(smtp.connect(), HostRequiredError);
    smtp.host = QStringLiteral("127.0.0.1");
    const quint16 port = smtp.port;
    smtp.port = 0;
    EXPECT_THROW(smtp.connect(), PortRequiredError);
    smtp.port = port;
    smtp.connect();
    EXPECT_EQ(outcome([&] { smtp.connect(); }), "已经连接到邮件服务器");
    expectTranscript();
}

TEST_F(SessionTest, RefusedConnectReleasesTheConnection)
{
    listen({});
    smtp.port = 1; // nothing listens there on loopback
    EXPECT_EQ(outcome([&] { smtp.connect(); }), "socket " + std::to_string(ECONNREFUSED));
    EXPECT_EQ(send(), "not connected");
}

// A server that refuses the greeting and then reads on without answering QUIT: the refusal comes
// back after the short goodbye limit, not after the reply limit of every other wait.
TEST_F(SessionTest, RefusedGreetingDoesNotWaitLongForTheReplyToQuit)
{
    for (const Script &refusal : {Script{S("554 no service here"), C("QUIT")},
                                  Greeting + Script{S("554 go away"), C("HELO client.test"), S("554 go away"), C("QUIT")}}) {
        listen(refusal);
        smtp.timeouts = SmtpTimeouts::all(10 * 60 * 1000);
        smtp.timeouts.goodbye = 300;
        auto connecting = std::async(std::launch::async, [&] { return outcome([&] { smtp.connect(); }); });
        // A hang would keep the test far beyond this; the goodbye limit ends it well before.
        ASSERT_EQ(connecting.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        EXPECT_EQ(connecting.get(), "reply 554");
        EXPECT_FALSE(smtp.isConnected());
        EXPECT_EQ(server->received(), server->expected());
    }
}

TEST_F(SessionTest, UnnoticedResetFailsTheNextSendThenEveryLaterOneAtOnce)
{
    listen(Greeting + EhloWithLogin
           + Script{ScriptedServer::pause(std::chrono::milliseconds(200)), ScriptedServer::reset()});
    smtp.connect();
    server->received(); // the reset has happened
    EXPECT_EQ(send(), "socket " + std::to_string(ECONNRESET));
    EXPECT_EQ(send(), "closed");
    EXPECT_EQ(outcome([&] { smtp.disconnect(); }), "ok");
    EXPECT_EQ(server->received(), server->expected());
}

TEST_F(SessionTest, UnnoticedResetFailsDisconnectAfterClosing)
{
    listen(Greeting + EhloWithLogin
           + Script{ScriptedServer::pause(std::chrono::milliseconds(200)), ScriptedServer::reset()});
    smtp.connect();
    server->received();
    EXPECT_EQ(outcome([&] { smtp.disconnect(); }), "socket " + std::to_string(ECONNRESET));
    EXPECT_FALSE(smtp.isConnected());
    EXPECT_EQ(server->received(), server->expected());
}

TEST_F(SessionTest, ResetWhileWaitingForAReplyFailsTheSend)
{
    listen(Greeting + EhloWithLogin + Login + Script{C("RSET"), ScriptedServer::reset()});
    smtp.connect();
    EXPECT_EQ(send(), "socket " + std::to_string(ECONNRESET));
    EXPECT_NE(send(), "ok");
    EXPECT_EQ(outcome([&] { smtp.disconnect(); }), "ok");
    EXPECT_EQ(server->received(), server->expected());
}

TEST_F(SessionTest, ServerThatNeverAnswersRunsOutOfTime)
{
    listen(Greeting + EhloWithLogin + Script{C("AUTH LOGIN")});
    smtp.connect();
    smtp.timeouts = SmtpTimeouts::all(200);
    EXPECT_EQ(send(), "socket " + std::to_string(ETIMEDOUT));
    EXPECT_FALSE(smtp.isConnected());
    EXPECT_EQ(send(), "closed");
    expectTranscript();
}

TEST_F(SessionTest, AbortEndsAWaitingSendAtOnce)
{
    listen(Greeting + EhloWithLogin + Script{C("AUTH LOGIN")});
    smtp.timeouts = SmtpTimeouts::all(noTimeout);
    smtp.connect();
    std::thread window([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        smtp.abort();
    });
    EXPECT_EQ(send(), "socket " + std::to_string(ECONNABORTED));
    window.join();
    EXPECT_EQ(outcome([&] { smtp.connect(); }), "socket " + std::to_string(ECONNABORTED));
    smtp.resetAbort();
    expectTranscript();
}

TEST_F(SessionTest, ControlCharacterInAnAddressFailsTheSendBeforeTheWire)
{
    listen(Greeting + EhloWithLogin + Login + Transaction + Quit);
    smtp.connect();
    const QString injected = QStringLiteral("to@test>\r\nRCPT TO:<other@test");
    EXPECT_EQ(send({QStringLiteral("from@test"), {injected}}),
              "电子邮件地址中含有控制字符，邮件未发送：to@test>\\x0d\\x0aRCPT TO:<other@test");
    EXPECT_EQ(send({QStringLiteral("from@test\n@x"), {QStringLiteral("to@test")}}),
              "电子邮件地址中含有控制字符，邮件未发送：from@test\\x0a@x");
    EXPECT_EQ(send({QStringLiteral("from@test"), {QStringLiteral("to\x7f@test")}}),
              "电子邮件地址中含有控制字符，邮件未发送：to\\x7f@test");
    // One only the header would carry: refused before the transaction too, not after DATA.
    MailMessage message;
    message.from().address = QStringLiteral("from@test");
    message.recipients.add().address = QStringLiteral("to@test");
    message.replyTo.add().address = QStringLiteral("reply@test\r\nBcc: x@y");
    EXPECT_EQ(outcome([&] { smtp.send(message); }), "电子邮件地址中含有控制字符，邮件未发送：reply@test\\x0d\\x0aBcc: x@y");
    EXPECT_EQ(send(), "ok");
    expectTranscript();
}

class BrokenClock : public Clock
{
public:
    QDateTime now() const override { return {}; }
};

TEST_F(SessionTest, WriterFailureAfterDataClosesTheConnection)
{
    listen(Greeting + EhloWithLogin + Login
           + Script{C("RSET"), S("250 ok"), C("MAIL FROM: <from@test>"), S("250 ok"), C("RCPT TO:<to@test>"),
                    S("250 ok"), C("DATA"), S("354 go")});
    smtp.connect();
    EXPECT_EQ(send({}, BrokenClock()), "无法取得时区信息，邮件的日期无法写出");
    EXPECT_FALSE(smtp.isConnected());
    // Nothing more goes out: the server would take it as message text.
    EXPECT_EQ(send(), "closed");
    expectTranscript();
}

TEST_F(SessionTest, GreetsWithTheLocalHostNameAsAscii)
{
    smtp.heloName.clear();
    const QByteArray ehlo = "EHLO " + localHostName().toLatin1();
    listen({S("220 hi"), C(ehlo.constData()), S("250 ok"), C("QUIT"), S("221 bye")});
    smtp.connect();
    expectTranscript();
    EXPECT_FALSE(localHostName().isEmpty());

    smtp.heloName = QString::fromUtf8("主机7");
    listen({S("220 hi"), C("EHLO ??7"), S("250 ok"), C("QUIT"), S("221 bye")});
    smtp.connect();
    expectTranscript();
}

TEST_F(SessionTest, MailAgentSetsOrRemovesTheMailerHeader)
{
    listen(Greeting + EhloWithLogin + Login + Transaction + Transaction + Quit);
    smtp.connect();
    smtp.mailAgent = QStringLiteral("Quillon 1.0");
    EXPECT_EQ(send(), "ok");
    smtp.mailAgent.clear();
    EXPECT_EQ(send(), "ok");
    expectTranscript();
    const QList<QByteArray> data = server->dataBlocks();
    ASSERT_EQ(data.size(), 2);
    EXPECT_TRUE(data[0].contains("\r\nX-Mailer: Quillon 1.0\r\n")) << data[0].toStdString();
    EXPECT_FALSE(data[1].contains("X-Mailer")) << data[1].toStdString();
}

// The body goes as 8-bit data only to a server whose EHLO reply offered 8BITMIME, and then MAIL FROM
// says so; any other server gets 7-bit data only.
struct EightBitCase
{
    const char *name;
    Script ehloReply;
    QString body;
    const char *mailFrom;
    const char *transfer;

    friend void PrintTo(const EightBitCase &c, std::ostream *os) { *os << c.name; }
};

class EightBitMimeTest : public SessionTest, public ::testing::WithParamInterface<EightBitCase>
{
};

TEST_P(EightBitMimeTest, DeclaresTheBodyOnlyWhereOffered)
{
    const EightBitCase &c = GetParam();
    smtp.userName.clear();
    listen(Greeting + c.ehloReply
           + Script{C("RSET"), S("250 ok"), C(c.mailFrom), S("250 ok"), C("RCPT TO:<to@test>"), S("250 ok"), C("DATA"),
                    S("354 go"), DataText, S("250 ok")}
           + Quit);
    smtp.connect();
    EXPECT_EQ(send({QStringLiteral("from@test"), {QStringLiteral("to@test")}, c.body}), "ok");
    expectTranscript();
    const QList<QByteArray> data = server->dataBlocks();
    ASSERT_EQ(data.size(), 1);
    EXPECT_TRUE(data[0].contains(QByteArray("\r\nContent-Transfer-Encoding: ") + c.transfer + "\r\n\r\n"))
        << data[0].toStdString();
    if (QByteArray(c.transfer) != "8bit") {
        EXPECT_TRUE(std::all_of(data[0].begin(), data[0].end(), [](char b) { return uchar(b) < 0x80; }))
            << data[0].toStdString();
    }
}

const Script Offers8BitMime = {S("250-mail.test"), S("250 8BITMIME")};
const QString Chinese = QStringLiteral("你好，\n第一行");

INSTANTIATE_TEST_SUITE_P(
    Session, EightBitMimeTest,
    ::testing::Values(
        EightBitCase{"Offered", Offers8BitMime, Chinese, "MAIL FROM: <from@test> BODY=8BITMIME", "8bit"},
        EightBitCase{"OfferedInSmallLetters",
                     {S("250-mail.test"), S("250 8bitmime")},
                     Chinese,
                     "MAIL FROM: <from@test> BODY=8BITMIME",
                     "8bit"},
        EightBitCase{
            "NotOffered", {S("250-mail.test"), S("250 AUTH LOGIN")}, Chinese, "MAIL FROM: <from@test>", "base64"},
        EightBitCase{
            "OnlyALookalike", {S("250-mail.test"), S("250 X-8BITMIME")}, Chinese, "MAIL FROM: <from@test>", "base64"},
        EightBitCase{"HeloGreeting",
                     {S("502 not here"), C("HELO client.test"), S("250 ok")},
                     Chinese,
                     "MAIL FROM: <from@test>",
                     "base64"},
        EightBitCase{"AsciiBodyNeedsNoParameter", Offers8BitMime, QStringLiteral("hello"), "MAIL FROM: <from@test>",
                     "7bit"},
        EightBitCase{"OverlongLineEvenWhenOffered", Offers8BitMime, QString(999, u'a'), "MAIL FROM: <from@test>",
                     "base64"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
