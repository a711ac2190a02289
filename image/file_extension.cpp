// Every file-name extension test of the program (see file_extension.h).
#include "image/file_extension.h"

#include "common/run_state.h"
#include "log/debug_log.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

struct KindRow {
    const char* lower;
    const char* upper;
    std::uint32_t kind;
};

const KindRow kFileKinds[] = {
    {"all", "ALL", FILE_KIND_ALL}, {"dwc", "DWC", FILE_KIND_DWC}, {"bwc", "BWC", FILE_KIND_BWC},
    {"fwc", "FWC", FILE_KIND_FWC}, {"ufi", "UFI", FILE_KIND_UFI}, {"grp", "GRP", FILE_KIND_GRP},
};

} // namespace

int isValidFileExtension(const char* name, std::uint32_t* extType, int mode) {
    if (name == nullptr || extType == nullptr) {
        debugPrint("[isValidFileExtension] - Invalid arguments!\n");
        return 4;
    }
    *extType = 0;
    if (mode == EXT_MODE_FIRMWARE || mode == EXT_MODE_ANY) {
        if (std::strstr(name, ".ALL") != nullptr || std::strstr(name, ".all") != nullptr)
            *extType = ALLext;
        else if (std::strstr(name, ".GRP") != nullptr || std::strstr(name, ".grp") != nullptr)
            *extType = GRPext;
    }
    if (mode == EXT_MODE_BOOT || mode == EXT_MODE_ANY) {
        if (std::strstr(name, ".PRG") != nullptr || std::strstr(name, ".prg") != nullptr)
            *extType = PRGext;
    }
    return *extType == 0 ? 1 : 0;
}

bool isConfigFileName(std::string_view name) {
    return name.find(".ini") != std::string_view::npos ||
           name.find(".INI") != std::string_view::npos;
}

bool hasGrpExtension(const char* path) {
    return path != nullptr &&
           (std::strstr(path, ".grp") != nullptr || std::strstr(path, ".GRP") != nullptr);
}

std::uint32_t downloadFileKind(const char* path) {
    if (path == nullptr)
        return FILE_KIND_OTHER;
    const char* dot = std::strrchr(path, '.');
    if (dot == nullptr)
        return FILE_KIND_OTHER;
    const std::string ext(dot + 1, std::min<std::size_t>(std::strlen(dot + 1), 4));
    for (const KindRow& row : kFileKinds)
        if (ext == row.lower || ext == row.upper)
            return row.kind;
    return FILE_KIND_OTHER;
}
