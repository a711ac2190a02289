// The flash state of a simulated board (see flash.h): its board-file keys ("flash",
// "security"), the download key chain, and what a reset or a system reboot starts.
// The command handlers are in handlers_flash.cpp.
#include "sim/flash.h"

#include "common/bytes.h"
#include "sim/board.h"
#include "sim/hex_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace dfcsim {

const char* const kSimKekChain[3] = {"TAVREL DEFAULT DOWNLOAD KEK", "TAVREL DOWNLOAD KEK 1",
                                     "TAVREL DOWNLOAD KEK 2"};

namespace {

using nlohmann::json;

std::uint32_t number(const json& j, const char* what) {
    if (j.is_number_unsigned())
        return j.get<std::uint32_t>();
    if (j.is_string()) {
        const std::string text = j.get<std::string>();
        std::size_t used = 0;
        const unsigned long long value = std::stoull(text, &used, 0);
        if (used == text.size() && value <= 0xFFFFFFFFull)
            return std::uint32_t(value);
    }
    throw std::runtime_error(std::string("bad number for ") + what);
}


const char* const kPartStates[] = {"whole", "erased", "partial"};

PartState partState(const json& j) {
    const std::string text = j.is_string() ? j.get<std::string>() : "";
    for (std::size_t i = 0; i < 3; ++i)
        if (text == kPartStates[i])
            return PartState(i);
    throw std::runtime_error("a flash state is \"whole\", \"erased\" or \"partial\"");
}

FlashProgram readProgram(const json& j) {
    FlashProgram p;
    if (!j.is_object())
        throw std::runtime_error("flash.programs maps image types to objects");
    p.state = partState(j.value("state", json("whole")));
    if (const auto id = j.find("programId"); id != j.end()) {
        if (!id->is_array() || id->size() != 2)
            throw std::runtime_error("flash.programs programId needs two words");
        p.id[0] = number((*id)[0], "programId");
        p.id[1] = number((*id)[1], "programId");
    }
    return p;
}

UnfinishedArea readUnfinishedArea(const json& j) {
    UnfinishedArea a;
    if (!j.is_object())
        throw std::runtime_error("flash.unfinishedAreas maps addresses to objects");
    a.state = partState(j.value("state", json("erased")));
    if (a.state == PartState::Whole)
        throw std::runtime_error("an unfinished area is erased or partial");
    if (const auto types = j.find("types"); types != j.end()) {
        if (!types->is_array())
            throw std::runtime_error("flash.unfinishedAreas types is a list");
        for (const json& t : *types)
            a.types.insert(number(t, "area type"));
    }
    return a;
}

// Whether 48 bytes are a PRG header: words 1 to 11 fold to zero.
bool prgHeader(const std::uint8_t* header) {
    WordFold fold;
    foldBytes(fold, header + 4, 44);
    return foldValue(fold) == 0;
}

} // namespace

const char* partStateName(PartState state) {
    return kPartStates[std::size_t(state)];
}

void foldBytes(WordFold& fold, const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        fold.part[fold.partBytes++] = bytes[i];
        if (fold.partBytes == 4) {
            fold.sum = ((fold.sum << 1) | (fold.sum >> 31)) ^ readBe32(fold.part, 0);
            fold.partBytes = 0;
        }
    }
}

std::uint32_t foldValue(const WordFold& fold) {
    return (fold.sum << 1) | (fold.sum >> 31);
}

void readFlashState(const json& board, FlashState& flash, const std::string& boardFile) {
    if (const auto f = board.find("flash"); f != board.end()) {
        if (f->contains("image"))
            flash.image = blobFromJson(f->at("image"), boardFile, "flash image");
        if (const auto id = f->find("programId"); id != f->end()) {
            if (!id->is_array() || id->size() != 2)
                throw std::runtime_error("flash.programId needs two words");
            flash.programId[0] = number((*id)[0], "flash.programId");
            flash.programId[1] = number((*id)[1], "flash.programId");
        }
        if (const auto areas = f->find("areas"); areas != f->end())
            for (const auto& [address, bytes] : areas->items())
                flash.areas[number(json(address), "flash area")] =
                    blobFromJson(bytes, boardFile, "flash area " + address);
        flash.pendingFirmware = f->value("pendingFirmware", "");
        flash.noFirmware = f->value("noFirmware", false);
        flash.noFlash = f->value("noFlash", false);
        if (f->contains("signatureStatus"))
            flash.signatureStatus =
                std::uint16_t(number(f->at("signatureStatus"), "signatureStatus"));
        if (f->contains("loadAreaEarlyEnd"))
            flash.loadAreaEarlyEnd = number(f->at("loadAreaEarlyEnd"), "loadAreaEarlyEnd");
        if (f->contains("eraseStep"))
            flash.eraseStep = number(f->at("eraseStep"), "eraseStep");
        if (flash.eraseStep == 0)
            throw std::runtime_error("flash.eraseStep must not be 0");
        if (f->contains("stagedBootId"))
            flash.stagedBootId = number(f->at("stagedBootId"), "stagedBootId");
        if (const auto ps = f->find("programs"); ps != f->end())
            for (const auto& [type, p] : ps->items())
                flash.programs[number(json(type), "flash.programs")] = readProgram(p);
        if (const auto as = f->find("unfinishedAreas"); as != f->end())
            for (const auto& [address, a] : as->items())
                flash.unfinishedAreas[number(json(address), "flash.unfinishedAreas")] = readUnfinishedArea(a);
        const std::string boot = f->value("incompleteBoot", "none");
        if (boot != "none" && boot != "previous")
            throw std::runtime_error("flash.incompleteBoot is \"none\" or \"previous\"");
        flash.incompleteBoot = boot == "previous" ? IncompleteBoot::Previous : IncompleteBoot::None;
    }
    // An image the file gives without a record of its type: the flash holds it whole.
    if (blobSize(flash.image) != 0)
        flash.programs.try_emplace(programType(flash.programId[0]),
                                   FlashProgram{PartState::Whole, {flash.programId[0], flash.programId[1]}});
    if (const auto s = board.find("security"); s != board.end()) {
        flash.kek = s->value("kek", flash.kek);
        flash.keySupport = s->value("keySupport", true);
        if (s->contains("kekNameLength"))
            flash.kekNameLength = number(s->at("kekNameLength"), "kekNameLength");
        if (s->contains("zeroizeCount"))
            flash.zeroizeCount = number(s->at("zeroizeCount"), "zeroizeCount");
    }
}

void writeFlashState(const Board& board, json& out, BlobSaving& saving) {
    const FlashState& flash = board.flash;
    json& f = out["flash"];
    if (!f.is_object())
        f = json::object();
    f["image"] = blobJson(flash.image, blobField("flash-image"), saving);
    f["programId"] = json::array({hexWord(flash.programId[0]), hexWord(flash.programId[1])});
    json areas = json::object();
    for (const auto& [address, bytes] : flash.areas)
        areas[hexWord(address)] = blobJson(bytes, blobField("area", hexWord(address)), saving);
    f["areas"] = areas;
    f["pendingFirmware"] = flash.pendingFirmware;
    if (flash.noFirmware)
        f["noFirmware"] = true;
    else
        f.erase("noFirmware");
    f["stagedBootId"] = hexWord(flash.stagedBootId);
    // Records of what downloads did to the flash; a board without any has none.
    json programs = json::object();
    for (const auto& [type, p] : flash.programs)
        programs[std::to_string(type)] = {{"state", partStateName(p.state)},
                                          {"programId", json::array({hexWord(p.id[0]), hexWord(p.id[1])})}};
    json unfinished = json::object();
    for (const auto& [address, a] : flash.unfinishedAreas)
        unfinished[hexWord(address)] = {{"state", partStateName(a.state)}, {"types", a.types}};
    for (auto& [key, value] : {std::pair<const char*, json&>{"programs", programs}, {"unfinishedAreas", unfinished}}) {
        if (value.empty())
            f.erase(key);
        else
            f[key] = std::move(value);
    }
    json& s = out["security"];
    if (!s.is_object())
        s = json::object();
    s["kek"] = flash.kek;
    s["zeroizeCount"] = flash.zeroizeCount;
    out["revision"]["firmware"] = board.firmwareVersion;
}

namespace {

// Starts the firmware a "/prg" write left in flash: the version request's active text
// and the read-revision answer become the flash text.
bool activateFlashFirmware(Board& board) {
    ObjectStore& s = board.objects;
    if (!s.firmwareGiven || s.flashFirmware.empty() || s.activeFirmware == s.flashFirmware)
        return false;
    s.activeFirmware = s.flashFirmware;
    board.firmwareVersion = s.flashFirmware;
    board.flash.noFirmware = false;
    return true;
}

} // namespace

bool typeIncomplete(const FlashState& flash, std::uint32_t type) {
    const auto p = flash.programs.find(type);
    if (p != flash.programs.end() && p->second.state != PartState::Whole)
        return true;
    // An area whose programs are not known counts as firmware of every type.
    for (const auto& [address, area] : flash.unfinishedAreas)
        if (area.types.count(type) != 0 || (area.types.empty() && type != kBootCodeType))
            return true;
    return false;
}

bool firmwareIncomplete(const Board& board) {
    const FlashState& flash = board.flash;
    if (board.objects.prgPartial)
        return true;
    for (const auto& [type, p] : flash.programs)
        if (type != kBootCodeType && p.state != PartState::Whole)
            return true;
    for (const auto& [address, area] : flash.unfinishedAreas)
        if (area.types != std::set<std::uint32_t>{kBootCodeType})
            return true;
    return false;
}

std::string runningFirmware(const Board& board) {
    return board.flash.noFirmware ? std::string() : board.firmwareVersion;
}

std::string firmwareAfterReset(const Board& board) {
    const FlashState& flash = board.flash;
    if (firmwareIncomplete(board))
        return flash.incompleteBoot == IncompleteBoot::Previous ? runningFirmware(board) : std::string();
    return flash.pendingFirmware.empty() ? runningFirmware(board) : flash.pendingFirmware;
}

std::vector<std::array<std::uint32_t, 2>> programsInBody(const Blob& body) {
    std::vector<std::array<std::uint32_t, 2>> ids;
    const std::uint64_t size = blobSize(body);
    for (const std::uint64_t start : {std::uint64_t(4), std::uint64_t(0)}) {
        std::uint8_t header[48];
        // A damaged length could walk for ever; a body holds a few images.
        for (std::uint64_t at = start; at + 48 <= size && ids.size() < 64;) {
            readBlob(body, at, 48, header);
            if (!prgHeader(header))
                break;
            ids.push_back({readBe32(header, 4), readBe32(header, 8)});
            const std::uint32_t length = readBe32(header, 0);
            if (length < 48 || length == 0xFFFFFFFF)
                break;
            at += length;
        }
        if (!ids.empty())
            break;
    }
    return ids;
}

void wakeupAsReported(const Board& board, std::vector<std::uint8_t>& record) {
    struct Slot {
        std::size_t offset;
        std::uint32_t type;
    };
    static constexpr Slot kSlots[] = {{0, 2}, {12, 3}, {20, 6}, {28, 7}, {36, 11}, {44, 14}, {52, 3}};
    constexpr std::size_t kBootCopy = 52;
    const FlashState& flash = board.flash;
    for (const Slot& slot : kSlots) {
        if (slot.offset + 8 > record.size())
            continue;
        const std::uint32_t first = readHost32(record.data(), slot.offset);
        bool gone = typeIncomplete(flash, slot.type);
        const auto p = flash.programs.find(slot.type);
        if (p != flash.programs.end() && first != p->second.id[0])
            gone = true;
        if (slot.offset == kBootCopy && flash.stagedBootId != 0 && (first & 0xFFFF) != flash.stagedBootId)
            gone = true;
        if (gone)
            std::fill_n(record.begin() + std::ptrdiff_t(slot.offset), 8, std::uint8_t(0));
    }
}

bool resetFlash(Board& board) {
    FlashState& flash = board.flash;
    flash.erased = false;
    flash.areaState = 0;
    discardBlob(flash.pending);
    discardBlob(flash.areaPending);
    flash.stagedPhase = 0;
    flash.loopback = false;
    bool changed = false;
    const bool incomplete = firmwareIncomplete(board);
    if (incomplete) {
        // The card finds no whole firmware in flash: it starts none of it, or keeps the
        // firmware it ran (incompleteBoot "previous").
        if (flash.incompleteBoot == IncompleteBoot::None && !flash.noFirmware) {
            flash.noFirmware = true;
            changed = true;
        }
    } else if (!flash.pendingFirmware.empty()) {
        board.firmwareVersion = flash.pendingFirmware;
        flash.noFirmware = false;
        changed = true;
    }
    if (!flash.pendingFirmware.empty()) {
        flash.pendingFirmware.clear();
        changed = true;
    }
    if (!incomplete && board.objects.prgChangeStatus != 1 && activateFlashFirmware(board))
        changed = true;
    return changed;
}

bool rebootBoard(Board& board) {
    const bool reset = resetFlash(board);
    return (!firmwareIncomplete(board) && activateFlashFirmware(board)) || reset;
}

std::string firmwareTextFor(const Board& board, std::uint32_t programId) {
    static const char letters[] = {'N', 'A', 'B', 'X'};
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u%u%c%u", unsigned(getBits(programId, 12, 4)),
                  unsigned(getBits(programId, 8, 4)), unsigned(getBits(programId, 6, 2)),
                  letters[getBits(programId, 4, 2)], unsigned(getBits(programId, 0, 4)));
    const std::string& running = board.firmwareVersion;
    if (running.size() > 2 && std::isalpha(static_cast<unsigned char>(running[0])) &&
        std::isalpha(static_cast<unsigned char>(running[1])))
        return running.substr(0, 2) + text;
    return text;
}

} // namespace dfcsim
