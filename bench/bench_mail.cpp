// Building and writing one message into memory, and reading address-list texts, next to the same
// work done by Python's standard email package (bench/mail_python.py, run once in the same run).

#include "MailMessage.h"
#include "MemorySink.h"
#include "MessageWriter.h"

#include <QProcess>
#include <QStringList>

#include <benchmark/benchmark.h>

namespace {

const QString bodyText = QStringLiteral("这是一封关于新品介绍的邮件，感谢您一直以来的支持。").repeated(27);
const QString subject = QStringLiteral("新品介绍：秋季新款上市，欢迎选购");

// The same 1,000 texts as the Python script.
QStringList addressTexts()
{
    QStringList texts;
    for (int i = 0; i < 250; ++i) {
        const QString n = QString::number(i);
        texts << QStringLiteral("customer%1@example.com").arg(n)
              << QStringLiteral("\"客户 %1\" <c%1@example.com>").arg(n)
              << QStringLiteral("Sales %1 <s%1@example.com>, t%1@example.org").arg(n)
              << QStringLiteral("grp%1: a%1@example.com, b%1@example.com (备注);").arg(n);
    }
    return texts;
}

void BM_BuildAndWriteMessage(benchmark::State &state)
{
    const QLocale china(QLocale::Chinese, QLocale::China);
    qint64 bytes = 0;
    for (auto _ : state) {
        MailMessage msg;
        msg.locale = china;
        msg.charSet = QStringLiteral("utf-8");
        msg.from().address = QStringLiteral("sales@example.com");
        msg.subject = subject;
        msg.from().name = QStringLiteral("销售部");
        msg.replyTo.setAddresses(QStringLiteral("sales@example.com"));
        msg.recipients.setAddresses(QStringLiteral("a@example.com, b@example.com, c@example.com"));
        msg.body = {QStringLiteral("你好， 客户甲,  \n") + bodyText};
        MemorySink sink;
        // For a server that offers 8BITMIME: an 8bit body, as the Python side writes it.
        writeMessageText(sink, msg, true);
        bytes += sink.bytes().size();
        benchmark::DoNotOptimize(sink.writes.data());
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_BuildAndWriteMessage)->Unit(benchmark::kMicrosecond);

void BM_ReadAddressLists(benchmark::State &state)
{
    const QStringList texts = addressTexts();
    for (auto _ : state) {
        for (const QString &text : texts) {
            MailAddressList list;
            list.setAddresses(text);
            benchmark::DoNotOptimize(list.count());
        }
    }
    state.SetItemsProcessed(state.iterations() * texts.size());
}
BENCHMARK(BM_ReadAddressLists)->Unit(benchmark::kMicrosecond);

// The Python figures, in microseconds, by name; measured once, on first use.
double pythonMicroseconds(const QString &name)
{
    static const QMap<QString, double> figures = [] {
        QMap<QString, double> result;
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(QUILLON_SOURCE_DIR "/bench/mail_python.py")});
        if (!python.waitForFinished(300000) || python.exitCode() != 0)
            qFatal("mail_python.py failed: %s", python.readAllStandardError().constData());
        for (const QByteArray &line : python.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() == 2)
                result.insert(QString::fromLatin1(parts[0]), parts[1].toDouble());
        }
        return result;
    }();
    return figures.value(name);
}

// Reports the Python time as this benchmark's time, so both stand in one table.
void reportPython(benchmark::State &state, const QString &name)
{
    const double seconds = pythonMicroseconds(name) / 1e6;
    for (auto _ : state)
        state.SetIterationTime(seconds);
}

void BM_PythonEmailMessage(benchmark::State &state)
{
    reportPython(state, QStringLiteral("message_us"));
}
BENCHMARK(BM_PythonEmailMessage)->UseManualTime()->Iterations(1)->Unit(benchmark::kMicrosecond);

void BM_PythonGetAddresses(benchmark::State &state)
{
    reportPython(state, QStringLiteral("addresslists_us"));
}
BENCHMARK(BM_PythonGetAddresses)->UseManualTime()->Iterations(1)->Unit(benchmark::kMicrosecond);

} // namespace
