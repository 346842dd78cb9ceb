// The customer import as one whole process, for import_whole to time beside a Python process reading
// the same file:
//     import_probe make <dir>              writes customers65535.xls, customers100000.xlsx (the
//                                          same rows as bench_import's) and an empty db.mdb there
//     import_probe import <db.mdb> <file>  imports the file into db.mdb and exits
// The import is the import button's job, both its steps: the rows read and sorted, then written
// (duplicates too, as the preview's first choice does); no window and no boxes. A failure prints
// its text and exits with 1.

#include "CustomerImportRun.h"
#include "Error.h"
#include "ProcessMemory.h"
#include "Schema.h"
#include "WorkbookFiles.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <semaphore>

namespace {

int make(const QString &dir)
{
    QDir().mkpath(dir);
    for (const auto &[format, count] :
         {std::pair{testbook::Format::Xls, 65535}, std::pair{testbook::Format::Xlsx, 100000}}) {
        QList<QPair<QString, QString>> rows;
        rows.reserve(count);
        for (int i = 1; i <= count; ++i)
            rows.append(
                {QStringLiteral("客户%1").arg(i, 6, 10, QChar(u'0')), QStringLiteral("c%1@example.com").arg(i)});
        testbook::write(testbook::customers(rows), format,
                        QDir(dir).filePath(QStringLiteral("customers%1").arg(count) + testbook::suffix(format)));
    }
    createDatabase(QDir(dir).filePath(QStringLiteral("db.mdb")));
    return 0;
}

int import(const QString &database, const QString &file)
{
    CustomerImportRun run(DatabaseLocation::inFile(database), file);
    std::binary_semaphore planned(0);
    std::binary_semaphore finished(0);
    QObject::connect(&run, &CustomerImportRun::planned, [&planned] { planned.release(); });
    QObject::connect(&run, &CustomerImportRun::finished, [&finished] { finished.release(); });
    run.start();
    planned.acquire();
    if (run.failure())
        std::rethrow_exception(run.failure());
    const int rows = int(run.plan().rows.size());
    run.write(true);
    finished.acquire();
    if (run.failure())
        std::rethrow_exception(run.failure());
    if (!run.outcome().failure.isEmpty())
        throw Error(run.outcome().failure);
    std::printf("%d %d\n", rows, run.imported());
    return run.imported() == rows ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // QUILLON_BENCH_PLAIN_MALLOC=1 leaves glibc's allocator as it comes, to compare in one build.
    if (!std::getenv("QUILLON_BENCH_PLAIN_MALLOC"))
        tuneAllocator();
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    try {
        if (arguments.size() == 3 && arguments.at(1) == QStringLiteral("make"))
            return make(arguments.at(2));
        if (arguments.size() == 4 && arguments.at(1) == QStringLiteral("import"))
            return import(arguments.at(2), arguments.at(3));
    } catch (const Error &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    std::fprintf(stderr, "usage: import_probe make <dir> | import <db.mdb> <file>\n");
    return 2;
}
