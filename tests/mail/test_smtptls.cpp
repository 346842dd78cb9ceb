// The session beyond port 25: implicit TLS and STARTTLS against a real server with throwaway
// certificates, the checks of the server's certificate, the refusals that must stop a submission
// before the password goes out, AUTH PLAIN, and a handshake that never ends.
#include "MailErrors.h"
#include "MailMessage.h"
#include "MessageFixtures.h"
#include "SmtpSession.h"

#include "AiosmtpdServer.h"
#include "Printers.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <cerrno>
#include <thread>

using testsupport::AiosmtpdServer;
using testsupport::ScriptedServer;
using testsupport::TestCertificates;
using Script = std::vector<ScriptedServer::Step>;
using Tls = AiosmtpdServer::Options::Tls;

namespace {

ScriptedServer::Step S(const char *line)
{
    return ScriptedServer::say(line);
}
ScriptedServer::Step C(const char *line)
{
    return ScriptedServer::expect(line);
}

Script operator+(Script a, const Script &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Script Greeting = {S("220 mail.test ESMTP"), C("EHLO client.test")};
const Script Transaction
    = {C("RSET"), S("250 OK"),       C("MAIL FROM: <from@test>"),  S("250 OK"),    C("RCPT TO:<to@test>"), S("250 OK"),
       C("DATA"), S("354 go ahead"), ScriptedServer::expectData(), S("250 queued")};
const Script Quit = {C("QUIT"), S("221 bye")};

MailMessage message(const QString &from, const QString &to, const QStringList &body = {QStringLiteral("body")})
{
    MailMessage m;
    m.charSet = QStringLiteral("utf-8");
    m.from().address = from;
    m.subject = QStringLiteral("hello");
    m.recipients.setAddresses(to);
    m.body = body;
    return m;
}

// The client trusts the throwaway authority, and only that, for as long as the test lasts.
class TlsTest : public ::testing::Test
{
protected:
    TlsTest()
    {
        qputenv("SSL_CERT_FILE", certificates.caFile().toUtf8());
        smtp.heloName = QStringLiteral("client.test");
        smtp.timeouts = SmtpTimeouts::all(10000);
    }
    ~TlsTest() override { qunsetenv("SSL_CERT_FILE"); }

    std::unique_ptr<AiosmtpdServer> startServer(Tls tls, const TestCertificates::ServerCertificate &certificate)
    {
        AiosmtpdServer::Options options;
        options.tls = tls;
        options.certificate = certificate.certificate;
        options.key = certificate.key;
        auto server = std::make_unique<AiosmtpdServer>(options);
        smtp.host = QStringLiteral("localhost");
        smtp.port = server->port();
        smtp.userName = server->user();
        smtp.password = server->password();
        smtp.security = tls == Tls::Implicit ? SmtpSecurity::Implicit : SmtpSecurity::StartTls;
        return server;
    }

    TestCertificates certificates;
    SmtpSession smtp;
};

class DeliveryTest : public TlsTest, public ::testing::WithParamInterface<Tls>
{
};

// Two messages over one encrypted connection, the login made once and only inside TLS. The second
// message is long enough to fill many TLS records, with dot-stuffed lines among them.
TEST_P(DeliveryTest, LogsInOnlyAfterTlsAndDelivers)
{
    const auto server = startServer(GetParam(), certificates.server(QStringLiteral("localhost")));
    smtp.connect();
    if (GetParam() == Tls::StartTls) {
        // The capabilities are those offered after the handshake.
        EXPECT_FALSE(smtp.capabilities().contains(QStringLiteral("STARTTLS")));
        EXPECT_TRUE(smtp.capabilities().contains(QStringLiteral("AUTH LOGIN")));
    }
    QStringList lines;
    for (int i = 0; i < 3000; ++i)
        lines.append(i % 100 == 0 ? QStringLiteral(".") : QString::fromUtf8("第 %1 行，欢迎选购。").arg(i));
    MailMessage first = message(server->user(), QStringLiteral("a@example.test"));
    MailMessage second = message(server->user(), QStringLiteral("b@example.test"), {lines.join(QLatin1Char('\n'))});
    smtp.send(first);
    smtp.send(second);
    smtp.disconnect();

    const QList<testsupport::ReceivedMessage> received = server->waitForMessages(2);
    ASSERT_EQ(received.size(), 2);
    for (const testsupport::ReceivedMessage &m : received) {
        EXPECT_TRUE(m.tls);
        EXPECT_EQ(m.login, server->user());
    }
    EXPECT_EQ(received[1].rcptTos, QStringList{QStringLiteral("b@example.test")});
    EXPECT_TRUE(received[1].data.contains(QString::fromUtf8("\r\n.\r\n第 101 行").toUtf8()));
    EXPECT_TRUE(received[1].data.contains(QString::fromUtf8("第 2999 行，欢迎选购。").toUtf8()));
    EXPECT_EQ(server->authAttempts(), QStringList{QStringLiteral("LOGIN tls")});
}

INSTANTIATE_TEST_SUITE_P(Tls, DeliveryTest, ::testing::Values(Tls::Implicit, Tls::StartTls),
                         [](const auto &info) { return info.param == Tls::Implicit ? "Implicit" : "StartTls"; });

// The server process dies after the first message: over TLS as over plain TCP, the next sends fail at
// once instead of waiting for their limits, and the session ends closed.
TEST_F(TlsTest, ServerGoneFailsTheNextSendsAtOnce)
{
    auto server = startServer(Tls::Implicit, certificates.server(QStringLiteral("localhost")));
    smtp.timeouts = SmtpTimeouts::all(20000);
    smtp.connect();
    MailMessage m = message(server->user(), QStringLiteral("a@example.test"));
    smtp.send(m);
    server.reset();

    QElapsedTimer timer;
    timer.start();
    EXPECT_NE(outcome([&] { smtp.send(m); }), "ok");
    EXPECT_NE(outcome([&] { smtp.send(m); }), "ok");
    outcome([&] { smtp.disconnect(); });
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_FALSE(smtp.isConnected());
}

struct CertificateCase
{
    const char *name;
    Tls tls;
    QString dnsName;
    TestCertificates::Issuer issuer;
    bool expired;
    QString message;

    friend void PrintTo(const CertificateCase &c, std::ostream *os) { *os << c.name; }
};

class CertificateTest : public TlsTest, public ::testing::WithParamInterface<CertificateCase>
{
};

// A certificate that fails a check ends the connection in the handshake: the error says which check,
// and the server sees no login and no message.
TEST_P(CertificateTest, FailedCheckEndsTheConnectionBeforeTheLogin)
{
    const CertificateCase &c = GetParam();
    const auto certificate = certificates.server(c.dnsName, c.issuer, c.expired);
    const auto server = startServer(c.tls, certificate);
    EXPECT_EQ(outcome([&] { smtp.connect(); }), c.message.toStdString());
    smtp.pinnedFingerprint = TestCertificates::fingerprint(certificate.certificate);
    EXPECT_EQ(outcome([&] { smtp.connect(); }), c.message.toStdString());
    EXPECT_FALSE(smtp.isConnected());
    MailMessage m = message(server->user(), QStringLiteral("a@example.test"));
    EXPECT_NE(outcome([&] { smtp.send(m); }), "ok");
    EXPECT_EQ(outcome([&] { smtp.disconnect(); }), "ok");
    // Give the server the time to note anything that might have come.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(server->messages().isEmpty());
    EXPECT_TRUE(server->authAttempts().isEmpty());
}

const QString WrongName = QStringLiteral("服务器证书与服务器名称不符");
const QString Expired = QStringLiteral("服务器证书已过期");
using Issuer = TestCertificates::Issuer;

INSTANTIATE_TEST_SUITE_P(
    Tls, CertificateTest,
    ::testing::Values(CertificateCase{"ImplicitWrongName", Tls::Implicit, QStringLiteral("other.test"),
                                      Issuer::TrustedCa, false, WrongName},
                      // A pin stands in for the issuer only: an expired certificate or one for another
                      // name is never offered for trust.
                      CertificateCase{"ImplicitUnknownIssuerExpired", Tls::Implicit, QStringLiteral("localhost"),
                                      Issuer::UnknownCa, true, Expired},
                      CertificateCase{"StartTlsSelfSignedWrongName", Tls::StartTls, QStringLiteral("other.test"),
                                      Issuer::SelfSigned, false, WrongName},
                      CertificateCase{"ImplicitExpired", Tls::Implicit, QStringLiteral("localhost"), Issuer::TrustedCa,
                                      true, Expired},
                      CertificateCase{"StartTlsWrongName", Tls::StartTls, QStringLiteral("other.test"),
                                      Issuer::TrustedCa, false, WrongName},
                      CertificateCase{"StartTlsSelfSignedExpired", Tls::StartTls, QStringLiteral("localhost"),
                                      Issuer::SelfSigned, true, Expired}),
    [](const auto &info) { return std::string(info.param.name); });

struct TrustCase
{
    const char *name;
    Tls tls;
    TestCertificates::Issuer issuer;
    const char *issuerName;

    friend void PrintTo(const TrustCase &c, std::ostream *os) { *os << c.name; }
};

class TrustTest : public TlsTest, public ::testing::WithParamInterface<TrustCase>
{
};

// A certificate nobody vouches for: refused with its details and nothing sent; its fingerprint
// pinned, the same server is then used; another certificate pinned, it is refused naming both.
TEST_P(TrustTest, RefusedWithDetailsThenTakenByItsFingerprint)
{
    const TrustCase &c = GetParam();
    const auto certificate = certificates.server(QStringLiteral("localhost"), c.issuer);
    const QString fingerprint = TestCertificates::fingerprint(certificate.certificate);
    const auto server = startServer(c.tls, certificate);
    try {
        smtp.connect();
        FAIL() << "connected";
    } catch (const CertificateChangedError &) {
        FAIL() << "nothing was pinned";
    } catch (const UntrustedCertificateError &e) {
        EXPECT_EQ(e.certificate.host, QStringLiteral("localhost"));
        EXPECT_EQ(e.certificate.port, server->port());
        EXPECT_EQ(e.certificate.subject, QStringLiteral("CN=localhost"));
        EXPECT_EQ(e.certificate.issuer, QString::fromLatin1(c.issuerName));
        EXPECT_EQ(e.certificate.fingerprint, fingerprint);
        EXPECT_EQ(e.certificate.notBefore.size(), 19);
        EXPECT_LT(e.certificate.notBefore, e.certificate.notAfter);
        EXPECT_TRUE(e.message().contains(QStringLiteral("SHA-256 指纹：") + fingerprint));
    }
    EXPECT_FALSE(smtp.isConnected());

    const QString other = QStringLiteral("01:02:03");
    smtp.pinnedFingerprint = other;
    try {
        smtp.connect();
        FAIL() << "connected";
    } catch (const CertificateChangedError &e) {
        EXPECT_EQ(e.storedFingerprint, other);
        EXPECT_TRUE(e.message().contains(QStringLiteral("已信任的证书指纹：") + other));
        EXPECT_TRUE(e.message().contains(QStringLiteral("服务器现在的证书指纹：") + fingerprint));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(server->messages().isEmpty());
    EXPECT_TRUE(server->authAttempts().isEmpty());

    smtp.pinnedFingerprint = fingerprint;
    smtp.connect();
    EXPECT_TRUE(smtp.certificateAcceptedByFingerprint());
    MailMessage m = message(server->user(), QStringLiteral("a@example.test"));
    smtp.send(m);
    smtp.disconnect();
    const QList<testsupport::ReceivedMessage> received = server->waitForMessages(1);
    ASSERT_EQ(received.size(), 1);
    EXPECT_TRUE(received[0].tls);
    EXPECT_EQ(server->authAttempts(), QStringList{QStringLiteral("LOGIN tls")});
}

INSTANTIATE_TEST_SUITE_P(
    Tls, TrustTest,
    ::testing::Values(TrustCase{"StartTlsSelfSigned", Tls::StartTls, Issuer::SelfSigned, "CN=localhost"},
                      TrustCase{"ImplicitInternalAuthority", Tls::Implicit, Issuer::UnknownCa,
                                "CN=Quillon test authority unknown-ca"}),
    [](const auto &info) { return std::string(info.param.name); });

// A certificate the system's trust store vouches for needs no pin: a stale one changes nothing.
TEST_F(TlsTest, AVerifiedCertificateIsTakenWhateverWasPinned)
{
    const auto server = startServer(Tls::StartTls, certificates.server(QStringLiteral("localhost")));
    smtp.pinnedFingerprint = QStringLiteral("01:02:03");
    smtp.connect();
    EXPECT_TRUE(smtp.isEncrypted());
    EXPECT_FALSE(smtp.certificateAcceptedByFingerprint());
    smtp.disconnect();
}

// What port 25 stands for: STARTTLS wherever it is offered. Tests cannot listen on 25, so the
// session is told the protection port 25 gives and talks to a server on a free port.
TEST_F(TlsTest, ThePortOf25UsesStartTlsWhenOffered)
{
    const auto server = startServer(Tls::StartTls, certificates.server(QStringLiteral("localhost")));
    smtp.security = securityForPort(25);
    smtp.connect();
    MailMessage m = message(server->user(), QStringLiteral("a@example.test"));
    smtp.send(m);
    smtp.disconnect();
    const QList<testsupport::ReceivedMessage> received = server->waitForMessages(1);
    ASSERT_EQ(received.size(), 1);
    EXPECT_TRUE(received[0].tls);
    EXPECT_EQ(server->authAttempts(), QStringList{QStringLiteral("LOGIN tls")});
}

TEST(TlsStepTest, FollowsThePortAndTheOffer)
{
    struct Case
    {
        quint16 port;
        bool offered;
        TlsStep step;
    };
    for (const Case &c : {Case{25, true, TlsStep::StartTls}, Case{25, false, TlsStep::None},
                          Case{2525, true, TlsStep::StartTls}, Case{2525, false, TlsStep::None},
                          Case{587, true, TlsStep::StartTls}, Case{587, false, TlsStep::Refuse},
                          Case{465, true, TlsStep::None}, Case{465, false, TlsStep::None}}) {
        SCOPED_TRACE(std::to_string(c.port) + (c.offered ? " offered" : " not offered"));
        EXPECT_EQ(tlsStepFor(securityForPort(c.port), c.offered), c.step);
    }
}

// Conversations with a scripted server where the exact bytes matter.
struct Conversation
{
    const char *name;
    SmtpSecurity security;
    Script script;
    std::vector<std::string> outcomes; // connect, then one send per entry after the first, then disconnect
    // The user agreed to a login in clear for this account.
    bool agreed = true;

    friend void PrintTo(const Conversation &c, std::ostream *os) { *os << c.name; }
};

class SecureConversationTest : public ::testing::TestWithParam<Conversation>
{
};

TEST_P(SecureConversationTest, SendsExactlyTheScriptedLines)
{
    const Conversation &c = GetParam();
    ScriptedServer server(c.script);
    SmtpSession smtp;
    smtp.host = server.address();
    smtp.port = server.port();
    smtp.security = c.security;
    smtp.heloName = QStringLiteral("client.test");
    smtp.userName = QStringLiteral("user");
    smtp.password = QStringLiteral("secret");
    smtp.timeouts = SmtpTimeouts::all(5000);
    smtp.cleartextLoginAgreed = c.agreed;

    std::vector<std::string> outcomes{outcome([&] { smtp.connect(); })};
    for (size_t i = 2; i < c.outcomes.size(); ++i) {
        MailMessage m = message(QStringLiteral("from@test"), QStringLiteral("to@test"));
        outcomes.push_back(outcome([&] { smtp.send(m); }));
    }
    outcomes.push_back(outcome([&] { smtp.disconnect(); }));
    EXPECT_EQ(outcomes, c.outcomes);
    EXPECT_EQ(server.received(), server.expected());
}

const std::string NotOffered = "服务器不提供 STARTTLS 加密，未登录，邮件未发送。服务器的回复：250 mail.test AUTH LOGIN";
const std::string Refused = "服务器拒绝了 STARTTLS 加密，未登录，邮件未发送。服务器的回复：454 TLS not available";
const std::string NotAgreed = "服务器不支持加密，密码将以明文发送，未经同意，未登录，邮件未发送";

INSTANTIATE_TEST_SUITE_P(
    Security, SecureConversationTest,
    ::testing::Values(
        // Submission without STARTTLS on offer: the connection ends after EHLO, no AUTH, no QUIT.
        Conversation{"SubmissionWithoutStartTls",
                     SmtpSecurity::StartTls,
                     Greeting + Script{S("250-mail.test"), S("250 AUTH LOGIN")},
                     {NotOffered, "ok"}},
        Conversation{"SubmissionAfterHelo",
                     SmtpSecurity::StartTls,
                     Greeting + Script{S("502 no"), C("HELO client.test"), S("250 mail.test")},
                     {"服务器不提供 STARTTLS 加密，未登录，邮件未发送。服务器的回复：250 mail.test", "ok"}},
        Conversation{"SubmissionStartTlsRefused",
                     SmtpSecurity::StartTls,
                     Greeting
                         + Script{S("250-mail.test"), S("250-STARTTLS"), S("250 AUTH LOGIN"), C("STARTTLS"),
                                  S("454 4.7.0 TLS not available")},
                     {Refused, "ok"}},
        // Offered and then refused, as someone in the path stripping it would: on every port the
        // conversation ends there, without AUTH and without QUIT.
        Conversation{"OtherPortStartTlsRefusedEnds",
                     SmtpSecurity::Opportunistic,
                     Greeting
                         + Script{S("250-mail.test"), S("250-STARTTLS"), S("250 AUTH LOGIN"), C("STARTTLS"),
                                  S("454 4.7.0 TLS not available")},
                     {Refused, "ok"}},
        Conversation{"Port25StartTlsRefusedEnds",
                     SmtpSecurity::Plain,
                     Greeting
                         + Script{S("250-mail.test"), S("250-STARTTLS"), S("250 AUTH LOGIN"), C("STARTTLS"),
                                  S("454 4.7.0 TLS not available")},
                     {Refused, "ok"}},
        // No encryption on offer and no agreement: the session says goodbye before the login.
        Conversation{"Port25LoginInClearNotAgreed",
                     SmtpSecurity::Plain,
                     Greeting + Script{S("250-mail.test"), S("250 AUTH LOGIN")} + Quit,
                     {NotAgreed, "ok"},
                     false},
        Conversation{"OtherPortPlainLoginInClearNotAgreed",
                     SmtpSecurity::Opportunistic,
                     Greeting + Script{S("250-mail.test"), S("250 AUTH PLAIN")} + Quit,
                     {NotAgreed, "ok"},
                     false},
        // Agreed, the written conversation of port 25 is unchanged.
        Conversation{"Port25LoginInClearAgreed",
                     SmtpSecurity::Plain,
                     Greeting
                         + Script{S("250-mail.test"), S("250 AUTH LOGIN"), C("AUTH LOGIN"), S("334 VXNlcm5hbWU6"),
                                  C("dXNlcg=="), S("334 UGFzc3dvcmQ6"), C("c2VjcmV0"), S("235 ok")}
                         + Transaction + Quit,
                     {"ok", "ok", "ok"}},
        // No login on offer: no password would go out, so nothing is asked.
        Conversation{"NoLoginOfferedNothingAsked",
                     SmtpSecurity::Plain,
                     Greeting + Script{S("250 mail.test")} + Transaction + Quit,
                     {"ok", "ok", "ok"},
                     false},
        // A server that wants encryption first without having offered it: explained as such.
        Conversation{"MustIssueStartTlsFirst",
                     SmtpSecurity::Plain,
                     Greeting
                         + Script{S("250 mail.test"), C("RSET"), S("250 OK"), C("MAIL FROM: <from@test>"),
                                  S("530 5.7.0 Must issue a STARTTLS command first")}
                         + Quit,
                     {"ok", "reply 530", "ok"},
                     false},
        // RFC 4616: NUL, user, NUL, password, in base64 after the command.
        Conversation{"PlainWhenLoginIsNotOffered",
                     SmtpSecurity::Opportunistic,
                     Greeting
                         + Script{S("250-mail.test"), S("250 AUTH PLAIN CRAM-MD5"), C("AUTH PLAIN AHVzZXIAc2VjcmV0"),
                                  S("235 2.7.0 OK")}
                         + Transaction + Transaction + Quit,
                     {"ok", "ok", "ok", "ok"}},
        Conversation{"LoginWhenBothAreOffered",
                     SmtpSecurity::Opportunistic,
                     Greeting
                         + Script{S("250-mail.test"), S("250 AUTH PLAIN LOGIN"), C("AUTH LOGIN"), S("334 VXNlcm5hbWU6"),
                                  C("dXNlcg=="), S("334 UGFzc3dvcmQ6"), C("c2VjcmV0"), S("235 ok")}
                         + Transaction + Quit,
                     {"ok", "ok", "ok"}},
        Conversation{"PlainRefusedIsTriedAgainWithTheNextSend",
                     SmtpSecurity::Opportunistic,
                     Greeting
                         + Script{S("250-mail.test"), S("250 AUTH PLAIN"), C("AUTH PLAIN AHVzZXIAc2VjcmV0"),
                                  S("535 5.7.8 bad credentials"), C("AUTH PLAIN AHVzZXIAc2VjcmV0"), S("235 ok")}
                         + Transaction + Quit,
                     {"ok", "reply 535", "ok", "ok"}}),
    [](const auto &info) { return std::string(info.param.name); });

// A server that takes the connection and never completes the handshake is cut off by the connect
// limit; an abort ends the wait at once.
TEST(HandshakeTest, StalledHandshakeEndsByTheLimitOrTheAbort)
{
    // Past its script the server reads on and never answers.
    const Script stalls = {};
    const Script stallsAfterStartTls
        = Greeting + Script{S("250-mail.test"), S("250 STARTTLS"), C("STARTTLS"), S("220 go ahead")};
    for (const bool implicit : {true, false}) {
        for (const bool abort : {false, true}) {
            SCOPED_TRACE(std::string(implicit ? "implicit" : "STARTTLS") + (abort ? ", abort" : ", limit"));
            ScriptedServer server(implicit ? stalls : stallsAfterStartTls);
            SmtpSession smtp;
            smtp.host = server.address();
            smtp.port = server.port();
            smtp.security = implicit ? SmtpSecurity::Implicit : SmtpSecurity::StartTls;
            smtp.heloName = QStringLiteral("client.test");
            smtp.timeouts = SmtpTimeouts::all(abort ? 30000 : 5000);
            smtp.timeouts.connect = abort ? 30000 : 300;
            std::thread window;
            if (abort) {
                window = std::thread([&smtp] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                    smtp.abort();
                });
            }
            QElapsedTimer timer;
            timer.start();
            EXPECT_EQ(outcome([&] { smtp.connect(); }), "socket " + std::to_string(abort ? ECONNABORTED : ETIMEDOUT));
            EXPECT_LT(timer.elapsed(), 5000);
            EXPECT_FALSE(smtp.isConnected());
            if (window.joinable())
                window.join();
        }
    }
}

} // namespace
