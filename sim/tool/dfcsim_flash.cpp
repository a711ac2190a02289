// dfcsim-flash [board file]: prints what the flash of every board of a board file
// holds (see sim/README.md, "What the flash holds"). It reads the file as the library
// would and changes nothing: no reboot flag is spent, no file is written.
#include "sim/board.h"
#include "sim/flash_report.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: dfcsim-flash [board file]\n");
        return 2;
    }
    const char* fromEnvironment = std::getenv("DFCSIM_BOARDS");
    const std::string path = argc == 2 ? argv[1] : fromEnvironment != nullptr ? fromEnvironment : "";
    if (path.empty()) {
        std::fprintf(stderr, "dfcsim-flash: no board file (give one, or set DFCSIM_BOARDS)\n");
        return 2;
    }
    dfcsim::BoardSet set;
    std::string problem;
    if (dfcsim::loadBoardSet(path, set, problem) != 0) {
        std::fprintf(stderr, "dfcsim-flash: %s\n", problem.c_str());
        return 1;
    }
    try {
        std::printf("%s\n", dfcsim::flashReport(set).dump(2).c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dfcsim-flash: %s\n", e.what());
        return 1;
    }
    return 0;
}
