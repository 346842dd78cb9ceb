// Messages per second over one SMTP connection on loopback: this session against Python's smtplib
// sending the same bytes to the same sink, and the floor that the round trips alone allow; the same
// session over TLS, and what setting up a connection costs with and without TLS.

#include "PythonPeer.h"
#include "SmtpSink.h"

#include "MailMessage.h"
#include "MemorySink.h"
#include "MessageWriter.h"
#include "SmtpSession.h"
#include "TestCertificates.h"
#include "TextBuffer.h"

#include <QTemporaryFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <string>

namespace {

// Wall seconds per message of the plain session, smtplib and the floor, as this run measured them,
// for the summary row at the end.
std::map<std::string, double> &perMessage()
{
    static std::map<std::string, double> seconds;
    return seconds;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A message as the send run makes it: Chinese sender name and subject, a greeting and a few lines.
MailMessage makeMessage()
{
    MailMessage message;
    message.charSet = QStringLiteral("utf-8");
    message.from().address = QStringLiteral("from@bench.test");
    message.subject = QString::fromUtf8("【新品上市】秋季新款，欢迎选购！");
    message.from().name = QString::fromUtf8("上海星辰贸易有限公司");
    message.replyTo.setAddresses(QStringLiteral("from@bench.test"));
    message.recipients.setAddresses(QStringLiteral("to@bench.test"));
    QString content;
    for (int i = 0; i < 12; ++i)
        content += QString::fromUtf8("\n本店新品已上架，全场八折，欢迎光临选购。第 %1 行。").arg(i + 1);
    message.body = {QString::fromUtf8("你好， 张三,  ") + content};
    return message;
}

// A sink with TLS from the first byte, its certificate for localhost from a throwaway authority the
// session is told to trust; or a plain sink.
struct Sink
{
    explicit Sink(bool tls)
    {
        if (!tls) {
            sink = std::make_unique<SmtpSink>();
            return;
        }
        certificates = std::make_unique<testsupport::TestCertificates>();
        qputenv("SSL_CERT_FILE", certificates->caFile().toUtf8());
        const auto made = certificates->server(QStringLiteral("localhost"));
        sink = std::make_unique<SmtpSink>(SmtpSink::Tls{made.certificate.toStdString(), made.key.toStdString()});
    }

    void aim(SmtpSession &smtp, bool tls) const
    {
        smtp.host = tls ? QStringLiteral("localhost") : QStringLiteral("127.0.0.1");
        smtp.port = sink->port();
        smtp.security = tls ? SmtpSecurity::Implicit : SmtpSecurity::Plain;
        smtp.heloName = QStringLiteral("bench.test");
    }

    std::unique_ptr<testsupport::TestCertificates> certificates;
    std::unique_ptr<SmtpSink> sink;
};

void BM_SmtpSession_Send(benchmark::State &state)
{
    const bool tls = state.range(0) != 0;
    Sink sink(tls);
    SmtpSession smtp;
    sink.aim(smtp, tls);
    smtp.connect();
    MailMessage message = makeMessage();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        smtp.send(message);
    if (!tls)
        perMessage()["session"] = secondsSince(start) / double(state.iterations());
    smtp.disconnect();
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(tls ? "TLS" : "plain");
}
BENCHMARK(BM_SmtpSession_Send)->Arg(0)->Arg(1)->UseRealTime()->MinTime(2.0);

// Connect (TCP, with TLS the handshake and the certificate checks, the greeting, EHLO) and disconnect.
void BM_Connect(benchmark::State &state)
{
    const bool tls = state.range(0) != 0;
    Sink sink(tls);
    SmtpSession smtp;
    sink.aim(smtp, tls);
    for (auto _ : state) {
        smtp.connect();
        smtp.disconnect();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(tls ? "TLS" : "plain");
}
BENCHMARK(BM_Connect)->Arg(0)->Arg(1)->UseRealTime()->MinTime(2.0);

// The same transaction written straight onto the connection: the message text and its "." in one
// write, as the session writes them, or one write per line as the message writer makes them.
void BM_Transaction(benchmark::State &state)
{
    const bool whole = state.range(0) != 0;
    SmtpSink sink;
    AbortSignal abort;
    SmtpConnection connection(abort);
    connection.open(QStringLiteral("127.0.0.1"), sink.port(), 5000);
    connection.readReply(5000);
    connection.writeLine(QStringLiteral("EHLO bench.test"));
    connection.readReply(5000);
    MailMessage message = makeMessage();
    for (auto _ : state) {
        for (const char *command :
             {"RSET", "MAIL FROM: <from@bench.test> BODY=8BITMIME", "RCPT TO:<to@bench.test>", "DATA"}) {
            connection.writeLine(QString::fromLatin1(command));
            connection.readReply(5000);
        }
        if (whole) {
            TextBuffer text;
            writeMessageText(text, message, true);
            text.writeLine(QStringLiteral("."));
            for (const QByteArray &piece : text.pieces())
                connection.writeBytes(piece);
        } else {
            writeMessageText(connection, message, true);
            connection.writeLine(QStringLiteral("."));
        }
        connection.readReply(5000);
    }
    connection.close();
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(whole ? "text in one write" : "one write per line");
}
BENCHMARK(BM_Transaction)->Arg(1)->Arg(0)->UseRealTime()->MinTime(2.0);

// Python's smtplib sending the same message bytes, the same number of times per run, to the same sink.
void BM_smtplib_Send(benchmark::State &state)
{
    const int count = int(state.range(0));
    SmtpSink sink;
    MemorySink bytes;
    MailMessage message = makeMessage();
    writeMessageText(bytes, message, true);
    QTemporaryFile file;
    if (!file.open() || file.write(bytes.bytes()) != bytes.bytes().size() || !file.flush()) {
        state.SkipWithError("cannot write the message file");
        return;
    }
    double total = 0;
    for (auto _ : state) {
        const std::optional<double> seconds = bench::timePythonPeer(
            QStringLiteral(QUILLON_SOURCE_DIR "/bench/smtplib_send.py"), sink.port(), count, file.fileName(), 120000);
        if (!seconds) {
            state.SkipWithError("smtplib run failed");
            return;
        }
        state.SetIterationTime(*seconds);
        total += *seconds;
    }
    perMessage()["smtplib"] = total / double(state.iterations() * count);
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_smtplib_Send)->Arg(2000)->UseManualTime()->Iterations(3);

// One command and its reply over loopback to the same sink: five of these per message is the floor.
void BM_LoopbackRoundTrip(benchmark::State &state)
{
    SmtpSink sink;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(sink.port());
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote) != 0) {
        state.SkipWithError("cannot connect");
        ::close(fd);
        return;
    }
    char reply[512];
    [[maybe_unused]] const auto greeting = ::recv(fd, reply, sizeof reply, 0);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        ::send(fd, "NOOP\r\n", 6, MSG_NOSIGNAL);
        if (::recv(fd, reply, sizeof reply, 0) <= 0) {
            state.SkipWithError("sink closed");
            break;
        }
    }
    perMessage()["floor"] = 5 * secondsSince(start) / double(state.iterations());
    ::close(fd);
    state.SetItemsProcessed(state.iterations());
    state.counters["floor_messages_per_second"]
        = benchmark::Counter(double(state.iterations()) / 5.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoopbackRoundTrip)->UseRealTime()->MinTime(2.0);

// The plain session beside smtplib and the floor, all three as measured above in this same run:
// microseconds per message, and the session's time as a multiple of each.
void BM_Summary(benchmark::State &state)
{
    for (auto _ : state) { }
    const auto &seconds = perMessage();
    for (const char *name : {"session", "smtplib", "floor"}) {
        if (seconds.count(name))
            state.counters[std::string(name) + "_us"] = seconds.at(name) * 1e6;
    }
    if (seconds.count("session") && seconds.count("floor"))
        state.counters["x_floor"] = seconds.at("session") / seconds.at("floor");
    if (seconds.count("session") && seconds.count("smtplib"))
        state.counters["x_smtplib"] = seconds.at("session") / seconds.at("smtplib");
    state.SetLabel("plain session per message, against smtplib and five round trips");
}
BENCHMARK(BM_Summary)->Iterations(1);

} // namespace
