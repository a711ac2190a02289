// The flash state of a simulated board (see flash.h): its board-file keys ("flash",
// "security"), the download key chain, and what a reset or a system reboot starts.
// The command handlers are in handlers_flash.cpp.
#include "sim/flash.h"

#include "common/bytes.h"
#include "sim/board.h"
#include "sim/hex_text.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

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


} // namespace

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
    }
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
    f["stagedBootId"] = hexWord(flash.stagedBootId);
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
    return true;
}

} // namespace

bool resetFlash(Board& board) {
    FlashState& flash = board.flash;
    flash.erased = false;
    flash.areaState = 0;
    discardBlob(flash.pending);
    discardBlob(flash.areaPending);
    flash.stagedPhase = 0;
    flash.loopback = false;
    bool changed = false;
    if (!flash.pendingFirmware.empty()) {
        board.firmwareVersion = flash.pendingFirmware;
        flash.pendingFirmware.clear();
        changed = true;
    }
    if (board.objects.prgChangeStatus != 1 && activateFlashFirmware(board))
        changed = true;
    return changed;
}

bool rebootBoard(Board& board) {
    const bool reset = resetFlash(board);
    return activateFlashFirmware(board) || reset;
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
