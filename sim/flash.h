// The flash side of a simulated board: the image the last download left in flash,
// a download in progress, the streamed load areas, the staged wakeup update, the
// download key the board holds, and the handlers of the commands that drive them.
#pragma once

#include "sim/blob.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <map>
#include <set>
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

// What the flash holds of a program a download touched: the program whole, erased by
// a download that did not get to write it, or written only in part.
enum class PartState : std::uint8_t { Whole, Erased, Partial };

// The program of one image type (program id bits 24-31) that a DOWN_LOAD erased,
// wrote or finished: a card keeps one program of each type, and an erase of a type
// destroys the one it held.
struct FlashProgram {
    PartState state = PartState::Whole;
    std::uint32_t id[2] = {0, 0}; // whole: the program flash holds; else the one being written
};

// A LOAD_AREA area erased and not loaded to its end, with the image types of the
// programs it held before and of those its new body began with; none known: the area
// counts as firmware.
struct UnfinishedArea {
    PartState state = PartState::Erased;
    std::set<std::uint32_t> types;
};

// What a reset or a system reboot starts while the flash holds an unfinished firmware
// image: nothing (the card has no firmware to run) or the firmware it ran before.
enum class IncompleteBoot : std::uint8_t { None, Previous };

// "whole", "erased" or "partial", as the board file writes a state.
const char* partStateName(PartState state);

// The image type of a program id's first word.
constexpr std::uint32_t programType(std::uint32_t idWord) {
    return idWord >> 24;
}
constexpr std::uint32_t kBootCodeType = 3;

struct FlashState {
    // Lasting state.
    Blob image; // the PRG image last programmed whole
    std::uint32_t programId[2] = {0, 0};
    std::map<std::uint32_t, Blob> areas; // LOAD_AREA bodies by address
    // Programs by image type that downloads touched; a type not here holds what the
    // board's other keys say (its wakeup slot, its running firmware).
    std::map<std::uint32_t, FlashProgram> programs;
    std::map<std::uint32_t, UnfinishedArea> unfinishedAreas; // by address
    // A reset found no whole firmware to start (incompleteBoot "none"): the card runs
    // none, and the read-revision text is empty. The board's firmware text stays, for
    // the type prefix of the firmware a later download brings.
    bool noFirmware = false;
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
    IncompleteBoot incompleteBoot = IncompleteBoot::None;
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

// Whether the flash holds the programs of an image type only in part: a DOWN_LOAD of
// the type, or a LOAD_AREA area that held or was given one (or, for a type other than
// boot code, an area whose programs are not known), left unfinished.
bool typeIncomplete(const FlashState& flash, std::uint32_t type);
// Whether the flash holds its firmware only in part: an unfinished DOWN_LOAD of a
// type other than boot code, an unfinished LOAD_AREA area not known to hold boot code
// only, or an unfinished in-place "/prg" write.
bool firmwareIncomplete(const Board& board);
// The firmware text the board runs ("" for none).
std::string runningFirmware(const Board& board);
// The firmware text a reset would start now: what the board runs, the image
// programmed whole since (pendingFirmware), or, while the firmware in flash is
// incomplete, what the board's incompleteBoot says ("" for none).
std::string firmwareAfterReset(const Board& board);
// The program ids of the PRG images a LOAD_AREA body holds: the first with its header
// at byte 4 (a container record's body) or 0, each next one its length further on.
std::vector<std::array<std::uint32_t, 2>> programsInBody(const Blob& body);

// The wakeup-parameter record (region 4) as the card reports it: a slot naming a
// program the flash does not hold whole reads as zeros. That is a slot of a type
// whose program is incomplete, a slot naming another program than the one a finished
// DOWN_LOAD left of its type, and the boot-code copy at byte 52 when it names another
// boot id than the last staged update made take effect.
void wakeupAsReported(const Board& board, std::vector<std::uint8_t>& record);

// A reset: the image programmed since becomes the running firmware (or, with the
// firmware in flash incomplete, what incompleteBoot says), and so does the firmware a
// "/prg" write left in flash unless the board wants a system reboot for it
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
