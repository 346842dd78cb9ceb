// Start of the program up to its window being shown, on the db.mdb of the working directory:
// prints the time from process start and the peak memory, then quits. Run it on the file of
// make_bench_db, offscreen or on a display:
//     cd <dir with db.mdb> && QT_QPA_PLATFORM=offscreen <build>/bench/start_probe

#include "MainWindow.h"

#include <QApplication>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

// Milliseconds since the kernel started this process.
static double sinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string field;
    for (int i = 0; i < 22 && stat >> field; ++i) { }
    std::ifstream uptimeFile("/proc/uptime");
    double uptime = 0;
    uptimeFile >> uptime;
    return uptime * 1000.0 - std::stod(field) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    MainWindow form;
    form.show();
    // Runs once the event loop has shown the window.
    QTimer::singleShot(0, &app, [&] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("window shown %.0f ms after start, peak memory %.1f MB\n", sinceProcessStart(),
                    double(usage.ru_maxrss) / 1024.0);
        app.quit();
    });
    return app.exec();
}
