// The customer import of a large sheet, database included, beside Python's openpyxl (read-only) and
// xlrd merely reading the same files. A .xls sheet holds at most 65,536 rows, so the .xls file has
// 65,535 customers (and its empty row below); the .xlsx file has 100,000.

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

namespace {

// Resident memory from /proc/self/status ("VmRSS", or the peak "VmHWM"), in KiB.
double memoryKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toDouble();
    }
    return 0;
}

// What the work costs in memory above what the process held before it: the file generation
// runs in this process too, so the plain peak would tell little; what it freed is handed back first.
double resetPeakMemory()
{
    malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    return memoryKiB("VmRSS");
}

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

const QString &customerFile(testbook::Format format)
{
    static QHash<int, QString> files;
    QString &path = files[int(format)];
    if (path.isEmpty()) {
        const int count = format == testbook::Format::Xlsx ? 100000 : 65535;
        QList<QPair<QString, QString>> rows;
        rows.reserve(count);
        for (int i = 1; i <= count; ++i)
            rows.append(
                {QStringLiteral("客户%1").arg(i, 6, 10, QChar(u'0')), QStringLiteral("c%1@example.com").arg(i)});
        path = testbook::write(testbook::customers(rows), format,
                               workDir().filePath(QStringLiteral("customers") + testbook::suffix(format)));
    }
    return path;
}

void importInto(benchmark::State &state, testbook::Format format)
{
    const QString &file = customerFile(format);
    boxes::BoxRecorder boxes;
    static int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString database = workDir().filePath(QStringLiteral("run%1/db.mdb").arg(++run));
        QDir().mkpath(QFileInfo(database).path());
        createDatabase(database);
        const double before = resetPeakMemory();
        state.ResumeTiming();

        CustomerImport(database, [] {}).run(file);

        state.PauseTiming();
        state.counters["added_peak_KiB"] = memoryKiB("VmHWM") - before;
        state.ResumeTiming();
    }
    state.counters["rows"] = format == testbook::Format::Xlsx ? 100000 : 65535;
}

void BM_ImportXlsx(benchmark::State &state)
{
    importInto(state, testbook::Format::Xlsx);
}
BENCHMARK(BM_ImportXlsx)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ImportXls(benchmark::State &state)
{
    importInto(state, testbook::Format::Xls);
}
BENCHMARK(BM_ImportXls)->Unit(benchmark::kMillisecond)->Iterations(5);

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
    state.counters["added_peak_KiB"] = memoryKiB("VmHWM") - before;
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
void pythonReads(benchmark::State &state, const QString &library, testbook::Format format)
{
    const QString &file = customerFile(format);
    for (auto _ : state) {
        QProcess python;
        python.start(testsupport::systemPython(),
                     {testsupport::sourcePath(QStringLiteral("bench/python_read.py")), library, file});
        python.waitForFinished(600000);
        const QList<QByteArray> figures = python.readAllStandardOutput().trimmed().split(' ');
        if (python.exitCode() != 0 || figures.size() != 3) {
            state.SkipWithError(python.readAllStandardError().constData());
            return;
        }
        state.SetIterationTime(figures.at(0).toDouble());
        state.counters["rows"] = figures.at(1).toDouble();
        state.counters["peak_KiB"] = figures.at(2).toDouble();
    }
}

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

} // namespace
