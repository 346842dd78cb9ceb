// The record views on a db.mdb of 100,000 customers and 1,000,000 send records: opening with the
// counting walk of the afterOpen hooks, re-querying the send records by customer and by mail, and
// what the rows cost in memory.

#include "BenchData.h"
#include "Database.h"
#include "RecordView.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int customerCount = 100000;
constexpr int recordCount = 1000000;

// QUILLON_BENCH_DB names a file made by make_bench_db, to skip making one for every run.
const QString &benchDatabase()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString given = qEnvironmentVariable("QUILLON_BENCH_DB");
        if (!given.isEmpty())
            return given;
        const QString file = dir.filePath(QStringLiteral("db.mdb"));
        bench::makeBenchDatabase(file, customerCount, recordCount);
        return file;
    }();
    return path;
}

double residentMegabytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

struct Views
{
    Database connection{benchDatabase()};
    RecordView view;
    int counted = 0;

    explicit Views(RecordView::CommandType type, const QString &source)
    {
        view.setDatabase(&connection);
        view.setCommandType(type);
        view.setCommandText(source);
        // What the window's afterOpen hooks do: count the rows with a walk.
        view.afterOpen = [this] {
            counted = 0;
            for (view.first(); !view.eof(); view.next())
                ++counted;
        };
        connection.setConnected(true);
    }
};

void openAndWalk(benchmark::State &state, RecordView::CommandType type, const QString &source)
{
    Views views(type, source);
    double held = 0;
    for (auto _ : state) {
        state.PauseTiming();
        malloc_trim(0); // memory of the last round goes back, so that the next one is counted
        const double before = residentMegabytes();
        state.ResumeTiming();
        views.view.open();
        state.PauseTiming();
        held = residentMegabytes() - before;
        state.ResumeTiming();
        views.view.close();
    }
    state.counters["rows"] = views.counted;
    state.counters["rows_MB"] = held;
}

void BM_OpenSendRecordView(benchmark::State &state)
{
    openAndWalk(state, RecordView::CommandType::Table, QStringLiteral("发送情况"));
}
BENCHMARK(BM_OpenSendRecordView)->Unit(benchmark::kMillisecond);

void BM_OpenCustomerView(benchmark::State &state)
{
    openAndWalk(state, RecordView::CommandType::Text,
                QStringLiteral("select 客户ID, 客户名称, 电子邮件地址,录入日期 from 客户表"));
}
BENCHMARK(BM_OpenCustomerView)->Unit(benchmark::kMillisecond);

// What the window's creation does with the database: connect, then open the four views, the
// customer and send-record views counting their rows.
void BM_OpenAllFourViews(benchmark::State &state)
{
    for (auto _ : state) {
        Views customers(RecordView::CommandType::Text,
                        QStringLiteral("select 客户ID, 客户名称, 电子邮件地址,录入日期 from 客户表"));
        RecordView mails, settings;
        mails.setDatabase(&customers.connection);
        mails.setCommandType(RecordView::CommandType::Table);
        mails.setCommandText(QStringLiteral("邮件表"));
        settings.setDatabase(&customers.connection);
        settings.setCommandType(RecordView::CommandType::Table);
        settings.setCommandText(QStringLiteral("设置"));
        Views records(RecordView::CommandType::Table, QStringLiteral("发送情况"));
        customers.view.open();
        mails.open();
        records.view.open();
        settings.open();
        benchmark::DoNotOptimize(records.counted);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_RSS_MB"] = double(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_OpenAllFourViews)->Unit(benchmark::kMillisecond);

// The browser's re-query: close, new statement, open, count.
void requery(benchmark::State &state, const QString &statement, int range)
{
    Views views(RecordView::CommandType::Text, QStringLiteral("select * from 发送情况"));
    int number = 0;
    for (auto _ : state) {
        views.view.close();
        views.view.setCommandText(statement + QString::number(1 + number++ % range));
        views.view.open();
    }
    state.counters["rows"] = views.counted;
}

void BM_RequeryByCustomer(benchmark::State &state)
{
    requery(state, QStringLiteral("select * from 发送情况 where 客户ID = "), customerCount);
}
BENCHMARK(BM_RequeryByCustomer)->Unit(benchmark::kMillisecond);

void BM_RequeryByMail(benchmark::State &state)
{
    requery(state, QStringLiteral("select * from 发送情况 where 邮件ID = "), recordCount / customerCount);
}
BENCHMARK(BM_RequeryByMail)->Unit(benchmark::kMillisecond);

// For comparison: the same rows through Qt's forward-only QSqlQuery, values only read.
void BM_QSqlQueryForwardOnlySendRecords(benchmark::State &state)
{
    Database connection(benchDatabase());
    connection.setConnected(true);
    qint64 sum = 0;
    for (auto _ : state) {
        QSqlQuery query(connection.database());
        query.setForwardOnly(true);
        query.exec(QStringLiteral("select rowid, * from 发送情况"));
        while (query.next())
            sum += query.value(0).toLongLong() + query.value(3).toString().size();
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_QSqlQueryForwardOnlySendRecords)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchDatabase();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
