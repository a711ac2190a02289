// The image writer: writes the image files the readers decode (GRP, PRG with or
// without an option ROM, ALL and AIF) from the layouts of image/image_layouts.h, with
// correct check words unless told otherwise. Tests build their fixtures with it; the
// winmarlo-mkimage command wraps it.
#pragma once

#include "image/image_layouts.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using ImageBytes = std::vector<std::uint8_t>;

// A LegacyVersionWord from its fields.
std::uint32_t makeLegacyVersionWord(std::uint32_t imageType, std::uint32_t imageId, std::uint32_t version,
                                    std::uint32_t revision, std::uint32_t fixlevel, std::uint32_t distType,
                                    std::uint32_t distCnt);

// The word that, appended to `words` big-endian words of bytes from offset, makes the
// run fold to zero.
std::uint32_t checkWordFor(const ImageBytes& bytes, std::size_t offset, std::size_t words);

struct GrpImageLayout {
    std::uint32_t magic = grp_layout::kMagicPlain;
    std::uint32_t signature = grp_layout::kKindPlain << 16; // upper half kKindPlain or kKindG6
    std::string buildString = "11.2.216.9 (release)";
    bool terminated = true; // false fills all 128 bytes of the build string without a NUL
    std::size_t bodySize = 64;
};

// A 140-byte header and a body; the build string is cut to 127 characters.
ImageBytes buildGrpImage(const GrpImageLayout& layout);

struct PciRomLayout {
    std::uint16_t vendorId = 0x10DF;
    std::uint16_t deviceId = 0xF180;
    std::uint8_t dataOffset = 0x1C; // ROM offset of the PCI data structure
    bool validSignature = true;     // false writes a ROM without 0x55 0xAA
    std::size_t size = 512;         // rounded up to whole 4-byte groups
};

struct PrgImageLayout {
    std::uint32_t versionWord = 0;
    std::optional<PciRomLayout> rom;       // boot images carry a PCI option ROM after the header
    std::size_t bodySize = 64;           // rounded up to whole words
    std::optional<std::uint32_t> word0;  // stored instead of the length when set
    std::optional<std::uint32_t> word2;  // program id, low word (default 3)
    std::uint32_t flags = 0;             // word 3 (bit 4: signed for secure adapters)
    std::uint32_t keyBlockWord = 0;      // word 8: places the key block
    std::optional<ImageBytes> body;      // body bytes instead of the filler
};

// Header (length, version word, header check word), option ROM in reversed 4-byte
// groups, body and a final check word over the whole file.
ImageBytes buildPrgImage(const PrgImageLayout& layout);

// The option ROM as the PCI expansion ROM layout has it (before the groups are
// reversed for the file).
ImageBytes buildPciRom(const PciRomLayout& layout);

constexpr std::uint32_t kAwcKind = aif_layout::kAwc;
constexpr std::uint32_t kDwcKind = aif_layout::kDwc;
constexpr std::uint32_t kBwcKind = aif_layout::kBwc;
constexpr std::uint32_t kFwcKind = aif_layout::kFwc;

struct AifRecordLayout {
    std::uint32_t kind = kDwcKind;
    std::uint32_t versionWord = 0;
    std::size_t bodySize = 64;               // rounded up to whole words
    std::optional<std::uint32_t> sizeWord;   // header word 5 as stored, when it should lie
    std::optional<std::uint32_t> firstWord;  // header word 0 as stored, when it should not be the NOP word
    std::optional<ImageBytes> body;          // body bytes instead of the filler
    std::uint32_t selector = 2;              // word 4: load area
    std::uint32_t flashAddress = 0x100000;   // word 10
    std::uint32_t eraseExtent = 0x20000;     // word 11
};

struct AllImageLayout {
    std::vector<AifRecordLayout> records;
    bool aif = false; // .aif layout: no record check words and no file check word
};

// Records of 128-byte AIF headers and bodies, each followed by its check word, then a
// check word over the whole file.
ImageBytes buildAllImage(const AllImageLayout& layout);

// An FWC record as a board that lists it takes it: a signed PRG image (with versionWord)
// whose key block, right after its header, names the download key keyName.
AifRecordLayout signedFwcRecord(std::uint32_t versionWord, const std::string& keyName);

// Writes bytes to path; returns 0, or 1 when the file cannot be written.
int writeImageFile(const std::string& path, const ImageBytes& bytes);
