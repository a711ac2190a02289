// The adapter inventory list and its per-board steps (see hba_inventory.h).
#include "inventory/hba_inventory.h"

#include "adapter/adapter_environment.h"
#include "adapter/adapter_objects.h"
#include "adapter/adapter_family.h"
#include "adapter/adapter_vpd.h"
#include "adapter/board_family.h"
#include "adapter/device_table.h"
#include "adapter/hba_entry.h"
#include "adapter/mailbox.h"
#include "adapter/model_catalog.h"
#include "adapter/regions.h"
#include "adapter/vpd_decode.h"
#include "catalog/family_ffv.h"
#include "common/bytes.h"
#include "common/text.h"
#include "image/code_tables.h"
#include "image/version_forms.h"
#include "log/debug_log.h"

#include <cctype>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>

namespace {

// The read-revision answer: the firmware text at byte 36, 16 bytes.
constexpr std::size_t kRevisionTextOffset = 36;
constexpr std::size_t kRevisionTextBytes = 16;
// Word 13 of the boot-code region holds the boot-code version word.
constexpr std::size_t kBootCodeWordOffset = 13 * 4;

const AdapterRecord& recordOf(std::uint32_t a) {
    static const AdapterRecord kNone{};
    return a < adapterEnv.table.size() ? adapterEnv.table[a] : kNone;
}

std::string removeAll(std::string_view text, std::string_view chars) {
    std::string out;
    for (char c : text)
        if (chars.find(c) == std::string_view::npos)
            out += c;
    return out;
}

void upperCase(FixedText<32>& text) {
    std::string s = text.str();
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    text = s;
}

std::string wordsText(std::uint32_t high, std::uint32_t low, const char* format) {
    char text[40];
    std::snprintf(text, sizeof text, format, static_cast<unsigned long>(high),
                  static_cast<unsigned long>(low));
    return text;
}

// The running firmware text, or the default of the board's kind.
void readFirmwareVersion(std::uint32_t a, HbaEntry& e) {
    const bool level4 = isLevel4Board(a);
    MailboxImage m;
    setMailboxCommand(m, MAILBOX_READ_REVISION);
    if (!level4) {
        setMailboxField(m, 1, 31, 1, 1);
        setMailboxField(m, 1, 27, 1, 1);
    }
    e.fwVersion.clear();
    if (isValidBoard(a) && IssueMbox(a, m) == 0) {
        std::uint8_t text[kRevisionTextBytes];
        for (std::size_t i = 0; i < kRevisionTextBytes; ++i)
            text[i] = m.bytes[kRevisionTextOffset + i];
        // Older adapters deliver the text with each word's bytes reversed.
        if (!level4)
            SwapBytes1(text, kRevisionTextBytes);
        std::size_t n = 0;
        while (n < kRevisionTextBytes && text[n] != 0)
            ++n; // the adapter need not end the text
        e.fwVersion = std::string_view(reinterpret_cast<const char*>(text), n);
    }
    if (e.fwVersion.empty())
        e.fwVersion = !level4 && !isHBATypeVexil(a) ? kFcDefaultVersion : kCnaDefaultVersion;
}

void readBootCodeVersion(std::uint32_t a, HbaEntry& e) {
    const char* fallback = isConvergedEntry(e) ? kCnaDefaultVersion : kFcDefaultVersion;
    if (isFerroxFCBoard(a)) {
        e.bcVersion = fallback;
        CntlAddlAttributes attributes;
        if (SC_PerformCommonProbe(a) == 0 && SC_PerformCommonGetCntlAddlAttributes(a, &attributes) == 0)
            e.bcVersion = attributes.texts[0].view();
        if (e.bcVersion.empty())
            e.bcVersion = fallback;
    } else if (!isFCoEFunction(a)) {
        std::uint8_t region[kBootCodeRegionBytes];
        // The region arrives as mailbox words, in host order.
        if (readBootCodeRegion(a, region) != 0 || readHost32(region, kBootCodeWordOffset) == 0)
            e.bcVersion = kNoBootCode;
        else
            formatBootCodeVersion(readHost32(region, kBootCodeWordOffset), recordOf(a).deviceId,
                                  e.bcVersion);
    } else {
        e.bcVersion = kCnaDefaultVersion;
    }
}

void rewriteVersions(std::uint32_t a, HbaEntry& e) {
    if (isLevel4Board(a)) {
        CnaVersion& v = e.cnaFwVersion;
        encodeCNAVersion(&v.major, &v.minor, &v.release, &v.build, 32, e.fwVersion.c_str());
    } else {
        const std::string stripped = removeAll(e.fwVersion.view(), " .");
        char code[32] = {};
        getLegacyFwType(code, sizeof code, e.deviceId, e.vendorId, e.subDeviceId, e.subVendorId,
                        legacyDistType(e.LegacyVersionWord));
        code[sizeof code - 1] = '\0';
        // The code replaces the first two characters; a shorter text has nothing after.
        e.fwVersion = std::string(code) + (stripped.size() > 2 ? stripped.substr(2) : std::string());
        e.bcVersion = removeAll(e.bcVersion.view(), ".");
    }
    upperCase(e.fwVersion);
    upperCase(e.bcVersion);
}

void readFfvState(const FamilyIdTable& families, std::uint32_t a, HbaEntry& e) {
    e.ffvSupported = 0;
    e.adapterInRebootState = 0;
    e.ffv = kNullFamilyId;
    // A FerroxFC card that runs no firmware (its revision text is empty after an image
    // was left incomplete) runs the downloaded one next: whether that keeps an FFV is
    // decided by the image at the download. Without this its family would never be
    // recorded again, and every later run would download it anew.
    const CnaVersion& v = e.cnaFwVersion;
    const bool runsNoFirmware = v.major == 0 && v.minor == 0 && v.release == 0 && v.build == 0;
    if (isVX4Device(e.deviceId) || (isFerroxFCBoard(a) && (isFFVSupportedFW(v) != 0 || runsNoFirmware)))
        e.ffvSupported = 1;
    if (e.ffvSupported != 1)
        return;
    assignAdapterFFV(families, &e);
    FwVersionTexts texts;
    if (isFerroxFCBoard(a) && SLI_CFG_GetFwVersion(a, &texts) == 0) {
        e.activeFirmwareVersion = texts.active.view();
        e.fwOnFlashVersion = texts.flash.view();
    } else {
        e.activeFirmwareVersion = kCnaDefaultVersion;
        e.fwOnFlashVersion = kCnaDefaultVersion;
    }
    debugPrint("ActiveFirmwareVersion = %s\n", e.activeFirmwareVersion.c_str());
    debugPrint("FwOnFlashVersion      = %s\n", e.fwOnFlashVersion.c_str());
    e.adapterInRebootState =
        versionsNeedReboot(e.activeFirmwareVersion.c_str(), e.fwOnFlashVersion.c_str());
    debugPrint("adapterInRebootState  = %d\n", int(e.adapterInRebootState));
    if (!(e.ffv == e.familyId.view()))
        setAdapterFamilyId(&e, e.ffv.c_str());
}

void makeEntry(RunContext& run, std::uint32_t a, std::uint32_t& lastStatus) {
    try {
        run.adapters.emplace_back();
    } catch (const std::bad_alloc&) {
        // The other adapters are still listed.
        debugPrint("Adapter not listed: no memory for its record. Adapter %lu\n",
                   static_cast<unsigned long>(a));
        return;
    }
    HbaEntry& e = run.adapters.back();
    const AdapterRecord& r = recordOf(a);
    e.adapterNumber = std::uint16_t(a);
    ModelQuery q;
    lookupModel(a, q);
    debugPrint("\n###############################################################\n");
    if (r.flags & ADAPTER_FLAG_MODEL_FROM_VPD) {
        e.model = r.modelName.view();
        debugPrint("Adapter VPD call succeeded.\n");
    } else {
        e.model = q.model.view();
        debugPrint("Adapter VPD call failed.\n");
    }
    e.hbaType = hbaTypeOf(boardFunctionKind(a));
    e.revisionUnread = r.revisionUnread;
    debugPrint("isHBATypeVexil %d\n", isHBATypeVexil(a) ? 1 : 0);
    debugPrint("gKOVA %d\n", 0); // the management library is never loaded
    debugPrint("HBAType %X\n", unsigned(r.HBAType));
    debugPrint("FCoE_Driver %d\n", int(r.fcoeDriver));

    readFirmwareVersion(a, e);
    readBootCodeVersion(a, e);

    AdapterVpd vpd;
    if (isValidBoard(a) && readAdapterVpd(a, vpd) == 0)
        e.modelDesc = vpd.v1Text.view();
    if (e.modelDesc.empty())
        e.modelDesc = q.description.view();

    getWWN(&e, lastStatus, run.message);

    e.busNumber = r.bus;
    e.device = r.device;
    e.function = r.function;
    e.deviceId = r.deviceId;
    e.vendorId = r.vendorId;
    e.subDeviceId = r.subsystemId;
    e.subVendorId = r.subsystemVendorId;
    e.domain = 0;
    e.serialNumber = r.serialNumber.view();

    const std::uint32_t dist = familyRowOf(GetAdapterFamily(a)).distributed
                                   ? 1
                                   : ((r.flags & ADAPTER_FLAG_MULTI_FUNCTION) != 0 ? 1 : 0);
    e.LegacyVersionWord = setBits(e.LegacyVersionWord, 4, 2, dist);

    rewriteVersions(a, e);
    assignFamilyID(run.families, run.softVpd, &e);
    readFfvState(run.families, a, e);
}

} // namespace

std::uint32_t makeHbaList(RunContext& run) {
    if (adapterEnv.boardCount == 0 && adapterEnv.totalCount == 0) {
        run.message = "No Tavrel adapter detected in the system";
        return INVENTORY_NO_ADAPTERS;
    }
    debugPrint("\n[makeHbaList]\n");
    std::uint32_t lastStatus = 0;
    // Every record is in place before anything points at one.
    run.adapters.reserve(adapterEnv.totalCount);
    for (std::uint32_t a = 0; a < adapterEnv.totalCount; ++a)
        makeEntry(run, a, lastStatus);
    return lastStatus;
}

void getWWN(HbaEntry* entry, std::uint32_t& lastStatus, std::string& message) {
    if (entry == nullptr)
        return;
    HbaEntry& e = *entry;
    const std::uint32_t a = e.adapterNumber;
    const AdapterRecord& r = recordOf(a);
    debugPrint("\n[getWWN]\n");

    // The names are collected as text into the message; nothing prints them.
    ModelQuery q;
    lookupModel(a, q);
    message = formatText("adapter %d: %s", int(a + 1), q.model.c_str());
    std::string names;
    bool missing = false;

    std::uint32_t ieee[2] = {r.factoryIeee[0], r.factoryIeee[1]};
    if (ieee[0] == 0 && ieee[1] == 0) {
        names += "  No Factory IEEE ";
        lastStatus = WWN_NAME_MISSING;
        missing = true;
    } else {
        names += "  Factory IEEE: " + wordsText(ieee[0], ieee[1], "%08lX %08lX ");
    }

    std::uint32_t wwpn[2] = {0, 0};
    std::uint32_t wwnn[2] = {0, 0};
    bool unreadable = false;
    const bool level4 = isLevel4Board(a);
    MailboxImage m;
    setMailboxCommand(m, MAILBOX_READ_NAMES);
    if (!level4)
        for (std::size_t i = 1; i <= 3; ++i)
            setMailboxWord(m, i, 0xFFFFFFFF);
    // Without a known driver the program cannot tell how the board frames the names, so
    // it does not read them rather than report another port's name.
    if (!isValidBoard(a) || !r.driverKnown || IssueMbox(a, m) != 0) {
        names += "\n  No Current WWPN and WWNN";
        unreadable = true;
    } else {
        // Level-4 adapters answer each name word byte-reversed.
        if (level4)
            SwapBytes1(m.bytes.data() + 5 * 4, 16);
        wwpn[0] = mailboxWord(m, 5);
        wwpn[1] = mailboxWord(m, 6);
        wwnn[0] = mailboxWord(m, 7);
        wwnn[1] = mailboxWord(m, 8);

        std::uint8_t stored[16] = {};
        std::uint32_t length = sizeof stored;
        if (readConfigRegion(a, 0, 0, length, stored) != 0) {
            std::uint8_t port[8] = {};
            std::uint32_t portLength = sizeof port;
            readConfigRegion(a, 16, 0, portLength, port);
            for (std::size_t i = 0; i < sizeof port; ++i)
                stored[i] = port[i];
            if (level4)
                SwapBytes1(stored, 8);
            writeBe32(stored, 8, wwnn[0]);
            writeBe32(stored, 12, wwnn[1]);
        } else if (level4) {
            SwapBytes1(stored, sizeof stored);
        }
        const bool nonVolatile = wwpn[0] == readBe32(stored, 0) && wwpn[1] == readBe32(stored, 4) &&
                                 wwnn[0] == readBe32(stored, 8) && wwnn[1] == readBe32(stored, 12);
        names += nonVolatile ? "\n  Non-Volatile WWPN: " : "\n  Volatile WWPN: ";
        names += wordsText(wwpn[0], wwpn[1], "%08lX %08lX ") + ", WWNN: " +
                 wordsText(wwnn[0], wwnn[1], "%08lX %08lX ");
        if ((wwpn[0] == 0 && wwpn[1] == 0) || (wwnn[0] == 0 && wwnn[1] == 0)) {
            lastStatus = WWN_NAME_MISSING;
            missing = true;
        }
    }
    if (unreadable && lastStatus == 0)
        lastStatus = WWN_NAMES_UNREADABLE;
    // The port's own: names that could not be read outweigh a zero name.
    e.namesStatus = unreadable ? WWN_NAMES_UNREADABLE : missing ? WWN_NAME_MISSING : 0;
    message = names;

    e.wwpn = wordsText(wwpn[0], wwpn[1], "%08lX%08lX");
    e.wwnn = wordsText(wwnn[0], wwnn[1], "%08lX%08lX");
    e.ieee = wordsText(ieee[0], ieee[1], "%08lX%08lX");
    debugPrint("WWPN = %s\n", e.wwpn.c_str());
    debugPrint("WWWN = %s\n", e.wwnn.c_str());
    debugPrint("IEEE = %s\n", e.ieee.c_str());
    // The reported port name is the factory address, whatever the current one is.
    e.wwpn = e.ieee.view();
}

void formatBootCodeVersion(std::uint32_t word, std::uint32_t deviceId, FixedText<32>& out) {
    const std::uint32_t t = legacyImageId(word);
    std::string text = t >= 1 && t <= 247 ? bootCodeTypeCode(t) : "XX";
    if (deviceRowOf(deviceId).secure && !text.empty())
        text[0] = 'F';
    text += std::to_string(legacyVersionNumber(word)) + ".";
    text += std::to_string(legacyRevision(word)) + std::to_string(legacyFixlevel(word));
    const std::uint32_t distType = legacyDistType(word);
    const std::uint32_t distCnt = legacyDistCnt(word);
    if (!(distType == 3 && distCnt == 0)) {
        text += legacyDistLetter(distType);
        text += std::to_string(distCnt);
    }
    out = text;
}

std::uint16_t versionsNeedReboot(const char* active, const char* flash) {
    const auto split = [](const char* text, unsigned long (&parts)[4]) {
        if (text == nullptr)
            return false;
        std::string_view rest(text);
        for (int i = 0; i < 4; ++i) {
            const std::size_t end = i < 3 ? rest.find('.') : rest.size();
            if (end == std::string_view::npos || end == 0 || end > 9)
                return false;
            unsigned long value = 0;
            for (std::size_t k = 0; k < end; ++k) {
                if (rest[k] < '0' || rest[k] > '9')
                    return false;
                value = value * 10 + unsigned(rest[k] - '0');
            }
            parts[i] = value;
            rest.remove_prefix(i < 3 ? end + 1 : end);
        }
        return true;
    };
    unsigned long a[4], f[4];
    if (!split(active, a) || !split(flash, f))
        return 0;
    for (int i = 0; i < 4; ++i)
        if (a[i] != f[i])
            return 1;
    return 0;
}
