// Side-by-side timings of the built program: each pair of commands alternates within
// one run, with a warm file cache, so that machine load falls on both alike. Prints
// the median wall time of each, the ratio of the medians and the spread of the
// per-round ratios; the program's peak resident memory comes from wait4.
//
//   bench_compare image <winmarlo> <image file> [rounds]
//       winmarlo -e FILE against cat FILE, both to /dev/null
//   bench_compare inventory <winmarlo> <demo package> <work folder> [rounds]
//       an inventory of 256 simulated boards against one of 64 (the demo boards repeated)
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
#include <string>
#include <utility>
#include <vector>

namespace {

struct Outcome {
    double seconds = 0;
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
                        {"ProgramFiles", folder + "/programfiles"}}};
    };
    unsetenv("DFCSIM_JOURNAL");
    int status = -1;
    const Pair p = alternate(command(folders[0], 256), command(folders[1], 64), rounds, status);
    std::printf("inventory (exit status %d)\n", status);
    report("inventory", "256 boards", "64 boards", p, 4.4);
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
    std::fprintf(stderr, "usage: bench_compare image <winmarlo> <file> [rounds]\n"
                         "       bench_compare inventory <winmarlo> <package> <work folder> [rounds]\n");
    return 1;
}
