// Makes a db.mdb for measuring: make_bench_db [path] [customers] [send records]
// (defaults: db.mdb in the working directory, 100000, 1000000). The file must not exist yet.

#include "BenchData.h"
#include "Error.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString path = args.value(1, QStringLiteral("db.mdb"));
    const int customers = args.value(2, QStringLiteral("100000")).toInt();
    const int records = args.value(3, QStringLiteral("1000000")).toInt();
    QElapsedTimer timer;
    timer.start();
    try {
        bench::makeBenchDatabase(path, customers, records);
    } catch (const Error &error) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), error.what());
        return 1;
    }
    std::printf("%s: %d customers, %d send records in %.1f s\n", qPrintable(path), customers, records,
                double(timer.elapsed()) / 1000);
    return 0;
}
