#include "image/file_checksum.h"

#include "common/bytes.h"
#include "image/image_status.h"

std::uint32_t FileChecksum(std::FILE* file, std::uint64_t n) {
    if (file == nullptr)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    const long start = std::ftell(file);
    if (start < 0)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;

    constexpr std::size_t kPieceBytes = 8192;
    std::uint8_t piece[kPieceBytes];
    std::uint32_t sum = CHECKSUM_SEED;
    // n + 1 cannot wrap: n comes from a byte count divided by 4.
    std::uint64_t remaining = n + 1;
    bool complete = true;
    while (remaining > 0) {
        const std::size_t want =
            remaining >= kPieceBytes / 4 ? kPieceBytes : static_cast<std::size_t>(remaining) * 4;
        const std::size_t got = std::fread(piece, 1, want, file);
        for (std::size_t i = 0; i + 4 <= got; i += 4)
            sum = foldWord(sum, readBe32(piece, i));
        if (got < want) {
            complete = false;
            break;
        }
        remaining -= want / 4;
    }
    std::clearerr(file);
    if (std::fseek(file, start, SEEK_SET) != 0)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    const std::uint32_t result = rotateLeft1(sum);
    if (!complete && result == 0)
        return 1; // words are missing, so the fold cannot be correct even by chance
    return result;
}
