// The image writer: builds GRP, PRG (with its option ROM), ALL and AIF files from
// the layouts the readers use (image/image_layouts.h), with correct check words
// unless told otherwise.
#include "tools/image_writer.h"

#include "common/bytes.h"
#include "image/file_checksum.h"
#include "image/image_layouts.h"

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

ImageBytes buildGrpImage(const GrpImageLayout& spec) {
    namespace g = grp_layout;
    ImageBytes bytes(g::kSize, 0);
    layout::put(bytes.data(), g::kWord0, 0x00000001);
    layout::put(bytes.data(), g::kMagic, spec.magic);
    layout::put(bytes.data(), g::kSignature, spec.signature);
    std::uint8_t* build = bytes.data() + g::kBuildString.offset;
    if (spec.terminated) {
        for (std::size_t i = 0; i < spec.buildString.size() && i < g::kBuildString.width - 1; ++i)
            build[i] = static_cast<std::uint8_t>(spec.buildString[i]);
    } else {
        for (std::size_t i = 0; i < g::kBuildString.width; ++i)
            build[i] = spec.buildString.empty()
                           ? '9'
                           : static_cast<std::uint8_t>(spec.buildString[i % spec.buildString.size()]);
    }
    appendBody(bytes, spec.bodySize, 0x31);
    return bytes;
}

ImageBytes buildPciRom(const PciRomSpec& spec) {
    namespace p = pcir_layout;
    const std::size_t size = wholeWords(spec.size < 64 ? 64 : spec.size);
    ImageBytes rom(size, 0);
    if (spec.validSignature)
        layout::setFixed(rom, rom_layout::kSignature);
    layout::set(rom, rom_layout::kSize512, static_cast<std::uint32_t>(size / 512));
    layout::set(rom, rom_layout::kDataPointer, spec.dataOffset);
    const std::size_t d = spec.dataOffset;
    if (d + p::kSize <= size) {
        const std::span<std::uint8_t> data(rom.data() + d, p::kSize);
        layout::setFixed(data, p::kSignature);
        layout::set(data, p::kVendorId, spec.vendorId);
        layout::set(data, p::kDeviceId, spec.deviceId);
        layout::set(data, p::kLength, 0x18);
        layout::set(data, p::kClassLow, 0x0C); // class: serial bus
        layout::set(data, p::kClassMid, 0x04); //        Fibre Channel
        layout::set(data, p::kImageLength, static_cast<std::uint32_t>(size / 512));
        layout::set(data, p::kIndicator, 0x80); // last image
    }
    return rom;
}

ImageBytes buildPrgImage(const PrgImageLayout& spec) {
    namespace h = prg_layout;
    ImageBytes bytes(h::kSize, 0);
    layout::put(bytes.data(), h::kProgramId, spec.versionWord);
    layout::put(bytes.data(), h::kProgramId2, spec.word2 ? *spec.word2 : 0x00000003); // a plausible load address word
    layout::put(bytes.data(), h::kFlags, spec.flags);
    layout::put(bytes.data(), h::kKeyBlock, spec.keyBlockWord);
    // Words 1 to 11 fold to zero.
    layout::put(bytes.data(), h::kCheckWord, checkWordFor(bytes, h::kProgramId.offset, h::kWords - 2));
    if (spec.rom) {
        const ImageBytes rom = buildPciRom(*spec.rom);
        // The file keeps each 4-byte group of the ROM reversed.
        constexpr std::size_t g = rom_layout::kGroupBytes;
        for (std::size_t i = 0; i < rom.size(); i += g)
            for (std::size_t k = 0; k < g; ++k)
                bytes.push_back(rom[i + g - 1 - k]);
    }
    if (spec.body) {
        bytes.insert(bytes.end(), spec.body->begin(), spec.body->end());
        bytes.resize(wholeWords(bytes.size()), 0);
    } else {
        appendBody(bytes, wholeWords(spec.bodySize), 0x40);
    }
    const std::size_t length = bytes.size() + 4;
    layout::put(bytes.data(), h::kLength, spec.word0 ? *spec.word0 : static_cast<std::uint32_t>(length));
    appendBe32(bytes, checkWordFor(bytes, 0, bytes.size() / 4));
    return bytes;
}

ImageBytes buildAllImage(const AllImageLayout& spec) {
    namespace a = aif_layout;
    ImageBytes bytes;
    std::uint8_t seed = 0x11;
    for (const AifRecordSpec& record : spec.records) {
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
        if (!spec.aif)
            appendBe32(bytes, checkWordFor(bytes, start, (bytes.size() - start) / 4));
    }
    if (!spec.aif)
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
