// Start of the program up to its window being shown, on the db.mdb of the working directory, next
// to the floors of the same run. Run it on a file of make_bench_db, offscreen or on a display:
//     cd <dir with db.mdb> && QT_QPA_PLATFORM=offscreen <build>/bench/start_probe
// It prints, one line each:
// - the window: time from process start to the window shown, CPU time, peak memory;
// - the same window on an empty db.mdb (this program again, in a temporary directory): what the
//   start costs without data, so the ratio tells what the data adds;
// - the database floor: on a fresh connection, the count of the send records and a page of rows
//   from each end, which is what the window reads of 发送情况 at start;
// - a peer: the sqlite3 shell counting the send records, a whole process like the window.
// With --window-only it prints the first line only.
// With --database URL (as the program takes it; quillon.ini is not read) the window starts on that
// server and only its line is printed: the other lines read db.mdb.
// A box at start would wait for an answer nobody gives offscreen: boxes are logged instead, and a
// start that showed one prints them and fails, as it is not the start being measured.

#include "DatabaseLocation.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "ProcessMemory.h"
#include "Schema.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds since the kernel started this process.
double sinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string field;
    for (int i = 0; i < 22 && stat >> field; ++i) { }
    std::ifstream uptimeFile("/proc/uptime");
    double uptime = 0;
    uptimeFile >> uptime;
    return uptime * 1000.0 - std::stod(field) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

// The peak resident memory of this process image in MB. Not getrusage's figure: that one keeps,
// across fork and exec, the peak of the program that started this one.
double peakMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

double milliseconds(const timeval &time)
{
    return double(time.tv_sec) * 1000.0 + double(time.tv_usec) / 1000.0;
}

double cpuMilliseconds(const rusage &usage)
{
    return milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
}

double since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures
{
    double wall = 0;
    double cpu = 0;
    double peak = 0; // MB
};

// The window's own line, as this program prints it: "window shown W ms ..., CPU C ms, peak memory M MB".
Figures parse(const QByteArray &line)
{
    Figures figures;
    std::sscanf(line.constData(), "window shown %lf ms after start, CPU %lf ms, peak memory %lf MB", &figures.wall,
                &figures.cpu, &figures.peak);
    return figures;
}

Figures emptyWindow(const QString &program)
{
    QTemporaryDir dir;
    createDatabase(dir.filePath(QStringLiteral("db.mdb")));
    QProcess child;
    child.setWorkingDirectory(dir.path());
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program, {QStringLiteral("--window-only")});
    child.waitForFinished(-1);
    return parse(child.readAllStandardOutput());
}

// The count and a page from each end, as the window's send-record view reads them.
Figures databaseFloor()
{
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const Clock::time_point start = Clock::now();
    sqlite3 *handle = nullptr;
    sqlite3_open_v2("db.mdb", &handle, SQLITE_OPEN_READWRITE, nullptr);
    qint64 rows = 0;
    for (const char *sql : {"select (select count(*) from 发送情况), (select min(rowid) from 发送情况),"
                            " (select max(rowid) from 发送情况)",
                            "select rowid, * from 发送情况 order by rowid limit 256",
                            "select rowid, * from 发送情况 order by rowid desc limit 256"}) {
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(handle, sql, -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(statement); ++c)
                sqlite3_column_value(statement, c);
            ++rows;
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(handle);
    Figures figures;
    figures.wall = since(start);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    figures.cpu = cpuMilliseconds(after) - cpuMilliseconds(before);
    return figures;
}

// The sqlite3 shell counting the records: the whole process, from its start to its end.
Figures shellCount()
{
    Figures figures;
    const char *arguments[] = {"sqlite3", "db.mdb", "select count(*) from 发送情况", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const Clock::time_point start = Clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, "sqlite3", &actions, nullptr, const_cast<char **>(arguments), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return figures;
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    figures.wall = since(start);
    figures.cpu = cpuMilliseconds(usage);
    posix_spawn_file_actions_destroy(&actions);
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    // QUILLON_BENCH_PLAIN_MALLOC=1 leaves glibc's allocator as it comes, to compare in one build.
    if (!std::getenv("QUILLON_BENCH_PLAIN_MALLOC"))
        tuneAllocator();
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    DatabaseLocation location;
    try {
        location = chooseDatabaseLocation(databaseUrlArgument(arguments), std::nullopt);
    } catch (const DatabaseSettingError &error) {
        std::fprintf(stderr, "start_probe: %s\n", qUtf8Printable(error.message()));
        return 1;
    }
    const bool windowOnly = arguments.contains(QStringLiteral("--window-only")) || location.engine != Engine::Sqlite;
    boxes::BoxRecorder boxes;
    MainWindow form(location);
    form.show();
    Figures window;
    // Runs once the event loop has shown the window.
    QTimer::singleShot(0, &app, [&] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        window = {sinceProcessStart(), cpuMilliseconds(usage), peakMegabytes()};
        app.quit();
    });
    app.exec();
    const QList<boxes::ShownBox> shown = boxes.takeShown();
    for (const boxes::ShownBox &box : shown)
        std::fprintf(stderr, "start_probe: the start showed a box: %s\n", qUtf8Printable(box.text));
    if (!shown.isEmpty())
        return 2;
    std::printf("window shown %.0f ms after start, CPU %.0f ms, peak memory %.1f MB\n", window.wall, window.cpu,
                window.peak);
    std::fflush(stdout);
    if (windowOnly)
        return 0;

    const Figures empty = emptyWindow(QCoreApplication::applicationFilePath());
    std::printf("empty db.mdb: window shown %.0f ms after start, CPU %.0f ms, peak memory %.1f MB\n", empty.wall,
                empty.cpu, empty.peak);
    const Figures floor = databaseFloor();
    std::printf("database floor (count, first and last page): %.1f ms, CPU %.1f ms\n", floor.wall, floor.cpu);
    const Figures shell = shellCount();
    std::printf("peer: sqlite3 shell counting: %.0f ms, CPU %.0f ms\n", shell.wall, shell.cpu);
    std::printf("ratios: window / empty window %.2f (CPU %.2f, memory %.2f); window / shell count %.1f (CPU %.1f);"
                " data part / database floor (CPU) %.1f\n",
                window.wall / empty.wall, window.cpu / empty.cpu, window.peak / empty.peak, window.wall / shell.wall,
                window.cpu / shell.cpu, (window.cpu - empty.cpu) / floor.cpu);
    return 0;
}
