// The send run through the real window (offscreen): a db.mdb of n customers and n send records, a
// sink on loopback that refuses every recipient, so that no message is accepted and no pause is
// taken; from the click on the send button to the controls restored. Beside it, in the same run,
// the bare SMTP exchange of one refused message over one connection to the same sink (RSET, MAIL
// FROM, RCPT TO refused, RSET): the floor of what a customer can cost. Every customer's record is
// committed to the disk before the next customer, so the time one page takes to reach the disk
// (written and synced, on the same file system) is measured beside it too: on a busy disk that,
// not the SMTP exchange, is the floor of the wall time.

#include "BenchData.h"
#include "Database.h"
#include "Greeting.h"
#include "MailMessage.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "RunPlan.h"
#include "SmtpSession.h"
#include "SmtpSink.h"
#include "Statement.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

namespace {

double cpuSeconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Wall and CPU time (the whole process: run, window and sink threads) of what happens in between.
struct Span
{
    Span()
    {
        wall.start();
        processCpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        windowCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    }
    void stop()
    {
        wallSeconds = double(wall.nsecsElapsed()) / 1e9;
        processCpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processCpu;
        windowCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - windowCpu;
    }

    QElapsedTimer wall;
    double wallSeconds = 0;
    double processCpu = 0;
    double windowCpu = 0; // the calling thread's: the window's, where the run is clicked
};

MailText benchMail()
{
    return {QStringLiteral("第1期新品推荐"), QStringLiteral("您好：\n本期新品如下。")};
}

// The floor: one session sends the run's message to the refusing sink `count` times.
Span bareExchange(const SmtpSink &sink, int count)
{
    SmtpSession smtp;
    smtp.host = QStringLiteral("127.0.0.1");
    smtp.port = sink.port();
    smtp.security = SmtpSecurity::Plain;
    smtp.connect();
    Span span;
    for (int i = 1; i <= count; ++i) {
        MailMessage message;
        fillMessage(message, {QStringLiteral("销售部"), QStringLiteral("sales@example.com")}, benchMail(),
                    {i, QStringLiteral("客户%1").arg(i, 6, 10, QLatin1Char('0')),
                     QStringLiteral("c%1@example.com").arg(i, 6, 10, QLatin1Char('0'))});
        try {
            smtp.send(message);
        } catch (const std::exception &) {
        }
    }
    span.stop();
    smtp.disconnect();
    return span;
}

// One page appended to a file in `dir` and synced, `count` times, as a commit appends to the log.
Span diskSync(const QString &dir, int count)
{
    const QByteArray path = QDir(dir).filePath(QStringLiteral("sync-probe")).toLocal8Bit();
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const QByteArray page(4096, 'x');
    Span span;
    for (int i = 0; i < count && fd >= 0; ++i) {
        if (::write(fd, page.constData(), size_t(page.size())) != page.size() || ::fdatasync(fd) != 0)
            break;
    }
    span.stop();
    ::close(fd);
    ::unlink(path.constData());
    return span;
}

void BM_SendRun(benchmark::State &state)
{
    const int customers = int(state.range(0));
    SmtpSink sink;
    sink.setRefuseRecipients(true);
    const int floorCount = 2000;
    const Span floor = bareExchange(sink, floorCount);
    const QString startDir = QDir::currentPath();
    boxes::BoxRecorder boxes;

    const int syncCount = 200;
    Span sync;
    Span run;
    for (auto _ : state) {
        QTemporaryDir dir;
        sync = diskSync(dir.path(), syncCount);
        const QString file = dir.filePath(QStringLiteral("db.mdb"));
        bench::makeBenchDatabase(file, customers, customers);
        {
            Database setup(file);
            setup.setConnected(true);
            execute(setup.handle(),
                    QStringLiteral("insert into 设置(发信人名称, 发信人电子邮件, SMTP服务器, 用户名, 密码) values('销售部', 'sales@example.com', "
                                   "'127.0.0.1:%1', '', '')")
                        .arg(sink.port()));
        }
        QDir::setCurrent(dir.path());
        auto window = std::make_unique<MainWindow>();
        window->show();
        QApplication::processEvents();
        auto *mailChoice = window->findChild<QComboBox *>(QStringLiteral("mailChoice"));
        mailChoice->showPopup();
        mailChoice->hidePopup();
        mailChoice->setCurrentIndex(mailChoice->findData(QStringLiteral("1")));
        auto *sendButton = window->findChild<QPushButton *>(QStringLiteral("sendButton"));
        QApplication::processEvents();

        run = Span();
        sendButton->click();
        while (!sendButton->isEnabled())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        run.stop();
        state.SetIterationTime(run.wallSeconds);

        const int shownRecords = window->views().sendRecords.recordCount();
        window.reset();
        QDir::setCurrent(startDir);
        const QList<boxes::ShownBox> shown = boxes.takeShown();
        const QString expected = QStringLiteral("发送完成：成功 0 封，失败 %1 封。").arg(customers) + failedRunHint();
        if (shown.size() != 1 || shown[0].text != expected || shownRecords != 2 * customers) {
            state.SkipWithError(qPrintable(QStringLiteral("the run did not end as expected: ")
                                           + (shown.isEmpty() ? QStringLiteral("no box") : shown[0].text)));
            break;
        }
    }

    const double perCustomer = run.wallSeconds / customers;
    const double floorPerCustomer = floor.wallSeconds / floorCount;
    state.counters["ms_per_customer"] = perCustomer * 1e3;
    state.counters["cpu_ms_per_customer"] = run.processCpu / customers * 1e3;
    state.counters["window_cpu_ms_per_customer"] = run.windowCpu / customers * 1e3;
    state.counters["floor_ms"] = floorPerCustomer * 1e3;
    state.counters["floor_cpu_ms"] = floor.processCpu / floorCount * 1e3;
    state.counters["ratio"] = perCustomer / floorPerCustomer;
    const double syncSeconds = sync.wallSeconds / syncCount;
    state.counters["sync_ms"] = syncSeconds * 1e3;
    state.counters["ratio_to_floor_and_sync"] = perCustomer / (floorPerCustomer + syncSeconds);
}
BENCHMARK(BM_SendRun)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace
