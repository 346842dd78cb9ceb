// The customer import as a whole process (import_probe) beside a whole Python process reading the
// same file: xlrd for the .xls file of 65,535 rows, xlsx2csv for the .xlsx file of 100,000 rows.
// Each is timed as a child of this program: wall time, user + system processor time, its peak
// resident memory and its minor page faults (from wait4). The rounds alternate which of a pair runs
// first; one round before them is not counted (the files into the page cache). Per pair it prints
// the min/median/max of the per-round ratio of processor time (import / peer) and the medians of
// each side. Usage:
//     import_whole [--rounds N] [--probe PATH]
// --probe times another build's import_probe (an earlier commit's, say) on the same files.
//
// This program uses no Qt, so what the children's peak memory inherits from it (Linux keeps the
// parent's peak across fork and exec) stays at the few MB of a small program.

#include "Spread.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern char **environ;

namespace {

namespace fs = std::filesystem;

struct Figures
{
    double wall = 0; // s
    double cpu = 0; // user + system, s
    double system = 0; // s
    long peakKiB = 0;
    long minorFaults = 0;
};

double seconds(const timeval &time)
{
    return double(time.tv_sec) + double(time.tv_usec) / 1e6;
}

Figures timed(const std::vector<std::string> &arguments)
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto begin = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, argv.front(), &actions, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start " + arguments.front());
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child)
        throw std::runtime_error("lost " + arguments.front());
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("failed: " + arguments.front() + " " + arguments.back());
    return {std::chrono::duration<double>(end - begin).count(), seconds(usage.ru_utime) + seconds(usage.ru_stime),
            seconds(usage.ru_stime), usage.ru_maxrss, usage.ru_minflt};
}

double median(std::vector<double> values)
{
    return bench::spreadOf(std::move(values)).median;
}

void printSpread(const char *what, const std::vector<double> &values)
{
    const bench::Spread spread = bench::spreadOf(values);
    std::printf("  %-10s min %.3f  median %.3f  max %.3f\n", what, spread.min, spread.median, spread.max);
}

struct Pair
{
    std::string name;
    std::vector<std::string> ours;
    std::vector<std::string> peer;
    std::vector<Figures> oursRounds;
    std::vector<Figures> peerRounds;
};

void summary(const Pair &pair)
{
    std::vector<double> ratios;
    std::vector<double> wallRatios;
    for (size_t i = 0; i < pair.oursRounds.size(); ++i) {
        ratios.push_back(pair.oursRounds[i].cpu / pair.peerRounds[i].cpu);
        wallRatios.push_back(pair.oursRounds[i].wall / pair.peerRounds[i].wall);
    }
    const auto side = [](const char *who, const std::vector<Figures> &rounds) {
        std::vector<double> wall, cpu, system, peak, faults;
        for (const Figures &f : rounds) {
            wall.push_back(f.wall);
            cpu.push_back(f.cpu);
            system.push_back(f.system);
            peak.push_back(double(f.peakKiB));
            faults.push_back(double(f.minorFaults));
        }
        std::printf("  %-7s median: wall %.3f s, cpu %.3f s (system %.3f s), peak %.0f KiB, minor faults %.0f\n",
                    who, median(wall), median(cpu), median(system), median(peak), median(faults));
    };
    std::printf("%s, %zu rounds\n", pair.name.c_str(), ratios.size());
    printSpread("cpu ratio", ratios);
    printSpread("wall ratio", wallRatios);
    side("import", pair.oursRounds);
    side("peer", pair.peerRounds);
}

} // namespace

int main(int argc, char *argv[])
{
    int rounds = 15;
    std::string probe = QUILLON_IMPORT_PROBE;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--rounds")
            rounds = std::atoi(argv[i + 1]);
        else if (option == "--probe")
            probe = argv[i + 1];
    }
    try {
        char pattern[] = "/tmp/import_whole.XXXXXX";
        if (!mkdtemp(pattern))
            throw std::runtime_error("no temporary directory");
        const fs::path dir = pattern;
        timed({QUILLON_IMPORT_PROBE, "make", dir.string()});
        const fs::path empty = dir / "db.mdb";
        const fs::path database = dir / "run" / "db.mdb";
        fs::create_directory(dir / "run");
        const std::string python = "/usr/bin/python3";
        const std::string reader = QUILLON_SOURCE_DIR "/bench/python_read.py";
        const std::string xls = (dir / "customers65535.xls").string();
        const std::string xlsx = (dir / "customers100000.xlsx").string();
        std::vector<Pair> pairs{
            {".xls import (65,535 rows) against xlrd", {probe, "import", database.string(), xls},
             {python, reader, "xlrd", xls}, {}, {}},
            {".xlsx import (100,000 rows) against xlsx2csv", {probe, "import", database.string(), xlsx},
             {python, reader, "xlsx2csv", xlsx}, {}, {}},
        };
        const auto runOurs = [&](const Pair &pair) {
            fs::remove_all(dir / "run");
            fs::create_directory(dir / "run");
            fs::copy_file(empty, database);
            return timed(pair.ours);
        };
        for (int round = -1; round < rounds; ++round) {
            for (Pair &pair : pairs) {
                Figures ours, peer;
                if (round % 2 == 0) {
                    ours = runOurs(pair);
                    peer = timed(pair.peer);
                } else {
                    peer = timed(pair.peer);
                    ours = runOurs(pair);
                }
                if (round < 0)
                    continue;
                pair.oursRounds.push_back(ours);
                pair.peerRounds.push_back(peer);
                std::printf("round %2d %-5s import cpu %.3f s (sys %.3f, %ld faults, %ld KiB)  peer cpu %.3f s "
                            "(sys %.3f, %ld faults, %ld KiB)  ratio %.3f\n",
                            round + 1, pair.ours.back().substr(pair.ours.back().rfind('.')).c_str(), ours.cpu,
                            ours.system, ours.minorFaults, ours.peakKiB, peer.cpu, peer.system, peer.minorFaults,
                            peer.peakKiB, ours.cpu / peer.cpu);
                std::fflush(stdout);
            }
        }
        fs::remove_all(dir);
        for (const Pair &pair : pairs)
            summary(pair);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
