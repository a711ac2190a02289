// Handlers of the flash commands: DOWN_LOAD, the load-list delete, LOAD_AREA, the
// staged wakeup update and the security command. Like real hardware they refuse
// steps out of order and images whose length or fold is wrong.
#include "common/bytes.h"
#include "sim/flash.h"
#include "sim/handlers.h"
#include "sim/hex_text.h"
#include "sim/timing.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace dfcsim {

namespace {

constexpr std::uint32_t kLoadListHead = 0x79C;
constexpr std::uint32_t kChunkMax = 108;
constexpr std::uint32_t kChunkOffset = 20;    // data follows word 5
constexpr std::uint32_t kLoadAreaPage = 0x80; // flash bytes one streamed chunk occupies

std::uint32_t word(const MailboxCall& c, std::size_t i) {
    return i * 4 + 4 <= c.mailbox.size() ? readHost32(c.mailbox.data(), i * 4) : 0;
}

void setWord(MailboxCall& c, std::size_t i, std::uint32_t value) {
    if (i * 4 + 4 <= c.mailbox.size())
        writeHost32(c.mailbox.data(), i * 4, value);
}

// Whether the mailbox holds a chunk of a load command of the right sizes.
bool chunkFits(const MailboxCall& c) {
    const std::uint32_t length = word(c, 3);
    return length != 0 && length <= kChunkMax && word(c, 4) == kChunkOffset &&
           kChunkOffset + length <= c.mailbox.size();
}

// Adds the mailbox's chunk to the bytes loaded so far.
void takeChunk(const MailboxCall& c, BlobWriter& into) {
    appendBlob(into, c.mailbox.data() + kChunkOffset, word(c, 3));
}

// Entry addresses of the load list, in order; a damaged list ends the walk.
std::vector<std::uint32_t> loadListEntries(const Board& b) {
    std::vector<std::uint32_t> entries;
    const auto head = b.memory.find(kLoadListHead);
    std::uint32_t at = head != b.memory.end() ? head->second : kLoadListHead;
    while (at != kLoadListHead && at != 0 && entries.size() < 64) {
        entries.push_back(at);
        const auto next = b.memory.find(at);
        at = next != b.memory.end() ? next->second : 0;
    }
    return entries;
}

std::uint32_t memoryWord(const Board& b, std::uint32_t address) {
    const auto it = b.memory.find(address);
    return it != b.memory.end() ? it->second : 0;
}

bool freeId(std::uint32_t id) {
    return id == 0 || id == 0xFFFFFFFF;
}

// A programmed image takes the first free load-list entry.
void recordLoad(Board& b, const std::uint32_t id[2]) {
    for (std::uint32_t entry : loadListEntries(b))
        if (freeId(memoryWord(b, entry + 16))) {
            b.memory[entry + 16] = id[0];
            b.memory[entry + 20] = id[1];
            return;
        }
}

// An erase destroyed the program: its load-list entries are free again.
void forgetLoad(Board& b, std::uint32_t id0, std::uint32_t id1) {
    for (std::uint32_t entry : loadListEntries(b))
        if (memoryWord(b, entry + 16) == id0 && memoryWord(b, entry + 20) == id1) {
            b.memory[entry + 16] = 0xFFFFFFFF;
            b.memory[entry + 20] = 0xFFFFFFFF;
        }
}

// Records that the download of the program of this type got to `state`; returns
// whether that changed the record.
bool noteProgram(FlashState& f, std::uint32_t type, PartState state) {
    FlashProgram& p = f.programs[type];
    const bool changed = p.state != state || p.id[0] != f.pendingId[0] || p.id[1] != f.pendingId[1];
    p.state = state;
    p.id[0] = f.pendingId[0];
    p.id[1] = f.pendingId[1];
    return changed;
}

// The image types of the PRG headers at the start of a body being loaded.
std::set<std::uint32_t> typesAtStart(const std::vector<std::uint8_t>& head) {
    std::set<std::uint32_t> types;
    for (const auto& id : programsInBody(makeBlob(head)))
        types.insert(programType(id[0]));
    return types;
}

} // namespace

// 0x1C: word 1 bit 4 erases (length in word 3, program id in words 4-5); bits 1 and 3
// program one chunk, bit 0 marks the last, whose arrival checks the whole image.
MailboxReply downLoadCommand(MailboxCall& c) {
    FlashState& f = c.board.flash;
    const std::uint32_t w1 = word(c, 1);
    if (getBits(w1, 4, 1) != 0) {
        if (f.noFlash)
            return {STATUS_NO_FLASH, 0};
        if (word(c, 3) < 48)
            return {STATUS_BAD_LENGTH, 0};
        modelWait(c.board.timing, WaitKind::Erase);
        f.erased = true;
        f.expectedLength = word(c, 3);
        f.pendingId[0] = word(c, 4);
        f.pendingId[1] = word(c, 5);
        startBlob(f.pending, c.board.fileStem, blobField("flash-image"));
        f.pendingFold = {};
        // The erase destroys the program of this type the flash held, and what
        // pointed to it; the board file says so before anything else can happen.
        const std::uint32_t type = programType(f.pendingId[0]);
        if (const auto held = f.programs.find(type);
            held != f.programs.end() && held->second.state == PartState::Whole)
            forgetLoad(c.board, held->second.id[0], held->second.id[1]);
        if (blobSize(f.image) != 0 && programType(f.programId[0]) == type) {
            f.image = {};
            f.programId[0] = f.programId[1] = 0;
        }
        noteProgram(f, type, PartState::Erased);
        c.changed = true;
        return {};
    }
    if ((w1 & 0x0A) != 0x0A || !f.erased)
        return {STATUS_FLASH_SEQUENCE, 0};
    const std::uint32_t type = programType(f.pendingId[0]);
    if (!chunkFits(c) || f.pending.size + word(c, 3) > f.expectedLength) {
        f.erased = false;
        discardBlob(f.pending);
        return {STATUS_BAD_LENGTH, 0};
    }
    takeChunk(c, f.pending);
    foldBytes(f.pendingFold, c.mailbox.data() + kChunkOffset, word(c, 3));
    modelWait(c.board.timing, WaitKind::Chunk);
    if (getBits(w1, 0, 1) == 0) {
        if (noteProgram(f, type, PartState::Partial)) // the first chunk
            c.changed = true;
        return {};
    }
    f.erased = false;
    const std::vector<std::uint8_t>& head = f.pending.head;
    if (f.signatureStatus != 0 || f.pending.size != f.expectedLength || foldValue(f.pendingFold) != 0 ||
        readBe32(head.data(), 4) != f.pendingId[0] || readBe32(head.data(), 8) != f.pendingId[1]) {
        discardBlob(f.pending);
        // A refused signature programs nothing; a bad image was written all the same.
        if (noteProgram(f, type, f.signatureStatus != 0 ? PartState::Erased : PartState::Partial))
            c.changed = true;
        return {f.signatureStatus != 0 ? f.signatureStatus : STATUS_FLASH_BAD_IMAGE, 0};
    }
    f.image = finishBlob(f.pending);
    f.programId[0] = f.pendingId[0];
    f.programId[1] = f.pendingId[1];
    noteProgram(f, type, PartState::Whole);
    // Boot code (program type 3) is not the firmware that runs after a reset.
    if (type != kBootCodeType)
        f.pendingFirmware = firmwareTextFor(c.board, f.pendingId[0]);
    recordLoad(c.board, f.programId);
    c.changed = true;
    return {};
}

// 0x1D: word 1 bits 0-1 = 1, words 2-3 the program id whose entries are freed.
MailboxReply loadListDeleteCommand(MailboxCall& c) {
    if (getBits(word(c, 1), 0, 2) != 1)
        return {STATUS_FLASH_SEQUENCE, 0};
    bool found = false;
    for (std::uint32_t entry : loadListEntries(c.board))
        if (memoryWord(c.board, entry + 16) == word(c, 2) &&
            memoryWord(c.board, entry + 20) == word(c, 3)) {
            c.board.memory[entry + 16] = 0xFFFFFFFF;
            c.board.memory[entry + 20] = 0xFFFFFFFF;
            found = true;
        }
    if (!found)
        return {STATUS_NO_LOAD_ENTRY, 0};
    c.changed = true;
    return {};
}

// 0x81: word 1 step in bits 16-23, the answered state in bits 8-15. Steps 1 and 2
// erase (state 1 while sectors remain, then 2); step 3 loads a chunk at the address
// the adapter last answered (state 3), step 4 the last chunk (state 4).
MailboxReply loadAreaCommand(MailboxCall& c) {
    FlashState& f = c.board.flash;
    const std::uint32_t w1 = word(c, 1);
    const std::uint32_t step = getBits(w1, 16, 8);
    std::uint32_t state = 0;
    if (step == 1 || step == 2) {
        if (step == 1) {
            if (word(c, 3) == 0)
                return {STATUS_BAD_LENGTH, 0};
            f.areaStart = f.areaNext = word(c, 2);
            f.eraseLeft = word(c, 3);
            startBlob(f.areaPending, c.board.fileStem, blobField("area", hexWord(f.areaStart)));
            f.areaChunks = 0;
            // The erase destroys the programs the area held: the area is unfinished
            // (and the board file says so) until its last chunk has come.
            UnfinishedArea& unfinished = f.unfinishedAreas[f.areaStart];
            unfinished.state = PartState::Erased;
            if (const auto old = f.areas.find(f.areaStart); old != f.areas.end()) {
                for (const auto& id : programsInBody(old->second)) {
                    unfinished.types.insert(programType(id[0]));
                    forgetLoad(c.board, id[0], id[1]);
                }
                f.areas.erase(old);
            }
            c.changed = true;
        } else if (f.areaState != 1 || word(c, 2) != f.areaNext) {
            return {STATUS_FLASH_SEQUENCE, 0};
        }
        modelWait(c.board.timing, WaitKind::Erase);
        const std::uint32_t covered = std::min(f.eraseLeft, f.eraseStep);
        f.eraseLeft -= covered;
        f.areaNext += covered;
        state = f.eraseLeft > 0 ? 1 : 2;
        if (state == 2)
            f.areaNext = f.areaStart; // loading starts at the area's beginning
    } else if (step == 3 || step == 4) {
        const bool first = f.areaState == 2 && word(c, 2) == f.areaStart;
        const bool next = f.areaState == 3 && word(c, 2) == f.areaNext;
        if (!first && !next)
            return {STATUS_FLASH_SEQUENCE, 0};
        if (!chunkFits(c)) {
            f.areaState = 0;
            discardBlob(f.areaPending);
            return {STATUS_BAD_LENGTH, 0};
        }
        takeChunk(c, f.areaPending);
        modelWait(c.board.timing, WaitKind::Chunk);
        if (++f.areaChunks == 1) { // the area now holds the start of its new body
            UnfinishedArea& unfinished = f.unfinishedAreas[f.areaStart];
            unfinished.state = PartState::Partial;
            unfinished.types.merge(typesAtStart(f.areaPending.head));
            c.changed = true;
        }
        if (step == 4 && f.signatureStatus != 0) {
            f.areaState = 0;
            discardBlob(f.areaPending);
            return {f.signatureStatus, 0};
        }
        if (step == 4) {
            // A body with a whole PRG header at its start, or after the leading word a
            // firmware container's record has, names the firmware it brings.
            const std::vector<std::uint8_t>& head = f.areaPending.head;
            for (const std::size_t at : {std::size_t(4), std::size_t(0)}) {
                if (head.size() < at + 48)
                    continue;
                WordFold header;
                foldBytes(header, head.data() + at + 4, 44);
                const std::uint32_t id = readBe32(head.data(), at + 4);
                if (foldValue(header) != 0)
                    continue;
                if (getBits(id, 24, 8) != 3)
                    f.pendingFirmware = firmwareTextFor(c.board, id);
                break;
            }
            const Blob& body = f.areas[f.areaStart] = finishBlob(f.areaPending);
            f.unfinishedAreas.erase(f.areaStart);
            // The area now holds the programs of its types: what a DOWN_LOAD left of
            // them is no longer what the flash holds.
            for (const auto& id : programsInBody(body))
                f.programs.erase(programType(id[0]));
            c.changed = true;
            state = 4;
        } else if (f.loadAreaEarlyEnd != 0 && f.areaChunks >= f.loadAreaEarlyEnd) {
            discardBlob(f.areaPending);
            state = 5;
        } else {
            state = 3;
            f.areaNext = word(c, 2) + kLoadAreaPage;
        }
    } else {
        return {STATUS_FLASH_SEQUENCE, 0};
    }
    f.areaState = state == 4 || state == 5 ? 0 : state;
    setWord(c, 1, setBits(w1, 8, 8, state));
    setWord(c, 2, f.areaNext);
    return {};
}

// 0x9C: phase in word 1 bits 16-23, state answered in bits 8-15, word 2 the token the
// adapter hands back. Phase 8 answers 8; phase 9 answers 8 once, then 9; phase 10
// answers 10 once, then 11, when the boot id of word 4 takes effect.
MailboxReply stagedWakeupCommand(MailboxCall& c) {
    FlashState& f = c.board.flash;
    const std::uint32_t w1 = word(c, 1);
    const std::uint32_t phase = getBits(w1, 16, 8);
    std::uint32_t state = 0;
    if (phase == 8) {
        f.stagedPhase = 8;
        state = 8;
        setWord(c, 2, 1);
    } else if (phase == 9 && (f.stagedPhase == 8 || f.stagedPhase == 90)) {
        state = f.stagedPhase == 8 ? 8 : 9;
        f.stagedPhase = f.stagedPhase == 8 ? 90 : 9;
        setWord(c, 2, word(c, 2) + 1);
    } else if (phase == 10 && (f.stagedPhase == 9 || f.stagedPhase == 100)) {
        state = f.stagedPhase == 9 ? 10 : 11;
        f.stagedPhase = f.stagedPhase == 9 ? 100 : 0;
        setWord(c, 2, word(c, 2) + 1);
        if (state == 11) {
            f.stagedBootId = word(c, 4) & 0xFFFF;
            c.changed = true;
        }
    } else {
        return {STATUS_FLASH_SEQUENCE, 0};
    }
    setWord(c, 1, setBits(w1, 8, 8, state));
    return {};
}

// 0xF9: subcommand in word 1 bits 24-31: 12 reads the key name, 13 sets a key (only
// the one after the key held), 5 zeroizes.
MailboxReply securityCommand(MailboxCall& c) {
    FlashState& f = c.board.flash;
    const std::uint32_t sub = getBits(word(c, 1), 24, 8);
    if (sub == 5) {
        f.kek = kSimKekChain[0];
        ++f.zeroizeCount;
        c.changed = true;
        return {};
    }
    if (sub != 12 && sub != 13)
        return {STATUS_UNKNOWN_COMMAND, 0};
    if (!f.keySupport)
        return {STATUS_KEY_NOT_SUPPORTED, 0};
    if (c.mailbox.size() < 128)
        return {STATUS_BAD_LENGTH, 0};
    if (sub == 12) {
        std::uint8_t name[64] = {};
        std::copy_n(f.kek.begin(), std::min<std::size_t>(f.kek.size(), 64), name);
        setWord(c, 2, f.kekNameLength != 0 ? f.kekNameLength : std::uint32_t(f.kek.size()));
        for (std::size_t i = 0; i < 16; ++i)
            setWord(c, 3 + i, readBe32(name, i * 4));
        return {};
    }
    const std::uint32_t length = getBits(word(c, 3), 16, 16);
    if (word(c, 2) != 0x00010220 || getBits(word(c, 3), 0, 16) != 0x0228 || length > 64)
        return {STATUS_BAD_LENGTH, 0};
    std::uint8_t name[64] = {};
    for (std::size_t i = 0; i < 16; ++i)
        writeBe32(name, i * 4, word(c, 16 + i));
    const std::string wanted(reinterpret_cast<const char*>(name), length);
    for (std::size_t k = 1; k < 3; ++k)
        if (wanted == kSimKekChain[k]) {
            if (f.kek != kSimKekChain[k - 1])
                return {STATUS_KEY_REFUSED, 0};
            f.kek = wanted;
            c.changed = true;
            return {};
        }
    return {STATUS_KEY_REFUSED, 0};
}

} // namespace dfcsim
