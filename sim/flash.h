// The flash side of a simulated board: the image the last download left in flash,
// a download in progress, the streamed load areas, the staged wakeup update, the
// download key the board holds, and the handlers of the commands that drive them.
#pragma once

#include "sim/blob.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace dfcsim {

struct MailboxCall;
struct MailboxReply;
struct Board;

// Mailbox statuses of the flash commands.
constexpr std::uint16_t STATUS_FLASH_SEQUENCE = 0x0002;  // a step out of order
constexpr std::uint16_t STATUS_FLASH_BAD_IMAGE = 0x00F3; // wrong length or fold at the end
constexpr std::uint16_t STATUS_NO_FLASH = 0x00F1;
constexpr std::uint16_t STATUS_KEY_NOT_SUPPORTED = 0x0F06;
constexpr std::uint16_t STATUS_KEY_REFUSED = 0x0F07;   // SET KEK out of chain order
constexpr std::uint16_t STATUS_NO_LOAD_ENTRY = 0x0004; // delete of an id not loaded

// The key chain the simulated adapter knows, in order; a key is set only from the
// one before it.
extern const char* const kSimKekChain[3];

// The fold a DOWN_LOAD image must come to zero in, taken over the bytes as they arrive:
// big-endian words, each folded into a rotated sum; bytes past the last whole word
// do not count.
struct WordFold {
    std::uint32_t sum = 0xAAAAAAAA;
    std::uint8_t part[4] = {};
    std::uint32_t partBytes = 0;
};
void foldBytes(WordFold& fold, const std::uint8_t* bytes, std::size_t count);
// The fold of the words so far.
std::uint32_t foldValue(const WordFold& fold);

struct FlashState {
    // Lasting state.
    Blob image; // the PRG image last programmed whole
    std::uint32_t programId[2] = {0, 0};
    std::map<std::uint32_t, Blob> areas; // LOAD_AREA bodies by address
    std::string pendingFirmware;                              // runs after the next reset
    std::string kek = kSimKekChain[0];
    std::uint32_t zeroizeCount = 0;
    std::uint32_t stagedBootId = 0; // last boot id a staged update completed with
    // Board behaviour (read only).
    bool keySupport = true;
    bool noFlash = false;
    std::uint16_t signatureStatus = 0;  // answered to the last DOWN_LOAD chunk when set
    std::uint32_t kekNameLength = 0;    // claimed name length when nonzero
    std::uint32_t loadAreaEarlyEnd = 0; // state 5 after this many chunks when nonzero
    std::uint32_t eraseStep = 0x10000;  // bytes one LOAD_AREA erase step covers
    // Not kept across board-file reads.
    bool erased = false; // DOWN_LOAD erase done, programming may follow
    std::uint32_t expectedLength = 0;
    std::uint32_t pendingId[2] = {0, 0};
    BlobWriter pending; // the image programmed so far
    WordFold pendingFold;
    std::uint32_t areaState = 0; // LOAD_AREA: 0 idle, 1 erasing, 2 erased, 3 loading
    std::uint32_t areaStart = 0, areaNext = 0, eraseLeft = 0, areaChunks = 0;
    BlobWriter areaPending; // the body loaded so far
    std::uint32_t stagedPhase = 0;
    bool loopback = false;
};

// Reads "flash" and "security" of a board object of the board file; throws
// std::exception on damage.
void readFlashState(const nlohmann::json& board, FlashState& flash, const std::string& boardFile);
// Writes the lasting parts back, with the running firmware text of the board.
void writeFlashState(const Board& board, nlohmann::json& out, BlobSaving& saving);

// A reset: the image programmed since becomes the running firmware, and so does the
// firmware a "/prg" write left in flash unless the board wants a system reboot for it
// (prgChangeStatus 1). Returns true when the board's lasting state changed.
bool resetFlash(Board& board);
// A system reboot: a reset that also starts firmware waiting for a reboot. Returns true
// when the board's lasting state changed.
bool rebootBoard(Board& board);
// The running-firmware text a PRG program id's first word stands for, after the
// two-letter type prefix the board's running text carries (older adapters name their
// firmware "ZD2.82A4"; the program id holds only the version).
std::string firmwareTextFor(const Board& board, std::uint32_t programId);

// Handlers: 0x1C DOWN_LOAD, 0x1D load-list delete, 0x81 LOAD_AREA, 0x9C staged
// wakeup update, 0xF9 security.
MailboxReply downLoadCommand(MailboxCall& call);
MailboxReply loadListDeleteCommand(MailboxCall& call);
MailboxReply loadAreaCommand(MailboxCall& call);
MailboxReply stagedWakeupCommand(MailboxCall& call);
MailboxReply securityCommand(MailboxCall& call);

} // namespace dfcsim
