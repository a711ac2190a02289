// One simulated board: what the library reports about it and what its hardware
// keeps. Boards come from a JSON file; see sim/README.md for the format.
#pragma once

#include "sim/blob.h"
#include "sim/flash.h"
#include "sim/inventory_answers.h"
#include "sim/objects.h"
#include "sim/timing.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace dfcsim {

struct Region {
    Blob bytes;
    bool absent = false;  // the adapter answers "no such region"
    bool refused = false; // the adapter refuses access
    std::uint16_t refusedStatus = 0xFFF7;
    std::uint32_t refusedResult = 2; // library result that goes with the refusal
    // A faulty adapter's claim of bytes delivered, whatever it really sent.
    std::optional<std::uint32_t> claimedLength;
};

// "This call (and command or opcode), from its k-th matching use, n times, answers
// this." Counting is per rule and per loaded board set.
struct FaultRule {
    std::string call;                     // exported function name; empty: any call
    std::optional<std::uint32_t> command; // classic command code (0x9B for SLI_CFG)
    std::optional<std::uint32_t> opcode;  // SLI_CFG opcode
    std::optional<std::uint32_t> sub;     // security command (0xF9) subcommand
    std::uint32_t from = 1;               // first matching use that faults (1-based)
    std::uint32_t times = 1;              // uses that fault; 0: every one from `from` on
    std::optional<std::uint32_t> result;  // library result
    std::optional<std::uint16_t> status;  // mailbox status
    // Written over the answer (the board's, or the rule's own when it has a result or a
    // status): an SLI_CFG response header's status and additional status bytes, and the
    // length the answer reports (SLI_CFG actualLength; a classic command's reply word 4).
    std::optional<std::uint8_t> responseStatus;
    std::optional<std::uint8_t> responseAdditional;
    std::optional<std::uint32_t> length;
    // DFC_InitDiagEnv only (a rule of the board file's own "faults"): the adapter count
    // that call answers.
    std::optional<std::uint32_t> count;
    std::optional<int> exit;              // when due: the process ends at once with this code
    bool stop = false;                    // when due: the process is asked to stop politely
    std::uint32_t seen = 0;               // matching uses so far
};

struct Board {
    std::string name;
    // Where this board's binary files go (see blobFileStem).
    std::string fileStem;
    // Boards (PCI functions) of one physical card name the same card: they share its
    // firmware object, firmware texts and family value.
    std::string card;
    // Enumeration entry.
    std::uint32_t bus = 0, device = 0, function = 0;
    // Driver information.
    std::uint32_t driverResult = 0;
    std::uint8_t driverKind = 3, driverSubKind = 0;
    std::string driverVersion = "2.01A0";
    std::uint32_t interfaceLevel = 0, features = 0;
    // PCI configuration header.
    std::uint16_t vendorId = 0x10DF, deviceId = 0, subsystemVendorId = 0x10DF, subsystemId = 0;
    std::uint8_t headerType = 0;
    std::uint32_t pciResult = 0;
    // Link state (1 down, 7 down persistently; 2 up by default).
    std::uint8_t linkState = 2;
    // Read-revision answer.
    std::uint16_t hardwareId = 0;
    std::string firmwareVersion;
    // Current names.
    std::array<std::uint8_t, 8> wwpn{}, wwnn{};
    // What the hardware keeps.
    std::map<std::uint32_t, Region> regions;
    std::map<std::uint32_t, std::uint32_t> memory; // word address -> word
    // Answer of the configuration-parameter-triple request; none: unavailable.
    std::optional<std::array<std::uint8_t, 3>> configTriple = std::array<std::uint8_t, 3>{0, 0, 0};
    std::vector<FaultRule> faults;
    ObjectStore objects; // adapter-side objects, firmware texts, FFV
    CntlAttributes cntlAttributes; // the inventory's attributes answer (Ferrox FC)
    FlashState flash;    // flash content, downloads in progress, download key
    Timing timing;       // how long the card takes (read only)
};

struct BoardSet {
    std::string path;        // file the boards came from
    nlohmann::json document; // as read, so write-back keeps every other key
    std::vector<Board> boards;
    // Rules of calls that name no board (the file's own "faults", beside "boards").
    std::vector<FaultRule> faults;
    bool dirty = false; // hardware state changed since the last write-back
};

// Reads a board file. Returns 0 and the set, or 1 with `problem` saying what is wrong
// (file missing, unreadable or damaged) and an empty set.
int loadBoardSet(const std::string& path, BoardSet& set, std::string& problem);

// Writes the hardware state of every board back into the document and the file:
// large blobs not yet in a file to new binary files first, then the document to a
// temporary file beside it, renamed into place; then the library's binary files the
// document no longer names are removed. Returns 0, or 1 with problem.
int saveBoardSet(BoardSet& set, std::string& problem);

} // namespace dfcsim
