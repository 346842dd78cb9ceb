// A mail with a 5 MB file: the time per customer of this session against Python's email package and
// smtplib building and sending the same mail, and against writing the message's bytes alone; and the
// peak memory of sending it to 1,000 customers.

#include "BenchData.h"
#include "PythonPeer.h"
#include "SmtpSink.h"
#include "Spread.h"

#include "Attachment.h"
#include "MailMessage.h"
#include "MemorySink.h"
#include "MessageWriter.h"
#include "SmtpConnection.h"
#include "SmtpSession.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr qsizetype kFileBytes = 5 * 1024 * 1024;

// Each round's figures of BM_Attachment_Rounds, by name, in the order of the rounds.
std::map<std::string, std::vector<double>> &perRound()
{
    static std::map<std::string, std::vector<double>> values;
    return values;
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
    for (auto _ : state) {
        MailMessage message = makeMessage(file);
        smtp.send(message);
    }
    smtp.disconnect();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Attachment_Send)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// One customer's commands and the message's bytes written straight onto the connection, each
// reply awaited: what the session does, without the session.
void writeTransaction(SmtpConnection &connection, const QByteArray &bytes)
{
    for (const char *command : {"RSET", "MAIL FROM: <from@bench.test> BODY=8BITMIME", "RCPT TO:<to@bench.test>", "DATA"}) {
        connection.writeLine(QString::fromLatin1(command));
        connection.readReply(5000);
    }
    connection.writeBytes(bytes);
    connection.readReply(5000);
}

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
    for (auto _ : state)
        writeTransaction(connection, bytes);
    connection.close();
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_Attachment_WriteBytes)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// Python's email package building the same mail for each customer and smtplib sending it, to the
// same sink: QUILLON_BENCH_ROUNDS rounds (default 5), in each Python sending to `count` customers
// (5: about a second each) and the session and the bytes alone to `ownCount` (50: a few
// milliseconds each, so that fewer would be swung by one wait for a core), taking turns in an order
// that turns each round, so that each round's ratios compare what ran under the same load.
void BM_Attachment_Rounds(benchmark::State &state)
{
    const int count = int(state.range(0));
    const int ownCount = int(state.range(1));
    const int rounds =
        qEnvironmentVariableIsSet("QUILLON_BENCH_ROUNDS") ? qEnvironmentVariableIntValue("QUILLON_BENCH_ROUNDS") : 5;
    SmtpSink sink;
    QTemporaryFile file;
    if (!file.open() || file.write(fileContent()) != fileContent().size() || !file.flush()) {
        state.SkipWithError("cannot write the file");
        return;
    }
    const auto attachment = makeAttachment();
    MailMessage written = makeMessage(attachment);
    MemorySink text;
    writeMessageText(text, written, true);
    const QByteArray bytes = text.bytes() + ".\r\n";

    // Each returns the seconds per customer, or a negative number when it failed.
    const auto session = [&] {
        SmtpSession smtp;
        aim(smtp, sink);
        smtp.connect();
        const auto start = std::chrono::steady_clock::now();
        for (int customer = 0; customer < ownCount; ++customer) {
            MailMessage message = makeMessage(attachment);
            smtp.send(message);
        }
        const double seconds = secondsSince(start);
        smtp.disconnect();
        return seconds / ownCount;
    };
    const auto bytesAlone = [&] {
        AbortSignal abort;
        SmtpConnection connection(abort);
        connection.open(QStringLiteral("127.0.0.1"), sink.port(), 5000);
        connection.readReply(5000);
        connection.writeLine(QStringLiteral("EHLO bench.test"));
        connection.readReply(5000);
        const auto start = std::chrono::steady_clock::now();
        for (int customer = 0; customer < ownCount; ++customer)
            writeTransaction(connection, bytes);
        const double seconds = secondsSince(start);
        connection.close();
        return seconds / ownCount;
    };
    const auto python = [&] {
        const std::optional<double> seconds = bench::timePythonPeer(
            QStringLiteral(QUILLON_SOURCE_DIR "/bench/attachment_python.py"), sink.port(), count, file.fileName(), 600000);
        return seconds ? *seconds / count : -1.0;
    };

    double total = 0;
    for (auto _ : state) {
        for (int round = 0; round < rounds; ++round) {
            std::map<std::string, double> took;
            for (int turn = 0; turn < 3; ++turn) {
                switch ((round + turn) % 3) {
                case 0: took["session"] = session(); break;
                case 1: took["bytes"] = bytesAlone(); break;
                default: took["python"] = python(); break;
                }
            }
            if (took["python"] < 0) {
                state.SkipWithError("python run failed");
                return;
            }
            for (const auto &[name, seconds] : took) {
                perRound()[name].push_back(seconds);
                total += seconds * (name == "python" ? count : ownCount);
            }
            perRound()["x_python"].push_back(took["session"] / took["python"]);
            perRound()["x_bytes"].push_back(took["session"] / took["bytes"]);
        }
        state.SetIterationTime(total);
    }
    state.SetItemsProcessed(state.iterations() * rounds * (count + 2 * ownCount));
}
BENCHMARK(BM_Attachment_Rounds)->Args({5, 50})->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

// The process's peak resident memory since the last resetPeak (VmHWM).
long peakKilobytes()
{
    return long(bench::memoryKiB("VmHWM"));
}

// Starts the peak over from what is resident now, so that the rounds before (Python's file, the
// message bytes) do not count in the memory's figures.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// The run's memory, its peak counted from what was resident when it began: after encoding the file
// once and sending it to 10 customers, and after 1,000; the growth between them is what each further
// customer costs.
void BM_Attachment_Memory(benchmark::State &state)
{
    for (auto _ : state) {
        resetPeak();
        state.counters["resident_at_start_MB"] = double(peakKilobytes()) / 1024.0;
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

// The rounds' per-customer times (medians) and the min, median and max of each round's ratios:
// the session over Python and over the bytes alone.
void BM_Summary(benchmark::State &state)
{
    for (auto _ : state) { }
    for (const char *name : {"session", "python", "bytes"}) {
        if (perRound().count(name))
            state.counters[std::string(name) + "_ms"] = bench::spreadOf(perRound().at(name)).median * 1e3;
    }
    for (const char *name : {"x_python", "x_bytes"}) {
        if (!perRound().count(name))
            continue;
        const bench::Spread spread = bench::spreadOf(perRound().at(name));
        state.counters[std::string(name) + "_min"] = spread.min;
        state.counters[std::string(name) + "_med"] = spread.median;
        state.counters[std::string(name) + "_max"] = spread.max;
        std::printf("%-9s min %.4f  median %.4f  max %.4f  (%zu rounds)\n", name, spread.min, spread.median,
                    spread.max, perRound().at(name).size());
    }
    state.SetLabel("session per customer with a 5 MB file, against Python and the bytes alone, per round");
}
BENCHMARK(BM_Summary)->Iterations(1);

} // namespace
