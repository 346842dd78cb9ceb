// A mail with a 5 MB file: the time per customer of this session against Python's email package and
// smtplib building and sending the same mail, and against writing the message's bytes alone; and the
// peak memory of sending it to 1,000 customers.

#include "PythonPeer.h"
#include "SmtpSink.h"

#include "Attachment.h"
#include "MailMessage.h"
#include "MemorySink.h"
#include "MessageWriter.h"
#include "SmtpConnection.h"
#include "SmtpSession.h"

#include <QRandomGenerator>
#include <QTemporaryFile>

#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr qsizetype kFileBytes = 5 * 1024 * 1024;

std::map<std::string, double> &perCustomer()
{
    static std::map<std::string, double> seconds;
    return seconds;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Bytes that do not compress: a price list in PDF is mostly such.
const QByteArray &fileContent()
{
    static const QByteArray content = [] {
        QByteArray bytes(kFileBytes, Qt::Uninitialized);
        QRandomGenerator(30).fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        return bytes;
    }();
    return content;
}

std::shared_ptr<const Attachment> makeAttachment()
{
    return std::make_shared<const Attachment>(QString::fromUtf8("2024年秋季价格表.pdf"), fileContent());
}

// The send run's message for one customer, carrying the run's one attachment.
MailMessage makeMessage(const std::shared_ptr<const Attachment> &file)
{
    MailMessage message;
    message.charSet = QStringLiteral("utf-8");
    message.from().address = QStringLiteral("from@bench.test");
    message.subject = QString::fromUtf8("【新品上市】秋季新款，欢迎选购！");
    message.from().name = QString::fromUtf8("上海星辰贸易有限公司");
    message.recipients.setAddresses(QStringLiteral("to@bench.test"));
    QString content;
    for (int i = 0; i < 12; ++i)
        content += QString::fromUtf8("\n本店新品已上架，全场八折，欢迎光临选购。");
    message.body = {QString::fromUtf8("你好， 张三,  ") + content};
    message.attachment = file;
    return message;
}

void aim(SmtpSession &smtp, const SmtpSink &sink)
{
    smtp.host = QStringLiteral("127.0.0.1");
    smtp.port = sink.port();
    smtp.heloName = QStringLiteral("bench.test");
}

// Encoding the file once, as a run does at its start.
void BM_Attachment_Encode(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(makeAttachment());
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}
BENCHMARK(BM_Attachment_Encode)->Unit(benchmark::kMillisecond)->UseRealTime();

// One customer: a new message with the shared file, sent through the session.
void BM_Attachment_Send(benchmark::State &state)
{
    SmtpSink sink;
    SmtpSession smtp;
    aim(smtp, sink);
    smtp.connect();
    const auto file = makeAttachment();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        MailMessage message = makeMessage(file);
        smtp.send(message);
    }
    perCustomer()["session"] = secondsSince(start) / double(state.iterations());
    smtp.disconnect();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Attachment_Send)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// The same message's bytes and its "." written straight onto a connection, after the same commands:
// what the socket alone costs.
void BM_Attachment_WriteBytes(benchmark::State &state)
{
    SmtpSink sink;
    AbortSignal abort;
    SmtpConnection connection(abort);
    connection.open(QStringLiteral("127.0.0.1"), sink.port(), 5000);
    connection.readReply(5000);
    connection.writeLine(QStringLiteral("EHLO bench.test"));
    connection.readReply(5000);
    MailMessage message = makeMessage(makeAttachment());
    MemorySink text;
    writeMessageText(text, message, true);
    const QByteArray bytes = text.bytes() + ".\r\n";
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (const char *command :
             {"RSET", "MAIL FROM: <from@bench.test> BODY=8BITMIME", "RCPT TO:<to@bench.test>", "DATA"}) {
            connection.writeLine(QString::fromLatin1(command));
            connection.readReply(5000);
        }
        connection.writeBytes(bytes);
        connection.readReply(5000);
    }
    perCustomer()["bytes"] = secondsSince(start) / double(state.iterations());
    connection.close();
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_Attachment_WriteBytes)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// Python's email package building the same mail for each customer and smtplib sending it, to the
// same sink.
void BM_Attachment_Python(benchmark::State &state)
{
    const int count = int(state.range(0));
    SmtpSink sink;
    QTemporaryFile file;
    if (!file.open() || file.write(fileContent()) != fileContent().size() || !file.flush()) {
        state.SkipWithError("cannot write the file");
        return;
    }
    double total = 0;
    for (auto _ : state) {
        const std::optional<double> seconds = bench::timePythonPeer(
            QStringLiteral(QUILLON_SOURCE_DIR "/bench/attachment_python.py"), sink.port(), count, file.fileName(), 600000);
        if (!seconds) {
            state.SkipWithError("python run failed");
            return;
        }
        state.SetIterationTime(*seconds);
        total += *seconds;
    }
    perCustomer()["python"] = total / double(state.iterations() * count);
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_Attachment_Python)->Arg(20)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The run's memory: the peak after encoding the file once and sending it to 10 customers, and after
// 1,000; the growth between them is what each further customer costs.
void BM_Attachment_Memory(benchmark::State &state)
{
    for (auto _ : state) {
        SmtpSink sink;
        SmtpSession smtp;
        aim(smtp, sink);
        smtp.connect();
        const auto file = makeAttachment();
        for (int customer = 0; customer < 10; ++customer) {
            MailMessage message = makeMessage(file);
            smtp.send(message);
        }
        const long afterTen = peakKilobytes();
        for (int customer = 10; customer < 1000; ++customer) {
            MailMessage message = makeMessage(file);
            smtp.send(message);
        }
        const long afterThousand = peakKilobytes();
        smtp.disconnect();
        state.counters["encoded_MB"] = double(file->encodedLines().size()) / 1e6;
        state.counters["peak_10_MB"] = double(afterTen) / 1024.0;
        state.counters["peak_1000_MB"] = double(afterThousand) / 1024.0;
        state.counters["growth_MB"] = double(afterThousand - afterTen) / 1024.0;
    }
}
BENCHMARK(BM_Attachment_Memory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The session per customer beside Python and the bytes alone, as measured above in this same run.
void BM_Summary(benchmark::State &state)
{
    for (auto _ : state) { }
    const auto &seconds = perCustomer();
    for (const char *name : {"session", "python", "bytes"}) {
        if (seconds.count(name))
            state.counters[std::string(name) + "_ms"] = seconds.at(name) * 1e3;
    }
    if (seconds.count("session") && seconds.count("python"))
        state.counters["x_python"] = seconds.at("session") / seconds.at("python");
    if (seconds.count("session") && seconds.count("bytes"))
        state.counters["x_bytes"] = seconds.at("session") / seconds.at("bytes");
    state.SetLabel("session per customer with a 5 MB file, against Python and the bytes alone");
}
BENCHMARK(BM_Summary)->Iterations(1);

} // namespace
