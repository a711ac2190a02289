// The adapter library's record layouts and the mailbox commands' fields, declared
// once: the driver-information record, the link-information byte the download reads,
// and for each classic mailbox command the words and bit fields this program builds
// or reads. Mailbox words are in host order (see adapter/mailbox.h); the simulator
// keeps its own reading of all of them on purpose.
#pragma once

#include "common/layout.h"

#include <cstddef>
#include <cstdint>

// DFC_GetDrvInfo's record, layout version 4.
namespace driver_info {
constexpr std::size_t kSize = 152;
constexpr std::uint8_t kLayoutVersion = 4;
constexpr layout::Field kVersion = layout::byte8(0, kLayoutVersion); // set by the caller
constexpr layout::Field kKind = layout::byte8(1);    // 2, 3, 16, 21: a usable driver
constexpr layout::Field kSubKind = layout::byte8(7); // the driver type refinement of kind 2
constexpr layout::Field kVersionText = layout::bytes(10, 126); // NUL-ended when it is shorter
constexpr layout::Field kInterfaceLevel = layout::host32(136);
constexpr layout::Field kFeatures = layout::host32(144);
constexpr std::uint32_t kFeatureFcoe = 0x200;
constexpr std::uint32_t kFeatureExtendedMailbox = 0x1000;
static_assert(layout::wellFormed(
    {kVersion, kKind, kSubKind, kVersionText, kInterfaceLevel, kFeatures}, kSize));
} // namespace driver_info

// DFC_GetLinkInfo's record: only the link state is read.
namespace link_info {
constexpr std::size_t kSize = 168;
constexpr layout::Field kState = layout::byte8(21);
static_assert(layout::wellFormed({kState}, kSize));
} // namespace link_info

// Classic mailbox words and fields ({word, low bit, width}).
namespace mbx {
// Word 0 of every command.
constexpr layout::Bits kOwner{0, 0, 1};
constexpr layout::Bits kMemoryRead{0, 1, 1}; // set only by the load-list memory read
constexpr layout::Bits kCommand{0, 8, 8};
constexpr layout::Bits kStatus{0, 16, 16}; // written back by the adapter, 0 = done
static_assert(layout::wellFormed({kOwner, kMemoryRead, kCommand, kStatus}));
// Data of region reads and writes and of image chunks follows word 5.
constexpr std::size_t kDataWord = 5;
constexpr std::size_t kDataOffset = kDataWord * 4;

// READ_REGION (0x17) and UPDATE_REGION (0x1B).
constexpr layout::Bits kRegionKind{1, 0, 4};   // READ_REGION_* or the update kind
constexpr layout::Bits kRegionRequest{1, 4, 1}; // set on every region request
constexpr layout::Bits kRegionSeparateData{1, 5, 1}; // the data travels in its own buffer
constexpr layout::Bits kRegionNumber{2, 0, 16};
constexpr layout::Bits kRegionOffset{2, 16, 16}; // the byte offset, or the update's length
constexpr std::size_t kRegionAddressWord = 3;    // memory reads
constexpr std::size_t kRegionLengthWord = 4;     // words asked; on return, bytes delivered
constexpr std::size_t kRegionTripleWord = 5;     // the parameter triple: low bytes of words 5-7
static_assert(layout::wellFormed({kRegionKind, kRegionRequest, kRegionSeparateData, kRegionNumber,
                                  kRegionOffset}));

// Config-region erase (0x01).
constexpr layout::Bits kEraseLow{1, 0, 8};
constexpr layout::Bits kEraseKey{1, 8, 24}; // 0x123456
constexpr std::size_t kEraseBaseWord = 2;
constexpr std::size_t kEraseCountWord = 3;
constexpr std::size_t kEraseOffsetWord = 4;
static_assert(layout::wellFormed({kEraseLow, kEraseKey}));

// DOWN_LOAD (0x1C) and LOAD_AREA (0x81) share word 1's low flags.
constexpr layout::Bits kLoadLast{1, 0, 1};
constexpr layout::Bits kLoadProgram{1, 1, 1};
constexpr layout::Bits kLoadTransfer{1, 3, 1};
constexpr layout::Bits kLoadErase{1, 4, 1};
constexpr layout::Bits kAreaPhase{1, 16, 8}; // LOAD_AREA: 1 first erase, 2 erase on, 3 load, 4 last load
constexpr layout::Bits kAreaSelector{1, 24, 8};
constexpr layout::Bits kAreaState{1, 8, 8}; // LOAD_AREA's answer
static_assert(layout::wellFormed(
    {kLoadLast, kLoadProgram, kLoadTransfer, kLoadErase, kAreaPhase, kAreaSelector, kAreaState}));
constexpr std::size_t kAreaAddressWord = 2; // and the answer's next address
constexpr std::size_t kLoadLengthWord = 3;  // image length (erase), chunk bytes, or area extent
constexpr std::size_t kLoadIdWord = 4;      // DOWN_LOAD erase: program id in words 4-5
constexpr std::size_t kLoadDataOffsetWord = 4; // chunks: the byte offset of the data, 20

// Load-list entry delete (0x1D).
constexpr layout::Bits kDeleteKind{1, 0, 2}; // 1
constexpr std::size_t kDeleteIdWord = 2;     // program id in words 2-3

// Staged wakeup-parameter update (0x9C).
constexpr layout::Bits kStagedPhase{1, 16, 8}; // 8, 9, 10
constexpr layout::Bits kStagedState{1, 8, 8};  // the answer
constexpr std::size_t kStagedCarryWord = 2;
constexpr std::size_t kStagedBootIdWord = 4;
static_assert(layout::wellFormed({kStagedPhase, kStagedState}));

// Security command (0xF9).
constexpr layout::Bits kSecuritySubcommand{1, 24, 8}; // 5 zeroize, 12 get key id, 13 set key
constexpr std::size_t kKeyIdLengthWord = 2;  // get key id: the answer's name length
constexpr std::size_t kKeyIdNameWord = 3;    //   and its name, 16 big-endian words
constexpr std::size_t kSetKeySizesWord = 2;  // set key: sizes in words 2-3
constexpr std::size_t kSetKeyWordsWord = 4;  //   the two key words, swapped, in 4-5
constexpr std::size_t kSetKeyBytesOffset = 24; //   the key bytes from byte 24
constexpr std::size_t kSetKeyNameWord = 16;    //   the name, 16 big-endian words

// Read revision (0x11).
constexpr layout::Bits kRevisionAskA{1, 27, 1}; // both set, except on level-4 boards
constexpr layout::Bits kRevisionAskB{1, 31, 1};
constexpr layout::Bits kHardwareId{2, 12, 16};      // level-4 boards and most others
constexpr layout::Bits kHardwareIdOlder{3, 12, 16}; // some older boards answer in word 3
static_assert(layout::wellFormed({kRevisionAskA, kRevisionAskB}));
} // namespace mbx

// SLI_CFG image (0x9B, level-4 boards): 256 bytes of mailbox with an embedded request
// from byte 24, then an optional data area.
namespace sli {
constexpr std::size_t kSize = 256;
constexpr std::size_t kEmbeddedOffset = 24;
constexpr std::uint32_t kEmbeddedBytes = 232;
constexpr layout::Field kWord0 = layout::host32(0); // command and status as in mbx
constexpr layout::Field kEmbedded = layout::host32(4);  // 1: embedded request
constexpr layout::Field kEmbeddedLength = layout::host32(8);
constexpr layout::Field kOpcode = layout::byte8(kEmbeddedOffset);
constexpr layout::Field kSubsystem = layout::byte8(kEmbeddedOffset + 1);
constexpr layout::Field kResponseStatus = layout::byte8(kEmbeddedOffset + 4);
constexpr layout::Field kAdditionalStatus = layout::byte8(kEmbeddedOffset + 5);
constexpr layout::Field kRequestLength = layout::host32(kEmbeddedOffset + 8);
static_assert(layout::wellFormed({kWord0, kEmbedded, kEmbeddedLength, kOpcode, kSubsystem,
                                  kResponseStatus, kAdditionalStatus, kRequestLength},
                                 kSize));
static_assert(kEmbeddedOffset + kEmbeddedBytes == kSize);
} // namespace sli
