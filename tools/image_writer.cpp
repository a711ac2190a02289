#include "tools/image_writer.h"

#include "common/bytes.h"
#include "image/file_checksum.h"

#include <cstdio>

namespace {

constexpr std::uint32_t kNopWord = 0xE1A00000;

std::size_t wholeWords(std::size_t bytes) { return (bytes + 3) / 4 * 4; }

void appendBe32(ImageBytes& bytes, std::uint32_t value) {
    const std::size_t at = bytes.size();
    bytes.resize(at + 4);
    writeBe32(bytes.data(), at, value);
}

// Recognisable filler, so that a reader that takes body bytes for a header fails.
void appendBody(ImageBytes& bytes, std::size_t size, std::uint8_t seed) {
    for (std::size_t i = 0; i < size; ++i)
        bytes.push_back(static_cast<std::uint8_t>(seed + i * 7));
}

} // namespace

std::uint32_t makeLegacyVersionWord(std::uint32_t imageType, std::uint32_t imageId, std::uint32_t version,
                                    std::uint32_t revision, std::uint32_t fixlevel, std::uint32_t distType,
                                    std::uint32_t distCnt) {
    std::uint32_t word = 0;
    word = setBits(word, 0, 4, distCnt);
    word = setBits(word, 4, 2, distType);
    word = setBits(word, 6, 2, fixlevel);
    word = setBits(word, 8, 4, revision);
    word = setBits(word, 12, 4, version);
    word = setBits(word, 16, 8, imageId);
    word = setBits(word, 24, 8, imageType);
    return word;
}

std::uint32_t checkWordFor(const ImageBytes& bytes, std::size_t offset, std::size_t words) {
    std::uint32_t sum = CHECKSUM_SEED;
    for (std::size_t i = 0; i < words; ++i)
        sum = foldWord(sum, readBe32(bytes.data(), offset + i * 4));
    return rotateLeft1(sum);
}

ImageBytes buildGrpImage(const GrpImageLayout& layout) {
    ImageBytes bytes(140, 0);
    writeBe32(bytes.data(), 0, 0x00000001);
    writeBe32(bytes.data(), 4, layout.magic);
    writeBe32(bytes.data(), 8, layout.signature);
    if (layout.terminated) {
        for (std::size_t i = 0; i < layout.buildString.size() && i < 127; ++i)
            bytes[12 + i] = static_cast<std::uint8_t>(layout.buildString[i]);
    } else {
        for (std::size_t i = 0; i < 128; ++i)
            bytes[12 + i] = layout.buildString.empty() ? '9'
                                                     : static_cast<std::uint8_t>(
                                                           layout.buildString[i % layout.buildString.size()]);
    }
    appendBody(bytes, layout.bodySize, 0x31);
    return bytes;
}

ImageBytes buildPciRom(const PciRomSpec& layout) {
    const std::size_t size = wholeWords(layout.size < 64 ? 64 : layout.size);
    ImageBytes rom(size, 0);
    if (layout.validSignature) {
        rom[0] = 0x55;
        rom[1] = 0xAA;
    }
    rom[2] = static_cast<std::uint8_t>(size / 512);
    writeLe16(rom.data(), 0x18, layout.dataOffset);
    const std::size_t d = layout.dataOffset;
    if (d + 28 <= size) {
        rom[d] = 'P';
        rom[d + 1] = 'C';
        rom[d + 2] = 'I';
        rom[d + 3] = 'R';
        writeLe16(rom.data(), d + 4, layout.vendorId);
        writeLe16(rom.data(), d + 6, layout.deviceId);
        writeLe16(rom.data(), d + 10, 0x18); // structure length
        rom[d + 13] = 0x0C;                  // class: serial bus
        rom[d + 14] = 0x04;                  //        Fibre Channel
        writeLe16(rom.data(), d + 16, static_cast<std::uint16_t>(size / 512));
        rom[d + 21] = 0x80; // last image
    }
    return rom;
}

ImageBytes buildPrgImage(const PrgImageLayout& layout) {
    ImageBytes bytes(48, 0);
    writeBe32(bytes.data(), 4, layout.versionWord);
    writeBe32(bytes.data(), 8, layout.word2 ? *layout.word2 : 0x00000003); // a plausible load address word
    writeBe32(bytes.data(), 12, layout.flags);
    writeBe32(bytes.data(), 32, layout.keyBlockWord);
    writeBe32(bytes.data(), 44, checkWordFor(bytes, 4, 10)); // words 1 to 11 fold to zero
    if (layout.rom) {
        const ImageBytes rom = buildPciRom(*layout.rom);
        // The file keeps each 4-byte group of the ROM reversed.
        for (std::size_t i = 0; i < rom.size(); i += 4)
            for (std::size_t k = 0; k < 4; ++k)
                bytes.push_back(rom[i + 3 - k]);
    }
    if (layout.body) {
        bytes.insert(bytes.end(), layout.body->begin(), layout.body->end());
        bytes.resize(wholeWords(bytes.size()), 0);
    } else {
        appendBody(bytes, wholeWords(layout.bodySize), 0x40);
    }
    const std::size_t length = bytes.size() + 4;
    writeBe32(bytes.data(), 0, layout.word0 ? *layout.word0 : static_cast<std::uint32_t>(length));
    appendBe32(bytes, checkWordFor(bytes, 0, bytes.size() / 4));
    return bytes;
}

ImageBytes buildAllImage(const AllImageLayout& layout) {
    ImageBytes bytes;
    std::uint8_t seed = 0x11;
    for (const AifRecordSpec& record : layout.records) {
        const std::size_t start = bytes.size();
        const std::size_t body = wholeWords(record.body ? record.body->size() : record.bodySize);
        bytes.resize(start + 128, 0);
        std::uint8_t* header = bytes.data() + start;
        writeBe32(header, 0, record.firstWord ? *record.firstWord : kNopWord);
        writeBe32(header, 8, record.kind);
        writeBe32(header, 20, record.sizeWord ? *record.sizeWord : static_cast<std::uint32_t>(body));
        writeBe32(header, 16, record.selector);
        writeBe32(header, 56, record.versionWord);
        writeBe32(header, 40, record.flashAddress);
        writeBe32(header, 44, record.eraseExtent);
        if (record.body) {
            bytes.insert(bytes.end(), record.body->begin(), record.body->end());
            bytes.resize(start + 128 + body, 0);
        } else {
            appendBody(bytes, body, seed);
        }
        seed = static_cast<std::uint8_t>(seed + 0x22);
        if (!layout.aif)
            appendBe32(bytes, checkWordFor(bytes, start, (bytes.size() - start) / 4));
    }
    if (!layout.aif)
        appendBe32(bytes, checkWordFor(bytes, 0, bytes.size() / 4));
    return bytes;
}

int writeImageFile(const std::string& path, const ImageBytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return 1;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed ? 0 : 1;
}
