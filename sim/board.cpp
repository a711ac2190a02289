// The board file (see board.h and sim/README.md): reading every board, and writing
// back only the hardware state into the document as read, so every other key survives.
#include "sim/board.h"

#include "sim/hex_text.h"
#include "sim/vpd_image.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace dfcsim {

namespace {

using nlohmann::json;

// A number written as a JSON integer or as text ("0x10DF", "4").
std::uint64_t number(const json& j, const char* what) {
    if (j.is_number_unsigned())
        return j.get<std::uint64_t>();
    if (j.is_number_integer() && j.get<std::int64_t>() >= 0)
        return std::uint64_t(j.get<std::int64_t>());
    if (j.is_string()) {
        const std::string text = j.get<std::string>();
        std::size_t used = 0;
        const std::uint64_t value = std::stoull(text, &used, 0);
        if (used == text.size())
            return value;
    }
    throw std::runtime_error(std::string("bad number for ") + what);
}

template <typename T> void take(const json& object, const char* key, T& field) {
    const auto it = object.find(key);
    if (it == object.end())
        return;
    const std::uint64_t value = number(*it, key);
    if (value > std::uint64_t(T(~T(0))))
        throw std::runtime_error(std::string("number too large for ") + key);
    field = T(value);
}

void takeText(const json& object, const char* key, std::string& field) {
    const auto it = object.find(key);
    if (it != object.end())
        field = it->get<std::string>();
}


std::array<std::uint8_t, 8> name8(const std::string& text, const char* what) {
    const std::vector<std::uint8_t> bytes = hexBytes(text, what);
    if (bytes.size() != 8)
        throw std::runtime_error(std::string(what) + " needs 8 bytes");
    std::array<std::uint8_t, 8> out{};
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

Region readRegion(const json& j, const std::string& id, const std::string& boardFile) {
    Region r;
    r.bytes = blobFromJson(j, boardFile, "region " + id);
    if (j.is_string())
        return r;
    r.absent = j.value("absent", false);
    r.refused = j.value("refused", false);
    take(j, "status", r.refusedStatus);
    take(j, "result", r.refusedResult);
    if (j.contains("claimLength"))
        r.claimedLength = std::uint32_t(number(j.at("claimLength"), "claimLength"));
    return r;
}

json regionJson(const Region& r, std::uint32_t id, BlobSaving& saving) {
    const json bytes = blobJson(r.bytes, blobField("region", std::to_string(id)), saving);
    if (!r.absent && !r.refused && !r.claimedLength && bytes.is_string())
        return bytes;
    json j = json::object();
    if (r.absent)
        j["absent"] = true;
    if (r.refused) {
        j["refused"] = true;
        j["status"] = hexWord(r.refusedStatus);
        j["result"] = hexWord(r.refusedResult);
    }
    if (r.claimedLength)
        j["claimLength"] = *r.claimedLength;
    if (bytes.is_object())
        j.update(bytes);
    else if (blobSize(r.bytes) != 0)
        j["hex"] = bytes;
    return j;
}

FaultRule readFault(const json& j) {
    FaultRule f;
    takeText(j, "call", f.call);
    if (j.contains("command"))
        f.command = std::uint32_t(number(j.at("command"), "command"));
    if (j.contains("opcode"))
        f.opcode = std::uint32_t(number(j.at("opcode"), "opcode"));
    if (j.contains("sub"))
        f.sub = std::uint32_t(number(j.at("sub"), "sub"));
    take(j, "from", f.from);
    take(j, "times", f.times);
    if (j.contains("result"))
        f.result = std::uint32_t(number(j.at("result"), "result"));
    if (j.contains("status"))
        f.status = std::uint16_t(number(j.at("status"), "status"));
    if (j.contains("exit"))
        f.exit = int(number(j.at("exit"), "exit"));
    if (j.contains("responseStatus"))
        f.responseStatus = std::uint8_t(number(j.at("responseStatus"), "responseStatus"));
    if (j.contains("responseAdditional"))
        f.responseAdditional =
            std::uint8_t(number(j.at("responseAdditional"), "responseAdditional"));
    if (j.contains("length"))
        f.length = std::uint32_t(number(j.at("length"), "length"));
    if (j.contains("count"))
        f.count = std::uint32_t(number(j.at("count"), "count"));
    if (j.contains("stop")) {
        if (!j.at("stop").is_boolean())
            throw std::runtime_error("fault rule \"stop\" is true or false");
        f.stop = j.at("stop").get<bool>();
    }
    if (f.from == 0)
        throw std::runtime_error("fault rule counts calls from 1");
    if (!f.result && !f.status && !f.exit && !f.stop && !f.responseStatus && !f.responseAdditional &&
        !f.length && !f.count)
        throw std::runtime_error("fault rule that changes nothing");
    return f;
}

// The board's latencies: keys ending in "Us" count microseconds, in "Ms" milliseconds.
void readTiming(const json& j, Timing& timing) {
    const auto t = j.find("timing");
    if (t == j.end())
        return;
    if (!t->is_object())
        throw std::runtime_error("\"timing\" is an object of latencies");
    struct Key {
        const char* name;
        WaitKind kind;
        std::uint64_t unitUs;
    };
    static constexpr Key kKeys[] = {
        {"mailboxUs", WaitKind::Mailbox, 1},         {"eraseStepUs", WaitKind::Erase, 1},
        {"chunkUs", WaitKind::Chunk, 1},             {"objectPieceUs", WaitKind::ObjectPiece, 1},
        {"resetMs", WaitKind::Reset, 1000},          {"bootMs", WaitKind::Boot, 1000},
    };
    for (const Key& key : kKeys) {
        std::uint32_t value = 0;
        take(*t, key.name, value);
        timing.us[std::size_t(key.kind)] = value * key.unitUs;
    }
}

Board readBoard(const json& j, std::size_t index, const std::string& boardFile) {
    Board b;
    b.name = j.value("name", "board" + std::to_string(index));
    b.fileStem = blobFileStem(boardFile, index);
    b.card = j.value("card", "");
    if (const auto p = j.find("pci"); p != j.end()) {
        take(*p, "bus", b.bus);
        take(*p, "device", b.device);
        take(*p, "function", b.function);
        take(*p, "vendorId", b.vendorId);
        take(*p, "deviceId", b.deviceId);
        take(*p, "subsystemVendorId", b.subsystemVendorId);
        take(*p, "subsystemId", b.subsystemId);
        take(*p, "headerType", b.headerType);
        take(*p, "result", b.pciResult);
    }
    if (const auto d = j.find("driver"); d != j.end()) {
        take(*d, "kind", b.driverKind);
        take(*d, "subKind", b.driverSubKind);
        takeText(*d, "version", b.driverVersion);
        take(*d, "interfaceLevel", b.interfaceLevel);
        take(*d, "features", b.features);
        take(*d, "result", b.driverResult);
    }
    take(j, "link", b.linkState);
    if (const auto r = j.find("revision"); r != j.end()) {
        take(*r, "hardwareId", b.hardwareId);
        takeText(*r, "firmware", b.firmwareVersion);
    }
    if (const auto n = j.find("names"); n != j.end()) {
        if (n->contains("wwpn"))
            b.wwpn = name8(n->at("wwpn").get<std::string>(), "wwpn");
        if (n->contains("wwnn"))
            b.wwnn = name8(n->at("wwnn").get<std::string>(), "wwnn");
    }
    if (const auto rs = j.find("regions"); rs != j.end())
        for (const auto& [id, value] : rs->items())
            b.regions[std::uint32_t(number(json(id), "region number"))] = readRegion(value, id, boardFile);
    // VPD keywords fill region 14 unless the board gives that region's bytes itself.
    if (const auto v = j.find("vpd"); v != j.end() && b.regions.count(14) == 0)
        b.regions[14].bytes = makeBlob(encodeVpd(*v));
    if (const auto ms = j.find("memory"); ms != j.end()) {
        for (const auto& [address, value] : ms->items()) {
            std::uint32_t at = std::uint32_t(number(json(address), "memory address")) & ~3u;
            if (value.is_array()) {
                for (const json& word : value) {
                    b.memory[at] = std::uint32_t(number(word, "memory word"));
                    at += 4;
                }
            } else {
                b.memory[at] = std::uint32_t(number(value, "memory word"));
            }
        }
    }
    if (const auto t = j.find("configTriple"); t != j.end()) {
        if (t->is_string() && t->get<std::string>() == "unavailable") {
            b.configTriple.reset();
        } else {
            if (!t->is_array() || t->size() != 3)
                throw std::runtime_error("configTriple needs three bytes or \"unavailable\"");
            std::array<std::uint8_t, 3> triple{};
            for (std::size_t i = 0; i < 3; ++i)
                triple[i] = std::uint8_t(number((*t)[i], "configTriple"));
            b.configTriple = triple;
        }
    }
    if (const auto fs = j.find("faults"); fs != j.end())
        for (const json& f : *fs)
            b.faults.push_back(readFault(f));
    readObjectStore(j, b.objects, boardFile);
    readCntlAttributes(j, b.cntlAttributes);
    readFlashState(j, b.flash, boardFile);
    readTiming(j, b.timing);
    return b;
}

} // namespace

int loadBoardSet(const std::string& path, BoardSet& set, std::string& problem) {
    set = BoardSet{};
    set.path = path;
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            problem = "board file " + path + " cannot be opened";
            return 1;
        }
        std::ostringstream text;
        text << in.rdbuf();
        json document = json::parse(text.str());
        if (!document.is_object() || !document.contains("boards") ||
            !document["boards"].is_array()) {
            problem = "board file " + path + " has no \"boards\" list";
            return 1;
        }
        std::vector<Board> boards;
        std::size_t index = 0;
        for (const json& b : document["boards"]) {
            try {
                boards.push_back(readBoard(b, index, path));
            } catch (const std::exception& e) {
                throw std::runtime_error("board " + std::to_string(index) + ": " + e.what());
            }
            ++index;
        }
        std::vector<FaultRule> faults;
        if (const auto fs = document.find("faults"); fs != document.end()) {
            if (!fs->is_array())
                throw std::runtime_error("\"faults\" is a list of rules");
            for (const json& f : *fs)
                faults.push_back(readFault(f));
        }
        set.document = std::move(document);
        set.boards = std::move(boards);
        set.faults = std::move(faults);
        return 0;
    } catch (const std::exception& e) {
        set = BoardSet{};
        set.path = path;
        problem = "board file " + path + " is damaged: " + e.what();
        return 1;
    }
}

int saveBoardSet(BoardSet& set, std::string& problem) {
    try {
        json& list = set.document["boards"];
        BlobSaving saving;
        for (std::size_t i = 0; i < set.boards.size() && i < list.size(); ++i) {
            const Board& b = set.boards[i];
            saving.fileStem = b.fileStem;
            json regions = json::object();
            for (const auto& [id, region] : b.regions)
                regions[std::to_string(id)] = regionJson(region, id, saving);
            list[i]["regions"] = regions;
            json memory = json::object();
            for (const auto& [address, word] : b.memory)
                memory[hexWord(address)] = hexWord(word);
            list[i]["memory"] = memory;
            writeObjectStore(b.objects, list[i], saving);
            writeFlashState(b, list[i], saving);
        }
        // A crash halfway leaves the old file whole: write aside, then rename over it.
        const std::string temporary = set.path + ".tmp";
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out << set.document.dump(2) << '\n';
            out.flush();
            if (!out) {
                problem = "board file " + temporary + " cannot be written";
                return 1;
            }
        }
        std::error_code error;
        std::filesystem::rename(temporary, set.path, error);
        if (error) {
            problem = "board file " + set.path + " cannot be replaced: " + error.message();
            std::filesystem::remove(temporary, error);
            return 1;
        }
        set.dirty = false;
        // Downloads in progress keep their files.
        for (const Board& b : set.boards)
            for (const BlobWriter* w : {&b.flash.pending, &b.flash.areaPending, &b.objects.pending})
                if (!w->temporary.empty())
                    saving.named.insert(std::filesystem::path(w->temporary).filename().string());
        removeUnnamedBlobFiles(set.path, saving.named);
        return 0;
    } catch (const std::exception& e) {
        problem = "board file " + set.path + " cannot be written: " + e.what();
        return 1;
    }
}

} // namespace dfcsim
