// The send-record page of the window on a db.mdb of 100,000 customers and 1,000,000 send
// records: the time from a pick in the customer or mail list to the count shown (re-query,
// counting walk, grid reset and the repaint that follows), choosing 所有 again, and one
// drop-down of the customer list.

#include "BenchData.h"
#include "MainWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int customerCount = 100000;
constexpr int recordCount = 1000000;

MainWindow *form = nullptr;

template <class T> T *control(const char *name)
{
    return form->findChild<T *>(QLatin1String(name));
}

// Picks entries of `list` in turn, in the mode `button`, as the user does after a drop-down.
void pickAndCount(benchmark::State &state, const char *button, const char *list)
{
    control<QRadioButton>(button)->click();
    auto *numbers = control<QComboBox>(list);
    numbers->showPopup();
    numbers->hidePopup();
    int entry = 0;
    for (auto _ : state) {
        const int index = entry++ % numbers->count();
        numbers->setCurrentIndex(index);
        emit numbers->activated(index);
        QApplication::processEvents();
    }
    state.counters["shown"] = control<QLabel>("recordCount")->text().toDouble();
}

void BM_PickCustomer(benchmark::State &state)
{
    pickAndCount(state, "byCustomerButton", "customerFilter");
}
BENCHMARK(BM_PickCustomer)->Unit(benchmark::kMillisecond);

void BM_PickMail(benchmark::State &state)
{
    pickAndCount(state, "byMailButton", "mailFilter");
}
BENCHMARK(BM_PickMail)->Unit(benchmark::kMillisecond);

// 所有 after a filter: every record again.
void BM_ChooseAll(benchmark::State &state)
{
    for (auto _ : state) {
        control<QRadioButton>("byCustomerButton")->click();
        state.PauseTiming();
        QApplication::processEvents();
        state.ResumeTiming();
        control<QRadioButton>("allButton")->click();
        QApplication::processEvents();
    }
    state.counters["shown"] = control<QLabel>("recordCount")->text().toDouble();
}
BENCHMARK(BM_ChooseAll)->Unit(benchmark::kMillisecond);

void BM_DropDownCustomers(benchmark::State &state)
{
    control<QRadioButton>("byCustomerButton")->click();
    auto *numbers = control<QComboBox>("customerFilter");
    for (auto _ : state) {
        numbers->showPopup();
        numbers->hidePopup();
        QApplication::processEvents();
    }
    state.counters["entries"] = numbers->count();
}
BENCHMARK(BM_DropDownCustomers)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    // The window looks for db.mdb in the working directory: a temporary one holding either a
    // file made here or a link to the file QUILLON_BENCH_DB names (made by make_bench_db).
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("db.mdb"));
    const QString given = qEnvironmentVariable("QUILLON_BENCH_DB");
    if (given.isEmpty())
        bench::makeBenchDatabase(file, customerCount, recordCount);
    else
        QFile::link(QFileInfo(given).absoluteFilePath(), file);
    QDir::setCurrent(dir.path());
    MainWindow window;
    window.show();
    form = &window;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
