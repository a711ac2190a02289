// Decoding of one image file by its extension kind (see verify_fw_file.h). Only an
// ordinary file reaches a reader: a FIFO would block it and a device holds no image.
#include "image/verify_fw_file.h"

#include "common/run_state.h"
#include "image/all_image.h"
#include "image/grp_image.h"
#include "image/image_status.h"
#include "image/prg_image.h"
#include "log/console.h"
#include "log/debug_log.h"
#include "platform/platform.h"

#include <cstdio>

std::uint32_t verifyFwFile(const char* path, CluImage* record) {
    if (path == nullptr || record == nullptr) {
        debugPrint("[verifyFwFile] - Invalid arguments!\n");
        return VERIFY_INVALID_ARGUMENTS;
    }
    // Only ordinary files are read: opening a FIFO would wait for a writer, and a
    // device or directory holds no image. A missing file goes on to the reader, which
    // reports it as it always has.
    if (platform::fileExists(path) && !platform::isRegularFile(path)) {
        sayOnStandardError("Image file %s is not an ordinary file; it is not read", path);
        debugPrint("Image file %s is not an ordinary file; it is not read\n", path);
        return OPEN_FILE_ERROR;
    }
    switch (record->extType) {
    case PRGext:
        record->imageType = FC_IMAGE;
        return getPRGBuildVersion(path, record);
    case ALLext:
        record->imageType = FC_IMAGE;
        return getALLBuildVersion(path, record);
    case GRPext:
        return static_cast<std::uint32_t>(getGRPBuildVersion(path, record));
    default:
        record->imageType = NO_IMAGE;
        return VERIFY_NO_READER;
    }
}
