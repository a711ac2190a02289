// The object store's board-file keys (see objects.h): an object is a blob (hexadecimal
// text, {"hex", "text"} or {"file"}), named by 1 to 100 characters.
#include "sim/objects.h"

#include <cctype>
#include <stdexcept>

namespace dfcsim {

namespace {

using nlohmann::json;


std::uint8_t smallNumber(const json& j, const char* what) {
    std::uint64_t value = 0;
    if (j.is_number_unsigned())
        value = j.get<std::uint64_t>();
    else if (j.is_string())
        value = std::stoull(j.get<std::string>(), nullptr, 0);
    else
        throw std::runtime_error(std::string("bad number for ") + what);
    if (value > 0xFF)
        throw std::runtime_error(std::string("number too large for ") + what);
    return std::uint8_t(value);
}

} // namespace

void readObjectStore(const json& board, ObjectStore& store, const std::string& boardFile) {
    if (const auto os = board.find("objects"); os != board.end()) {
        if (!os->is_object())
            throw std::runtime_error("objects must map names to contents");
        for (const auto& [name, value] : os->items()) {
            if (name.empty() || name.size() > 100)
                throw std::runtime_error("object name \"" + name + "\" is empty or too long");
            store.objects[name] = blobFromJson(value, boardFile, "object " + name);
        }
    }
    if (const auto c = board.find("prgChangeStatus"); c != board.end())
        store.prgChangeStatus = smallNumber(*c, "prgChangeStatus");
    const std::string write = board.value("prgWrite", "staged");
    if (write != "staged" && write != "inPlace")
        throw std::runtime_error("prgWrite is \"staged\" or \"inPlace\"");
    store.prgInPlace = write == "inPlace";
    store.prgPartial = board.value("prgPartial", false);
    if (const auto f = board.find("firmwareVersions"); f != board.end()) {
        store.firmwareGiven = true;
        store.activeFirmware = f->value("active", "");
        store.flashFirmware = f->value("flash", store.activeFirmware);
        if (store.activeFirmware.size() > 32 || store.flashFirmware.size() > 32)
            throw std::runtime_error("firmwareVersions texts hold at most 32 characters");
    }
    if (const auto v = board.find("ffv"); v != board.end()) {
        const std::string text = v->get<std::string>();
        if (text.size() > 32)
            throw std::runtime_error("ffv holds at most 32 characters");
        store.ffv.assign(text.begin(), text.end());
        store.ffvGiven = true;
    }
}

void writeObjectStore(const ObjectStore& store, json& board, BlobSaving& saving) {
    if (!store.objects.empty() || board.contains("objects")) {
        json objects = json::object();
        for (const auto& [name, bytes] : store.objects)
            objects[name] = blobJson(bytes, blobField("object", name), saving, 32);
        board["objects"] = objects;
    }
    if (store.prgPartial)
        board["prgPartial"] = true;
    else
        board.erase("prgPartial");
    if (store.ffvGiven)
        board["ffv"] = std::string(store.ffv.begin(), store.ffv.end());
    if (store.firmwareGiven)
        board["firmwareVersions"] = {{"active", store.activeFirmware},
                                     {"flash", store.flashFirmware}};
}

} // namespace dfcsim
