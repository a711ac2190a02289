// The boot-image device check: reads the option ROM's PCI data structure word by
// word (each file word, read big-endian, gives back one ROM group) and compares its
// device id with the board family.
#include "download/boot_image.h"

#include "adapter/device_table.h"
#include "common/bytes.h"
#include "download/file_words.h"
#include "image/image_status.h"
#include "log/debug_log.h"

std::uint32_t ReadBootImagePciHeader(std::FILE* file, std::uint8_t* header28) {
    const long start = std::ftell(file);
    if (start < 0)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    std::uint32_t word = 0;
    std::uint32_t status = readFileWords(file, &word, 1);
    if (status != 0)
        return status;
    std::uint8_t group[rom_layout::kGroupBytes];
    writeLe32(group, 0, word); // the ROM's own byte order
    if (!layout::holdsFixed(group, rom_layout::kSignature)) {
        debugPrint(
            "[ReadBootImagePciHeader] Error: ImageSignature is invalid.  Signature is 0x%x\n",
            unsigned(word));
        return 1;
    }
    if (!seekTo(file, std::uint64_t(start) + rom_layout::kDataPointer.offset))
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    status = readFileWords(file, &word, 1);
    if (status != 0)
        return status;
    if (word == 0)
        return 1;
    if (!seekTo(file, std::uint64_t(start) + (word & 0xFF))) // only the pointer's low 8 bits count
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    std::uint32_t words[kBootPciHeaderBytes / 4] = {};
    status = readFileWords(file, words, kBootPciHeaderBytes / 4);
    if (status != 0)
        return status;
    // Each converted word lands in host order, which gives back the ROM's byte order.
    for (std::size_t i = 0; i < kBootPciHeaderBytes / 4; ++i)
        writeLe32(header28, i * 4, words[i]);
    if (!layout::holdsFixed(std::span<const std::uint8_t>(header28, kBootPciHeaderBytes),
                            pcir_layout::kSignature)) {
        debugPrint("[ReadBootImagePciHeader] Error: pPciHeader->Signature is invalid.  Signature "
                   "is %c%c%c%c\n",
                   header28[0], header28[1], header28[2], header28[3]);
        return 1;
    }
    return 0;
}

std::uint32_t ValidateArvoOrMistleBootProgId(std::FILE* file, std::uint32_t family) {
    const FamilyCodeRow& row = familyRowOf(family);
    if (!row.bootChecked)
        return 0;
    const long here = std::ftell(file);
    if (here < 0)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    std::uint8_t header[kBootPciHeaderBytes] = {};
    const std::uint32_t status = ReadBootImagePciHeader(file, header);
    std::clearerr(file);
    if (std::fseek(file, here, SEEK_SET) != 0)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    if (status != 0)
        return status;
    const std::uint32_t deviceId = layout::at(header, pcir_layout::kDeviceId);
    // A secure board takes only boot images naming the secure device; the others take
    // none of those.
    const bool ok = row.secure == deviceRowOf(deviceId).secure;
    if (ok)
        return 0;
    debugPrint("[ValidateArvoOrMistleBootProgId] adapterFamily: 0x%x != PciHeader.DevId: 0x%x. "
               "Returning INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT\n",
               unsigned(family), unsigned(deviceId));
    return INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT;
}
