// The download dispatcher (see dispatcher.h); the driver-information and link-information
// fields it reads are declared in adapter/mailbox_layouts.h.
#include "download/dispatcher.h"

#include "adapter/adapter_family.h"
#include "adapter/board_family.h"
#include "adapter/device_table.h"
#include "adapter/dfc_library.h"
#include "adapter/mailbox_layouts.h"
#include "common/bytes.h"
#include "download/aif_program.h"
#include "download/ffs_download.h"
#include "download/file_words.h"
#include "download/load_list.h"
#include "download/prg_program.h"
#include "download/wakeup.h"
#include "image/all_image.h"
#include "image/prg_image.h"
#include "image/version_forms.h"
#include "log/debug_log.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr std::uint8_t LNK_DOWN = 1;
constexpr std::uint8_t LNK_DOWN_PERSIST = 7;
constexpr std::uint32_t LOOPBACK_FAILED = 200;
constexpr int kSignatureRetries = 3;

// Closes the image file on every way out.
struct OpenImage {
    std::FILE* file = nullptr;
    ~OpenImage() {
        if (file != nullptr)
            std::fclose(file);
    }
};

std::uint32_t mapObjectResult(std::uint32_t result) {
    switch (result) {
    case 0:
        return 0;
    case 203:
        return DOWNLOAD_SIGNATURE_INVALID;
    case 209:
        return DOWNLOAD_SIGNATURE_MISSING;
    case REBOOT_REQUIRED:
        return DOWNLOAD_REBOOT_REQUIRED;
    case RESET_REQUIRED:
        return DOWNLOAD_RESET_REQUIRED;
    default:
        return DOWNLOAD_OBJECT_FAILED;
    }
}

// The GRP route's step texts go to the caller only (tellStep, not reportStep): the trace
// file keeps the PRG and AIF steps it always had.
std::uint32_t downloadGrp(std::uint32_t board, const std::string& path, DownloadRoute route,
                          const StepTextCallback& stepText, const ProgressCallback& progress) {
    if (route != DownloadRoute::Grp && route != DownloadRoute::GrpG6)
        return DOWNLOAD_NOT_SUITABLE;
    tellStep(stepText, "Checking Image");
    const std::uint32_t verify = route == DownloadRoute::GrpG6 ? FFS_VerifyGrpG6File(path.c_str())
                                                               : FFS_VerifyGrpFile(path.c_str());
    if (verify != 0) {
        debugPrint("FFS_VerifyFirmware rmStatus %X cluStatus %d\n", unsigned(verify), int(verify));
        return DOWNLOAD_NOT_SUITABLE;
    }
    tellStep(stepText, "Writing Firmware Object");
    ObjectWriteProgress pieces;
    if (progress)
        pieces = [&progress](std::uint32_t written, std::uint32_t length) {
            progress(std::uint32_t(std::uint64_t(written) * 100 / length), written, length);
        };
    const std::uint32_t result = FFS_DownloadFirmware(board, path.c_str(), pieces);
    const std::uint32_t mapped = mapObjectResult(result);
    debugPrint("FFS_DownloadFirmware rmStatus %X cluStatus %d\n", unsigned(result), int(mapped));
    return mapped;
}

// Programs a PRG image; a signature the adapter refuses is tried up to 3 more times,
// each after the load-list entries of the image's type are deleted.
std::uint32_t programPrg(std::uint32_t board, std::FILE* file, const StepTextCallback& stepText,
                         const ProgressCallback& progress) {
    std::uint32_t result = ProgramPrgImage(board, file, stepText, progress);
    for (int retry = 0; retry < kSignatureRetries && result == MBX_STATUS_SIGNATURE_FAILED;
         ++retry) {
        seekTo(file, 0);
        std::uint32_t header[prg_layout::kProgramId2Word + 1] = {};
        if (readFileWords(file, header, prg_layout::kProgramId2Word + 1) != 0)
            return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
        seekTo(file, 0);
        DeleteLoadEntries(board, legacyImageType(header[prg_layout::kProgramIdWord]));
        result = ProgramPrgImage(board, file, stepText, progress);
    }
    return result;
}

// Programs a file of AIF records; on a newer-family board a refused signature is tried
// up to 3 more times.
std::uint32_t programAif(std::uint32_t board, std::FILE* file, const CluImage& payload, bool newer,
                         const StepTextCallback& stepText, const ProgressCallback& progress) {
    std::uint32_t keyFlag = 0;
    const std::uint32_t kind = payload.fileKind, aifFlag = payload.aifFlag;
    std::uint32_t result = ProgramAifFile(board, kind, file, aifFlag, keyFlag, stepText, progress);
    if (!newer)
        return result;
    if (result == MBX_STATUS_AUTHENTICATION)
        debugPrint("SEC_AUTHENTICATION_ERROR!!!");
    for (int retry = 0; retry < kSignatureRetries && result == MBX_STATUS_SIGNATURE_FAILED;
         ++retry) {
        debugPrint("SEC_DIGITAL_SIGNATURE_CHECK_FAILED!!!");
        seekTo(file, 0);
        result = ProgramAifFile(board, kind, file, aifFlag, keyFlag, stepText, progress);
    }
    return result;
}

// The download's result from the programming's: adapter statuses the update knows by
// other numbers are mapped.
std::uint32_t finishDownload(std::uint32_t result) {
    switch (result) {
    case MBX_STATUS_NO_FLASH:
        return NO_FLASH_ERROR;
    case MBX_STATUS_SIGNATURE_FAILED:
    case MBX_STATUS_AUTHENTICATION:
        return SECURITY_ERROR;
    case KEK_FAILURE:
        return DOWNLOAD_KEY_FAILED;
    default:
        return result;
    }
}

} // namespace

std::uint32_t GetDriverType(std::uint32_t board, std::uint32_t& type) {
    type = dfc.TavDfcQueryDriverType != nullptr ? dfc.TavDfcQueryDriverType(board) : 0;
    if (type != 2 || dfc.DFC_GetDrvInfo == nullptr)
        return 0;
    std::uint8_t info[driver_info::kSize] = {};
    layout::setFixed(info, driver_info::kVersion);
    if (dfc.DFC_GetDrvInfo(board, info) != 0)
        return 0;
    switch (layout::at(info, driver_info::kSubKind)) {
    case 1:
        type = 10;
        break;
    case 2:
        type = 12;
        break;
    case 3:
        type = 11;
        break;
    default:
        break;
    }
    return 0;
}

std::uint32_t SetLoopbackIfLinkDown(std::uint32_t board, std::uint32_t& done, DownloadSleep sleep) {
    if (dfc.DFC_GetLinkInfo == nullptr || dfc.DFC_ConfigLoopback == nullptr)
        return LOOPBACK_FAILED;
    std::uint8_t info[link_info::kSize] = {};
    if (dfc.DFC_GetLinkInfo(board, info) != 0)
        return LOOPBACK_FAILED;
    const std::uint32_t state = layout::at(info, link_info::kState);
    if (state != LNK_DOWN && state != LNK_DOWN_PERSIST)
        return 0;
    if (dfc.DFC_ConfigLoopback(board, 1, 15) != 0)
        return LOOPBACK_FAILED;
    done = 1;
    if (sleep != nullptr)
        sleep(500);
    return 0;
}

std::uint32_t ClearLoopback(std::uint32_t board) {
    if (dfc.DFC_ConfigLoopback == nullptr)
        return LOOPBACK_FAILED;
    return dfc.DFC_ConfigLoopback(board, 0, 15);
}

std::uint32_t UpdateTindleFirmwareWithFeedback(std::uint32_t board, const char* path,
                                               StepTextCallback stepText,
                                               ProgressCallback progress) {
    if (path == nullptr)
        return OPEN_FILE_ERROR;
    return downloadPayload(board, payloadForPath(path), stepText, progress, platform::sleepMs);
}

CluImage payloadForPath(const char* path) {
    CluImage payload;
    if (path == nullptr)
        return payload;
    payload.path = platform::absolutePath(path);
    if (payload.path.empty())
        payload.path = path;
    payload.fileKind = downloadFileKind(path);
    payload.aifFlag = std::uint32_t(isAifFile(path));
    return payload;
}

std::uint32_t downloadPayload(std::uint32_t board, const CluImage& payload, StepTextCallback stepText,
                              ProgressCallback progress, DownloadSleep sleep) {
    const std::uint32_t kind = payload.fileKind;
    const std::string& full = payload.path;
    debugPrint("File path = %s\n\n", full.c_str());

    // The board's row says which files its route takes; a UFI file has no route here.
    const DownloadRoute route = boardRoute(board);
    if (kind == FILE_KIND_UFI)
        return route == DownloadRoute::None ? DOWNLOAD_UFI_NOT_SUPPORTED : DOWNLOAD_NOT_SUITABLE;
    if (route == DownloadRoute::None)
        return DOWNLOAD_NOT_SUITABLE;
    if (kind == FILE_KIND_GRP)
        return downloadGrp(board, full, route, stepText, progress);
    if (route != DownloadRoute::Container)
        return DOWNLOAD_NOT_SUITABLE;

    tellStep(stepText, "Opening File");
    OpenImage image;
    image.file = std::fopen(full.c_str(), "rb");
    if (image.file == nullptr)
        return OPEN_FILE_ERROR;
    std::FILE* file = image.file;

    std::uint32_t firstWord = 0;
    if (readFileWords(file, &firstWord, 1) != 0)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    seekTo(file, 0);

    // The adapter must answer its wakeup parameters before anything is programmed; the
    // programming reads them afresh.
    WakeupRecord wakeup;
    if (readWakeupForDownload(board, wakeup) != 0)
        return MAILBOX_ERROR;
    const FamilyCodeRow& family = familyRowOf(GetAdapterFamily(board));
    std::uint32_t driverType = 0;
    GetDriverType(board, driverType);
    std::uint32_t loopback = 0; // 1 once this download has set loopback
    if (family.newer && driverType != 0) {
        const std::uint32_t status = SetLoopbackIfLinkDown(board, loopback, sleep);
        if (status != 0)
            debugPrint("Loopback for the download not set (link state unread or loopback refused). "
                       "Adapter %lu Stat %08lX\n",
                       static_cast<unsigned long>(board), static_cast<unsigned long>(status));
    }
    const std::uint32_t programmed =
        firstWord != NOP_IMAGE_TYPE
            ? programPrg(board, file, stepText, progress)
            : programAif(board, file, payload, family.newer, stepText, progress);
    const std::uint32_t result = finishDownload(programmed);
    // Whatever the download gave, the board leaves the loopback it set.
    if (loopback != 0) {
        const std::uint32_t status = ClearLoopback(board);
        if (status != 0)
            debugPrint("Loopback set for the download not cleared. Adapter %lu Stat %08lX\n",
                       static_cast<unsigned long>(board), static_cast<unsigned long>(status));
    }
    return result;
}
