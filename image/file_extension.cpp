#include "image/file_extension.h"

#include "common/run_state.h"
#include "log/debug_log.h"

#include <cstring>

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
