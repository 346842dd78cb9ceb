// The send run through the real window (offscreen): a db.mdb of n customers and n send records, a
// sink on loopback that refuses every recipient, so that no message is accepted and no pause is
// taken; from the click on the send button to the button reading "发送" again. Its floor is what no run can
// do without for each customer: the refused SMTP exchange of the run's message over one connection
// to the same sink (RSET, MAIL FROM, RCPT TO refused, RSET) and one durable commit of a record (an
// insert into the send-record table of a file like the run's, in the same directory, committed with
// the write-ahead log and synchronous=FULL, as the run's connection is set up). The floor and the run take turns, round after round over the
// same customers count, so that a disk whose syncs change speed within minutes, or a machine whose
// load does, weighs on both alike; each round gives its own ratio, run over floor.

#include "BenchData.h"
#include "Database.h"
#include "Greeting.h"
#include "MailMessage.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "RunPlan.h"
#include "SmtpSession.h"
#include "SmtpSink.h"
#include "Spread.h"
#include "Statement.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <vector>

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

void check(int code, sqlite3 *engine, const char *what)
{
    if (code != SQLITE_OK && code != SQLITE_DONE && code != SQLITE_ROW)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(engine));
}

// The send-record table of a db.mdb of its own beside the run's, made as the run's file is (the
// same customers and records, so its indexes are as deep), opened as the run's connection opens
// db.mdb; every record is its own transaction, committed to the disk.
class CommitProbe
{
public:
    CommitProbe(const QString &dir, int customers)
    {
        const QString file = QDir(dir).filePath(QStringLiteral("floor.mdb"));
        QFile::remove(file);
        bench::makeBenchDatabase(file, customers, customers);
        const QByteArray path = file.toUtf8();
        check(sqlite3_open(path.constData(), &m_engine), m_engine, "open");
        check(sqlite3_exec(m_engine, "pragma journal_mode = wal; pragma synchronous = full;", nullptr, nullptr, nullptr),
              m_engine, "setup");
        check(sqlite3_prepare_v2(m_engine, "insert into 发送情况(客户ID, 邮件ID, 发送日期, 发送结果) values(?, 1, ?, ?)", -1,
                                 &m_insert, nullptr),
              m_engine, "prepare");
    }
    ~CommitProbe()
    {
        sqlite3_finalize(m_insert);
        sqlite3_close(m_engine);
    }
    CommitProbe(const CommitProbe &) = delete;
    CommitProbe &operator=(const CommitProbe &) = delete;

    void commit(int customerId)
    {
        static const QByteArray date = QByteArrayLiteral("2026/12/11 12:00:00");
        static const QByteArray result = QByteArrayLiteral("失败：服务器拒绝（收件人）：550 5.1.1 no such user");
        sqlite3_reset(m_insert);
        sqlite3_bind_int(m_insert, 1, customerId);
        sqlite3_bind_text(m_insert, 2, date.constData(), int(date.size()), SQLITE_STATIC);
        sqlite3_bind_text(m_insert, 3, result.constData(), int(result.size()), SQLITE_STATIC);
        check(sqlite3_step(m_insert), m_engine, "insert");
    }

private:
    sqlite3 *m_engine = nullptr;
    sqlite3_stmt *m_insert = nullptr;
};

// The floor of `count` customers: a connection to the sink, then for each one the run's message
// refused and a record committed in `dir`.
Span floorRound(const SmtpSink &sink, const QString &dir, int count)
{
    CommitProbe records(dir, count);
    Span span;
    SmtpSession smtp;
    smtp.host = QStringLiteral("127.0.0.1");
    smtp.port = sink.port();
    smtp.security = SmtpSecurity::Plain;
    smtp.connect();
    for (int i = 1; i <= count; ++i) {
        MailMessage message;
        fillMessage(message, {QStringLiteral("销售部"), QStringLiteral("sales@example.com")}, benchMail(),
                    {i, QStringLiteral("客户%1").arg(i, 6, 10, QLatin1Char('0')),
                     QStringLiteral("c%1@example.com").arg(i, 6, 10, QLatin1Char('0'))});
        try {
            smtp.send(message);
        } catch (const std::exception &) {
        }
        records.commit(i);
    }
    smtp.disconnect();
    span.stop();
    return span;
}

// One run of the window over `customers` customers in a new db.mdb in `dir`; false (and the
// benchmark skipped with the reason) when it did not end as it should.
bool runRound(benchmark::State &state, const SmtpSink &sink, const QString &dir, int customers, Span &run)
{
    const QString file = QDir(dir).filePath(QStringLiteral("db.mdb"));
    bench::makeBenchDatabase(file, customers, customers);
    {
        Database setup(file);
        setup.setConnected(true);
        execute(setup.handle(),
                QStringLiteral("insert into 设置(发信人名称, 发信人电子邮件, SMTP服务器, 用户名, 密码) values('销售部', 'sales@example.com', "
                               "'127.0.0.1:%1', '', '')")
                    .arg(sink.port()));
    }
    const QString startDir = QDir::currentPath();
    boxes::BoxRecorder boxes;
    QDir::setCurrent(dir);
    auto window = std::make_unique<MainWindow>();
    window->show();
    QApplication::processEvents();
    auto *mailChoice = window->findChild<QComboBox *>(QStringLiteral("mailChoice"));
    mailChoice->showPopup();
    mailChoice->hidePopup();
    mailChoice->setCurrentIndex(mailChoice->findData(QStringLiteral("1")));
    auto *sendButton = window->findChild<QPushButton *>(QStringLiteral("sendButton"));
    QApplication::processEvents();

    // The question before a run (who gets what, how long it takes) is answered at once.
    boxes.queueConfirmAnswer(true);
    run = Span();
    sendButton->click();
    // During the run the button stops it; it reads "发送" again once the run has ended.
    while (sendButton->text() != QStringLiteral("发送"))
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    run.stop();

    const int shownRecords = window->views().sendRecords.recordCount();
    window.reset();
    QDir::setCurrent(startDir);
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    const QString expected = QStringLiteral("发送完成：成功 0 封，失败 %1 封。").arg(customers) + failedRunHint();
    if (shown.size() != 2 || shown[1].text != expected || shownRecords != 2 * customers) {
        state.SkipWithError(qPrintable(QStringLiteral("the run did not end as expected: ")
                                       + (shown.isEmpty() ? QStringLiteral("no box") : shown.back().text)));
        return false;
    }
    return true;
}

// Arguments: the customers, the rounds (each a floor, then a run).
void BM_SendRun(benchmark::State &state)
{
    const int customers = int(state.range(0));
    const int rounds = int(state.range(1));
    SmtpSink sink;
    sink.setRefuseRecipients(true);

    std::vector<double> ratio, runMs, floorMs, runCpu, floorCpu, windowCpu;
    for (auto _ : state) {
        double wall = 0;
        for (int round = 1; round <= rounds; ++round) {
            QTemporaryDir dir;
            const Span floor = floorRound(sink, dir.path(), customers);
            Span run;
            if (!runRound(state, sink, dir.path(), customers, run))
                return;
            wall += run.wallSeconds;
            const double perCustomer = 1e3 / customers;
            ratio.push_back(run.wallSeconds / floor.wallSeconds);
            runMs.push_back(run.wallSeconds * perCustomer);
            floorMs.push_back(floor.wallSeconds * perCustomer);
            runCpu.push_back(run.processCpu * perCustomer);
            floorCpu.push_back(floor.processCpu * perCustomer);
            windowCpu.push_back(run.windowCpu * perCustomer);
            std::fprintf(stderr,
                         "round %d of %d customers: run %.3f ms (cpu %.3f, window %.3f), floor %.3f ms (cpu %.3f) "
                         "per customer, ratio %.2f\n",
                         round, customers, runMs.back(), runCpu.back(), windowCpu.back(), floorMs.back(),
                         floorCpu.back(), ratio.back());
        }
        state.SetIterationTime(wall);
    }

    const bench::Spread ratios = bench::spreadOf(ratio);
    state.counters["ratio_min"] = ratios.min;
    state.counters["ratio_median"] = ratios.median;
    state.counters["ratio_max"] = ratios.max;
    state.counters["run_ms"] = bench::spreadOf(runMs).median;
    state.counters["floor_ms"] = bench::spreadOf(floorMs).median;
    state.counters["run_cpu_ms"] = bench::spreadOf(runCpu).median;
    state.counters["floor_cpu_ms"] = bench::spreadOf(floorCpu).median;
    state.counters["window_cpu_ms"] = bench::spreadOf(windowCpu).median;
}
BENCHMARK(BM_SendRun)
    ->Args({1000, 7})
    ->Args({10000, 7})
    ->ArgNames({"customers", "rounds"})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace
