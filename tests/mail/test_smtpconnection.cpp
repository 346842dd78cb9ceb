#include "MailErrors.h"
#include "SmtpConnection.h"

#include "Printers.h"
#include "ScriptedServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <thread>
#include <vector>

using testsupport::ScriptedServer;
using Step = ScriptedServer::Step;

namespace {

// The message of the error the call raises, and that it is of the kind E.
template <typename E> QString errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const E &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QStringLiteral("another kind of error: ") + QString::fromUtf8(e.what());
    }
    return QStringLiteral("no error");
}

QString socketError(int error)
{
    return socketErrorExplanation(error) + QStringLiteral("（系统错误号 %1）").arg(error);
}

// A loopback listener that never accepts: connections complete in the kernel and then nothing reads.
struct SilentListener
{
    explicit SilentListener(int backlog = 4)
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof local;
        ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local);
        ::listen(fd, backlog);
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length);
        port = ntohs(local.sin_port);
    }
    ~SilentListener() { ::close(fd); }
    int fd;
    quint16 port;
};

class ConnectionTest : public ::testing::Test
{
protected:
    void open(const ScriptedServer &server) { connection.open(server.address(), server.port(), 5000); }

    AbortSignal abort;
    SmtpConnection connection{abort};
};

struct ReplyCase
{
    const char *name;
    QByteArray bytes;
    const char *code; // empty: the read fails with the message in text
    int numeric;
    QStringList text;
    EnhancedStatusCode enhanced;

    friend void PrintTo(const ReplyCase &c, std::ostream *os) { *os << c.name; }
};

class ReplyReadingTest : public ConnectionTest, public ::testing::WithParamInterface<ReplyCase>
{
};

TEST_P(ReplyReadingTest, ReadsTheReplyFromTheWire)
{
    const ReplyCase &c = GetParam();
    ScriptedServer server({ScriptedServer::sayRaw(c.bytes)});
    open(server);
    if (*c.code == 0) {
        EXPECT_EQ(errorOf<MailError>([&] { connection.readReply(5000); }), c.text.first());
    } else {
        const SmtpReply reply = connection.readReply(5000);
        EXPECT_EQ(reply.code, QString::fromLatin1(c.code));
        EXPECT_EQ(reply.numericCode, c.numeric);
        EXPECT_EQ(reply.text, c.text);
        EXPECT_EQ(reply.enhancedCode, c.enhanced);
    }
    connection.close();
}

INSTANTIATE_TEST_SUITE_P(
    Connection, ReplyReadingTest,
    ::testing::Values(
        ReplyCase{"EnhancedCode", "250 2.1.0 Sender OK\r\n", "250", 250, {"Sender OK"}, {2, 1, 0, true}},
        ReplyCase{"TwoLines", "250-first\r\n250 last\r\n", "250", 250, {"first", "last"}, {}},
        ReplyCase{"LfAlone", "250-first\n250 last\n", "250", 250, {"first", "last"}, {}},
        ReplyCase{"BlankLinesSkipped", "\r\n  \r\n250-first\r\n\r\n250 last\r\n", "250", 250, {"first", "last"}, {}},
        ReplyCase{"CodeOnly", "354\r\n", "354", 354, {""}, {}},
        ReplyCase{"TrailingBlanksTrimmed", "220 ready \t \r\n", "220", 220, {"ready"}, {}},
        ReplyCase{"FourthLetterIsInvalid", "250x\r\n250 next\r\n", "", 0, {"邮件服务器的回复无法识别，回复代码无效：250x"}, {}},
        // Lines that cannot be reply lines end the reading at once, without waiting for a last line.
        ReplyCase{"WordsForAGreeting", "hello\r\n", "", 0, {"邮件服务器的回复无法识别，回复代码无效：hell"}, {}},
        ReplyCase{"BinaryAfterAContinuation",
                  "250-first\r\n\x01\xff\xfe\r\n",
                  "",
                  0,
                  {QStringLiteral("邮件服务器的回复无法识别，回复代码无效：") + QChar(0xfffd) + QChar(0xfffd)},
                  {}},
        ReplyCase{"HundredLinesAreEnough",
                  QByteArray("250-x\r\n").repeated(99) + "250 end\r\n",
                  "250",
                  250,
                  QStringList(99, QStringLiteral("x")) << QStringLiteral("end"),
                  {}},
        ReplyCase{"MoreLinesThanAnyReply",
                  QByteArray("250-x\r\n").repeated(100) + "250 end\r\n",
                  "",
                  0,
                  {"邮件服务器的回复过长：超过 100 行或 64 KB"},
                  {}},
        ReplyCase{"MoreBytesThanAnyReply",
                  QByteArray("250-" + QByteArray(1000, 'x') + "\r\n").repeated(70),
                  "",
                  0,
                  {"邮件服务器的回复过长：超过 100 行或 64 KB"},
                  {}},
        ReplyCase{"ShortLineIsInvalid", "OK\r\n", "", 0, {"邮件服务器的回复无法识别，回复代码无效：OK"}, {}},
        ReplyCase{"CodeBelowRange", "099 low\r\n", "", 0, {"邮件服务器的回复无法识别，回复代码无效：099"}, {}},
        ReplyCase{"LettersInCode", "2x0 odd\r\n", "", 0, {"邮件服务器的回复无法识别，回复代码无效：2x0"}, {}},
        ReplyCase{"EhloCapabilities",
                  "250-mail.example greets you\r\n250-AUTH=LOGIN PLAIN\r\n250 8BITMIME\r\n",
                  "250",
                  250,
                  {"mail.example greets you", "AUTH=LOGIN PLAIN", "8BITMIME"},
                  {}},
        ReplyCase{"NonAsciiText",
                  "550 5.1.1 \xe6\x97\xa0\xe6\xad\xa4\xe7\x94\xa8\xe6\x88\xb7\r\n",
                  "550",
                  550,
                  {QString::fromUtf8("无此用户")},
                  {5, 1, 1, true}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ConnectionTest, ReplyLinesUpToTheMaximumLengthAreRead)
{
    const QByteArray longest(16384, 'x');
    ScriptedServer server({ScriptedServer::sayRaw("250 " + longest.left(16380) + "\r\n")});
    open(server);
    EXPECT_EQ(connection.readReply(5000).text.first().size(), 16380);
}

TEST_F(ConnectionTest, LongerReplyLinesFailWithoutWaitingForTheirEnd)
{
    // No LF ever comes: the read must give up once the limit is passed, not wait for the rest.
    ScriptedServer server({ScriptedServer::sayRaw("250 " + QByteArray(16381, 'x'))});
    open(server);
    EXPECT_EQ(errorOf<LineTooLongError>([&] { connection.readReply(5000); }),
              QStringLiteral("邮件服务器回复的一行超过了长度上限"));
}

TEST_F(ConnectionTest, WritesAsciiLinesDotStuffedLinesAndBlocksExactly)
{
    ScriptedServer server({});
    open(server);
    connection.writeLine(QString::fromUtf8("EHLO 主机é"));
    connection.writeDotStuffedLine(QStringLiteral("."));
    connection.writeDotStuffedLine(QStringLiteral(".a"));
    connection.writeDotStuffedLine(QStringLiteral("b."));
    connection.writeBlock({QStringLiteral("From: x"), QStringLiteral(".y")});
    connection.writeLine(QString::fromUtf8("正文"), TextEncoding::Utf8);
    connection.close();
    EXPECT_EQ(server.received(),
              QByteArray("EHLO ???\r\n..\r\n..a\r\nb.\r\nFrom: x\r\n.y\r\n\xe6\xad\xa3\xe6\x96\x87\r\n"));
}

TEST_F(ConnectionTest, ServerCloseFailsTheReplyAndEveryLaterWrite)
{
    ScriptedServer server({ScriptedServer::sayRaw("250-first\r\n250 partial"), ScriptedServer::close()});
    open(server);
    EXPECT_EQ(errorOf<ConnectionClosedError>([&] { connection.readReply(5000); }),
              QStringLiteral("服务器关闭了连接"));
    EXPECT_FALSE(connection.isConnected());
    EXPECT_EQ(errorOf<ConnectionClosedError>([&] { connection.writeLine(QStringLiteral("QUIT")); }),
              QStringLiteral("服务器关闭了连接"));
    EXPECT_EQ(server.received(), QByteArray());
}

TEST_F(ConnectionTest, UnreadInputKeepsAClosedConnectionConnected)
{
    ScriptedServer server({ScriptedServer::say("421 closing"), ScriptedServer::close()});
    open(server);
    server.received(); // the server is gone
    EXPECT_TRUE(connection.isConnected());
    EXPECT_EQ(connection.readReply(5000).numericCode, 421);
    EXPECT_FALSE(connection.isConnected());
}

TEST_F(ConnectionTest, ResetFailsTheReadWithTheSocketError)
{
    ScriptedServer server({ScriptedServer::pause(std::chrono::milliseconds(50)), ScriptedServer::reset()});
    open(server);
    EXPECT_EQ(errorOf<SocketError>([&] { connection.readReply(5000); }), socketError(ECONNRESET));
}

TEST_F(ConnectionTest, UnnoticedResetFailsTheConnectedTestAfterClosing)
{
    ScriptedServer server({ScriptedServer::pause(std::chrono::milliseconds(50)), ScriptedServer::reset()});
    open(server);
    server.received();
    EXPECT_EQ(errorOf<SocketError>([&] { connection.isConnected(); }), socketError(ECONNRESET));
    EXPECT_FALSE(connection.isConnected());
    EXPECT_EQ(errorOf<ConnectionClosedError>([&] { connection.writeLine(QStringLiteral("QUIT")); }),
              QStringLiteral("服务器关闭了连接"));
}

TEST_F(ConnectionTest, ReplyWaitThatRunsOutClosesTheConnection)
{
    ScriptedServer server({});
    open(server);
    EXPECT_EQ(errorOf<SocketError>([&] { connection.readReply(100); }),
              QStringLiteral("邮件服务器在限定的时间内没有回应（系统错误号 %1）").arg(ETIMEDOUT));
    EXPECT_FALSE(connection.isConnected());
    EXPECT_EQ(errorOf<ConnectionClosedError>([&] { connection.writeLine(QStringLiteral("QUIT")); }),
              QStringLiteral("服务器关闭了连接"));
    EXPECT_EQ(server.received(), QByteArray());
}

TEST_F(ConnectionTest, WriteThePeerNeverTakesRunsOut)
{
    SilentListener listener;
    connection.open(QStringLiteral("127.0.0.1"), listener.port, 5000);
    connection.writeTimeout = 100;
    const QByteArray big(64 * 1024 * 1024, 'x');
    EXPECT_EQ(errorOf<SocketError>([&] { connection.writeBytes(big); }), socketError(ETIMEDOUT));
    EXPECT_FALSE(connection.isConnected());
}

TEST_F(ConnectionTest, WriteThatKeepsMovingOutlastsItsLimit)
{
    // A peer that takes a long text slowly but steadily: the limit is for a peer that stopped.
    SilentListener listener;
    const QByteArray big(32 * 1024 * 1024, 'x');
    qint64 taken = 0;
    std::thread reader([&] {
        const int peer = ::accept(listener.fd, nullptr, nullptr);
        std::vector<char> piece(1024 * 1024);
        while (taken < big.size()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const ssize_t n = ::recv(peer, piece.data(), piece.size(), 0);
            if (n <= 0)
                break;
            taken += n;
        }
        ::close(peer);
    });
    connection.open(QStringLiteral("127.0.0.1"), listener.port, 5000);
    connection.writeTimeout = 400;
    EXPECT_EQ(errorOf<SocketError>([&] { connection.writeBytes(big); }), QStringLiteral("no error"));
    reader.join();
    EXPECT_EQ(taken, big.size());
}

TEST_F(ConnectionTest, AbortEndsABlockedWaitFromAnotherThread)
{
    ScriptedServer server({});
    open(server);
    std::thread aborter([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        abort.raise();
    });
    EXPECT_EQ(errorOf<SocketError>([&] { connection.readReply(noTimeout); }), socketError(ECONNABORTED));
    aborter.join();
    EXPECT_FALSE(connection.isConnected());
    // Still raised: the next opening fails at once, before any socket is made.
    EXPECT_EQ(errorOf<SocketError>([&] { open(server); }), socketError(ECONNABORTED));
    abort.reset();
}

struct OpenCase
{
    const char *name;
    QString host;
    bool reachesLoopback;

    friend void PrintTo(const OpenCase &c, std::ostream *os) { *os << c.name; }
};

class OpeningTest : public ConnectionTest, public ::testing::WithParamInterface<OpenCase>
{
};

TEST_P(OpeningTest, FindsTheServer)
{
    const OpenCase &c = GetParam();
    ScriptedServer server({ScriptedServer::say("220 hi")}, QStringLiteral("127.0.0.1"));
    if (c.reachesLoopback) {
        connection.open(c.host, server.port(), 5000);
        EXPECT_EQ(connection.readReply(5000).numericCode, 220);
        connection.close();
    } else {
        const QString message = errorOf<SocketError>([&] { connection.open(c.host, server.port(), 5000); });
        EXPECT_EQ(message, QStringLiteral("找不到邮件服务器，请检查服务器名称"));
        EXPECT_FALSE(connection.isConnected());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Connection, OpeningTest,
    ::testing::Values(OpenCase{"Dotted", QStringLiteral("127.0.0.1"), true},
                      OpenCase{"LocalhostAnyCase", QStringLiteral("LocalHost"), true},
                      OpenCase{"TrailingBlankIsPartOfTheName", QStringLiteral("localhost "), false},
                      OpenCase{"UnknownName", QStringLiteral("no-such-host.invalid"), false},
                      OpenCase{"NulInName", QStringLiteral("localhost") + QChar(0) + QStringLiteral("x"), false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ConnectionTest, RefusedConnectIsTheSocketError)
{
    quint16 port;
    {
        SilentListener closed;
        port = closed.port;
    }
    EXPECT_EQ(errorOf<SocketError>([&] { connection.open(QStringLiteral("127.0.0.1"), port, 5000); }),
              socketError(ECONNREFUSED));
    EXPECT_FALSE(connection.isConnected());
}

TEST_F(ConnectionTest, ConnectThatRunsOutIsTheTimeoutError)
{
    // A listener whose accept queue is full drops further connection requests unanswered.
    SilentListener full(0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(full.port);
        remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote);
        fillers.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(errorOf<SocketError>([&] { connection.open(QStringLiteral("127.0.0.1"), full.port, 200); }),
              socketError(ETIMEDOUT));
    for (const int fd : fillers)
        ::close(fd);
}

// The user reads the condition in Chinese and its number; the system's English words stay with the error
// for the trace.
TEST(SocketErrorTest, MessagesCarryNumberAndText)
{
    EXPECT_EQ(SocketError(ECONNREFUSED).message(), QStringLiteral("邮件服务器拒绝了连接（该端口上没有邮件服务）（系统错误号 111）"));
    EXPECT_EQ(SocketError(ETIMEDOUT).message(), QStringLiteral("邮件服务器在限定的时间内没有回应（系统错误号 110）"));
    EXPECT_EQ(SocketError(ENOTEMPTY).message(), QStringLiteral("网络错误（系统错误号 39）"));
    EXPECT_EQ(SocketError(EPIPE).message(), QStringLiteral("与邮件服务器的连接已断开（系统错误号 32）"));
    EXPECT_EQ(SocketError(ECONNRESET).condition, QStringLiteral("Connection reset by peer."));
    EXPECT_THROW(raiseSocketError(ENOTSOCK), NotASocketError);
    EXPECT_EQ(SocketError(EHOSTUNREACH).lastError, EHOSTUNREACH);
}

} // namespace

// A refusal the user reads: its code class explained in Chinese, then the reply as the server wrote it.
TEST(ReplyErrorTest, ExplainsTheCodeClassThenQuotesTheServer)
{
    const struct
    {
        QStringList lines;
        QString message;
    } cases[] = {
        {{QStringLiteral("554 no service here")}, QStringLiteral("邮件服务器拒绝了这一步。服务器的回复：554 no service here")},
        {{QStringLiteral("421 4.3.2 Service shutting down")},
         QStringLiteral("邮件服务器暂时无法处理这一步，请稍后再试。服务器的回复：421 4.3.2 Service shutting down")},
        {{QStringLiteral("550-5.1.1 <x@y>: Recipient address rejected"), QStringLiteral("550 5.1.1 see the help")},
         QStringLiteral("邮件服务器拒绝了这一步。服务器的回复：550 5.1.1 <x@y>: Recipient address rejected\r\nsee the help")},
        {{QStringLiteral("334 VXNlcm5hbWU6")},
         QStringLiteral("邮件服务器的回复不是这一步应有的回复。服务器的回复：334 VXNlcm5hbWU6")},
        {{QStringLiteral("530")}, QStringLiteral("邮件服务器拒绝了这一步。服务器的回复：530")},
    };
    for (const auto &c : cases) {
        const SmtpReplyError error(parseReply(c.lines));
        EXPECT_EQ(error.message(), c.message) << c.lines.join(u'|').toStdString();
    }
}
