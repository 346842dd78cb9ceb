// The record views on a db.mdb of 100,000 customers and 1,000,000 send records: opening with the
// counting of the afterOpen hooks, reading every page of the send records, re-querying them by
// customer and by mail, and what the rows cost in memory; beside the engine's bare count.

#include "BenchData.h"
#include "Database.h"
#include "RecordView.h"
#include "Statement.h"

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

// How an afterOpen hook counts: as the window does (the count of the view, the send-record view
// also ending on its last row as a walk would), or with a First/Next walk reading every row.
enum class Count { AsTheWindow, Walk };

struct Views
{
    Database connection{benchDatabase()};
    RecordView view;
    int counted = 0;

    explicit Views(RecordView::CommandType type, const QString &source, Count count = Count::AsTheWindow)
    {
        view.setDatabase(&connection);
        view.setCommandType(type);
        view.setCommandText(source);
        view.afterOpen = [this, count] {
            counted = 0;
            if (count == Count::Walk) {
                // Each row's first field read, as a list filled from a walk reads it.
                qint64 sum = 0;
                for (view.first(); !view.eof(); view.next()) {
                    sum += view.value(view.currentRow(), 0).toLongLong();
                    ++counted;
                }
                benchmark::DoNotOptimize(sum);
                return;
            }
            view.first();
            if (!view.eof()) {
                view.last();
                view.next();
            }
            counted = view.recordCount();
        };
        connection.setConnected(true);
    }
};

void openAndWalk(benchmark::State &state, RecordView::CommandType type, const QString &source,
                 Count count = Count::AsTheWindow)
{
    Views views(type, source, count);
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

// The table read to its end: every page, as a walk over all records reads them.
void BM_OpenAndWalkSendRecordView(benchmark::State &state)
{
    openAndWalk(state, RecordView::CommandType::Table, QStringLiteral("发送情况"), Count::Walk);
}
BENCHMARK(BM_OpenAndWalkSendRecordView)->Unit(benchmark::kMillisecond);

// The floor of the open: the engine counting the records, and reading the first and last pages.
void BM_CountAndEndPagesFloor(benchmark::State &state)
{
    Database connection(benchDatabase());
    connection.setConnected(true);
    qint64 sum = 0;
    for (auto _ : state) {
        for (const QString &sql : {QStringLiteral("select count(*) from 发送情况"),
                                   QStringLiteral("select rowid, * from 发送情况 order by rowid limit 256"),
                                   QStringLiteral("select rowid, * from 发送情况 order by rowid desc limit 256")}) {
            Statement statement(connection.handle(), sql);
            while (statement.step())
                sum += statement.column(0).toLongLong();
        }
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_CountAndEndPagesFloor)->Unit(benchmark::kMillisecond);

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
