// Reads of big-endian words from image files (see file_words.h).
#include "download/file_words.h"

#include "common/bytes.h"
#include "image/image_status.h"

#include <climits>

std::uint32_t shortReadStatus(std::FILE* file) {
    return INVALID_IMAGE_ERROR | (std::feof(file) != 0 ? SHORT_IMAGE : ERROR_READING_FILE);
}

std::uint32_t readFileWords(std::FILE* file, std::uint32_t* words, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t bytes[4];
        if (std::fread(bytes, 1, 4, file) != 4)
            return shortReadStatus(file);
        words[i] = readBe32(bytes, 0);
    }
    return 0;
}

bool seekTo(std::FILE* file, std::uint64_t offset) {
    return offset <= std::uint64_t(LONG_MAX) && std::fseek(file, long(offset), SEEK_SET) == 0;
}
