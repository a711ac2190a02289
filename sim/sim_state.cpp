#include "sim/sim_state.h"

#include "sim/host.h"

#include <cstdio>
#include <string>

namespace dfcsim {

namespace {

BoardSet g_set;
bool g_loaded = false;
std::string g_lastProblem; // last problem told on stderr

} // namespace

void loadBoards() {
    g_loaded = true;
    std::optional<std::string> path = hostEnv("DFCSIM_BOARDS");
    if (!path || path->empty())
        path = hostLibraryDir() + "dfcsim-boards.json";
    std::string problem;
    if (loadBoardSet(*path, g_set, problem) == 0) {
        g_lastProblem.clear();
        return;
    }
    // A program enumerates several times in a row; the same problem is told once.
    if (problem != g_lastProblem)
        std::fprintf(stderr, "dfcsim: %s; serving no boards\n", problem.c_str());
    g_lastProblem = problem;
}

void ensureBoardsLoaded() {
    if (!g_loaded)
        loadBoards();
}

Board* boardAt(std::uint32_t board) {
    ensureBoardsLoaded();
    return board < g_set.boards.size() ? &g_set.boards[board] : nullptr;
}

std::uint32_t boardCount() {
    ensureBoardsLoaded();
    return std::uint32_t(g_set.boards.size());
}

void boardStateChanged() {
    g_set.dirty = true;
    std::string problem;
    if (saveBoardSet(g_set, problem) != 0)
        std::fprintf(stderr, "dfcsim: %s\n", problem.c_str());
}

} // namespace dfcsim
