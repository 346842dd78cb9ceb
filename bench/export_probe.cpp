// The records page's export as a process of its own, so that its time, CPU time and peak memory are
// taken the way the sqlite3 shell's are: export_probe <db.mdb> <target .csv or .xlsx> [mail ID]
// (without a mail ID every send record, as the page's "all" filter). Prints the records written.

#include "ProcessMemory.h"
#include "RecordExportRun.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <future>

int main(int argc, char **argv)
{
    // QUILLON_BENCH_PLAIN_MALLOC=1 leaves glibc's allocator as it comes, to compare in one build.
    if (!std::getenv("QUILLON_BENCH_PLAIN_MALLOC"))
        tuneAllocator();
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: export_probe <db.mdb> <target.csv|.xlsx> [mail ID]\n");
        return 2;
    }
    SendRecordFilter filter;
    if (args.size() > 3)
        filter.mailId = args[3].toLongLong();

    RecordExportRun run(DatabaseLocation::inFile(args[1]), filter, args[2]);
    std::promise<void> ended;
    qint64 written = -1;
    QString failure;
    // The run's signals come from its own thread; nothing here needs an event loop.
    QObject::connect(&run, &RecordExportRun::completed, &run, [&](qint64 n) { written = n; }, Qt::DirectConnection);
    QObject::connect(&run, &RecordExportRun::failed, &run, [&](const QString &text) { failure = text; },
                     Qt::DirectConnection);
    QObject::connect(&run, &RecordExportRun::finished, &run, [&] { ended.set_value(); }, Qt::DirectConnection);
    run.start();
    ended.get_future().wait();
    if (written < 0) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(failure));
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(written));
    return 0;
}
