// The send-record page of the window on a db.mdb of 100,000 customers (QUILLON_BENCH_CUSTOMERS
// others) and 1,000,000 send records: the time from a pick in the customer or mail list to the
// count shown (re-query, counting walk, grid reset and the repaint that follows), choosing 所有
// again, and the customer picker: opening it, the matches of a typed text, the memory it takes.

#include "BenchData.h"
#include "CustomerPicker.h"
#include "MainWindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

namespace {

constexpr int recordCount = 1000000;

int customerCount()
{
    return qEnvironmentVariableIntValue("QUILLON_BENCH_CUSTOMERS") > 0 ? qEnvironmentVariableIntValue("QUILLON_BENCH_CUSTOMERS")
                                                                       : 100000;
}

MainWindow *form = nullptr;

template <class T> T *control(const char *name)
{
    return form->findChild<T *>(QLatin1String(name));
}

double minimum(const std::vector<double> &v)
{
    return *std::min_element(v.begin(), v.end());
}

double maximum(const std::vector<double> &v)
{
    return *std::max_element(v.begin(), v.end());
}

CustomerPicker *picker()
{
    return control<CustomerPicker>("customerFilter");
}


void countShown(benchmark::State &state)
{
    state.counters["shown"] = control<QLabel>("recordCount")->text().toDouble();
}

// The text typed into the picker, as its line edit reports a keystroke.
void typeText(const QString &text)
{
    picker()->lineEdit()->setText(text);
    emit picker()->lineEdit()->textEdited(text);
}

// Customers chosen in turn, in the mode 客户ID, each found by its number and chosen from the
// matches as a click does.
void BM_PickCustomer(benchmark::State &state)
{
    control<QRadioButton>("byCustomerButton")->click();
    int customer = 0;
    for (auto _ : state) {
        typeText(QString::number(1 + customer++ % customerCount()));
        QAbstractItemView *matches = picker()->matchList();
        emit matches->clicked(matches->model()->index(0, 0));
        QApplication::processEvents();
    }
    countShown(state);
}
BENCHMARK(BM_PickCustomer)->Unit(benchmark::kMillisecond);

void BM_PickMail(benchmark::State &state)
{
    control<QRadioButton>("byMailButton")->click();
    auto *numbers = control<QComboBox>("mailFilter");
    numbers->showPopup();
    numbers->hidePopup();
    int entry = 0;
    for (auto _ : state) {
        const int index = entry++ % numbers->count();
        numbers->setCurrentIndex(index);
        emit numbers->activated(index);
        QApplication::processEvents();
    }
    countShown(state);
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

// The picker opened with the arrow (the first customers, shown with ID, name and address) and
// closed again; the resident memory it adds over all the openings.
void BM_OpenPicker(benchmark::State &state)
{
    control<QRadioButton>("byCustomerButton")->click();
    CustomerPicker *list = picker();
    const double before = bench::memoryKiB("VmRSS");
    for (auto _ : state) {
        list->showPopup();
        QApplication::processEvents();
        list->hidePopup();
        QApplication::processEvents();
    }
    state.counters["matches"] = list->matches()->rowCount();
    state.counters["rss_added_KiB"] = bench::memoryKiB("VmRSS") - before;
    state.counters["peak_KiB"] = bench::memoryKiB("VmHWM");
}

// A text typed: the time until the matches the indexes find are shown ("first"), and until the
// scan inside names and addresses has ended ("all"), with the longest the window's thread was
// busy at one turn of the event loop meanwhile ("longest_turn_ms").
const struct
{
    const char *label;
    const char *text;
} typed[] = {
    {"id digits", "123"},
    {"name prefix", "客户000"},
    {"address prefix", "c000999"},
    {"address part", "999@"},
    {"rare text (no match)", "zz"},
};

void BM_PickerMatches(benchmark::State &state)
{
    const auto &[label, text] = typed[state.range(0)];
    control<QRadioButton>("byCustomerButton")->click();
    CustomerPicker *list = picker();
    double longest = 0;
    double first = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        typeText(QString::fromUtf8(text));
        first = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        while (list->isSearching()) {
            const auto turn = std::chrono::steady_clock::now();
            QApplication::processEvents();
            longest = std::max(longest,
                               std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - turn).count());
        }
        state.PauseTiming();
        list->hidePopup();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetLabel(label);
    state.counters["first_ms"] = first;
    state.counters["longest_turn_ms"] = longest;
    state.counters["matches"] = list->matches()->rowCount();
}

BENCHMARK(BM_OpenPicker)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", minimum)
    ->ComputeStatistics("max", maximum);
BENCHMARK(BM_PickerMatches)
    ->DenseRange(0, std::size(typed) - 1)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", minimum)
    ->ComputeStatistics("max", maximum);

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
        bench::makeBenchDatabase(file, customerCount(), recordCount);
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
