// The records page's export of 1,000,000 send records (to .csv and to .xlsx) beside the sqlite3
// shell writing the same join as CSV: both as processes of their own (export_probe and
// /usr/bin/sqlite3), in alternating rounds, with their wall time, CPU time and peak memory.
//
// QUILLON_BENCH_DB names a file made by make_bench_db, to skip making one; QUILLON_BENCH_ROUNDS sets
// the rounds (default 5). The files are written into TMPDIR.

#include "BenchData.h"
#include "RecordExportRun.h"
#include "Spread.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int customerCount = 100000;
constexpr int recordCount = 1000000;

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

const QString &benchDatabase()
{
    static const QString path = [] {
        const QString given = qEnvironmentVariable("QUILLON_BENCH_DB");
        if (!given.isEmpty())
            return QFileInfo(given).absoluteFilePath();
        const QString file = workDir().filePath(QStringLiteral("db.mdb"));
        bench::makeBenchDatabase(file, customerCount, recordCount);
        return file;
    }();
    return path;
}

int rounds()
{
    return qEnvironmentVariableIsSet("QUILLON_BENCH_ROUNDS") ? qEnvironmentVariableIntValue("QUILLON_BENCH_ROUNDS")
                                                             : 5;
}

// The statements SQLite runs on the connections this process opens from now on, as it runs them.
std::vector<std::string> &tracedStatements()
{
    static std::vector<std::string> statements;
    return statements;
}

int traceStatement(unsigned, void *, void *statement, void *)
{
    if (const char *sql = sqlite3_sql(static_cast<sqlite3_stmt *>(statement)))
        tracedStatements().emplace_back(sql);
    return 0;
}

int traceConnection(sqlite3 *db, const char **, const sqlite3_api_routines *)
{
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, traceStatement, nullptr);
    return SQLITE_OK;
}

// The select the export steps through, as the export itself builds it: an export run in this
// process with SQLite tracing its statements, stopped after its first thousand rows.
const std::string &exportSelect()
{
    static const std::string select = [] {
        using Init = void (*)();
        sqlite3_auto_extension(reinterpret_cast<Init>(traceConnection));
        {
            RecordExportRun run(DatabaseLocation::inFile(benchDatabase()), {},
                                workDir().filePath(QStringLiteral("traced.csv")));
            std::promise<void> ended;
            QObject::connect(&run, &RecordExportRun::progressed, &run, [&](qint64) { run.cancel(); },
                             Qt::DirectConnection);
            QObject::connect(&run, &RecordExportRun::finished, &run, [&] { ended.set_value(); },
                             Qt::DirectConnection);
            run.start();
            ended.get_future().wait();
        }
        sqlite3_cancel_auto_extension(reinterpret_cast<Init>(traceConnection));
        for (const std::string &sql : tracedStatements()) {
            if (sql.rfind("select 发送情况.", 0) == 0)
                return sql;
        }
        return std::string();
    }();
    return select;
}

struct ChildCost
{
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakMegabytes = 0;
    bool ok = false;
};

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// Runs `argv` as a child with its output into `output`, and takes what it cost from the kernel.
ChildCost runChild(const std::vector<std::string> &argv, const QString &output)
{
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    const QByteArray outputPath = output.toLocal8Bit();

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(outputPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0)
            _exit(126);
        execv(args[0], args.data());
        _exit(127);
    }
    ChildCost cost;
    if (pid < 0)
        return cost;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return cost;
    cost.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cost.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    cost.peakMegabytes = double(usage.ru_maxrss) / 1024.0;
    cost.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return cost;
}

std::string probePath()
{
    return (QCoreApplication::applicationDirPath() + QStringLiteral("/export_probe")).toStdString();
}

ChildCost runExport(const QString &target, const QString &mailId = {})
{
    std::vector<std::string> argv{probePath(), benchDatabase().toStdString(), target.toStdString()};
    if (!mailId.isEmpty())
        argv.push_back(mailId.toStdString());
    return runChild(argv, QStringLiteral("/dev/null"));
}

ChildCost runShell(const QString &target)
{
    return runChild({"/usr/bin/sqlite3", "-csv", "-header", benchDatabase().toStdString(), exportSelect()}, target);
}

double fileMegabytes(const QString &path)
{
    return double(QFileInfo(path).size()) / 1e6;
}

// What each round measured, kept for the summary.
std::map<std::string, std::vector<double>> &measured()
{
    static std::map<std::string, std::vector<double>> values;
    return values;
}

void keep(const std::string &name, const ChildCost &cost)
{
    measured()[name + "_wall"].push_back(cost.wallSeconds);
    measured()[name + "_cpu"].push_back(cost.cpuSeconds);
    measured()[name + "_peak"].push_back(cost.peakMegabytes);
}

// Rounds of the three, the order turned each round so that neither always follows the other: the
// export to .csv, the sqlite3 shell, the export to .xlsx.
void BM_ExportBesideShell(benchmark::State &state)
{
    if (exportSelect().empty()) {
        state.SkipWithError("the export's select was not seen");
        return;
    }
    const QString csv = workDir().filePath(QStringLiteral("export.csv"));
    const QString xlsx = workDir().filePath(QStringLiteral("export.xlsx"));
    const QString shell = workDir().filePath(QStringLiteral("shell.csv"));
    // One of each first, not counted: the file's pages into the cache.
    if (!runExport(csv).ok || !runShell(shell).ok || !runExport(xlsx).ok) {
        state.SkipWithError("a child failed");
        return;
    }
    double total = 0;
    for (auto _ : state) {
        for (int round = 0; round < rounds(); ++round) {
            const bool exportFirst = round % 2 == 0;
            ChildCost toCsv, byShell;
            if (exportFirst)
                toCsv = runExport(csv);
            byShell = runShell(shell);
            if (!exportFirst)
                toCsv = runExport(csv);
            const ChildCost toXlsx = runExport(xlsx);
            if (!toCsv.ok || !byShell.ok || !toXlsx.ok) {
                state.SkipWithError("a child failed");
                return;
            }
            keep("csv", toCsv);
            keep("shell", byShell);
            keep("xlsx", toXlsx);
            measured()["x_wall"].push_back(toCsv.wallSeconds / byShell.wallSeconds);
            measured()["x_cpu"].push_back(toCsv.cpuSeconds / byShell.cpuSeconds);
            measured()["x_xlsx_wall"].push_back(toXlsx.wallSeconds / byShell.wallSeconds);
            measured()["x_xlsx_cpu"].push_back(toXlsx.cpuSeconds / byShell.cpuSeconds);
            total += toCsv.wallSeconds + byShell.wallSeconds + toXlsx.wallSeconds;
        }
        state.SetIterationTime(total);
    }
    for (const char *name : {"csv", "shell", "xlsx"}) {
        state.counters[std::string(name) + "_s"] = bench::spreadOf(measured()[std::string(name) + "_wall"]).median;
        state.counters[std::string(name) + "_cpu_s"] = bench::spreadOf(measured()[std::string(name) + "_cpu"]).median;
        state.counters[std::string(name) + "_peak_MB"] = bench::spreadOf(measured()[std::string(name) + "_peak"]).max;
    }
    state.counters["csv_MB"] = fileMegabytes(csv);
    state.counters["shell_MB"] = fileMegabytes(shell);
    state.counters["xlsx_MB"] = fileMegabytes(xlsx);
    state.SetLabel(QStringLiteral("%1 rounds, medians; peaks the greatest").arg(rounds()).toStdString());
}
BENCHMARK(BM_ExportBesideShell)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

// The export's peak memory at one mail's 100,000 records beside all 1,000,000: flat when equal.
void BM_ExportMemory(benchmark::State &state)
{
    const QString csv = workDir().filePath(QStringLiteral("memory.csv"));
    const QString xlsx = workDir().filePath(QStringLiteral("memory.xlsx"));
    for (auto _ : state) {
        const ChildCost csvMail = runExport(csv, QStringLiteral("1"));
        const ChildCost csvAll = runExport(csv);
        const ChildCost xlsxMail = runExport(xlsx, QStringLiteral("1"));
        const ChildCost xlsxAll = runExport(xlsx);
        if (!csvMail.ok || !csvAll.ok || !xlsxMail.ok || !xlsxAll.ok) {
            state.SkipWithError("a child failed");
            return;
        }
        state.SetIterationTime(csvMail.wallSeconds + csvAll.wallSeconds + xlsxMail.wallSeconds + xlsxAll.wallSeconds);
        state.counters["csv_100k_peak_MB"] = csvMail.peakMegabytes;
        state.counters["csv_1M_peak_MB"] = csvAll.peakMegabytes;
        state.counters["xlsx_100k_peak_MB"] = xlsxMail.peakMegabytes;
        state.counters["xlsx_1M_peak_MB"] = xlsxAll.peakMegabytes;
    }
}
BENCHMARK(BM_ExportMemory)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

// Min, median and max over the rounds of the export's time over the shell's, each round's ratio
// taken within the round.
void BM_Summary(benchmark::State &state)
{
    for (auto _ : state) { }
    for (const char *name : {"x_wall", "x_cpu", "x_xlsx_wall", "x_xlsx_cpu"}) {
        const auto found = measured().find(name);
        if (found == measured().end())
            continue;
        const bench::Spread stats = bench::spreadOf(found->second);
        state.counters[std::string(name) + "_min"] = stats.min;
        state.counters[std::string(name) + "_med"] = stats.median;
        state.counters[std::string(name) + "_max"] = stats.max;
        std::printf("%-12s min %.2f  median %.2f  max %.2f\n", name, stats.min, stats.median, stats.max);
    }
    for (const char *name : {"csv_wall", "shell_wall", "xlsx_wall", "csv_cpu", "shell_cpu", "xlsx_cpu", "csv_peak",
                             "shell_peak", "xlsx_peak"}) {
        const auto found = measured().find(name);
        if (found == measured().end())
            continue;
        const bench::Spread stats = bench::spreadOf(found->second);
        std::printf("%-12s min %.3f  median %.3f  max %.3f (%s)\n", name, stats.min, stats.median, stats.max,
                    std::string(name).ends_with("peak") ? "MB" : "s");
    }
    std::printf("select: %s\n", exportSelect().c_str());
    state.SetLabel("export over the sqlite3 shell, per round: wall and CPU, .csv and .xlsx");
}
BENCHMARK(BM_Summary)->Iterations(1);

} // namespace
