// The image-file record's debug dump (see clu_image.h): the names of its kinds and
// every field, with the legacy version word taken apart.
#include "image/clu_image.h"

#include "common/run_state.h"
#include "image/version_forms.h"
#include "log/debug_log.h"

const char* extTypeName(std::uint32_t extType) {
    switch (extType) {
    case ALLext:
        return "ALLext";
    case PRGext:
        return "PRGext";
    case UFIext:
        return "UFIext";
    case GRPext:
        return "GRPext";
    default:
        return "N/A";
    }
}

const char* imageTypeName(std::uint32_t imageType) {
    switch (imageType) {
    case FC_IMAGE:
        return "FC_IMAGE";
    case VX2_IMAGE:
        return "VX2_IMAGE";
    case VX3_IMAGE:
        return "VX3_IMAGE";
    case VX4_IMAGE:
        return "VX4_IMAGE";
    case GRP_IMAGE:
        return "GRP_IMAGE";
    case GRP_G6_IMAGE:
        return "GRP_G6_IMAGE";
    default:
        return "N/A";
    }
}

void printCLUImage(const CluImage* record) {
    if (record == nullptr) {
        debugPrint("\n[printCLUImage] - Invalid argument!\n");
        return;
    }
    const std::uint32_t word = record->legacyVersion;
    debugPrint("%-20s : %d\n", "version", static_cast<int>(legacyVersionNumber(word)));
    debugPrint("%-20s : %d\n", "revision", static_cast<int>(legacyRevision(word)));
    debugPrint("%-20s : %d\n", "fixlevel", static_cast<int>(legacyFixlevel(word)));
    const int distType = static_cast<int>(legacyDistType(word));
    switch (distType) {
    case 0:
        debugPrint("%-20s : N (%d)\n", "dist_type", distType);
        break;
    case 1:
        debugPrint("%-20s : A (%d)\n", "dist_type", distType);
        break;
    case 2:
        debugPrint("%-20s : B (%d)\n", "dist_type", distType);
        break;
    default:
        debugPrint("%-20s : X (%d)\n", "dist_type", distType);
        break;
    }
    debugPrint("%-20s : %d\n", "dist_cnt", static_cast<int>(legacyDistCnt(word)));
    debugPrint("%-20s : %s\n", "filename", record->filename.c_str());
    debugPrint("%-20s : %s\n", "decodedVersion", record->decodedVersion.c_str());
    debugPrint("%-20s : %s\n", "sortedVersion", record->sortedVersion.c_str());
    debugPrint("%-20s : %s\n", "legacyType", record->legacyType.c_str());
    debugPrint("%-20s : %d\n", "isBER", static_cast<int>(record->isBER));
    debugPrint("%-20s : %X\n", "asicRevisionId", static_cast<unsigned>(record->asicRevisionId));
    debugPrint("%-20s : %d\n", "CNAMajorVer", static_cast<int>(record->CNAMajorVer));
    debugPrint("%-20s : %d\n", "CNAMinorVer", static_cast<int>(record->CNAMinorVer));
    debugPrint("%-20s : %d\n", "CNAReleaseVer", static_cast<int>(record->CNAReleaseVer));
    debugPrint("%-20s : %d\n", "CNABuildVer", static_cast<int>(record->CNABuildVer));
    debugPrint("%-20s : %d (%s)\n", "Image Type", static_cast<int>(record->imageType),
               imageTypeName(record->imageType));
    debugPrint("%-20s : %d (%s)\n", "extType", static_cast<int>(record->extType), extTypeName(record->extType));
}
