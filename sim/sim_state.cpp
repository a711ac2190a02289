// The board set the library serves (see sim_state.h): the one loaded set, the "reboot"
// flag spent at loading, and the card-wide state the boards of one card take over
// after a change.
#include "sim/sim_state.h"

#include "sim/host.h"
#include "sim/timing.h"

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
    configureTiming();
    std::optional<std::string> path = hostEnv("DFCSIM_BOARDS");
    if (!path || path->empty())
        path = hostLibraryDir() + "dfcsim-boards.json";
    std::string problem;
    if (loadBoardSet(*path, g_set, problem) == 0) {
        g_lastProblem.clear();
        // "reboot": true in the board file stands for a system reboot since the last
        // run: every board starts the firmware waiting in flash, and the flag is spent.
        const auto flag = g_set.document.find("reboot");
        if (flag != g_set.document.end() && flag->is_boolean() && flag->get<bool>()) {
            for (Board& b : g_set.boards)
                rebootBoard(b);
            g_set.document.erase("reboot");
            boardStateChanged();
        }
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

const std::vector<FaultRule>& unboardedFaults() {
    ensureBoardsLoaded();
    return g_set.faults;
}

void boardStateChanged(const Board* changed) {
    if (changed != nullptr && !changed->card.empty()) {
        for (Board& b : g_set.boards) {
            if (&b == changed || b.card != changed->card)
                continue;
            ObjectStore& to = b.objects;
            const ObjectStore& from = changed->objects;
            // The firmware object is the card's; other objects (the VPD) are per function.
            if (const auto prg = from.objects.find("/prg"); prg != from.objects.end())
                to.objects["/prg"] = prg->second;
            else if (from.prgPartial) // erased by an in-place write
                to.objects.erase("/prg");
            to.prgPartial = from.prgPartial;
            to.activeFirmware = from.activeFirmware;
            to.flashFirmware = from.flashFirmware;
            to.firmwareGiven = from.firmwareGiven;
            to.ffv = from.ffv;
            to.ffvGiven = from.ffvGiven;
            b.firmwareVersion = changed->firmwareVersion;
        }
    }
    g_set.dirty = true;
    std::string problem;
    if (saveBoardSet(g_set, problem) != 0)
        std::fprintf(stderr, "dfcsim: %s\n", problem.c_str());
}

} // namespace dfcsim
