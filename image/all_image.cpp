// The ALL/AIF reader: walks the sub-image headers, decodes the DWC version and checks
// the file's check word.
#include "image/all_image.h"

#include "common/bytes.h"
#include "image/code_tables.h"
#include "image/file_checksum.h"
#include "image/image_status.h"
#include "image/prg_image.h"
#include "image/version_forms.h"
#include "log/debug_log.h"

#include <cstring>

namespace {

constexpr std::uint32_t kReadError = INVALID_IMAGE_ERROR | ERROR_READING_FILE;

unsigned u(std::uint32_t v) { return static_cast<unsigned>(v); }

} // namespace

int isAifFile(const char* path) {
    if (path == nullptr)
        return 1;
    const char* dot = std::strchr(path, '.');
    if (dot == nullptr)
        return 1;
    return std::strcmp(dot + 1, "aif") == 0 || std::strcmp(dot + 1, "AIF") == 0 ? 2 : 1;
}

std::uint32_t decodeAllSubImage(std::FILE* file, const std::uint32_t header[AIF_HEADER_WORDS], CluImage* record) {
    (void)file; // the header holds everything the decode needs
    if (header == nullptr || record == nullptr)
        return kReadError;
    const std::uint32_t word = header[AIF_VERSION_WORD];
    switch (header[AIF_KIND_WORD]) {
    case AWC_IMAGE:
        return 0;
    case DWC_IMAGE: {
        record->legacyVersion = word;
        const std::uint32_t imageId = legacyImageId(word);
        const std::uint32_t imageType = legacyImageType(word);
        debugPrint("DWC ImageID   = %X\n", u(imageId));
        debugPrint("DWC ImageType = %X\n", u(imageType));
        int codeStatus = 0;
        if (imageType == 7) {
            codeStatus = getDwcType7Code(imageId, record->legacyType);
        } else if (imageType == 11) {
            codeStatus = getDwcType11Code(imageId, record->legacyType);
        } else {
            debugPrint("INVALID_IMAGE_ERROR | ERROR_READING_FILE - Unknown ImageType = %X, Status = %X\n",
                       u(imageType), u(kReadError));
            return kReadError;
        }
        if (codeStatus != 0)
            return kReadError;
        debugPrint("Encoded Type  = %s\n", record->legacyType.c_str());
        record->decodedVersion = record->legacyType.view();
        const std::size_t codeLength = record->decodedVersion.size();
        char* suffix = record->decodedVersion.buffer() + codeLength;
        encodeLegacyVersion(word, suffix, record->decodedVersion.bufferSize() - codeLength);
        debugPrint("Encoded Ver   = %s\n", suffix);
        return 0;
    }
    case BWC_IMAGE:
        debugPrint("\n###### BWC IMAGE ######\n");
        debugPrint("BWC ImageID   = %X\n", u(legacyImageId(word)));
        debugPrint("BWC ImageType = %X\n\n", u(legacyImageType(word)));
        return 0;
    case FWC_IMAGE:
        debugPrint("\n###### FWC IMAGE ######\n");
        debugPrint("FWC ImageID   = %X\n", u(legacyImageId(word)));
        debugPrint("FWC ImageType = %X\n", u(legacyImageType(word)));
        return 0;
    default:
        return kReadError;
    }
}

std::uint32_t getALLBuildVersion(const char* path, CluImage* record) {
    debugPrint("\n[getALLBuildVersion]\n");
    if (path == nullptr || record == nullptr)
        return 4;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        debugPrint("OPEN_FILE_ERROR - Could not open image file = %s, Status = %X\n", path, u(OPEN_FILE_ERROR));
        return OPEN_FILE_ERROR;
    }
    debugPrint("Input file = %s\n", path);
    std::rewind(file);
    debugPrint("Reading ALL Header...\n");

    std::uint8_t bytes[AIF_HEADER_SIZE];
    if (std::fread(bytes, 1, aif_layout::kFirst.width, file) != aif_layout::kFirst.width) {
        std::fclose(file);
        debugPrint("INVALID_IMAGE_ERROR - Status = %X\n", u(INVALID_IMAGE_ERROR));
        return INVALID_IMAGE_ERROR;
    }
    std::rewind(file);
    if (!layout::holdsFixed(std::span<const std::uint8_t>(bytes, aif_layout::kFirst.width), aif_layout::kFirst)) {
        std::fclose(file);
        debugPrint("INCOMPAT_IMAGE_ERROR - image_type != NOP_IMAGE_TYPE, Status = %X\n", u(INCOMPAT_IMAGE_ERROR));
        return INCOMPAT_IMAGE_ERROR;
    }

    // The file's length bounds the walk: a sub-image whose size runs past the end
    // ends it (as reaching the end does), and the checksum then finds the missing
    // words. The running total is 64-bit, so no size can wrap it back into the file.
    long fileSize = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        fileSize = std::ftell(file);
    if (fileSize < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        debugPrint("INVALID_IMAGE_ERROR | ERROR_READING_FILE - Status = %X\n", u(kReadError));
        return kReadError;
    }

    const bool aif = isAifFile(path) == 2;
    std::uint64_t total = 0;
    for (;;) {
        const std::size_t got = std::fread(bytes, 1, AIF_HEADER_SIZE, file);
        if (got < AIF_HEADER_SIZE) {
            if (std::ferror(file) != 0) {
                std::fclose(file);
                debugPrint("INVALID_IMAGE_ERROR | ERROR_READING_FILE - Status = %X\n", u(kReadError));
                return kReadError;
            }
            break; // the final check word, or nothing, is left
        }
        // Every header word is big-endian (see aif_layout).
        std::uint32_t header[AIF_HEADER_WORDS];
        for (std::size_t w = 0; w < AIF_HEADER_WORDS; ++w)
            header[w] = readBe32(bytes, w * 4);
        if (header[aif_layout::kFirstWord] != aif_layout::kFirst.value) {
            std::fclose(file);
            debugPrint("INVALID_IMAGE_ERROR | ERROR_READING_FILE - Aif_header.compress_br != NOP_IMAGE_TYPE, "
                       "Status = %X\n",
                       u(kReadError));
            return kReadError;
        }
        total += std::uint64_t(header[AIF_SIZE_WORD]) + AIF_HEADER_SIZE + (aif ? 0 : aif_layout::kCheckWordBytes);
        if (decodeAllSubImage(file, header, record) != 0) {
            std::fclose(file);
            return INCOMPAT_IMAGE_ERROR;
        }
        if (total > static_cast<std::uint64_t>(fileSize))
            break;
        if (std::fseek(file, static_cast<long>(total), SEEK_SET) != 0) {
            std::fclose(file);
            debugPrint("INVALID_IMAGE_ERROR | ERROR_READING_FILE - fseek accuFileSize failed - Status = %X\n",
                       u(kReadError));
            return kReadError;
        }
    }

    if (!aif) {
        std::rewind(file);
        const std::uint32_t checksum = FileChecksum(file, (total + 4) / 4 - 1);
        if (checksum != 0) {
            std::fclose(file);
            debugPrint("BAD_CHECKSUM_ERROR - Checksum = %08lX, Status = %X\n", static_cast<unsigned long>(checksum),
                       u(BAD_CHECKSUM_ERROR));
            return BAD_CHECKSUM_ERROR;
        }
    }
    std::fclose(file);
    return 0;
}
