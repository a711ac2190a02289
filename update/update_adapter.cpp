// The update of one component of one adapter (see update_adapter.h).
#include "update/update_adapter.h"

#include "adapter/board_family.h"
#include "adapter/dfc_library.h"
#include "adapter/ffv_access.h"
#include "adapter/hba_entry.h"
#include "catalog/family_ffv.h"
#include "catalog/payload_catalog.h"
#include "catalog/soft_vpd_file.h"
#include "download/dispatcher.h"
#include "image/cna_version.h"
#include "image/version_forms.h"
#include "common/text.h"
#include "log/debug_log.h"
#include "platform/platform.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

unsigned long board(const HbaEntry& e) { return e.adapterNumber; }

// Formats a message of at most 511 characters and writes it to the debug file with "\n".
void report(const char* format, ...) WM_PRINTF(1, 2);
void report(const char* format, ...) {
    char message[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    debugPrint("%s\n", message);
}

bool isFerroxFC(const HbaEntry& e) { return isFerroxFCBoard(e.adapterNumber); }


// Whether two ports sit on the same physical card: the same serial number (letters in
// either case), bus and domain.
bool sameCard(const HbaEntry& a, const HbaEntry& b) {
    return a.busNumber == b.busNumber && a.domain == b.domain &&
           equalsIgnoreCase(a.serialNumber.view(), b.serialNumber.view());
}

// The first port of the same physical card (other than this one) that already has a
// download state in this run.
const HbaEntry* processedSibling(const AdapterList& adapters, const HbaEntry& e) {
    for (const HbaEntry& other : adapters)
        if (&other != &e && other.downloadStat != DOWNLOAD_STAT_NONE && sameCard(other, e))
            return &other;
    return nullptr;
}

bool runsUnsupportedFirmware(const HbaEntry& e) {
    const CnaVersion& v = e.cnaFwVersion;
    return isVX4Device(e.deviceId) && v.major == 10 && v.minor == 2 && v.release <= 222 && v.build < 15;
}

// The payload image type of the component; an FC adapter asked for anything but its
// ALL/AIF firmware has none.
std::uint32_t imageTypeFor(const HbaEntry& e, std::uint32_t target, bool firmwareStep) {
    if (!firmwareStep)
        return FC_IMAGE;
    const DeviceRow& row = rowOf(e);
    if (row.firmwarePayload == ALLext && target != ALLext)
        return NO_IMAGE;
    return row.imageType;
}

CnaVersion payloadVersion(const CluImage& payload) {
    return CnaVersion{payload.CNAMajorVer, payload.CNAMinorVer, payload.CNAReleaseVer, payload.CNABuildVer};
}

// The steps after which the card's flash no longer holds its old image: the erase of
// a region, or the first write of the firmware object.
bool rewritesFlash(const char* step) {
    static constexpr std::string_view kSteps[] = {"Erasing Sector(s) In Flash ROM", "Erasing Flash ROM Sectors",
                                                  "Writing Firmware Object"};
    for (std::string_view s : kSteps)
        if (s == step)
            return true;
    return false;
}

// Downloads the payload, telling the run's observer each step; *flashRewritten is set
// once a step has begun to rewrite the card's flash.
std::uint32_t download(const RunContext& run, const HbaEntry& e, const CluImage& payload, std::string* payloadPath,
                       bool* flashRewritten) {
    if (payloadPath != nullptr)
        *payloadPath = payload.path;
    if (run.devices.download == nullptr)
        return 1;
    const StepTextCallback& observer = run.observer.stepText;
    const StepTextCallback watch = [&observer, flashRewritten](const char* step) {
        if (flashRewritten != nullptr && rewritesFlash(step))
            *flashRewritten = true;
        tellStep(observer, step);
    };
    return run.devices.download(e.adapterNumber, payload, watch, run.observer.progress, run.devices.sleep);
}

// A reset is told to whoever watches the run as the update's own step; the debug log
// narrates it in its own words.
std::uint32_t resetAdapter(const RunContext& run, const HbaEntry& e, std::uint32_t mode) {
    tellStep(run.observer.stepText, "Resetting Adapter");
    return dfc.DFC_ResetAdapter(e.adapterNumber, mode);
}


// What a port does when another port of its card already has a download state in
// this run: its result, and whether its soft VPD line is written (with the family
// cleared, after a special release).
struct SiblingRow {
    std::uint32_t downloadStat;
    ResultCode result;
    bool recordsSoftVpd;
    bool clearsFamily;
};

constexpr SiblingRow kSiblingRows[] = {
    {DOWNLOAD_STAT_SUCCEEDED, ResultCode::Success, true, false},
    {DOWNLOAD_STAT_FAILED, ResultCode::DownloadFailed, false, false},
    {DOWNLOAD_STAT_REBOOT_REQUIRED, ResultCode::RebootRequired, true, false},
    {DOWNLOAD_STAT_SPECIAL_RELEASE, ResultCode::SpecialRelease, true, true},
    {DOWNLOAD_STAT_UNSUPPORTED_FW, ResultCode::UnsupportedFirmware, false, false},
};

// Which adapters a row of the download table applies to.
enum class Applies { Any, Legacy, NotLegacy, FerroxFC };

// The reset a completed download asks for: none; the FerroxFC reset (mode 3) before the
// family is recorded; the legacy reset (mode 1) after it. Each waits 40 ms first.
enum class ResetStep { None, BeforeRecords, AfterRecords };

// What a completed download leads to: the reset, the records written (the family in
// the card's FFV and in the soft VPD list, cleared first for a special release), the
// state the card's other ports take, the reboot, the result, and the debug line that
// says so (its text before "Adapter %lu Stat %08lX").
struct DownloadOutcomeRow {
    std::uint32_t downloadStatus;
    Applies applies;
    ResetStep reset;
    bool clearsFamily;
    bool rebootNeeded;
    std::uint32_t cardState; // DOWNLOAD_STAT_NONE: the port keeps no state (legacy ports share nothing)
    ResultCode result;
    const char* line;
    bool lineShowsFfv; // the line's status is the FFV write's (else 0)
    bool specialReleaseText;
};

constexpr DownloadOutcomeRow kDownloadOutcomes[] = {
    {0, Applies::Legacy, ResetStep::AfterRecords, false, false, DOWNLOAD_STAT_NONE, ResultCode::Success,
     "Adapter download succeeded. ", false, false},
    {0, Applies::NotLegacy, ResetStep::None, false, false, DOWNLOAD_STAT_SUCCEEDED, ResultCode::Success,
     "Adapter download succeeded. ", true, false},
    {DOWNLOAD_REBOOT_REQUIRED, Applies::NotLegacy, ResetStep::None, false, true, DOWNLOAD_STAT_REBOOT_REQUIRED,
     ResultCode::RebootRequired, "Adapter download succeeded. Please reboot the system to activate new firmware. ",
     true, false},
    {DOWNLOAD_SPECIAL_RELEASE, Applies::Any, ResetStep::None, true, true, DOWNLOAD_STAT_SPECIAL_RELEASE,
     ResultCode::SpecialRelease, "Adapter download succeeded. Please reboot the system to activate new firmware. ",
     true, true},
    {DOWNLOAD_RESET_REQUIRED, Applies::FerroxFC, ResetStep::BeforeRecords, false, false, DOWNLOAD_STAT_SUCCEEDED,
     ResultCode::Success, "Adapter download and reset succeeded. ", true, false},
};

// Every other download status is a failure: its result and the words of its line.
struct DownloadFailureRow {
    std::uint32_t downloadStatus;
    ResultCode result;
    const char* line;
};

constexpr DownloadFailureRow kDownloadFailures[] = {
    {DOWNLOAD_SIGNATURE_MISSING, ResultCode::SignatureMissing, "Adapter download failed. Secure hardware error. "},
    {DOWNLOAD_SIGNATURE_INVALID, ResultCode::SignatureInvalid,
     "Adapter download failed. Invalid digital signature error. "},
};

// One component of one adapter, as the update works on it.
struct Component {
    RunContext& run;
    HbaEntry& entry;
    std::uint32_t target;
    bool firmwareStep;
    bool ferroxFC;
    bool legacy;
    bool* rebootNeeded;
    std::string* payloadPath;
    bool* flashRewritten;
    bool* imageComplete; // the card took the whole image (whatever followed)
    // The boot code of a card whose firmware failed in this run: the family the soft VPD
    // line and the FFV keep covers both, so it is not recorded.
    bool familyHeldBack;

    int bootCodeFlag() const { return firmwareStep ? 0 : 1; }
    bool rowApplies(Applies applies) const {
        switch (applies) {
        case Applies::Any: return true;
        case Applies::Legacy: return legacy;
        case Applies::NotLegacy: return !legacy;
        case Applies::FerroxFC: return ferroxFC;
        }
        return false;
    }
    void setCardState(std::uint32_t value) const { updateCNAdownloadStatus(run.adapters, entry, value); }
    void recordSoftVpd() const { updateCNA_VPD_Data(run.softVpd, &entry, bootCodeFlag()); }
};

// What the update decided for a component before anything reaches the card.
struct Decision {
    bool download = false;            // false: the component ends with `result`
    ResultCode result = ResultCode::Success;
    const CluImage* payload = nullptr;
    const CluImage* interim = nullptr; // the interim image the FerroxFC card takes first
};

Decision done(ResultCode result) { return Decision{false, result, nullptr, nullptr}; }

ResultCode applySiblingState(const Component& c, std::uint32_t downloadStat) {
    for (const SiblingRow& row : kSiblingRows) {
        if (row.downloadStat != downloadStat)
            continue;
        if (row.clearsFamily)
            c.entry.packagedFamilyId = "00.00.00";
        if (row.recordsSoftVpd)
            c.recordSoftVpd();
        return row.result;
    }
    return ResultCode::Success; // not reached: a processed sibling has one of the states above
}

// The update decision, in its documented order: the soft VPD files, the board, a port
// of the same card already done, the running firmware, the payload, the family, and
// the interim image of a FerroxFC card on 1.1.21.4.
Decision decide(const Component& c) {
    RunContext& run = c.run;
    HbaEntry& entry = c.entry;
    debugPrint("\n[Opening Adapter]\n");
    debugPrint("HBA number = %d\n", entry.adapterNumber);
    if (run.softVpdWriteBlocked) {
        debugPrint("The soft VPD files cannot be replaced; the adapter is left as it is\n");
        return done(reportDownloadFailure(run, entry, ResultCode::FfvFailed));
    }

    bool onVersion4 = false;
    if (c.ferroxFC) {
        debugPrint("Found a FerroxFC. Check if current firmware version is 1.1.21.4\n");
        onVersion4 = isFerroxMissingObjsFWVersion(entry.cnaFwVersion) != 0;
    }
    const bool unsupported = runsUnsupportedFirmware(entry);

    if (!isValidBoard(entry.adapterNumber)) {
        report("Invalid HBA number = %d\n", entry.adapterNumber);
        return done(ResultCode::InvalidBoard);
    }
    // A port whose names could not be read is not known to be the port the package and
    // the soft VPD files mean: it is left as it is.
    // So is a port whose revision could not be read, for its family, and with it the
    // way its image is downloaded and recorded, is not known.
    if (const char* unread = unreadIdentity(entry)) {
        report("Adapter %s could not be read; the adapter is left as it is. Adapter %lu Stat %08lX\n", unread,
               board(entry), static_cast<unsigned long>(codeNumber(ResultCode::InvalidBoard)));
        return done(ResultCode::InvalidBoard);
    }

    if (!c.legacy) {
        if (const HbaEntry* sibling = processedSibling(run.adapters, entry))
            return done(applySiblingState(c, sibling->downloadStat));
    }

    const std::uint32_t imageType = imageTypeFor(entry, c.target, c.firmwareStep);

    if (unsupported) {
        debugPrint("Unsuported fw version %d.%d.%d.%d\n", static_cast<int>(entry.cnaFwVersion.major),
                   static_cast<int>(entry.cnaFwVersion.minor), static_cast<int>(entry.cnaFwVersion.release),
                   static_cast<int>(entry.cnaFwVersion.build));
        c.setCardState(DOWNLOAD_STAT_UNSUPPORTED_FW);
        return done(ResultCode::UnsupportedFirmware);
    }

    const CluImage* payload = findPayload(run.payloads, entry, imageType, c.target);
    if (payload == nullptr) {
        const char* packaged = c.firmwareStep ? entry.packagedFwVersion.c_str() : entry.packagedBcVersion.c_str();
        ResultCode code = ResultCode::PayloadNotFound;
        if (std::strcmp(packaged, "NONE") == 0) {
            code = ResultCode::UnknownFamily;
            report("Unknown family ID specified. FamilyId %s Adapter %lu Stat %08lX \n",
                   entry.packagedFamilyId.c_str(), board(entry), static_cast<unsigned long>(codeNumber(code)));
        } else {
            report("Unable to open image file. FamilyId %s Adapter %lu Stat %08lX \n",
                   entry.packagedFamilyId.c_str(), board(entry), static_cast<unsigned long>(codeNumber(code)));
        }
        if (c.firmwareStep)
            c.setCardState(DOWNLOAD_STAT_FAILED);
        return done(code);
    }

    const int familyStatus = compareFamilyIDs(entry.packagedFamilyId.c_str(), entry.familyId.c_str());
    debugPrint("Family ID status = %d\n", familyStatus);
    if (run.options.updatePolicy != Always) {
        const char* currentFamily =
            c.firmwareStep ? entry.inventoryFwVersion.c_str() : entry.inventoryBcVersion.c_str();
        if (std::strcmp(currentFamily, "00.00.00") == 0) {
            debugPrint("Null familyID! Force a download!\n");
        } else if (familyStatus < 1) {
            report("Update not needed. Adapter %lu Stat %08lX New %s Old %s \n", board(entry),
                   static_cast<unsigned long>(codeNumber(ResultCode::Current)), entry.packagedFamilyId.c_str(),
                   entry.familyId.c_str());
            return done(ResultCode::Current);
        }
    }

    Decision decision;
    decision.download = true;
    decision.payload = payload;
    bool interimNeeded = false;
    if (c.ferroxFC && onVersion4) {
        debugPrint("Found a FerroxFC running 1.1.21.4. Check if new firmware version is greater than 1.1.21.4\n");
        interimNeeded = requiresInterimFerroxDownload(payloadVersion(*payload)) != 0;
    }
    if (c.ferroxFC && interimNeeded) {
        debugPrint("Found a FerroxFC and an interim download is required. Searching for the interim image "
                   "1.1.21.300\n");
        decision.interim = findInterimPayload(run.payloads, imageType, c.target);
        if (decision.interim == nullptr) {
            debugPrint("Unable to open image file. Adapter %lu Stat %08lX\n", board(entry),
                       static_cast<unsigned long>(codeNumber(ResultCode::PayloadNotFound)));
            c.setCardState(DOWNLOAD_STAT_FAILED);
            return done(ResultCode::PayloadNotFound);
        }
        debugPrint("Found the interim image 1.1.21.300\n");
    }
    return decision;
}

// Before the first erase nothing may keep saying that the card holds a family: the soft
// VPD lines of its ports and the FFV this port writes after the download read the null
// family, and the soft VPD files are written at once, so that a download cut short, a
// kill or a failed one is downloaded again by the next run. Returns Success, or
// FfvFailed when a record could not be cleared (nothing is then downloaded).
ResultCode clearFamilyRecords(const Component& c) {
    RunContext& run = c.run;
    HbaEntry& entry = c.entry;
    bool linesChanged = false;
    for (HbaEntry& port : run.adapters)
        if (&port == &entry || (!c.legacy && sameCard(port, entry)))
            linesChanged = clearCNA_VPD_Family(run.softVpd, &port) || linesChanged;
    if (entry.ffvSupported != 0 && !entry.ffv.empty() && !(entry.ffv == "00.00.00")) {
        const std::uint32_t status = writeFFV(entry.adapterNumber, "00.00.00", 0);
        // A converged function keeps no FFV it could write; its family is recorded in
        // the soft VPD line alone.
        if (status != 0 && status != FFV_NOT_WRITABLE) {
            report("Adapter FFV could not be cleared before the download. Adapter %lu Stat %08lX\n", board(entry),
                   static_cast<unsigned long>(status));
            return reportDownloadFailure(run, entry, ResultCode::FfvFailed);
        }
        if (status == 0)
            entry.ffv = "00.00.00";
    }
    if (linesChanged && updateCNAVPDFile(run.softVpd) != 0) {
        debugPrint("The soft VPD files could not be written before the download; the adapter is left as it is\n");
        return reportDownloadFailure(run, entry, ResultCode::FfvFailed);
    }
    debugPrint("Family records cleared before the download. Adapter %lu\n", board(entry));
    return ResultCode::Success;
}

// The interim download of a FerroxFC card, and its reset when it asks for one; Success
// when the main download may follow.
ResultCode runInterim(const Component& c, const CluImage& interim) {
    RunContext& run = c.run;
    HbaEntry& entry = c.entry;
    debugPrint("Beginning interim adapter download. Adapter %lu\n", board(entry));
    const std::uint32_t st = download(run, entry, interim, c.payloadPath, c.flashRewritten);
    debugPrint("UpdateTindleFirmwareWithFeedback interim download complete. Adapter %lu Stat %08lX\n",
               board(entry), static_cast<unsigned long>(st));
    if (st == 0) {
        debugPrint("Interim adapter download succeeded. Adapter %lu Stat %08lX\n", board(entry), 0ul);
        return ResultCode::Success;
    }
    if (st == DOWNLOAD_RESET_REQUIRED) {
        debugPrint("Adapter reset required. Sleeping for 3000ms.\n");
        run.devices.sleep(3000);
        if (resetAdapter(run, entry, 3) != 0) {
            debugPrint("Interim adapter reset failed. Adapter %lu Stat %08lX\n", board(entry),
                       static_cast<unsigned long>(codeNumber(ResultCode::ResetFailed)));
            c.setCardState(DOWNLOAD_STAT_FAILED);
            return ResultCode::ResetFailed;
        }
        debugPrint("Interim adapter download and reset succeeded. Adapter %lu Stat %08lX\n", board(entry), 0ul);
        return ResultCode::Success;
    }
    debugPrint("Interim adapter download failed. Adapter %lu Stat %08lX\n", board(entry),
               static_cast<unsigned long>(codeNumber(ResultCode::DownloadFailed)));
    c.setCardState(DOWNLOAD_STAT_FAILED);
    return ResultCode::DownloadFailed;
}

// A reset after a download that failed: the card's ports take the failed state.
ResultCode resetFailed(const Component& c, std::uint32_t status) {
    report("Adapter reset failed. Adapter %lu Stat %08lX\n", board(c.entry), static_cast<unsigned long>(status));
    c.setCardState(DOWNLOAD_STAT_FAILED);
    return ResultCode::ResetFailed;
}

// Carries out the row of a completed download: reset, records, reboot, line, state.
ResultCode completeDownload(const Component& c, const CluImage& payload, const DownloadOutcomeRow& row) {
    RunContext& run = c.run;
    HbaEntry& entry = c.entry;
    const std::uint32_t resetMode = row.reset == ResetStep::BeforeRecords ? 3 : 1;
    if (row.reset == ResetStep::BeforeRecords) {
        run.devices.sleep(40);
        if (const std::uint32_t reset = resetAdapter(run, entry, resetMode); reset != 0)
            return resetFailed(c, reset);
    }
    if (row.clearsFamily)
        entry.packagedFamilyId = "00.00.00"; // so that "00.00.00" is what the card and the soft VPD keep
    FfvWrite ffv = FfvWrite::notApplicable();
    if (c.familyHeldBack) {
        debugPrint("The family is not recorded: the adapter's firmware was not updated. Adapter %lu\n", board(entry));
        c.recordSoftVpd();
        clearCNA_VPD_Family(run.softVpd, &entry);
    } else {
        ffv = updateFlashFFV(entry, payload, run.observer.stepText);
        if (ffv.failed())
            return reportDownloadFailure(run, entry, ResultCode::FfvFailed);
        c.recordSoftVpd();
    }
    if (row.reset == ResetStep::AfterRecords) {
        run.devices.sleep(40);
        if (const std::uint32_t reset = resetAdapter(run, entry, resetMode); reset != 0)
            return resetFailed(c, reset);
    }
    if (row.rebootNeeded && c.rebootNeeded != nullptr)
        *c.rebootNeeded = true;
    const unsigned long shown = row.lineShowsFfv ? static_cast<unsigned long>(ffv.logged()) : 0ul;
    if (row.specialReleaseText) {
        debugPrint("%sAdapter %lu Stat %08lX\n", row.line, board(entry), shown);
        debugPrint("This special firmware release requires the firmware download process to be performed twice. "
                   "You must reboot the system and download the same firmware file again to complete the "
                   "download process.\n");
    } else {
        report("%sAdapter %lu Stat %08lX\n", row.line, board(entry), shown);
    }
    if (row.cardState != DOWNLOAD_STAT_NONE)
        c.setCardState(row.cardState);
    return row.result;
}

ResultCode downloadFailed(const Component& c, std::uint32_t st) {
    ResultCode code = ResultCode::DownloadFailed;
    const char* line = "Adapter download failed. ";
    for (const DownloadFailureRow& row : kDownloadFailures)
        if (row.downloadStatus == st) {
            code = row.result;
            line = row.line;
        }
    report("%sAdapter %lu Stat %08lX\n", line, board(c.entry), static_cast<unsigned long>(st));
    c.setCardState(DOWNLOAD_STAT_FAILED);
    return code;
}

} // namespace

const CluImage* findPayload(const PayloadList& payloads, const HbaEntry& entry, std::uint32_t imageType,
                            std::uint32_t extType) {
    return findCatalogImage(payloads, entry, imageType, extType);
}

const CluImage* findInterimPayload(const PayloadList& payloads, std::uint32_t imageType, std::uint32_t extType) {
    for (const CluImage& image : payloads) {
        if (image.imageType == imageType && image.extType == extType &&
            isFerroxInterimFWVersion(payloadVersion(image)))
            return &image;
    }
    return nullptr;
}

FfvWrite updateFlashFFV(HbaEntry& entry, const CluImage& payload, const StepTextCallback& stepText) {
    debugPrint("\n[updateFlashFFV]\n");
    if (entry.ffvSupported == 0) {
        debugPrint("This adapter does not support FFV in flash.\n");
        return FfvWrite::notApplicable();
    }
    if (isFerroxFC(entry) && !isFFVSupportedFW(payloadVersion(payload))) {
        debugPrint("This firmware does not support FFV in flash.\n");
        return FfvWrite::notApplicable();
    }
    debugPrint("New FW supports FFV in flash and this adapter is running FW that supports FFV in flash.\n");
    // The card keeps 8 characters of the family ID.
    FixedText<9> ffv;
    ffv = entry.packagedFamilyId.view();
    tellStep(stepText, "Writing Family ID");
    const std::uint32_t status = writeFFV(entry.adapterNumber, ffv.c_str(), 0);
    if (status != 0)
        report("Adapter FFV write failed. Adapter %lu Stat %08lX\n", board(entry), static_cast<unsigned long>(status));
    else
        report("Adapter FFV write succeeded. Adapter %lu Stat %08lX\n", board(entry), 0ul);
    return FfvWrite{true, status};
}

void updateCNAdownloadStatus(AdapterList& adapters, HbaEntry& entry, std::uint32_t value) {
    entry.downloadStat = value;
    debugPrint("\n[updateCNAdownloadStatus]\n");
    debugPrint("currentHba adapterNumber = %d\n", entry.adapterNumber);
    debugPrint("currentHba serialNumber  = %s\n", entry.serialNumber.c_str());
    debugPrint("currentHba domain        = %X\n", entry.domain);
    debugPrint("currentHba busNumber     = %X\n", entry.busNumber);
    debugPrint("currentHba groupNumber   = %X\n", entry.groupNumber);
    debugPrint("currentHba downloadStat  = %X\n\n", entry.downloadStat);
    if (isLegacyEntry(entry))
        return;
    for (HbaEntry& each : adapters) {
        HbaEntry* other = &each;
        if (!sameCard(*other, entry))
            continue;
        other->downloadStat = value;
        debugPrint("updatedHba adapterNumber = %d\n", other->adapterNumber);
        debugPrint("updatedHba serialNumber  = %s\n", other->serialNumber.c_str());
        debugPrint("updatedHba domain        = %X\n", other->domain);
        debugPrint("updatedHba busNumber     = %X\n", other->busNumber);
        debugPrint("currentHba groupNumber   = %X\n", other->groupNumber);
        debugPrint("updatedHba downloadStat  = %X\n\n", other->downloadStat);
    }
}

ResultCode reportDownloadFailure(RunContext& run, HbaEntry& entry, ResultCode code) {
    report("Adapter download failed. Adapter %lu Stat %08lX\n", board(entry),
           static_cast<unsigned long>(codeNumber(code)));
    updateCNAdownloadStatus(run.adapters, entry, DOWNLOAD_STAT_FAILED);
    return code;
}

namespace {
ResultCode downloadAndComplete(const Component& c, const Decision& decision);

// Whether the firmware result recorded for the adapter in this run is a failure (a
// firmware skipped until a reboot is not: it was downloaded by an earlier run).
bool firmwareFailed(std::uint32_t fwDownloadStatus) {
    switch (static_cast<ResultCode>(fwDownloadStatus)) {
    case ResultCode::Success:
    case ResultCode::Current:
    case ResultCode::RebootPending:
    case ResultCode::RebootRequired:
    case ResultCode::SpecialRelease:
        return false;
    default:
        return true;
    }
}

// A component result that leaves the card without the package's image.
bool isFailure(ResultCode result) {
    return result != ResultCode::Success && result != ResultCode::RebootRequired &&
           result != ResultCode::SpecialRelease && result != ResultCode::Current;
}
} // namespace

ResultCode updateAdapter(RunContext& run, HbaEntry& entry, std::uint32_t component, bool* rebootNeeded,
                         std::string* payloadPath, bool* flashIncomplete) {
    const bool firmwareStep = component == ALLext || component == UFIext || component == GRPext;
    bool flashRewritten = false;
    bool imageComplete = false;
    const bool familyHeldBack = !firmwareStep && firmwareFailed(entry.fwDownloadStatus);
    const Component c{run,         entry,           component,      firmwareStep,  isFerroxFC(entry),
                      isLegacyEntry(entry), rebootNeeded, payloadPath, &flashRewritten, &imageComplete,
                      familyHeldBack};
    const Decision decision = decide(c);
    if (!decision.download)
        return decision.result;
    if (const ResultCode cleared = clearFamilyRecords(c); cleared != ResultCode::Success)
        return cleared;
    const ResultCode result = downloadAndComplete(c, decision);
    // A download that failed once the flash was being rewritten leaves the card without
    // a whole image of this component until it is downloaded again.
    if (flashIncomplete != nullptr)
        *flashIncomplete = flashRewritten && !imageComplete && isFailure(result);
    return result;
}

UpdateDecision decideUpdate(RunContext& run, HbaEntry& entry, std::uint32_t component) {
    const bool firmwareStep = component == ALLext || component == UFIext || component == GRPext;
    bool flashRewritten = false;
    bool imageComplete = false;
    const Component c{run,     entry,   component,       firmwareStep,   isFerroxFC(entry), isLegacyEntry(entry),
                      nullptr, nullptr, &flashRewritten, &imageComplete, false};
    const Decision decision = decide(c);
    return UpdateDecision{decision.download, decision.result, decision.payload, decision.interim};
}

namespace {

ResultCode downloadAndComplete(const Component& c, const Decision& decision) {
    RunContext& run = c.run;
    HbaEntry& entry = c.entry;
    if (decision.interim != nullptr)
        if (const ResultCode interim = runInterim(c, *decision.interim); interim != ResultCode::Success)
            return interim;

    debugPrint("Beginning adapter download. Adapter %lu\n", board(entry));
    const std::uint32_t st = download(run, entry, *decision.payload, c.payloadPath, c.flashRewritten);
    debugPrint("UpdateTindleFirmwareWithFeedback download complete. Adapter %lu Stat %08lX\n", board(entry),
               static_cast<unsigned long>(st));
    for (const DownloadOutcomeRow& row : kDownloadOutcomes)
        if (row.downloadStatus == st && c.rowApplies(row.applies)) {
            *c.imageComplete = true;
            return completeDownload(c, *decision.payload, row);
        }
    return downloadFailed(c, st);
}

} // namespace
