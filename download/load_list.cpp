// The adapter's load list: walks its entries in adapter memory, finds boot entries
// and deletes entries of an image type (0x1D, fields in adapter/mailbox_layouts.h).
#include "download/load_list.h"

#include "adapter/adapter_memory.h"
#include "adapter/mailbox.h"
#include "common/bytes.h"
#include "download/download_status.h"
#include "image/version_forms.h"

namespace {

constexpr std::size_t kMaxLoadEntries = 64;
constexpr std::size_t kMaxBootEntries = 10;
constexpr std::uint32_t kLoadEntryWords = 6;

} // namespace

std::uint32_t readLoadList(std::uint32_t board, std::vector<LoadEntry>& entries) {
    entries.clear();
    std::uint32_t next = 0;
    if (ReadAdapterMemory(board, &next, kLoadListHead, 1) != 0)
        return MAILBOX_ERROR;
    // A zero pointer ends the list too: unset adapter memory reads 0.
    while (next != kLoadListHead && next != 0 && entries.size() < kMaxLoadEntries) {
        std::uint32_t words[kLoadEntryWords] = {};
        if (ReadAdapterMemory(board, words, next, kLoadEntryWords) != 0)
            return MAILBOX_ERROR;
        entries.push_back({next, {words[4], words[5]}});
        next = words[0];
    }
    return 0;
}

bool isFreeLoadEntry(const LoadEntry& entry) {
    return entry.programId[0] == 0 || entry.programId[0] == 0xFFFFFFFF;
}

bool findMatchingLoadEntry(std::uint32_t board, std::uint32_t firstWord, std::uint32_t id[2]) {
    std::vector<LoadEntry> entries;
    if (readLoadList(board, entries) != 0)
        return false;
    std::size_t kept = 0;
    for (const LoadEntry& e : entries) {
        if (isFreeLoadEntry(e) || legacyImageType(e.programId[0]) != 3)
            continue;
        if (++kept > kMaxBootEntries)
            break;
        if (e.programId[0] == firstWord) {
            id[0] = e.programId[0];
            id[1] = e.programId[1];
            return true;
        }
    }
    return false;
}

std::uint32_t DeleteLoadEntries(std::uint32_t board, std::uint32_t imageType) {
    std::vector<LoadEntry> entries;
    if (readLoadList(board, entries) != 0)
        return MAILBOX_ERROR;
    for (const LoadEntry& e : entries) {
        if (isFreeLoadEntry(e) || legacyImageType(e.programId[0]) != imageType)
            continue;
        MailboxImage m;
        setMailboxCommand(m, MAILBOX_LOAD_LIST_DELETE);
        setMailboxField(m, mbx::kDeleteKind, 1);
        setMailboxWord(m, mbx::kDeleteIdWord, e.programId[0]);
        setMailboxWord(m, mbx::kDeleteIdWord + 1, e.programId[1]);
        if (IssueMbox(board, m) != 0)
            return MAILBOX_ERROR;
    }
    return 0;
}
