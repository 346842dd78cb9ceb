// The customer import of a large sheet, database included, beside xlsx2csv, Python's openpyxl
// (read-only) and xlrd merely reading the same files. A .xls sheet holds at most 65,536 rows, so the
// .xls file has 65,535 customers (and its empty row below); the .xlsx file has 100,000. With
// QUILLON_BENCH_1M set, a .xlsx file of 1,000,000 customers too, beside xlsx2csv.

#include "BenchData.h"
#include "CustomerImport.h"
#include "MessageBoxes.h"
#include "Schema.h"
#include "TestPaths.h"
#include "Workbook.h"
#include "WorkbookFiles.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <time.h>

#include <chrono>
#include <map>
#include <string>

namespace {

// Processor seconds of each import and of each peer's reading, as this run measured them, for
// the summary at the end.
std::map<std::string, double> &cpuSeconds()
{
    static std::map<std::string, double> seconds;
    return seconds;
}

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// What the work costs in memory above what the process held before it: the file generation
// runs in this process too, so the plain peak would tell little; what it freed is handed back first.
double resetPeakMemory()
{
    malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    return bench::memoryKiB("VmRSS");
}

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

const QString &customerFile(testbook::Format format, int count = 0)
{
    static QHash<QString, QString> files;
    if (count == 0)
        count = format == testbook::Format::Xlsx ? 100000 : 65535;
    QString &path = files[QString::number(int(format)) + u'/' + QString::number(count)];
    if (path.isEmpty()) {
        QList<QPair<QString, QString>> rows;
        rows.reserve(count);
        for (int i = 1; i <= count; ++i)
            rows.append(
                {QStringLiteral("客户%1").arg(i, 6, 10, QChar(u'0')), QStringLiteral("c%1@example.com").arg(i)});
        path = testbook::write(testbook::customers(rows), format,
                               workDir().filePath(QStringLiteral("customers%1").arg(count) + testbook::suffix(format)));
    }
    return path;
}

// The whole import; the time column is the wall time, the processor time that of the process (the
// import reads and writes on a thread of its own).
void importInto(benchmark::State &state, testbook::Format format, int count, const std::string &name)
{
    const QString &file = customerFile(format, count);
    boxes::BoxRecorder boxes;
    static int run = 0;
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString database = workDir().filePath(QStringLiteral("run%1/db.mdb").arg(++run));
        QDir().mkpath(QFileInfo(database).path());
        createDatabase(database);
        const double before = resetPeakMemory();
        const double cpuBefore = processCpuSeconds();
        state.ResumeTiming();

        CustomerImport(DatabaseLocation::inFile(database), [] {}).run(file);

        state.PauseTiming();
        cpu += processCpuSeconds() - cpuBefore;
        state.counters["added_peak_KiB"] = bench::memoryKiB("VmHWM") - before;
        QFile::remove(database);
        state.ResumeTiming();
    }
    cpuSeconds()[name] = cpu / double(state.iterations());
    state.counters["rows"] = count;
}

void BM_ImportXlsx(benchmark::State &state)
{
    importInto(state, testbook::Format::Xlsx, 100000, "import xlsx");
}
BENCHMARK(BM_ImportXlsx)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(5);

void BM_ImportXls(benchmark::State &state)
{
    importInto(state, testbook::Format::Xls, 65535, "import xls");
}
BENCHMARK(BM_ImportXls)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(5);

// Our readers alone, for the same measure as Python's below.
void readAll(benchmark::State &state, testbook::Format format)
{
    const QString &file = customerFile(format);
    const double before = resetPeakMemory();
    for (auto _ : state) {
        const auto workbook = openWorkbook(file);
        int rows = 0;
        for (int row = 1; row <= workbook->usedRowCount(); ++row) {
            benchmark::DoNotOptimize(workbook->cellText(row, 1));
            benchmark::DoNotOptimize(workbook->cellText(row, 2));
            ++rows;
        }
        state.counters["rows"] = rows;
    }
    state.counters["added_peak_KiB"] = bench::memoryKiB("VmHWM") - before;
}

void BM_ReadXlsx(benchmark::State &state)
{
    readAll(state, testbook::Format::Xlsx);
}
BENCHMARK(BM_ReadXlsx)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ReadXls(benchmark::State &state)
{
    readAll(state, testbook::Format::Xls);
}
BENCHMARK(BM_ReadXls)->Unit(benchmark::kMillisecond)->Iterations(5);

// Python's own figure for opening and reading, without its start-up.
void pythonReads(benchmark::State &state, const QString &library, testbook::Format format, int count = 0)
{
    const QString &file = customerFile(format, count);
    double cpu = 0;
    for (auto _ : state) {
        QProcess python;
        python.start(testsupport::systemPython(),
                     {testsupport::sourcePath(QStringLiteral("bench/python_read.py")), library, file});
        python.waitForFinished(1800000);
        const QList<QByteArray> figures = python.readAllStandardOutput().trimmed().split(' ');
        if (python.exitCode() != 0 || figures.size() != 3) {
            state.SkipWithError(python.readAllStandardError().constData());
            return;
        }
        state.SetIterationTime(figures.at(0).toDouble());
        cpu += figures.at(0).toDouble();
        state.counters["rows"] = figures.at(1).toDouble();
        state.counters["peak_KiB"] = figures.at(2).toDouble();
    }
    // Appended piece by piece: g++ 12 warns falsely (-Wrestrict) on the one expression.
    std::string key = library.toStdString();
    key += format == testbook::Format::Xlsx ? " xlsx" : " xls";
    if (count) {
        key += ' ';
        key += std::to_string(count);
    }
    cpuSeconds()[key] = cpu / double(state.iterations());
}

void BM_Xlsx2csvReadsXlsx(benchmark::State &state)
{
    pythonReads(state, QStringLiteral("xlsx2csv"), testbook::Format::Xlsx);
}
BENCHMARK(BM_Xlsx2csvReadsXlsx)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_OpenpyxlReadsXlsx(benchmark::State &state)
{
    pythonReads(state, QStringLiteral("openpyxl"), testbook::Format::Xlsx);
}
BENCHMARK(BM_OpenpyxlReadsXlsx)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_XlrdReadsXlsx(benchmark::State &state)
{
    pythonReads(state, QStringLiteral("xlrd"), testbook::Format::Xlsx);
}
BENCHMARK(BM_XlrdReadsXlsx)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_XlrdReadsXls(benchmark::State &state)
{
    pythonReads(state, QStringLiteral("xlrd"), testbook::Format::Xls);
}
BENCHMARK(BM_XlrdReadsXls)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// A million rows, when asked for: the import and xlsx2csv, once each.
[[maybe_unused]] const bool millionRegistered = [] {
    if (!qEnvironmentVariableIsSet("QUILLON_BENCH_1M"))
        return false;
    benchmark::RegisterBenchmark(
        "BM_ImportXlsx1M",
        [](benchmark::State &state) { importInto(state, testbook::Format::Xlsx, 1000000, "import xlsx 1000000"); })
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime()
        ->Iterations(1);
    benchmark::RegisterBenchmark("BM_Xlsx2csvReadsXlsx1M",
                                 [](benchmark::State &state) {
                                     pythonReads(state, QStringLiteral("xlsx2csv"), testbook::Format::Xlsx, 1000000);
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1);
    return true;
}();

// Each import's processor time beside the fastest reader of the same file in this run, and the
// ratio (goal: at most 0.5).
void BM_Summary(benchmark::State &state)
{
    for (auto _ : state) { }
    const auto &cpu = cpuSeconds();
    const auto ratio
        = [&](const std::string &import, const std::string &counter, std::initializer_list<const char *> readers) {
              if (!cpu.count(import))
                  return;
              double fastest = 0;
              for (const char *reader : readers) {
                  if (cpu.count(reader) && (fastest == 0 || cpu.at(reader) < fastest))
                      fastest = cpu.at(reader);
              }
              state.counters[counter + "_s"] = cpu.at(import);
              if (fastest > 0) {
                  state.counters[counter + "_fastest_reader_s"] = fastest;
                  state.counters[counter + "_ratio"] = cpu.at(import) / fastest;
              }
          };
    ratio("import xlsx", "xlsx", {"xlsx2csv xlsx", "openpyxl xlsx", "xlrd xlsx"});
    ratio("import xls", "xls", {"xlrd xls"});
    ratio("import xlsx 1000000", "xlsx1M", {"xlsx2csv xlsx 1000000"});
    state.SetLabel("processor seconds: the whole import against the fastest reader alone");
}

} // namespace

// Registered last, so it runs after every figure it reports.
BENCHMARK(BM_Summary)->Iterations(1);
