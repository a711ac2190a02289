// Identifies each adapter: its hardware code (read revision, fields in
// adapter/mailbox_layouts.h), the OEM VPD marker, model name and serial number.
#include "adapter/identify_adapters.h"

#include "adapter/adapter_environment.h"
#include "adapter/adapter_vpd.h"
#include "adapter/board_family.h"
#include "adapter/mailbox.h"
#include "adapter/model_catalog.h"
#include "adapter/regions.h"
#include "adapter/vpd_decode.h"
#include "common/bytes.h"
#include "common/text.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string upperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

} // namespace

std::optional<std::uint16_t> readHardwareId(std::uint32_t board) {
    if (!isValidBoard(board))
        return std::nullopt;
    MailboxImage m;
    setMailboxCommand(m, MAILBOX_READ_REVISION);
    const bool level4 = isLevel4Board(board);
    if (!level4) {
        setMailboxField(m, mbx::kRevisionAskB, 1);
        setMailboxField(m, mbx::kRevisionAskA, 1);
    }
    if (IssueMbox(board, m) != 0)
        return std::nullopt;
    const std::uint32_t word2 = mailboxWord(m, mbx::kHardwareId.word);
    if (level4)
        return word2 > 15 ? std::uint16_t(mailboxField(m, mbx::kHardwareId)) : 0;
    // Some older boards answer in word 3 only; on some (their row says so) word 2 is not
    // used whatever it holds.
    if ((word2 & ~0xFu) != 0 && !boardRow(board).olderRevisionWord)
        return std::uint16_t(mailboxField(m, mbx::kHardwareId));
    return std::uint16_t(mailboxField(m, mbx::kHardwareIdOlder));
}

std::uint16_t readOemVpdMarker(std::uint32_t board) {
    // 1000 words are asked for; the room for all of them keeps a region that delivers
    // them from running past the 1024 bytes the VPD may have.
    constexpr std::uint32_t kWordsAsked = 1000;
    std::vector<std::uint8_t> raw(kWordsAsked * 4, 0);
    std::uint32_t bytes = 0;
    if (ReadRegionWords(board, raw.data(), 14, kWordsAsked, 0, bytes) != 0 ||
        bytes > kVpdBufferBytes)
        return 0;
    std::uint8_t buffer[kVpdBufferBytes] = {};
    std::copy(raw.begin(), raw.begin() + bytes, buffer);
    if (normalizeVpd(buffer, bytes) != 0)
        return 0;
    VpdEntry entry;
    for (std::size_t p = walkVpdEntry(buffer, bytes, 0, entry); p != kVpdWalkEnd;
         p = walkVpdEntry(buffer, bytes, p, entry))
        if (entry.keyword[0] == 'V' && entry.keyword[1] == 'G' &&
            endsWith(entry.value.view(), "1014"))
            return 1;
    return 0;
}

int identifyAdapters(AdapterVpd& adapterVpd) {
    for (std::uint32_t b = 0; b < adapterEnv.boardCount && b < adapterEnv.table.size(); ++b) {
        AdapterRecord& r = adapterEnv.table[b];
        const std::optional<std::uint16_t> hardwareId = readHardwareId(b);
        r.hardwareId = hardwareId.value_or(0);
        r.revisionUnread = !hardwareId;
        if (r.hardwareId == 0x1004 || r.hardwareId == 0x577 || r.hardwareId == 0x364) {
            r.oemVpd = readOemVpdMarker(b);
        }
        readAdapterVpd(b, adapterVpd);
        if (!adapterEnv.noVpdModelNames && !adapterVpd.v2Text.empty()) {
            r.modelName = adapterVpd.v2Text.view();
            if (isVX2FCoEDevice(r.deviceId))
                r.flags &= ~ADAPTER_FLAG_MODEL_FROM_VPD;
            else
                r.flags |= ADAPTER_FLAG_MODEL_FROM_VPD;
        } else {
            lookupModelName(b, r.modelName);
        }
        if (!adapterVpd.v2Text.empty())
            r.serialNumber = upperCase(adapterVpd.snText.view());
        if (r.serialNumber.empty())
            r.serialNumber = "N/A";
    }
    return 0;
}

int markFerroxMultiFunction(const AdapterVpd& adapterVpd) {
    if (!adapterEnv.noVpdModelNames && !adapterVpd.v2Text.empty())
        return 0;
    const std::uint32_t n =
        std::uint32_t(std::min<std::size_t>(adapterEnv.boardCount, adapterEnv.table.size()));
    for (std::uint32_t b = 0; b < n; ++b) {
        if (!isFerroxBoard(b))
            continue;
        AdapterRecord& r = adapterEnv.table[b];
        bool sibling = false;
        for (std::uint32_t j = 0; j < n && !sibling; ++j) {
            const AdapterRecord& other = adapterEnv.table[j];
            sibling = j != b && other.bus == r.bus && other.device == r.device &&
                      equalsIgnoreCase(other.serialNumber.view(), r.serialNumber.view());
        }
        if (sibling)
            r.flags |= ADAPTER_FLAG_MULTI_FUNCTION;
        else
            r.flags &= ~ADAPTER_FLAG_MULTI_FUNCTION;
        lookupModelName(b, r.modelName);
    }
    return 0;
}
