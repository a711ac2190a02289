// Mailbox images and the call that carries them to a board. A mailbox is a run of
// 32-bit words in host order; fields are read and written through the helpers here,
// never by laying a struct over the bytes. The commands' fields are declared in
// adapter/mailbox_layouts.h; this file owns the images, the command table, the call
// that suits a board and the extended-mailbox test.
#pragma once

#include "adapter/mailbox_layouts.h"
#include "common/format_check.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Command codes of the classic image (word 0 bits 8-15).
constexpr std::uint8_t MAILBOX_CONFIG_REGION_ERASE = 0x01; // word 1 bits 8-31 = 0x123456
constexpr std::uint8_t MAILBOX_READ_NAMES = 0x02;          // current WWPN and WWNN
constexpr std::uint8_t MAILBOX_READ_REVISION = 0x11;
constexpr std::uint8_t READ_REGION = 0x17; // word 1 bits 0-3: 1 memory, 2 region, 4 parameter entry
constexpr std::uint8_t UPDATE_REGION = 0x1B; // config region write, wakeup parameters
constexpr std::uint8_t DOWN_LOAD = 0x1C;     // erase, program
constexpr std::uint8_t MAILBOX_LOAD_LIST_DELETE = 0x1D;
constexpr std::uint8_t LOAD_AREA = 0x81;                    // streamed image load
constexpr std::uint8_t SLI_CFG = 0x9B;                      // SLI_CFG image, level-4 boards only
constexpr std::uint8_t MAILBOX_WAKEUP_STAGED_UPDATE = 0x9C; // phases 8, 9, 10
constexpr std::uint8_t MAILBOX_SECURITY = 0xF9;             // subcommand in word 1 bits 24-31

// READ_REGION kinds (word 1 bits 0-3).
constexpr std::uint32_t READ_REGION_MEMORY = 1;
constexpr std::uint32_t READ_REGION_CONFIG = 2;
constexpr std::uint32_t READ_REGION_PARAMETER = 4;

// SLI_CFG opcodes (embedded request header byte 0).
constexpr std::uint8_t SLI_OPCODE_FIRMWARE_VERSION = 0x23;
constexpr std::uint8_t SLI_OPCODE_READ_OBJECT = 0xAB;
constexpr std::uint8_t SLI_OPCODE_WRITE_OBJECT = 0xAC;
constexpr std::uint8_t SLI_OPCODE_PROBE = 0x42;
constexpr std::uint8_t SLI_OPCODE_CNTL_ADDL_ATTRIBUTES = 0x79;

struct MailboxCommand {
    std::uint8_t code;
    const char* name;
};

// Every classic command code with its name, in code order.
extern const std::array<MailboxCommand, 11> kMailboxCommands;
// The name of a command code, or "unknown".
const char* mailboxCommandName(std::uint8_t code);

// Classic image. 512 bytes so that every count a caller may pass (at most 128 words)
// and the 64-word V2 call stay inside the buffer.
constexpr std::size_t kMailboxBytes = 512;
struct MailboxImage {
    std::array<std::uint8_t, kMailboxBytes> bytes{};
};

// Word i of a mailbox or SLI_CFG buffer, in host order.
std::uint32_t mailboxWord(const std::uint8_t* bytes, std::size_t index);
void setMailboxWord(std::uint8_t* bytes, std::size_t index, std::uint32_t value);

std::uint32_t mailboxWord(const MailboxImage& m, std::size_t index);
void setMailboxWord(MailboxImage& m, std::size_t index, std::uint32_t value);
// Bit field [low, low+width) of word i.
std::uint32_t mailboxField(const MailboxImage& m, std::size_t index, unsigned low, unsigned width);
void setMailboxField(MailboxImage& m, std::size_t index, unsigned low, unsigned width,
                     std::uint32_t value);
// A declared field (mbx::...) of the image.
std::uint32_t mailboxField(const MailboxImage& m, layout::Bits field);
void setMailboxField(MailboxImage& m, layout::Bits field, std::uint32_t value);
// Word 0 bits 8-15 and bits 16-31.
std::uint8_t mailboxCommand(const MailboxImage& m);
void setMailboxCommand(MailboxImage& m, std::uint8_t code);
std::uint16_t mailboxStatus(const MailboxImage& m);

// SLI_CFG image: 256 bytes of mailbox, then an optional data area.
constexpr std::size_t kSliConfigBytes = sli::kSize;
constexpr std::size_t kSliEmbeddedOffset = sli::kEmbeddedOffset; // embedded request header
constexpr std::uint32_t kSliEmbeddedLength = sli::kEmbeddedBytes; // bytes of embedded payload
struct SliConfigImage {
    std::vector<std::uint8_t> bytes;
};

// A zeroed SLI_CFG image with command 0x9B, the embedded flag and length, and the
// request header (opcode, subsystem, request length) filled in.
SliConfigImage makeSliConfigImage(std::uint8_t opcode, std::uint8_t subsystem,
                                  std::uint32_t requestLength, std::size_t dataAreaBytes = 0);
// The image size in 32-bit words, as the V2 call takes it.
std::uint32_t sliConfigWords(const SliConfigImage& m);
// Mailbox status ("sliConfigStat"), response status and additional status.
std::uint16_t sliConfigStatus(const SliConfigImage& m);
std::uint8_t sliResponseStatus(const SliConfigImage& m);
std::uint8_t sliResponseAdditionalStatus(const SliConfigImage& m);
// 32-bit field at a byte offset of the embedded request (host order).
std::uint32_t sliRequestWord(const SliConfigImage& m, std::size_t headerOffset);
void setSliRequestWord(SliConfigImage& m, std::size_t headerOffset, std::uint32_t value);

// Issues a classic mailbox by the call that suits the board: the V2 call (64 words,
// 1 try, 100 ms) on level-4 boards, else the classic call (32, 32, 2 tries, 100 ms).
// Returns 0, or the mailbox status; a failed call whose status stayed 0 returns the
// library's result, so that a refused command never reads as done.
std::uint32_t IssueMbox(std::uint32_t board, MailboxImage& mailbox);

// True when the board's driver offers the extended V2 mailbox: interface level 4 and
// feature bit 0x1000.
bool IsIssueMboxV2ExtSupported(std::uint32_t board);

// The download engine's step trace: takes its texts and writes nothing.
void TraceMboxStep(const char* format, ...) WM_PRINTF(1, 2);
