// The PRG reader: the header, the option ROM's PCI data structure (restored from its
// reversed groups) and the version decode.
#include "image/prg_image.h"

#include "common/bytes.h"
#include "image/code_tables.h"
#include "image/image_status.h"
#include "image/version_forms.h"
#include "log/debug_log.h"

#include <cstring>
#include <utility>

namespace {

constexpr std::uint32_t kShort = INVALID_IMAGE_ERROR | SHORT_IMAGE;
constexpr std::uint32_t kReadError = INVALID_IMAGE_ERROR | ERROR_READING_FILE;

// Reads count bytes; the option ROM stores each 4-byte group reversed, so with
// restore set every group counted from the first byte read is turned back.
std::uint32_t readRomBytes(std::FILE* file, std::uint8_t* out, std::size_t count, bool restore) {
    const std::size_t got = std::fread(out, 1, count, file);
    if (got < count)
        return std::ferror(file) != 0 ? kReadError : kShort;
    if (restore) {
        for (std::size_t i = 0; i + 4 <= count; i += 4) {
            std::swap(out[i], out[i + 3]);
            std::swap(out[i + 1], out[i + 2]);
        }
    }
    return 0;
}

unsigned u(std::uint32_t v) { return static_cast<unsigned>(v); }

} // namespace

std::uint32_t ReadPRGImageHeader(std::FILE* file, std::uint32_t header[PRG_HEADER_WORDS]) {
    if (file == nullptr || header == nullptr)
        return 1;
    debugPrint("\n[ReadPRGImageHeader]\n");
    std::uint8_t bytes[PRG_HEADER_SIZE];
    for (std::size_t i = 0; i < PRG_HEADER_SIZE; ++i) {
        if (std::feof(file) != 0) {
            debugPrint("INVALID_IMAGE_ERROR | SHORT_IMAGE\n");
            return kShort;
        }
        const int c = std::fgetc(file);
        if (c == EOF) {
            if (std::feof(file) != 0) {
                debugPrint("INVALID_IMAGE_ERROR | SHORT_IMAGE - fread failed!\n");
                return kShort;
            }
            debugPrint("INVALID_IMAGE_ERROR | ERROR_READING_FILE\n");
            return kReadError;
        }
        bytes[i] = static_cast<std::uint8_t>(c);
    }
    // Every header word is big-endian (see prg_layout).
    for (std::size_t w = 0; w < PRG_HEADER_WORDS; ++w)
        header[w] = readBe32(bytes, w * 4);
    return 0;
}

std::uint32_t readPciRomHeader(std::FILE* file, std::uint8_t out[PCI_ROM_DATA_SIZE]) {
    if (file == nullptr || out == nullptr)
        return 1;
    const long start = std::ftell(file);
    if (start < 0)
        return kReadError;
    std::uint8_t group[rom_layout::kGroupBytes];
    std::uint32_t status = readRomBytes(file, group, sizeof group, true);
    if (status != 0)
        return status;
    if (!layout::holdsFixed(group, rom_layout::kSignature))
        return 1;
    constexpr long kPointerAt = long(rom_layout::kDataPointer.offset);
    if (std::fseek(file, start + kPointerAt, SEEK_SET) != 0)
        return kReadError;
    if ((status = readRomBytes(file, group, sizeof group, true)) != 0)
        return status;
    const std::uint32_t pointer = layout::at(group, layout::within(rom_layout::kDataPointer, kPointerAt));
    if (pointer == 0)
        return 1;
    const long dataOffset = long(pointer & 0xFF); // only the low 8 bits of the pointer count
    if (std::fseek(file, start + dataOffset, SEEK_SET) != 0)
        return kReadError;
    if ((status = readRomBytes(file, out, PCI_ROM_DATA_SIZE, true)) != 0)
        return status;
    if (!layout::holdsFixed(std::span<const std::uint8_t>(out, PCI_ROM_DATA_SIZE), pcir_layout::kSignature))
        return 1;
    return 0;
}

std::uint32_t checkPrgRomDeviceId(std::FILE* file, std::uint32_t deviceId) {
    if (file == nullptr)
        return 1;
    const long start = std::ftell(file);
    if (start < 0)
        return kReadError;
    std::uint8_t data[PCI_ROM_DATA_SIZE] = {};
    std::uint32_t status = readPciRomHeader(file, data);
    std::clearerr(file);
    if (std::fseek(file, start, SEEK_SET) != 0 && status == 0)
        status = kReadError;
    if (status != 0)
        return status;
    return layout::at(data, pcir_layout::kDeviceId) == deviceId ? 0 : (INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT);
}

std::uint32_t getPRGBuildVersion(const char* path, CluImage* record) {
    debugPrint("\n[getPRGBuildVersion]\n");
    if (path == nullptr || record == nullptr)
        return 4;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        debugPrint("OPEN_FILE_ERROR - Could not open image file = %s, Status = %X\n", path, u(OPEN_FILE_ERROR));
        return OPEN_FILE_ERROR;
    }
    debugPrint("Input file = %s\n", path);
    std::rewind(file);
    debugPrint("Reading PRG Header...\n");

    std::uint8_t first[4];
    if (std::fread(first, 1, sizeof first, file) != sizeof first) {
        std::fclose(file);
        debugPrint("INVALID_IMAGE_ERROR - Status = %X\n", u(INVALID_IMAGE_ERROR));
        return INVALID_IMAGE_ERROR;
    }
    std::rewind(file);
    // An AIF record header in place of a PRG header names an ALL file.
    const std::uint32_t word0 = layout::at(first, aif_layout::kFirst);
    if (word0 == NOP_IMAGE_TYPE) {
        std::fclose(file);
        debugPrint("INCOMPAT_IMAGE_ERROR - Image Type = %X, Status = %X\n", u(word0), u(INCOMPAT_IMAGE_ERROR));
        return INCOMPAT_IMAGE_ERROR;
    }

    std::uint32_t header[PRG_HEADER_WORDS] = {};
    const std::uint32_t headerStatus = ReadPRGImageHeader(file, header);
    if (headerStatus != 0) {
        std::fclose(file);
        return headerStatus;
    }
    const std::uint32_t word = header[prg_layout::kProgramIdWord];
    const std::uint32_t imageId = legacyImageId(word);
    debugPrint("PRG ImageID   = %X\n", u(imageId));
    if (getPrgImageTypeCode(imageId, record->legacyType) != 0) {
        std::fclose(file);
        debugPrint("INCOMPAT_IMAGE_ERROR - Status = %X\n", u(INCOMPAT_IMAGE_ERROR));
        return INCOMPAT_IMAGE_ERROR;
    }
    // Boot code built for the 0xF180 board keeps the 'U' id but is known by 'F'; a
    // damaged or missing option ROM simply keeps the 'U' code.
    if (record->legacyType.c_str()[0] == 'U' && checkPrgRomDeviceId(file, ROM_DEVICE_ID_F180) == 0)
        record->legacyType.buffer()[0] = 'F';
    debugPrint("Encoded Type  = %s\n", record->legacyType.c_str());

    record->decodedVersion = record->legacyType.view();
    const std::size_t codeLength = record->decodedVersion.size();
    char* suffix = record->decodedVersion.buffer() + codeLength;
    encodeLegacyVersion(word, suffix, record->decodedVersion.bufferSize() - codeLength);
    debugPrint("Encoded Ver   = %s\n", suffix);
    record->legacyVersion = word;
    std::fclose(file);
    return 0;
}
