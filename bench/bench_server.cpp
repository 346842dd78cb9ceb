// The same data on a PostgreSQL server beside a db.mdb, in one run: 100,000 customers and
// QUILLON_BENCH_RECORDS send records (default 1,000,000) made alike on both, the server's on a
// throwaway cluster of its own (testsupport::PostgresCluster: a Unix socket, nothing on TCP).
// - What the start reads of the database: a fresh connection, the send records' count and their
//   first and last page by key, the customer statement read whole, the mails and the settings.
// - The send record page: the view of 发送情况 opened as the window opens it, first and last page.
// - The whole start: the program's window shown, in a process of its own (start_probe), on each.
// - The claim: what a run on a server does per customer besides its record (claim and settle, two
//   statements each committed), against what it does on both engines (the record's intent and its
//   result), on the same server.
// - The send run itself, headless, every recipient refused by SmtpSink: per customer on the server
//   (with its claims) against a db.mdb (none).
// The last row, BM_Summary, puts each server figure beside the file's of the same run.
//
// The data is made with the server's fsync off, then the server is made as durable as a file
// (fsync, synchronous_commit and full_page_writes on, reloaded) before anything is measured: every
// commit waits for the disk on both engines. Both live in the same temporary directory's file system.

#include "BenchData.h"
#include "Database.h"
#include "Dialect.h"
#include "PostgresCluster.h"
#include "RecordView.h"
#include "SendClaims.h"
#include "SendRecords.h"
#include "SendRun.h"
#include "SendRunInputs.h"
#include "Spread.h"
#include "ServerSchema.h"
#include "SmtpSink.h"
#include "Statement.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int customerCount = 100000;

int recordCount()
{
    static const int count = qEnvironmentVariableIsSet("QUILLON_BENCH_RECORDS")
                                 ? qEnvironmentVariableIntValue("QUILLON_BENCH_RECORDS")
                                 : 1000000;
    return count;
}

int runCustomerCount()
{
    static const int count = qEnvironmentVariableIsSet("QUILLON_BENCH_RUN_CUSTOMERS")
                                 ? qEnvironmentVariableIntValue("QUILLON_BENCH_RUN_CUSTOMERS")
                                 : 2000;
    return count;
}

double secondsSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

const char *engineName(Engine engine)
{
    return engine == Engine::Sqlite ? "file" : "server";
}

// Seconds per unit of each measure, by engine, for the summary.
std::map<std::string, double> &figures()
{
    static std::map<std::string, double> all;
    return all;
}

// Every figure noted with the iterations it was taken over, in order, for the spread of the ratios
// over repetitions (--benchmark_repetitions).
std::map<std::string, std::vector<std::pair<benchmark::IterationCount, double>>> &repeatedFigures()
{
    static std::map<std::string, std::vector<std::pair<benchmark::IterationCount, double>>> all;
    return all;
}

// The figures of the repetitions: the last ones noted, over as many iterations as the last. The
// library's runs that find how many iterations fill the minimum time come before them, over fewer.
std::vector<double> repetitions(const std::string &figure)
{
    const auto &noted = repeatedFigures()[figure];
    std::vector<double> values;
    for (auto it = noted.rbegin(); it != noted.rend() && it->first == noted.back().first; ++it)
        values.insert(values.begin(), it->second);
    return values;
}

void note(const benchmark::State &state, Engine engine, const std::string &measure, double seconds)
{
    figures()[measure + '_' + engineName(engine)] = seconds;
    repeatedFigures()[measure + '_' + engineName(engine)].emplace_back(state.iterations(), seconds);
}

// The cluster and the two databases of the run, made once.
struct Data
{
    QTemporaryDir dir;
    testsupport::PostgresCluster cluster;
    DatabaseLocation file;
    DatabaseLocation server;
    int databases = 0;

    Data()
    {
        QElapsedTimer timer;
        timer.start();
        const QString path = dir.filePath(QStringLiteral("db.mdb"));
        bench::makeBenchDatabase(path, customerCount, recordCount());
        file = DatabaseLocation::inFile(path);
        std::fprintf(stderr, "db.mdb: %d customers, %d send records in %.1f s\n", customerCount, recordCount(),
                     secondsSince(timer));

        const QString failure = cluster.start();
        if (!failure.isEmpty())
            throw std::runtime_error("PostgreSQL did not start: " + failure.toStdString());
        timer.restart();
        server = newServerDatabase(customerCount, recordCount());
        std::fprintf(stderr, "server: the same in %.1f s\n", secondsSince(timer));
        Database admin(server);
        admin.setConnected(true);
        // each alone: the server takes none of them in a transaction
        for (const char *setting : {"fsync", "synchronous_commit", "full_page_writes"})
            execute(admin, QStringLiteral("alter system set %1 = on").arg(QLatin1StringView(setting)));
        execute(admin, QStringLiteral("select pg_reload_conf()"));
    }

    // A new database with the program's tables and the bench's rows.
    DatabaseLocation newServerDatabase(int customers, int records)
    {
        const DatabaseLocation location = cluster.createDatabase(QStringLiteral("bench_%1").arg(++databases));
        Database connection(location);
        connection.setConnected(true);
        createServerTables(connection);
        bench::makeServerBenchDatabase(connection, customers, records);
        return location;
    }

    const DatabaseLocation &location(Engine engine) const { return engine == Engine::Sqlite ? file : server; }
};

Data &data()
{
    static Data made;
    return made;
}

qint64 readAll(Statement &statement)
{
    qint64 values = 0;
    int columns = -1;
    while (statement.step()) {
        if (columns < 0)
            columns = statement.columnCount();
        for (int c = 0; c < columns; ++c)
            values += statement.column(c).isNull() ? 0 : 1;
    }
    return values;
}

qint64 readAll(Database &connection, const QString &sql)
{
    Statement statement(connection, sql);
    return readAll(statement);
}

// What the window's start reads of the database, on a connection of its own: the send records
// counted and read a page from each end by key, the customers read whole, the mails and the
// settings. The views' own work on top (RecordView) is measured by BM_SendRecordPage.
void BM_StartReads(benchmark::State &state, Engine engine)
{
    const DatabaseLocation location = data().location(engine);
    const QString key = dialect::recordKey(engine);
    double connect = 0, records = 0, customers = 0;
    qint64 values = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        Database connection(location);
        connection.setConnected(true);
        connect += secondsSince(timer);
        timer.restart();
        // each its own subquery, as the view counts: min and max then read one end of the key
        values += readAll(connection, QStringLiteral("select (select count(*) from 发送情况), (select min(%1) from 发送情况),"
                                                     " (select max(%1) from 发送情况)")
                                          .arg(key));
        values += readAll(connection, QStringLiteral("select %1, * from 发送情况 order by %1 limit 256").arg(key));
        values += readAll(connection, QStringLiteral("select %1, * from 发送情况 order by %1 desc limit 256").arg(key));
        records += secondsSince(timer);
        timer.restart();
        values += readAll(connection, QStringLiteral("select \"客户ID\", 客户名称, 电子邮件地址, 录入日期 from 客户表"));
        customers += secondsSince(timer);
        values += readAll(connection, QStringLiteral("select * from 邮件表"));
        values += readAll(connection, QStringLiteral("select * from 设置"));
    }
    benchmark::DoNotOptimize(values);
    const double n = double(state.iterations());
    state.counters["connect_ms"] = connect / n * 1e3;
    state.counters["records_ms"] = records / n * 1e3;
    state.counters["customers_ms"] = customers / n * 1e3;
    note(state, engine, "connect", connect / n);
    note(state, engine, "count_and_end_pages", records / n);
    note(state, engine, "customers", customers / n);
    state.SetLabel(std::to_string(recordCount()) + " send records");
}
BENCHMARK_CAPTURE(BM_StartReads, file, Engine::Sqlite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK_CAPTURE(BM_StartReads, server, Engine::Postgres)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Peers of the customers' read on the server, the same statement: Qt's forward-only QSqlQuery with
// every value read (what PostgresStatement wraps), and psql writing the rows to /dev/null (a whole
// process, libpq alone).
void BM_CustomersQSqlQuery(benchmark::State &state)
{
    Database connection(data().server);
    connection.setConnected(true);
    qint64 values = 0;
    QElapsedTimer timer;
    timer.start();
    for (auto _ : state) {
        QSqlQuery query(connection.database());
        query.setForwardOnly(true);
        query.exec(QStringLiteral("select \"客户ID\", 客户名称, 电子邮件地址, 录入日期 from 客户表"));
        while (query.next()) {
            for (int c = 0; c < 4; ++c)
                values += query.value(c).isNull() ? 0 : 1;
        }
    }
    benchmark::DoNotOptimize(values);
    figures()["customers_qsqlquery_server"] = secondsSince(timer) / double(state.iterations());
}
BENCHMARK(BM_CustomersQSqlQuery)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_CustomersPsql(benchmark::State &state)
{
    const DatabaseLocation &server = data().server;
    QElapsedTimer timer;
    timer.start();
    for (auto _ : state) {
        QProcess psql;
        psql.setStandardOutputFile(QProcess::nullDevice());
        psql.start(QStringLiteral("psql"),
                   {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-At"), QStringLiteral("-h"), server.host,
                    QStringLiteral("-U"), server.user, QStringLiteral("-d"), server.databaseName, QStringLiteral("-c"),
                    QStringLiteral("select \"客户ID\", 客户名称, 电子邮件地址, 录入日期 from 客户表")});
        if (!psql.waitForFinished(-1) || psql.exitCode() != 0) {
            state.SkipWithError("psql failed");
            return;
        }
    }
    figures()["customers_psql_server"] = secondsSince(timer) / double(state.iterations());
}
BENCHMARK(BM_CustomersPsql)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// What one commit must wait for on this file system: a 4 KB page appended to a file in the data's
// temporary directory and synced, 200 times.
void BM_DiskSync(benchmark::State &state)
{
    const QByteArray path = QDir(data().dir.path()).filePath(QStringLiteral("sync-probe")).toLocal8Bit();
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const QByteArray page(4096, 'x');
    QElapsedTimer timer;
    timer.start();
    for (auto _ : state) {
        if (::write(fd, page.constData(), size_t(page.size())) != page.size() || ::fdatasync(fd) != 0) {
            state.SkipWithError("cannot write the probe");
            break;
        }
    }
    figures()["sync"] = secondsSince(timer) / double(state.iterations());
    ::close(fd);
    ::unlink(path.constData());
}
BENCHMARK(BM_DiskSync)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(200);

// The send-record page as the window opens it: the table's view counted, on its first row, then
// on its last (the afterOpen hook of the window: First, Last, Next). Each open on a fresh
// connection, as at start.
void BM_SendRecordPage(benchmark::State &state, Engine engine)
{
    const DatabaseLocation location = data().location(engine);
    int counted = 0;
    QElapsedTimer timer;
    timer.start();
    for (auto _ : state) {
        Database connection(location);
        RecordView view;
        view.setDatabase(&connection);
        view.setCommandType(RecordView::CommandType::Table);
        view.setCommandText(QStringLiteral("发送情况"));
        view.afterOpen = [&] {
            view.first();
            if (!view.eof()) {
                view.last();
                view.next();
            }
            counted = view.recordCount();
        };
        try {
            connection.setConnected(true);
            view.open();
        } catch (const std::exception &error) {
            state.SkipWithError(error.what());
            return;
        }
        benchmark::DoNotOptimize(view.value(view.currentRow(), 0));
        view.close();
    }
    if (counted != recordCount()) {
        state.SkipWithError(qPrintable(QStringLiteral("the view counted %1 records").arg(counted)));
        return;
    }
    note(state, engine, "send_record_page", secondsSince(timer) / double(state.iterations()));
    state.counters["rows"] = counted;
}
BENCHMARK_CAPTURE(BM_SendRecordPage, file, Engine::Sqlite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK_CAPTURE(BM_SendRecordPage, server, Engine::Postgres)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The whole start, window shown, as a user meets it: start_probe --window-only in a process of its
// own, offscreen, on the db.mdb of the run (its directory the working one) or on the server
// (--database with the server's location, in an empty directory). Its line gives the wall time from
// the process's start, its CPU time and its peak memory. The server's own processes' CPU is not in it.
void BM_WindowStart(benchmark::State &state, Engine engine)
{
    const QString probe = QCoreApplication::applicationDirPath() + QStringLiteral("/start_probe");
    QTemporaryDir empty;
    QStringList arguments{QStringLiteral("--window-only")};
    if (engine == Engine::Postgres)
        arguments << QStringLiteral("--database") << data().server.text();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    double wall = 0, cpu = 0, peak = 0;
    {
        // one start first, not counted: the first after the data was made reads it from the disk
        QProcess first;
        first.setProcessEnvironment(environment);
        first.setWorkingDirectory(engine == Engine::Sqlite ? data().dir.path() : empty.path());
        first.setStandardOutputFile(QProcess::nullDevice());
        first.start(probe, arguments);
        first.waitForFinished(300000);
    }
    for (auto _ : state) {
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setWorkingDirectory(engine == Engine::Sqlite ? data().dir.path() : empty.path());
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(probe, arguments);
        // a start that hangs is a finding, not a figure: given up after five minutes
        if (!child.waitForFinished(300000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            child.kill();
            child.waitForFinished();
            state.SkipWithError("start_probe failed or did not end");
            return;
        }
        double childWall = 0, childCpu = 0, childPeak = 0;
        if (std::sscanf(child.readAllStandardOutput().constData(),
                        "window shown %lf ms after start, CPU %lf ms, peak memory %lf MB", &childWall, &childCpu,
                        &childPeak) != 3) {
            state.SkipWithError("start_probe printed no window line");
            return;
        }
        state.SetIterationTime(childWall / 1e3);
        wall += childWall;
        cpu += childCpu;
        peak = std::max(peak, childPeak);
    }
    const double n = double(state.iterations());
    state.counters["cpu_ms"] = cpu / n;
    state.counters["peak_mb"] = peak;
    note(state, engine, "window_start", wall / n / 1e3);
    note(state, engine, "window_cpu", cpu / n / 1e3);
    figures()[std::string("window_peak_mb_") + engineName(engine)] = peak;
}
BENCHMARK_CAPTURE(BM_WindowStart, file, Engine::Sqlite)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WindowStart, server, Engine::Postgres)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// A run's record of one customer on either engine: the intent ("发送中"), committed, then its
// result, committed. New customers' numbers, so that nothing is found already there.
void BM_RecordPerCustomer(benchmark::State &state, Engine engine)
{
    Database connection(data().location(engine));
    connection.setConnected(true);
    SendRecords records(connection);
    qint64 customer = 1000000000;
    const QElapsedTimer timer = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    for (auto _ : state) {
        const qint64 key = records.appendIntent(++customer, QStringLiteral("1"), QStringLiteral("2026/12/11 9:00:00"));
        records.setResult(key, QStringLiteral("2026/12/11 9:00:00"), QStringLiteral("失败：550 5.1.1 no such user"));
    }
    note(state, engine, "record", secondsSince(timer) / double(state.iterations()));
}
BENCHMARK_CAPTURE(BM_RecordPerCustomer, file, Engine::Sqlite)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK_CAPTURE(BM_RecordPerCustomer, server, Engine::Postgres)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);

// What a run on a server adds per customer: the claim before the message and its settling after
// the result, on the same server as the records above.
void BM_ClaimPerCustomer(benchmark::State &state)
{
    Database connection(data().server);
    connection.setConnected(true);
    SendClaims claims(connection, QUuid::createUuid().toString(QUuid::WithoutBraces), 1, 30min);
    qint64 customer = 1000000000;
    QElapsedTimer timer;
    timer.start();
    for (auto _ : state) {
        if (!claims.claim(++customer)) {
            state.SkipWithError("a claim was refused");
            break;
        }
        claims.settle(customer);
    }
    note(state, Engine::Postgres, "claim", secondsSince(timer) / double(state.iterations()));
    claims.end();
}
BENCHMARK(BM_ClaimPerCustomer)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);

// The send run, headless, to a sink that refuses every recipient (no message accepted, no pause):
// a new database of QUILLON_BENCH_RUN_CUSTOMERS customers (default 2,000) and as many records, from
// start to the run's end. On the server every customer is claimed and settled besides.
void BM_SendRun(benchmark::State &state, Engine engine)
{
    const int customers = runCustomerCount();
    SmtpSink sink;
    sink.setRefuseRecipients(true);
    SendRunInputs inputs;
    inputs.setAccount({QStringLiteral("127.0.0.1:%1").arg(sink.port()), QString(), QString()});
    inputs.setSender({QStringLiteral("销售部"), QStringLiteral("sales@example.com")});
    inputs.setMailChoice(QStringLiteral("1"));
    inputs.setPauseChoice(QStringLiteral("0"));
    double seconds = 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        DatabaseLocation location;
        if (engine == Engine::Sqlite) {
            location = DatabaseLocation::inFile(dir.filePath(QStringLiteral("db.mdb")));
            bench::makeBenchDatabase(location.file, customers, customers);
        } else {
            location = data().newServerDatabase(customers, customers);
        }
        std::optional<QString> completed, failed;
        std::mutex mutex;
        QElapsedTimer timer;
        {
            SendRun run(inputs, location);
            QObject::connect(&run, &SendRun::completed, [&](const QString &text) {
                std::lock_guard lock(mutex);
                completed = text;
            });
            QObject::connect(&run, &SendRun::failed, [&](const QString &text) {
                std::lock_guard lock(mutex);
                failed = text;
            });
            timer.start();
            run.start();
        } // waits for the run's end
        seconds = secondsSince(timer);
        state.SetIterationTime(seconds);
        Database connection(location);
        connection.setConnected(true);
        Statement count(connection, QStringLiteral("select count(*) from 发送情况"));
        count.step();
        if (!completed || failed || count.column(0).toLongLong() != 2 * customers) {
            state.SkipWithError(qPrintable(QStringLiteral("the run did not end as expected: ")
                                           + failed.value_or(completed.value_or(QStringLiteral("no end")))));
            return;
        }
    }
    note(state, engine, "run", seconds / customers);
    state.counters["ms_per_customer"] = seconds / customers * 1e3;
}
BENCHMARK_CAPTURE(BM_SendRun, file, Engine::Sqlite)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SendRun, server, Engine::Postgres)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// With more than one repetition: min, median and max of each repetition's `over` / `under`, as
// counters and printed.
void spreadOfRatios(benchmark::State &state, const std::string &name, const std::vector<double> &over,
                    const std::vector<double> &under)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < std::min(over.size(), under.size()); ++i)
        ratios.push_back(over[i] / under[i]);
    if (ratios.size() < 2)
        return;
    const bench::Spread spread = bench::spreadOf(ratios);
    state.counters[name + "_min"] = spread.min;
    state.counters[name + "_med"] = spread.median;
    state.counters[name + "_max"] = spread.max;
    std::printf("%-22s min %.2f  median %.2f  max %.2f  (%zu repetitions)\n", name.c_str(), spread.min, spread.median,
                spread.max, ratios.size());
}

// The server's figures beside the file's of this run: milliseconds per unit and their ratio
// (x_...: server over file), and what the claim adds to a customer's record on the server.
void BM_Summary(benchmark::State &state)
{
    for (auto _ : state) { }
    const auto &all = figures();
    for (const char *measure : {"connect", "count_and_end_pages", "customers", "send_record_page", "window_start", "window_cpu",
                                "record", "run"}) {
        const std::string name(measure);
        const auto file = all.find(name + "_file");
        const auto server = all.find(name + "_server");
        if (file == all.end() || server == all.end() || file->second <= 0)
            continue;
        state.counters[name + "_file_ms"] = file->second * 1e3;
        state.counters[name + "_server_ms"] = server->second * 1e3;
        state.counters["x_" + name] = server->second / file->second;
        // with repetitions: the ratio of each repetition's pair, the file's n-th beside the server's
        spreadOfRatios(state, "x_" + name, repetitions(name + "_server"), repetitions(name + "_file"));
    }
    const auto claim = all.find("claim_server");
    const auto record = all.find("record_server");
    if (claim != all.end() && record != all.end()) {
        state.counters["claim_ms"] = claim->second * 1e3;
        state.counters["x_claim_per_record"] = claim->second / record->second;
        spreadOfRatios(state, "x_claim_per_record", repetitions("claim_server"), repetitions("record_server"));
    }
    if (all.count("window_peak_mb_file") && all.count("window_peak_mb_server") && all.at("window_peak_mb_file") > 0) {
        state.counters["window_peak_file_mb"] = all.at("window_peak_mb_file");
        state.counters["window_peak_server_mb"] = all.at("window_peak_mb_server");
        state.counters["x_window_peak"] = all.at("window_peak_mb_server") / all.at("window_peak_mb_file");
    }
    // the view's open against the floor of the same run: a connection, the count and the two pages
    for (const char *engine : {"file", "server"}) {
        const std::string suffix = std::string("_") + engine;
        if (all.count("send_record_page" + suffix) && all.count("connect" + suffix))
            state.counters["x_page_per_floor" + suffix]
                = all.at("send_record_page" + suffix)
                  / (all.at("connect" + suffix) + all.at("count_and_end_pages" + suffix));
    }
    // the server's read of the customers against its peers
    for (const auto &[peer, name] : {std::pair{"customers_qsqlquery_server", "x_customers_per_qsqlquery"},
                                     std::pair{"customers_psql_server", "x_customers_per_psql"}}) {
        if (all.count(peer) && all.count("customers_server"))
            state.counters[name] = all.at("customers_server") / all.at(peer);
    }
    if (all.count("sync"))
        state.counters["sync_ms"] = all.at("sync") * 1e3;
    const auto runFile = all.find("run_file");
    const auto runServer = all.find("run_server");
    if (runFile != all.end() && runServer != all.end())
        state.counters["run_overhead_ms"] = (runServer->second - runFile->second) * 1e3;
    state.SetLabel("server against file, " + std::to_string(recordCount()) + " send records");
}
BENCHMARK(BM_Summary)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    try {
        data();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
