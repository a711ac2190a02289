// Side-by-side timings of the built program: each pair of commands alternates within
// one run, with a warm file cache, so that machine load falls on both alike. Prints
// the median wall time of each, the ratio of the medians and the spread of the
// per-round ratios; the program's peak resident memory comes from wait4.
//
//   bench_compare image <winmarlo> <image file> [rounds]
//       winmarlo -e FILE against cat FILE, both to /dev/null
//   bench_compare inventory <winmarlo> <demo package> <work folder> [rounds]
//       an inventory of 256 simulated boards against one of 64 (the demo boards repeated)
//   bench_compare timing <winmarlo> <demo package> <work folder> [rounds]
//       the demo package's update under the simulator's timing model: its wall time
//       against the time the model waited plus the program's own fixed waits
//   bench_compare flash <winmarlo> <winmarlo-mkimage> <demo package> <work folder> [rounds]
//       forced updates that download a 64 MiB ALL file (legacy board) and a 64 MiB GRP
//       file (Ferrox board), timing model off: the process's peak resident memory
//       against its limit, and the time and CPU per MiB beyond a 1 KiB payload's
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Outcome {
    double seconds = 0;
    double cpuSeconds = 0; // user and system
    long peakKiB = 0;
    int status = -1;
};

struct Command {
    std::vector<std::string> argv;
    std::string folder;                             // empty: the current one
    std::vector<std::pair<std::string, std::string>> env; // set in the child only
};

// Runs a command with standard output and error on /dev/null.
Outcome run(const Command& command) {
    const std::vector<std::string>& argv = command.argv;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        if (!command.folder.empty() && chdir(command.folder.c_str()) != 0)
            _exit(126);
        for (const auto& [name, value] : command.env)
            setenv(name.c_str(), value.c_str(), 1);
        execv(args[0], args.data());
        _exit(127);
    }
    Outcome o;
    int status = 0;
    rusage usage{};
    if (child > 0 && wait4(child, &status, 0, &usage) == child) {
        o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        o.peakKiB = usage.ru_maxrss;
        o.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return o;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Pair {
    std::vector<double> a, b, ratios;
    long peakA = 0;
};

// Alternates a and b (a first in even rounds, b first in odd ones) after one warm-up
// run of each.
Pair alternate(const Command& a, const Command& b, int rounds, int& statusA) {
    Pair p;
    statusA = run(a).status;
    run(b);
    for (int i = 0; i < rounds; ++i) {
        Outcome x, y;
        if (i % 2 == 0) {
            x = run(a);
            y = run(b);
        } else {
            y = run(b);
            x = run(a);
        }
        p.a.push_back(x.seconds);
        p.b.push_back(y.seconds);
        p.ratios.push_back(y.seconds > 0 ? x.seconds / y.seconds : 0);
        p.peakA = std::max(p.peakA, x.peakKiB);
    }
    return p;
}

void report(const char* what, const char* nameA, const char* nameB, const Pair& p, double limit) {
    const double ma = median(p.a), mb = median(p.b);
    const auto [lo, hi] = std::minmax_element(p.ratios.begin(), p.ratios.end());
    std::printf("%s: %s %.2f ms, %s %.2f ms (medians of %zu rounds)\n", what, nameA, ma * 1e3, nameB,
                mb * 1e3, p.a.size());
    std::printf("%s: ratio %.2f (per-round spread %.2f to %.2f), limit %.2f: %s\n", what,
                mb > 0 ? ma / mb : 0, *lo, *hi, limit, mb > 0 && ma / mb <= limit ? "met" : "NOT MET");
}

int image(const std::string& program, const std::string& file, int rounds) {
    int status = -1;
    const Pair p = alternate({{program, "-e", file}, "", {}}, {{"/bin/cat", file}, "", {}}, rounds, status);
    const double mib = double(std::filesystem::file_size(file)) / (1 << 20);
    std::printf("image query (%.0f MiB ALL file, exit status %d)\n", mib, status);
    report("image query", "winmarlo -e", "cat", p, 1.3);
    std::printf("image query: peak resident memory %.2f MiB, limit 8 MiB: %s\n", p.peakA / 1024.0,
                p.peakA < 8 * 1024 ? "met" : "NOT MET");
    return 0;
}

// Writes `count` boards, the package's boards repeated; each copy's cards get buses
// of their own so that the copies stay separate cards.
std::string boardFile(const std::string& package, const std::string& folder, std::size_t count) {
    std::ifstream in(package + "/boards.json");
    const nlohmann::json demo = nlohmann::json::parse(in);
    const nlohmann::json& kinds = demo.at("boards");
    std::vector<unsigned> buses;
    for (const auto& b : kinds) {
        const unsigned bus = b.at("pci").at("bus").get<unsigned>();
        if (std::find(buses.begin(), buses.end(), bus) == buses.end())
            buses.push_back(bus);
    }
    nlohmann::json boards = nlohmann::json::array();
    for (std::size_t i = 0; i < count; ++i) {
        nlohmann::json b = kinds[i % kinds.size()];
        const std::size_t copy = i / kinds.size();
        const unsigned bus = b["pci"]["bus"].get<unsigned>();
        const std::size_t slot = std::find(buses.begin(), buses.end(), bus) - buses.begin();
        b["pci"]["bus"] = 16 + copy * buses.size() + slot;
        b["name"] = b["name"].get<std::string>() + "-" + std::to_string(copy);
        boards.push_back(b);
    }
    const std::string path = folder + "/boards-" + std::to_string(count) + ".json";
    std::ofstream(path) << nlohmann::json{{"boards", boards}}.dump(1) << '\n';
    return path;
}

int inventory(const std::string& program, const std::string& package, const std::string& work, int rounds) {
    namespace fs = std::filesystem;
    std::vector<std::string> folders;
    for (std::size_t count : {256, 64}) {
        const std::string folder = work + "/inv" + std::to_string(count);
        fs::remove_all(folder);
        fs::create_directories(folder);
        fs::copy(package + "/config", folder + "/config", fs::copy_options::recursive);
        fs::copy(package + "/common", folder + "/common", fs::copy_options::recursive);
        boardFile(package, folder, count);
        folders.push_back(folder);
    }
    const auto command = [&](const std::string& folder, std::size_t count) {
        return Command{{program, "-inv", "-o", "-g", "-c", "config", "-p", "common"},
                       folder,
                       {{"DFCSIM_BOARDS", folder + "/boards-" + std::to_string(count) + ".json"},
                        {"ProgramFiles", folder + "/programfiles"},
                        {"DFCSIM_TIMING", "off"}}};
    };
    unsetenv("DFCSIM_JOURNAL");
    int status = -1;
    const Pair p = alternate(command(folders[0], 256), command(folders[1], 64), rounds, status);
    std::printf("inventory (exit status %d)\n", status);
    report("inventory", "256 boards", "64 boards", p, 4.4);
    return 0;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

// The value of a "<name> <microseconds>" line of the simulator's timing report.
double reportedMs(const std::string& report, const std::string& name) {
    const auto at = report.find(name + " ");
    return at == std::string::npos || (at != 0 && report[at - 1] != '\n')
               ? 0
               : std::strtod(report.c_str() + at + name.size() + 1, nullptr) / 1e3;
}

// One update of a fresh copy of the demo package with the timing model on. Its wall
// time T should be what the model waited (M, from the simulator's report) plus the
// program's own waits (W) and little more. W is counted from the journal and the
// debug log: every reset follows a wait, 3000 ms when the debug log says so, else
// 40 ms; every loopback set while the link is down is followed by 500 ms.
int timing(const std::string& program, const std::string& package, const std::string& work, int rounds) {
    namespace fs = std::filesystem;
    static const char* const kKinds[] = {"mailbox", "erase", "chunk", "objectPiece", "reset", "boot"};
    std::vector<double> ratios, walls, modelled, fixed;
    std::string lastReport;
    int status = -1;
    for (int i = 0; i < rounds; ++i) {
        const std::string folder = work + "/timing";
        fs::remove_all(folder);
        fs::copy(package, folder, fs::copy_options::recursive);
        const Command update{{program, "-u", "-o", "-g", "-c", "config", "-p", "common"},
                             folder,
                             {{"DFCSIM_BOARDS", folder + "/boards.json"},
                              {"DFCSIM_JOURNAL", folder + "/journal.txt"},
                              {"DFCSIM_TIMING_REPORT", folder + "/timing.txt"},
                              {"ProgramFiles", folder + "/programfiles"}}};
        const Outcome o = run(update);
        status = o.status;
        lastReport = readAll(folder + "/timing.txt");
        const std::string journal = readAll(folder + "/journal.txt");
        const std::size_t interim = occurrences(readAll(folder + "/debug.log"), "Sleeping for 3000ms");
        const std::size_t resets = occurrences(journal, "DFC_ResetAdapter ");
        const std::size_t loopbacks = occurrences(journal, "result=0 enable=1 kind=15");
        const double m = reportedMs(lastReport, "total");
        const double w = 3000.0 * double(interim) + 40.0 * double(resets - std::min(resets, interim)) +
                         500.0 * double(loopbacks);
        const double t = o.seconds * 1e3;
        walls.push_back(t);
        modelled.push_back(m);
        fixed.push_back(w);
        ratios.push_back(m + w > 0 ? t / (m + w) : 0);
    }
    std::printf("timing model (demo update, exit status %d)\n", status);
    std::printf("timing model: modelled by kind (ms):");
    for (const char* kind : kKinds)
        std::printf(" %s %.1f", kind, reportedMs(lastReport, kind));
    std::printf("\n");
    const double ratio = median(ratios);
    const auto [lo, hi] = std::minmax_element(ratios.begin(), ratios.end());
    std::printf("timing model: M %.1f ms, W %.1f ms, T %.1f ms (medians of %zu runs)\n", median(modelled),
                median(fixed), median(walls), walls.size());
    std::printf("timing model: T / (M + W) %.3f (spread %.3f to %.3f), limit 1.05: %s\n", ratio, *lo, *hi,
                ratio > 0 && ratio <= 1.05 ? "met" : "NOT MET");
    return 0;
}

// The first board of the package's boards with this PCI device id, as a board file.
std::string oneBoard(const std::string& package, const char* deviceId) {
    std::ifstream in(package + "/boards.json");
    const nlohmann::json demo = nlohmann::json::parse(in);
    for (const auto& b : demo.at("boards"))
        if (b.contains("pci") && b["pci"].value("deviceId", "") == deviceId)
            return nlohmann::json{{"boards", nlohmann::json::array({b})}}.dump(1) + "\n";
    return "{\"boards\": []}\n";
}

struct FlashCase {
    const char* kind;
    const char* deviceId;
    std::vector<std::string> big, small; // image writer arguments after the file name
    const char* file;
    double limitMiB;
    const char* limitText;
};

// Forced updates of one board from a payload folder holding one large (64 MiB) or
// small (1 KiB) firmware file, the package's boot code and its rollback companion.
int flash(const std::string& program, const std::string& mkimage, const std::string& package,
          const std::string& work, int rounds) {
    namespace fs = std::filesystem;
    constexpr double kImageMiB = 64;
    const std::string big = std::to_string(64 << 20);
    const FlashCase cases[] = {
        {"ALL", "0xFE00", {"dwc:0x07E12894:" + big}, {"dwc:0x07E12894:1024"}, "fw.all", 32,
         "32 MiB"},
        {"GRP", "0xE300", {"-g6", "-build", "11.2.216.9 bench", "-body", big},
         {"-g6", "-build", "11.2.216.9 bench", "-body", "1024"}, "fw.grp", 64 + kImageMiB,
         "64 MiB + the image"},
    };
    unsetenv("DFCSIM_JOURNAL");
    for (const FlashCase& c : cases) {
        const std::string folder = work + "/flash-" + c.kind;
        fs::remove_all(folder);
        fs::create_directories(folder);
        fs::copy(package + "/config", folder + "/config", fs::copy_options::recursive);
        for (const char* size : {"big", "small"}) {
            const std::string common = folder + "/" + size;
            fs::create_directories(common);
            for (const auto& entry : fs::directory_iterator(package + "/common"))
                if (entry.path().extension() == ".prg" || entry.path().extension() == ".exe")
                    fs::copy(entry.path(), common + "/" + entry.path().filename().string());
            std::vector<std::string> argv{mkimage, std::string(c.kind) == "ALL" ? "all" : "grp",
                                          common + "/" + c.file};
            const std::vector<std::string>& more = std::string(size) == "big" ? c.big : c.small;
            argv.insert(argv.end(), more.begin(), more.end());
            if (run({argv, "", {}}).status != 0) {
                std::fprintf(stderr, "the image writer failed for %s\n", c.kind);
                return 1;
            }
        }
        const std::string boards = folder + "/boards.json";
        const std::string text = oneBoard(package, c.deviceId);
        // A fresh board file each time, without the binary files of the last run.
        const auto update = [&](const char* size) {
            std::vector<fs::path> left;
            for (const auto& entry : fs::directory_iterator(folder))
                if (entry.path().extension() == ".bin" || entry.path().extension() == ".tmp")
                    left.push_back(entry.path());
            for (const fs::path& path : left)
                fs::remove(path);
            std::ofstream(boards) << text;
            return run({{program, "-f", "-o", "-g", "-c", "config", "-p", size},
                        folder,
                        {{"DFCSIM_BOARDS", boards}, {"DFCSIM_TIMING", "off"}, {"ProgramFiles", folder + "/pf"}}});
        };
        std::vector<double> wall, cpu, smallWall, smallCpu;
        long peak = 0, smallPeak = 0;
        int status = -1, smallStatus = -1;
        std::uintmax_t boardBytes = 0, blobBytes = 0;
        for (int i = 0; i < rounds; ++i) {
            const Outcome o = update("big");
            status = o.status;
            wall.push_back(o.seconds);
            cpu.push_back(o.cpuSeconds);
            peak = std::max(peak, o.peakKiB);
            boardBytes = fs::file_size(boards);
            blobBytes = 0;
            for (const auto& entry : fs::directory_iterator(folder))
                if (entry.path().extension() == ".bin")
                    blobBytes += entry.file_size();
            const Outcome s = update("small");
            smallStatus = s.status;
            smallWall.push_back(s.seconds);
            smallCpu.push_back(s.cpuSeconds);
            smallPeak = std::max(smallPeak, s.peakKiB);
        }
        const double peakMiB = double(peak) / 1024;
        std::printf("flash %s (64 MiB, exit status %d; 1 KiB: %d): board file %ju bytes, binary files %.1f MiB\n",
                    c.kind, status, smallStatus, boardBytes, double(blobBytes) / (1 << 20));
        std::printf("flash %s: peak resident memory %.1f MiB (1 KiB payload: %.1f MiB), limit %s: %s\n", c.kind,
                    peakMiB, double(smallPeak) / 1024, c.limitText, peakMiB < c.limitMiB ? "met" : "NOT MET");
        std::printf("flash %s: wall %.0f ms, CPU %.0f ms (1 KiB payload: %.0f ms, %.0f ms; medians of %d); "
                    "per MiB beyond that: wall %.2f ms, CPU %.2f ms\n",
                    c.kind, median(wall) * 1e3, median(cpu) * 1e3, median(smallWall) * 1e3, median(smallCpu) * 1e3,
                    rounds, (median(wall) - median(smallWall)) * 1e3 / kImageMiB,
                    (median(cpu) - median(smallCpu)) * 1e3 / kImageMiB);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const std::string program = argc > 2 ? std::filesystem::absolute(argv[2]).string() : "";
    if (mode == "image" && (argc == 4 || argc == 5))
        return image(program, argv[3], argc == 5 ? std::atoi(argv[4]) : 15);
    if (mode == "inventory" && (argc == 5 || argc == 6))
        return inventory(program, std::filesystem::absolute(argv[3]).string(),
                         std::filesystem::absolute(argv[4]).string(), argc == 6 ? std::atoi(argv[5]) : 9);
    if (mode == "timing" && (argc == 5 || argc == 6))
        return timing(program, std::filesystem::absolute(argv[3]).string(),
                      std::filesystem::absolute(argv[4]).string(), argc == 6 ? std::atoi(argv[5]) : 3);
    if (mode == "flash" && (argc == 6 || argc == 7))
        return flash(program, std::filesystem::absolute(argv[3]).string(),
                     std::filesystem::absolute(argv[4]).string(), std::filesystem::absolute(argv[5]).string(),
                     argc == 7 ? std::atoi(argv[6]) : 3);
    std::fprintf(stderr, "usage: bench_compare image <winmarlo> <file> [rounds]\n"
                         "       bench_compare inventory <winmarlo> <package> <work folder> [rounds]\n"
                         "       bench_compare timing <winmarlo> <package> <work folder> [rounds]\n"
                         "       bench_compare flash <winmarlo> <mkimage> <package> <work folder> [rounds]\n");
    return 1;
}
