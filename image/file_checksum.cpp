// The word checksum of image files (see file_checksum.h), folded in 32 independent
// lanes so that the serial rotate-and-XOR chain does not bound the reading speed.
#include "image/file_checksum.h"

#include "common/bytes.h"
#include "image/image_status.h"
#include "platform/platform.h"

#include <cstring>

namespace {

// The fold is a serial chain (rotate, then XOR) that would bound the reading speed.
// A word's place in the chain only decides how far it is rotated in the end, and
// rotating by 32 changes nothing, so the words are XORed into 32 lanes by their index
// modulo 32 (a loop the compiler vectorises) and each lane is rotated once at the end.
// Lanes hold words as loaded in host order; byte order is fixed once at the end too,
// as reversing bytes commutes with XOR.
struct LaneFold {
    std::uint32_t lanes[32] = {};
    std::uint64_t words = 0;

    void add(const std::uint8_t* bytes, std::size_t count) {
        std::size_t i = 0;
        for (; i < count && (words & 31) != 0; ++i, ++words)
            lanes[words & 31] ^= load(bytes + i * 4);
        // Local lanes stay in vector registers for the whole run of blocks.
        std::uint32_t acc[32];
        std::memcpy(acc, lanes, sizeof acc);
        for (; i + 32 <= count; i += 32, words += 32)
            for (std::size_t j = 0; j < 32; ++j)
                acc[j] ^= load(bytes + (i + j) * 4);
        std::memcpy(lanes, acc, sizeof acc);
        for (; i < count; ++i, ++words)
            lanes[words & 31] ^= load(bytes + i * 4);
    }

    // The running sum after every word, started from seed.
    std::uint32_t sum(std::uint32_t seed) const {
        std::uint32_t s = rotateLeft(seed, unsigned(words & 31));
        for (unsigned j = 0; j < 32 && j < words; ++j) {
            std::uint8_t bytes[4];
            std::memcpy(bytes, &lanes[j], 4);
            // Word i is rotated (words - 1 - i) times; for lane j that is modulo 32.
            s ^= rotateLeft(readBe32(bytes, 0), unsigned((words + 31 - j) & 31));
        }
        return s;
    }

    static std::uint32_t load(const std::uint8_t* p) {
        std::uint32_t w;
        std::memcpy(&w, p, 4);
        return w;
    }
    static std::uint32_t rotateLeft(std::uint32_t v, unsigned k) {
        return k == 0 ? v : (v << k) | (v >> (32 - k));
    }
};

void foldWindow(const std::uint8_t* bytes, std::size_t count, void* context) {
    static_cast<LaneFold*>(context)->add(bytes, count / 4);
}

// Folds up to `words` words from the current position, reading them into a buffer.
void foldByReading(std::FILE* file, std::uint64_t words, LaneFold& fold) {
    // Large pieces: stdio then reads straight into them, without a second copy, in
    // few calls. Kept off the stack (Windows threads get 1 MiB); one thread folds.
    constexpr std::size_t kPieceBytes = 256 * 1024;
    static std::uint8_t piece[kPieceBytes];
    while (words > 0) {
        const std::size_t want =
            words >= kPieceBytes / 4 ? kPieceBytes : static_cast<std::size_t>(words) * 4;
        const std::size_t got = std::fread(piece, 1, want, file);
        fold.add(piece, got / 4);
        if (got < want)
            break;
        words -= want / 4;
    }
}

// Folds n + 1 words from the current position, through mapped windows when `mapped`
// is set and the file maps (the words are then folded where the file's pages lie,
// never copied), by reading otherwise; restores the position.
std::uint32_t checksum(std::FILE* file, std::uint64_t n, bool mapped) {
    if (file == nullptr)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    const long start = std::ftell(file);
    if (start < 0)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    // n + 1 words cannot wrap or overflow a byte count: n comes from a byte count
    // divided by 4.
    const std::uint64_t words = n + 1;
    LaneFold fold;
    if (!mapped || platform::visitMappedFile(file, static_cast<std::uint64_t>(start), words * 4,
                                             foldWindow, &fold) < 0) {
        fold = LaneFold{}; // a visit cut short may have folded some windows
        foldByReading(file, words, fold);
    }
    std::clearerr(file);
    if (std::fseek(file, start, SEEK_SET) != 0)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    const std::uint32_t result = rotateLeft1(fold.sum(CHECKSUM_SEED));
    if (fold.words < words && result == 0)
        return 1; // words are missing, so the fold cannot be correct even by chance
    return result;
}

} // namespace

std::uint32_t FileChecksum(std::FILE* file, std::uint64_t n) {
    return checksum(file, n, true);
}

std::uint32_t FileChecksumByReading(std::FILE* file, std::uint64_t n) {
    return checksum(file, n, false);
}
