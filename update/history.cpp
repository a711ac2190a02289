// The update history (see history.h).
#include "update/history.h"

#include "adapter/hba_entry.h"
#include "common/sha256.h"
#include "common/utc_time.h"
#include "platform/platform.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;

std::string fileNameOf(const std::string& path) {
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Whether the file's last byte ends a line (an empty or missing file does too): a line
// left unfinished by someone else must not swallow the next record.
bool endsWithNewline(const std::string& path) {
    if (platform::fileKindAt(path) != platform::FileKind::Regular)
        return true;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in || in.tellg() <= 0)
        return true;
    in.seekg(-1, std::ios::end);
    char last = '\n';
    in.get(last);
    return last == '\n';
}

} // namespace

std::string historyLine(const ComponentOutcome& o, std::chrono::system_clock::time_point when,
                        const std::string& payloadSha256) {
    Json j;
    j["time"] = utcTimestamp(when);
    if (o.adapter != nullptr) {
        j["portName"] = portNameOf(*o.adapter);
        j["serialNumber"] = o.adapter->serialNumber.str();
        j["model"] = o.adapter->modelDesc.str();
    }
    j["component"] = o.bootCode ? "bootCode" : "firmware";
    j["from"] = Json{{"version", o.installedVersion}, {"family", o.installedFamily}};
    j["to"] = Json{{"version", o.packagedVersion}, {"family", o.packagedFamily}};
    j["payload"] = Json{{"file", fileNameOf(o.payloadPath)}, {"sha256", payloadSha256}};
    j["resultCode"] = codeNumber(o.result);
    j["rebootRequired"] = o.rebootNeeded; // as the summary names it (lines before 11.2.216.9 say rebootNeeded)
    j["seconds"] = static_cast<double>(static_cast<long long>(o.seconds * 1000 + 0.5)) / 1000;
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string fileSha256(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    Sha256 hash;
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (in.gcount() > 0)
            hash.update(buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad())
        return {};
    return sha256Hex(hash.finish());
}

std::string appendHistory(const std::string& folder, const ComponentOutcome& outcome,
                          std::chrono::system_clock::time_point when) {
    const std::string path = folder + kHistoryFileName;
    std::string line = historyLine(outcome, when, fileSha256(outcome.payloadPath)) + "\n";
    if (!endsWithNewline(path))
        line.insert(line.begin(), '\n');
    std::string why;
    if (platform::appendToOwnedFile(path, line, &why) != 0)
        return why.empty() ? "cannot append to " + path : why;
    return {};
}
