// The on-disk layouts of the payload containers, declared once: the GRP header, the
// PRG header, the AIF record header of ALL/AIF files, the option ROM that boot-code
// PRG images carry and its PCI data structure. The readers of this folder, the image
// writer (tools/) and the download engine (download/) take offsets, widths, byte
// orders and fixed values from here. The simulator keeps its own reading on purpose.
#pragma once

#include "common/layout.h"

#include <cstddef>
#include <cstdint>

// GRP header: three big-endian words, then a 128-byte build string whose leading
// dotted run is the firmware version.
namespace grp_layout {
constexpr std::size_t kSize = 140;
constexpr std::uint32_t kMagicPlain = 0xFEAA0001;
constexpr std::uint32_t kMagicG6 = 0xFEAA0003;
constexpr std::uint32_t kKindPlain = 0xF7A2; // upper half of the signature word
constexpr std::uint32_t kKindG6 = 0xF70C;
constexpr layout::Field kWord0 = layout::be32(0);
constexpr layout::Field kMagic = layout::be32(4); // kMagicPlain or kMagicG6
constexpr layout::Field kSignature = layout::be32(8);
constexpr layout::Bits kSignatureKind{0, 16, 16}; // of the signature word
constexpr layout::Field kBuildString = layout::bytes(12, 128);
static_assert(layout::wellFormed({kWord0, kMagic, kSignature, kBuildString}, kSize));
static_assert(kBuildString.end() == kSize);
} // namespace grp_layout

// PRG header: twelve big-endian words. Words 1 to 11 fold to zero; the whole image
// (word 0 bytes long) folds to zero with its final check word.
namespace prg_layout {
constexpr std::size_t kSize = 48;
constexpr std::size_t kWords = kSize / 4;
constexpr layout::Field kLength = layout::be32(0);
constexpr layout::Field kProgramId = layout::be32(4); // the legacy version word
constexpr layout::Field kProgramId2 = layout::be32(8);
constexpr layout::Field kFlags = layout::be32(12);
constexpr layout::Field kKeyBlock = layout::be32(32); // places the key block of signed images
constexpr layout::Field kCheckWord = layout::be32(44);
constexpr layout::Bits kSigned{3, 4, 1}; // of the flags word: signed for secure adapters
constexpr std::uint32_t kEndOfImages = 0xFFFFFFFF; // a length that ends a run of images
static_assert(layout::wellFormed({kLength, kProgramId, kProgramId2, kFlags, kKeyBlock, kCheckWord}, kSize));
// The same fields as indexes into a header read as words.
constexpr std::size_t kLengthWord = layout::wordIndex(kLength);
constexpr std::size_t kProgramIdWord = layout::wordIndex(kProgramId);
constexpr std::size_t kProgramId2Word = layout::wordIndex(kProgramId2);
constexpr std::size_t kFlagsWord = layout::wordIndex(kFlags);
constexpr std::size_t kKeyBlockWord = layout::wordIndex(kKeyBlock);
static_assert(kSigned.word == kFlagsWord);
} // namespace prg_layout

// The key block of signed images: names the download key the image needs.
namespace key_block {
constexpr std::size_t kSize = 264;
constexpr layout::Field kFlag = layout::be32(0); // nonzero: a key-flagged image
constexpr layout::Field kName = layout::bytes(112, 152);
static_assert(layout::wellFormed({kFlag, kName}, kSize));
// Where the block sits in an FWC record's PRG image: 264 bytes back from the place the
// key-block word (word 8) names after the header.
constexpr std::uint32_t kBackFromFwcWord = kSize;
} // namespace key_block

// AIF record header of ALL and AIF files: 32 big-endian words. A record is the header,
// the body (word 5 bytes, plus word 6 once loaded) and, outside .aif files, a check
// word; an ALL file ends in one more check word over the whole file.
namespace aif_layout {
constexpr std::size_t kSize = 128;
constexpr std::size_t kWords = kSize / 4;
constexpr std::uint32_t kNopWord = 0xE1A00000;
constexpr std::uint32_t kAwc = 0xE1A01001; // record kinds
constexpr std::uint32_t kDwc = 0xE1A02002;
constexpr std::uint32_t kBwc = 0xE1A03003;
constexpr std::uint32_t kFwc = 0xE1A04004;
constexpr layout::Field kFirst = layout::be32(0, kNopWord);
constexpr layout::Field kKind = layout::be32(8); // AWC, DWC, BWC or FWC
constexpr layout::Field kSelector = layout::be32(16); // load area, low byte
constexpr layout::Field kBodySize = layout::be32(20);
constexpr layout::Field kBodySize2 = layout::be32(24);
constexpr layout::Field kFlashAddress = layout::be32(40);
constexpr layout::Field kEraseExtent = layout::be32(44);
constexpr layout::Field kVersion = layout::be32(56); // the legacy version word
constexpr std::size_t kCheckWordBytes = 4;
constexpr std::uint64_t kAwcIdOffset = 624;     // record byte holding the AWC image id word
constexpr std::uint64_t kRecordPrgOffset = 132; // first PRG image inside a DWC record
static_assert(layout::wellFormed(
    {kFirst, kKind, kSelector, kBodySize, kBodySize2, kFlashAddress, kEraseExtent, kVersion}, kSize));
// The same fields as indexes into a header read as words.
constexpr std::size_t kFirstWord = layout::wordIndex(kFirst);
constexpr std::size_t kKindWord = layout::wordIndex(kKind);
constexpr std::size_t kSelectorWord = layout::wordIndex(kSelector);
constexpr std::size_t kBodySizeWord = layout::wordIndex(kBodySize);
constexpr std::size_t kBodySize2Word = layout::wordIndex(kBodySize2);
constexpr std::size_t kFlashAddressWord = layout::wordIndex(kFlashAddress);
constexpr std::size_t kEraseExtentWord = layout::wordIndex(kEraseExtent);
constexpr std::size_t kVersionWord = layout::wordIndex(kVersion);
constexpr layout::Bits kSelectorArea{kSelectorWord, 0, 8}; // the load area the selector names
} // namespace aif_layout

// The PCI option ROM after a boot-code PRG header, as the PCI expansion ROM has it
// (little-endian). The file stores every 4-byte group of it reversed.
namespace rom_layout {
constexpr std::size_t kHeaderSize = 0x1C;
constexpr std::size_t kGroupBytes = 4; // the reversed unit
constexpr layout::Field kSignature = layout::le16(0, 0xAA55);
constexpr layout::Field kSize512 = layout::byte8(2); // size in 512-byte blocks
// The data-structure pointer and the two bytes after it, read as one group; only the
// pointer's low 8 bits place the structure.
constexpr layout::Field kDataPointer = layout::le32(0x18);
static_assert(layout::wellFormed({kSignature, kSize512, kDataPointer}, kHeaderSize));
} // namespace rom_layout

// The PCI data structure the ROM points to.
namespace pcir_layout {
constexpr std::size_t kSize = 28;
constexpr layout::Field kSignature = layout::le32(0, 0x52494350); // "PCIR"
constexpr layout::Field kVendorId = layout::le16(4);
constexpr layout::Field kDeviceId = layout::le16(6);
constexpr layout::Field kLength = layout::le16(10);
constexpr layout::Field kClassLow = layout::byte8(13);
constexpr layout::Field kClassMid = layout::byte8(14);
constexpr layout::Field kImageLength = layout::le16(16); // 512-byte blocks
constexpr layout::Field kIndicator = layout::byte8(21);  // 0x80: last image
static_assert(layout::wellFormed(
    {kSignature, kVendorId, kDeviceId, kLength, kClassLow, kClassMid, kImageLength, kIndicator}, kSize));
} // namespace pcir_layout
