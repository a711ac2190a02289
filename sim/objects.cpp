// The object store's board-file keys (see objects.h): an object is hexadecimal text
// or {"hex", "text"}, named by 1 to 100 characters.
#include "sim/objects.h"

#include "sim/hex_text.h"

#include <cctype>
#include <stdexcept>

namespace dfcsim {

namespace {

using nlohmann::json;


// An object is hexadecimal text, or {"hex": ..., "text": ...} (bytes in that order).
std::vector<std::uint8_t> objectBytes(const json& j, const std::string& name) {
    if (j.is_string())
        return hexBytes(j.get<std::string>(), "object " + name);
    if (!j.is_object())
        throw std::runtime_error("object " + name + " must be text or an object");
    std::vector<std::uint8_t> bytes;
    if (j.contains("hex"))
        bytes = hexBytes(j.at("hex").get<std::string>(), "object " + name);
    if (j.contains("text")) {
        const std::string text = j.at("text").get<std::string>();
        bytes.insert(bytes.end(), text.begin(), text.end());
    }
    return bytes;
}

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

void readObjectStore(const json& board, ObjectStore& store) {
    if (const auto os = board.find("objects"); os != board.end()) {
        if (!os->is_object())
            throw std::runtime_error("objects must map names to contents");
        for (const auto& [name, value] : os->items()) {
            if (name.empty() || name.size() > 100)
                throw std::runtime_error("object name \"" + name + "\" is empty or too long");
            store.objects[name] = objectBytes(value, name);
        }
    }
    if (const auto c = board.find("prgChangeStatus"); c != board.end())
        store.prgChangeStatus = smallNumber(*c, "prgChangeStatus");
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

void writeObjectStore(const ObjectStore& store, json& board) {
    if (!store.objects.empty() || board.contains("objects")) {
        json objects = json::object();
        for (const auto& [name, bytes] : store.objects)
            objects[name] = hexText(bytes, 32);
        board["objects"] = objects;
    }
    if (store.ffvGiven)
        board["ffv"] = std::string(store.ffv.begin(), store.ffv.end());
    if (store.firmwareGiven)
        board["firmwareVersions"] = {{"active", store.activeFirmware},
                                     {"flash", store.flashFirmware}};
}

} // namespace dfcsim
