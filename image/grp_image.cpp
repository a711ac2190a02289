// The GRP reader: header decoding through the declared layout, the version in the
// build string, and the plain and G6 checks.
#include "image/grp_image.h"

#include "image/file_extension.h"
#include "image/image_status.h"
#include "log/debug_log.h"

#include <cstdio>
#include <cstring>

bool decodeGrpHeader(GrpHeader& header, std::span<const std::uint8_t> bytes) {
    const auto word0 = layout::get(bytes, grp_layout::kWord0);
    const auto magic = layout::get(bytes, grp_layout::kMagic);
    const auto signature = layout::get(bytes, grp_layout::kSignature);
    const auto build = layout::run(bytes, grp_layout::kBuildString);
    if (!word0 || !magic || !signature || build.size() != sizeof header.buildString)
        return false;
    header.word0 = *word0;
    header.magic = *magic;
    header.signature = *signature;
    std::memcpy(header.buildString, build.data(), sizeof header.buildString);
    return true;
}

int readGrpHeader(GrpHeader& header, const char* path, std::uint32_t magic, std::uint32_t signature) {
    if (path == nullptr)
        return RM_STATUS_ERROR_READING_RESOURCE;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return RM_STATUS_ERROR_READING_RESOURCE;
    std::uint8_t bytes[GRP_HEADER_SIZE];
    // Reading the header itself tells whether the file is long enough; a length
    // measured with ftell would fail on large files on Windows.
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, file);
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError)
        return RM_STATUS_ERROR_READING_RESOURCE;
    if (got < GRP_HEADER_SIZE || !decodeGrpHeader(header, std::span<const std::uint8_t>(bytes, got)))
        return RM_STATUS_ERROR_SHORT_FWIMAGE;
    if (header.magic != magic || layout::get(header.signature, grp_layout::kSignatureKind) != signature)
        return RM_STATUS_ERROR;
    return RM_STATUS_OK;
}

int checkGrpExtension(const char* path) {
    return hasGrpExtension(path) ? RM_STATUS_OK : RM_STATUS_ERROR_INCOMP_IMAGE;
}

int GetFerroxBuildString(FixedText<64>& out, const GrpHeader& header) {
    const void* nul = std::memchr(header.buildString, '\0', GRP_BUILD_STRING_SIZE);
    if (nul == nullptr) {
        out.clear();
        debugPrint("GRP GetFerroxBuildString = %s\n", out.c_str());
        return 1;
    }
    std::size_t n = 0;
    while (header.buildString[n] == '.' || (header.buildString[n] >= '0' && header.buildString[n] <= '9'))
        ++n;
    // A run longer than the field is cut to the field's capacity.
    out.assign(std::string_view(reinterpret_cast<const char*>(header.buildString), n));
    debugPrint("GRP GetFerroxBuildString = %s\n", out.c_str());
    return 0;
}

int getGRPBuildString(std::uint32_t* signature, const char* path, FixedText<64>& versionOut) {
    debugPrint("\n[getGRPBuildString]\n");
    if (checkGrpExtension(path) != RM_STATUS_OK) {
        debugPrint("RM_STATUS_ERROR_INCOMP_IMAGE - Invalid GRP image extension! Status = %d\n",
                   RM_STATUS_ERROR_INCOMP_IMAGE);
        debugPrint("Invalid GRP Image! Not a Ferrox Image!\n");
        return RM_STATUS_ERROR_INCOMP_IMAGE;
    }
    GrpHeader header;
    int status = readGrpHeader(header, path, GRP_G6_MAGIC, GRP_G6_SIGNATURE);
    if (status != RM_STATUS_OK) {
        header = GrpHeader{};
        status = readGrpHeader(header, path, GRP_MAGIC, GRP_SIGNATURE);
    }
    if (status == RM_STATUS_ERROR_READING_RESOURCE) {
        debugPrint("RM_STATUS_ERROR_READING_RESOURCE - Unable to open ifstream! Status = %d\n", status);
        return status;
    }
    if (status == RM_STATUS_ERROR_SHORT_FWIMAGE) {
        debugPrint("RM_STATUS_ERROR_SHORT_FWIMAGE - GRP fileLength is smaller than the GRP header length! "
                   "Status = %d\n",
                   status);
        return status;
    }
    const std::uint32_t upper = layout::get(header.signature, grp_layout::kSignatureKind);
    if (status != RM_STATUS_OK) {
        if (header.magic != GRP_MAGIC)
            debugPrint("RM_STATUS_ERROR - Ferrox firmware file GRP Header magic number bad = %X\n",
                       static_cast<unsigned>(header.magic));
        if (upper != GRP_SIGNATURE && upper != GRP_G6_SIGNATURE)
            debugPrint("RM_STATUS_ERROR - Ferrox firmware file GRP Header signature bad    = %X\n",
                       static_cast<unsigned>(header.signature));
        return RM_STATUS_ERROR;
    }
    if (signature != nullptr)
        *signature = upper;
    debugPrint("RM_STATUS_OK - Ferrox firmware file GRP Header magic number is OK = %X\n",
               static_cast<unsigned>(header.magic));
    debugPrint("RM_STATUS_OK - Ferrox firmware file GRP Header signature is OK    = %X\n",
               static_cast<unsigned>(header.signature));
    debugPrint("RM_STATUS_OK - Ferrox firmware file GRP Header pSignature is OK   = %X\n",
               static_cast<unsigned>(upper));
    if (GetFerroxBuildString(versionOut, header) != 0) {
        debugPrint("RM_STATUS_ERROR - Ferrox firmware file GRP Header version decode bad.\n");
        return RM_STATUS_ERROR;
    }
    debugPrint("Ferrox firmware version  = %s\n", versionOut.c_str());
    return RM_STATUS_OK;
}

int getGRPBuildVersion(const char* path, CluImage* record) {
    debugPrint("\n[getGRPBuildVersion]\n");
    if (path == nullptr || record == nullptr) {
        debugPrint("Invalid arguments!\n");
        return 4;
    }
    debugPrint("Input file = %s\n", path);
    record->decodedVersion = "0.0.0.0";
    record->sortedVersion = "N/A";
    record->legacyType = "N/A";
    record->imageType = NO_IMAGE;
    std::uint32_t signature = 0;
    const int status = getGRPBuildString(&signature, path, record->decodedVersion);
    if (status == RM_STATUS_OK) {
        if (signature == GRP_SIGNATURE)
            record->imageType = GRP_IMAGE;
        else if (signature == GRP_G6_SIGNATURE)
            record->imageType = GRP_G6_IMAGE;
    }
    return status;
}

int isGrpFile(const char* path) {
    GrpHeader header;
    return readGrpHeader(header, path, GRP_MAGIC, GRP_SIGNATURE) == RM_STATUS_OK ? RM_STATUS_OK
                                                                                : RM_STATUS_ERROR_INCOMP_IMAGE;
}

int isGrpG6File(const char* path) {
    GrpHeader header;
    return readGrpHeader(header, path, GRP_G6_MAGIC, GRP_G6_SIGNATURE) == RM_STATUS_OK
               ? RM_STATUS_OK
               : RM_STATUS_ERROR_INCOMP_IMAGE;
}
