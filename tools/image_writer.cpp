// The image writer: builds GRP, PRG (with its option ROM), ALL and AIF files from
// the layouts the readers use (image/image_layouts.h), with correct check words
// unless told otherwise.
#include "tools/image_writer.h"

#include "common/bytes.h"
#include "image/file_checksum.h"
#include "image/image_layouts.h"

#include <algorithm>
#include <cstdio>

namespace {

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
    // The fields as image/version_forms.h reads them.
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

ImageBytes buildGrpImage(const GrpImageLayout& image) {
    namespace g = grp_layout;
    ImageBytes bytes(g::kSize, 0);
    layout::put(bytes.data(), g::kWord0, 0x00000001);
    layout::put(bytes.data(), g::kMagic, image.magic);
    layout::put(bytes.data(), g::kSignature, image.signature);
    std::uint8_t* build = bytes.data() + g::kBuildString.offset;
    if (image.terminated) {
        for (std::size_t i = 0; i < image.buildString.size() && i < g::kBuildString.width - 1; ++i)
            build[i] = static_cast<std::uint8_t>(image.buildString[i]);
    } else {
        for (std::size_t i = 0; i < g::kBuildString.width; ++i)
            build[i] = image.buildString.empty()
                           ? '9'
                           : static_cast<std::uint8_t>(image.buildString[i % image.buildString.size()]);
    }
    appendBody(bytes, image.bodySize, 0x31);
    return bytes;
}

ImageBytes buildPciRom(const PciRomLayout& wanted) {
    namespace p = pcir_layout;
    const std::size_t size = wholeWords(wanted.size < 64 ? 64 : wanted.size);
    ImageBytes rom(size, 0);
    if (wanted.validSignature)
        layout::setFixed(rom, rom_layout::kSignature);
    layout::set(rom, rom_layout::kSize512, static_cast<std::uint32_t>(size / 512));
    layout::set(rom, rom_layout::kDataPointer, wanted.dataOffset);
    const std::size_t d = wanted.dataOffset;
    if (d + p::kSize <= size) {
        const std::span<std::uint8_t> data(rom.data() + d, p::kSize);
        layout::setFixed(data, p::kSignature);
        layout::set(data, p::kVendorId, wanted.vendorId);
        layout::set(data, p::kDeviceId, wanted.deviceId);
        layout::set(data, p::kLength, 0x18);
        layout::set(data, p::kClassLow, 0x0C); // class: serial bus
        layout::set(data, p::kClassMid, 0x04); //        Fibre Channel
        layout::set(data, p::kImageLength, static_cast<std::uint32_t>(size / 512));
        layout::set(data, p::kIndicator, 0x80); // last image
    }
    return rom;
}

ImageBytes buildPrgImage(const PrgImageLayout& image) {
    namespace h = prg_layout;
    ImageBytes bytes(h::kSize, 0);
    layout::put(bytes.data(), h::kProgramId, image.versionWord);
    layout::put(bytes.data(), h::kProgramId2, image.word2 ? *image.word2 : 0x00000003); // a plausible load address word
    layout::put(bytes.data(), h::kFlags, image.flags);
    layout::put(bytes.data(), h::kKeyBlock, image.keyBlockWord);
    // Words 1 to 11 fold to zero.
    layout::put(bytes.data(), h::kCheckWord, checkWordFor(bytes, h::kProgramId.offset, h::kWords - 2));
    if (image.rom) {
        const ImageBytes rom = buildPciRom(*image.rom);
        // The file keeps each 4-byte group of the ROM reversed.
        constexpr std::size_t g = rom_layout::kGroupBytes;
        for (std::size_t i = 0; i < rom.size(); i += g)
            for (std::size_t k = 0; k < g; ++k)
                bytes.push_back(rom[i + g - 1 - k]);
    }
    if (image.body) {
        bytes.insert(bytes.end(), image.body->begin(), image.body->end());
        bytes.resize(wholeWords(bytes.size()), 0);
    } else {
        appendBody(bytes, wholeWords(image.bodySize), 0x40);
    }
    const std::size_t length = bytes.size() + 4;
    layout::put(bytes.data(), h::kLength, image.word0 ? *image.word0 : static_cast<std::uint32_t>(length));
    appendBe32(bytes, checkWordFor(bytes, 0, bytes.size() / 4));
    return bytes;
}

ImageBytes buildAllImage(const AllImageLayout& image) {
    namespace a = aif_layout;
    ImageBytes bytes;
    std::uint8_t seed = 0x11;
    for (const AifRecordLayout& record : image.records) {
        const std::size_t start = bytes.size();
        const std::size_t body = wholeWords(record.body ? record.body->size() : record.bodySize);
        bytes.resize(start + a::kSize, 0);
        std::uint8_t* header = bytes.data() + start;
        layout::put(header, a::kFirst, record.firstWord ? *record.firstWord : a::kFirst.value);
        layout::put(header, a::kKind, record.kind);
        layout::put(header, a::kBodySize, record.sizeWord ? *record.sizeWord : static_cast<std::uint32_t>(body));
        layout::put(header, a::kSelector, record.selector);
        layout::put(header, a::kVersion, record.versionWord);
        layout::put(header, a::kFlashAddress, record.flashAddress);
        layout::put(header, a::kEraseExtent, record.eraseExtent);
        if (record.body) {
            bytes.insert(bytes.end(), record.body->begin(), record.body->end());
            bytes.resize(start + a::kSize + body, 0);
        } else {
            appendBody(bytes, body, seed);
        }
        seed = static_cast<std::uint8_t>(seed + 0x22);
        if (!image.aif)
            appendBe32(bytes, checkWordFor(bytes, start, (bytes.size() - start) / 4));
    }
    if (!image.aif)
        appendBe32(bytes, checkWordFor(bytes, 0, bytes.size() / 4));
    return bytes;
}

AifRecordLayout signedFwcRecord(std::uint32_t versionWord, const std::string& keyName) {
    PrgImageLayout prg;
    prg.versionWord = versionWord;
    prg.flags = 1u << prg_layout::kSigned.low;
    prg.keyBlockWord = key_block::kBackFromFwcWord; // the key block follows the PRG header
    ImageBytes block(key_block::kSize, 0);
    std::copy_n(keyName.begin(), std::min(keyName.size(), key_block::kName.width),
                block.begin() + key_block::kName.offset);
    prg.body = block;
    AifRecordLayout record;
    record.kind = kFwcKind;
    record.versionWord = versionWord;
    record.body = buildPrgImage(prg);
    return record;
}

int writeImageFile(const std::string& path, const ImageBytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return 1;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed ? 0 : 1;
}
