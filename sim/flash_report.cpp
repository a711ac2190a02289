// The flash report (see flash_report.h): by board, its firmware and its boot code, each
// with whether the flash holds it whole, what it holds, and a fingerprint of the bytes
// (64-bit FNV-1a) to compare with the file the program sent.
#include "sim/flash_report.h"

#include "common/bytes.h"
#include "sim/handlers_objects.h"
#include "sim/hex_text.h"

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dfcsim {

namespace {

using nlohmann::json;

constexpr std::uint32_t kWakeupRegion = 4;
constexpr std::size_t kBootSlot = 12, kBootCopySlot = 52;

std::string fnv1a64(const Blob& blob) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    std::vector<std::uint8_t> piece(1 << 16);
    for (std::uint64_t at = 0; at < blobSize(blob);) {
        const std::size_t n = readBlob(blob, at, piece.size(), piece.data());
        for (std::size_t i = 0; i < n; ++i)
            hash = (hash ^ piece[i]) * 0x100000001B3ull;
        at += n;
    }
    char text[20];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(hash));
    return text;
}

void addContents(json& j, const Blob& blob) {
    j["bytes"] = blobSize(blob);
    j["fnv1a64"] = fnv1a64(blob);
}

std::string idText(std::uint32_t w0, std::uint32_t w1) {
    return hexWord(w0) + ":" + hexWord(w1);
}

// The DOWN_LOAD programs of the boot code (type 3) or of the firmware (the others).
json programsOf(const FlashState& flash, bool bootCode) {
    json list = json::array();
    for (const auto& [type, p] : flash.programs) {
        if ((type == kBootCodeType) != bootCode)
            continue;
        json j = {{"type", type}, {"state", partStateName(p.state)}, {"programId", idText(p.id[0], p.id[1])}};
        if (p.state == PartState::Whole && blobSize(flash.image) != 0 && flash.programId[0] == p.id[0] &&
            flash.programId[1] == p.id[1])
            addContents(j, flash.image);
        list.push_back(std::move(j));
    }
    return list;
}

// The LOAD_AREA areas, finished and unfinished, that hold boot code only (or the others).
json areasOf(const FlashState& flash, bool bootCode) {
    json list = json::array();
    for (const auto& [address, body] : flash.areas) {
        json ids = json::array();
        bool bootOnly = true;
        for (const auto& id : programsInBody(body)) {
            ids.push_back(idText(id[0], id[1]));
            bootOnly = bootOnly && programType(id[0]) == kBootCodeType;
        }
        if ((bootOnly && !ids.empty()) != bootCode)
            continue;
        json j = {{"address", hexWord(address)}, {"state", "whole"}, {"programIds", ids}};
        addContents(j, body);
        list.push_back(std::move(j));
    }
    for (const auto& [address, area] : flash.unfinishedAreas) {
        if ((area.types == std::set<std::uint32_t>{kBootCodeType}) != bootCode)
            continue;
        list.push_back({{"address", hexWord(address)}, {"state", partStateName(area.state)}, {"types", area.types}});
    }
    return list;
}

// The wakeup-parameter record as the card reports it; none when the board has no region 4.
std::optional<std::vector<std::uint8_t>> wakeupOf(const Board& b) {
    const auto region = b.regions.find(kWakeupRegion);
    if (region == b.regions.end() || region->second.absent || region->second.refused)
        return std::nullopt;
    std::vector<std::uint8_t> record(std::size_t(blobSize(region->second.bytes)));
    readBlob(region->second.bytes, 0, record.size(), record.data());
    wakeupAsReported(b, record);
    return record;
}

std::string slotText(const std::vector<std::uint8_t>& record, std::size_t offset) {
    return idText(readHost32(record.data(), offset), readHost32(record.data(), offset + 4));
}

json firmwareOf(const Board& b) {
    json j = {{"complete", !firmwareIncomplete(b)},
              {"running", runningFirmware(b)},
              {"afterReset", firmwareAfterReset(b)},
              {"programs", programsOf(b.flash, false)},
              {"areas", areasOf(b.flash, false)}};
    if (const auto record = wakeupOf(b)) {
        // The slots of the types other than boot code, by type.
        static constexpr std::pair<std::uint32_t, std::size_t> kSlots[] = {{2, 0}, {6, 20}, {7, 28}, {11, 36}, {14, 44}};
        json slots = json::object();
        for (const auto& [type, offset] : kSlots)
            if (offset + 8 <= record->size())
                slots[std::to_string(type)] = slotText(*record, offset);
        j["wakeup"] = slots;
    }
    const ObjectStore& s = b.objects;
    if (s.prgPartial) {
        j["prg"] = {{"state", "partial"}};
    } else if (const auto prg = s.objects.find("/prg"); prg != s.objects.end()) {
        json object = {{"state", "whole"}};
        addContents(object, prg->second);
        j["prg"] = object;
    }
    if (s.firmwareGiven || s.prgPartial || s.objects.count("/prg") != 0) // as the version request answers
        j["versions"] = {{"active", activeFirmwareOf(b)}, {"flash", flashFirmwareOf(b)}};
    return j;
}

json bootCodeOf(const Board& b) {
    json j = {{"complete", !typeIncomplete(b.flash, kBootCodeType)},
              {"programs", programsOf(b.flash, true)},
              {"areas", areasOf(b.flash, true)}};
    if (const auto record = wakeupOf(b)) {
        json wakeup = json::object();
        for (const auto& [name, offset] : {std::pair<const char*, std::size_t>{"slot", kBootSlot}, {"copy", kBootCopySlot}})
            if (offset + 8 <= record->size())
                wakeup[name] = slotText(*record, offset);
        wakeup["stagedBootId"] = hexWord(b.flash.stagedBootId);
        j["wakeup"] = wakeup;
    }
    if (!b.cntlAttributes.texts[0].empty())
        j["attributes"] = b.cntlAttributes.texts[0];
    return j;
}

} // namespace

json flashReport(const BoardSet& set) {
    json boards = json::array();
    for (std::size_t i = 0; i < set.boards.size(); ++i) {
        const Board& b = set.boards[i];
        json j = {{"index", i}, {"name", b.name}, {"firmware", firmwareOf(b)}, {"bootCode", bootCodeOf(b)}};
        if (!b.card.empty())
            j["card"] = b.card;
        if (b.objects.ffvGiven)
            j["ffv"] = std::string(b.objects.ffv.begin(), b.objects.ffv.end());
        boards.push_back(std::move(j));
    }
    return {{"boardFile", set.path}, {"boards", boards}};
}

} // namespace dfcsim
