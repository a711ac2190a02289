// Refuses paths too long for their fields (see path_limits.h).
#include "app/path_limits.h"

#include "app/output_files.h"
#include "catalog/config_files.h"
#include "catalog/payload_catalog.h"
#include "catalog/soft_vpd_file.h"
#include "common/text.h"
#include "image/clu_image.h"
#include "platform/platform.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::size_t kFolderLimit = decltype(RunPaths::payloadDir)::capacity;
constexpr std::size_t kSoftVpdLimit = decltype(SoftVpd::primaryPath)::capacity;

std::optional<OverlongPath> overlong(const char* what, const std::string& path, std::size_t limit) {
    if (path.size() <= limit)
        return std::nullopt;
    return OverlongPath{what, path, limit};
}

// The longest payload file path of the folder, made absolute as the catalogue makes it,
// among the files it would list.
std::string longestPayloadPath(const std::string& folder) {
    std::string longest;
    const std::optional<std::vector<std::string>> names = platform::listDirectory(folder);
    if (!names)
        return longest;
    for (const std::string& name : *names) {
        if (name.size() > LISTED_NAME_MAX || !isFileNameOfKind(name, FILE_LIST_PAYLOAD))
            continue;
        const std::string path = platform::absolutePath(folder + name);
        if (path.size() > longest.size())
            longest = path;
    }
    return longest;
}

} // namespace

std::optional<OverlongPath> findOverlongPath(const RunOptions& options, const RunPaths& paths) {
    if (options.mode != Inventory && options.mode != Execution)
        return std::nullopt;
    const std::string configFolder = configFolderOf(paths);
    const std::string payloadFolder = payloadFolderOf(paths);
    if (auto found = overlong("the configuration folder", configFolder, kFolderLimit))
        return found;
    if (auto found = overlong("the payload folder", payloadFolder, kFolderLimit))
        return found;
    if (auto found = overlong("the soft VPD file", softVpdFilePath(true), kSoftVpdLimit))
        return found;
    if (auto found = overlong("the secondary soft VPD file", softVpdFilePath(false), kSoftVpdLimit))
        return found;
    if (options.mode == Execution)
        if (auto found = overlong("the payload file", longestPayloadPath(payloadFolder), PAYLOAD_PATH_MAX))
            return found;
    return std::nullopt;
}

std::string overlongPathLine(const OverlongPath& overlong) {
    return formatText("%s %s has %zu characters, more than the %zu this program keeps; nothing was written, "
                      "use a shorter path",
                      overlong.what.c_str(), overlong.path.c_str(), overlong.path.size(), overlong.limit);
}
