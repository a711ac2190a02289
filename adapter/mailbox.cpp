// Mailbox images and the call that carries them to a board (see mailbox.h).
#include "adapter/mailbox.h"

#include "adapter/adapter_environment.h"
#include "adapter/dfc_library.h"
#include "common/bytes.h"
#include "log/debug_log.h"
#include "log/trace.h"

#include <cstdarg>

const std::array<MailboxCommand, 11> kMailboxCommands = {{
    {MAILBOX_CONFIG_REGION_ERASE, "config-region erase"},
    {MAILBOX_READ_NAMES, "read current names"},
    {MAILBOX_READ_REVISION, "read revision"},
    {READ_REGION, "READ_REGION"},
    {UPDATE_REGION, "UPDATE_REGION"},
    {DOWN_LOAD, "DOWN_LOAD"},
    {MAILBOX_LOAD_LIST_DELETE, "load-list entry delete"},
    {LOAD_AREA, "LOAD_AREA"},
    {SLI_CFG, "SLI_CFG"},
    {MAILBOX_WAKEUP_STAGED_UPDATE, "staged wakeup-parameter update"},
    {MAILBOX_SECURITY, "security command"},
}};

const char* mailboxCommandName(std::uint8_t code) {
    for (const MailboxCommand& c : kMailboxCommands)
        if (c.code == code)
            return c.name;
    return "unknown";
}

std::uint32_t mailboxWord(const std::uint8_t* bytes, std::size_t index) {
    return readHost32(bytes, index * 4);
}

void setMailboxWord(std::uint8_t* bytes, std::size_t index, std::uint32_t value) {
    writeHost32(bytes, index * 4, value);
}

std::uint32_t mailboxWord(const MailboxImage& m, std::size_t index) {
    return mailboxWord(m.bytes.data(), index);
}

void setMailboxWord(MailboxImage& m, std::size_t index, std::uint32_t value) {
    setMailboxWord(m.bytes.data(), index, value);
}

std::uint32_t mailboxField(const MailboxImage& m, std::size_t index, unsigned low, unsigned width) {
    return getBits(mailboxWord(m, index), low, width);
}

void setMailboxField(MailboxImage& m, std::size_t index, unsigned low, unsigned width,
                     std::uint32_t value) {
    setMailboxWord(m, index, setBits(mailboxWord(m, index), low, width, value));
}

std::uint32_t mailboxField(const MailboxImage& m, layout::Bits field) {
    return layout::get(mailboxWord(m, field.word), field);
}

void setMailboxField(MailboxImage& m, layout::Bits field, std::uint32_t value) {
    setMailboxWord(m, field.word, layout::set(mailboxWord(m, field.word), field, value));
}

std::uint8_t mailboxCommand(const MailboxImage& m) {
    return std::uint8_t(mailboxField(m, mbx::kCommand));
}

void setMailboxCommand(MailboxImage& m, std::uint8_t code) {
    setMailboxField(m, mbx::kCommand, code);
}

std::uint16_t mailboxStatus(const MailboxImage& m) {
    return std::uint16_t(mailboxField(m, mbx::kStatus));
}

SliConfigImage makeSliConfigImage(std::uint8_t opcode, std::uint8_t subsystem,
                                  std::uint32_t requestLength, std::size_t dataAreaBytes) {
    SliConfigImage m;
    // The V2 call counts whole words, so the data area is rounded up to one.
    m.bytes.assign(kSliConfigBytes + ((dataAreaBytes + 3) & ~std::size_t(3)), 0);
    std::uint8_t* b = m.bytes.data();
    layout::put(b, sli::kWord0, layout::set(0, mbx::kCommand, SLI_CFG));
    layout::put(b, sli::kEmbedded, 1);
    layout::put(b, sli::kEmbeddedLength, sli::kEmbeddedBytes);
    layout::put(b, sli::kOpcode, opcode);
    layout::put(b, sli::kSubsystem, subsystem);
    layout::put(b, sli::kRequestLength, requestLength);
    return m;
}

std::uint32_t sliConfigWords(const SliConfigImage& m) {
    return std::uint32_t(m.bytes.size() / 4);
}

std::uint16_t sliConfigStatus(const SliConfigImage& m) {
    return std::uint16_t(layout::get(layout::at(m.bytes.data(), sli::kWord0), mbx::kStatus));
}

std::uint8_t sliResponseStatus(const SliConfigImage& m) {
    return std::uint8_t(layout::at(m.bytes.data(), sli::kResponseStatus));
}

std::uint8_t sliResponseAdditionalStatus(const SliConfigImage& m) {
    return std::uint8_t(layout::at(m.bytes.data(), sli::kAdditionalStatus));
}

std::uint32_t sliRequestWord(const SliConfigImage& m, std::size_t headerOffset) {
    return readHost32(m.bytes.data(), kSliEmbeddedOffset + headerOffset);
}

void setSliRequestWord(SliConfigImage& m, std::size_t headerOffset, std::uint32_t value) {
    writeHost32(m.bytes.data(), kSliEmbeddedOffset + headerOffset, value);
}

namespace {

bool level4(std::uint32_t board) {
    return board < adapterEnv.table.size() && adapterEnv.table[board].interfaceLevel4 != 0;
}

} // namespace

std::uint32_t IssueMbox(std::uint32_t board, MailboxImage& mailbox) {
    const std::uint32_t result =
        level4(board) ? dfc.DFC_IssueMboxWithRetryV2(board, mailbox.bytes.data(), 64, 1, 100)
                      : dfc.DFC_IssueMboxWithRetry(board, mailbox.bytes.data(), 32, 32, 2, 100);
    if (result == 0)
        return 0;
    const std::uint16_t status = mailboxStatus(mailbox);
    // A command the library refused never reached the adapter, so its status stayed 0;
    // reporting that 0 would pass the untouched mailbox off as the adapter's answer.
    return status != 0 ? status : result;
}

bool IsIssueMboxV2ExtSupported(std::uint32_t board) {
    std::uint8_t info[driver_info::kSize] = {};
    layout::setFixed(info, driver_info::kVersion);
    const std::uint32_t result = dfc.DFC_GetDrvInfo(board, info);
    if (result != 0) {
        if (tracingKeysAndObjects())
            debugPrint("[IsIssueMboxV2ExtSupported]DFC_GetDrvInfo (v4)returned: %d for board: %d",
                       int(result), int(board));
        return false;
    }
    return layout::at(info, driver_info::kInterfaceLevel) == 4 &&
           (layout::at(info, driver_info::kFeatures) & driver_info::kFeatureExtendedMailbox) != 0;
}

void TraceMboxStep(const char* format, ...) {
    // Kept as a call site for every download step; the texts go nowhere on purpose.
    (void)format;
}
