// The update of one component of one adapter (see update_adapter.h).
#include "update/update_adapter.h"

#include "adapter/board_family.h"
#include "adapter/dfc_library.h"
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


// The first port of the same physical card (other than this one) that already has a
// download state in this run.
const HbaEntry* processedSibling(const AdapterList& adapters, const HbaEntry& e) {
    for (const HbaEntry& other : adapters) {
        if (&other != &e && other.downloadStat != DOWNLOAD_STAT_NONE && other.busNumber == e.busNumber &&
            other.domain == e.domain && equalsIgnoreCase(other.serialNumber.view(), e.serialNumber.view()))
            return &other;
    }
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

std::uint32_t download(const RunContext& run, const HbaEntry& e, const CluImage& payload,
                       std::string* payloadPath) {
    if (payloadPath != nullptr)
        *payloadPath = payload.path;
    if (run.devices.download == nullptr)
        return 1;
    return run.devices.download(e.adapterNumber, payload, run.observer.stepText, run.observer.progress,
                                run.devices.sleep);
}

// A reset is told to whoever watches the run as the update's own step; the debug log
// narrates it in its own words.
std::uint32_t resetAdapter(const RunContext& run, const HbaEntry& e, std::uint32_t mode) {
    tellStep(run.observer.stepText, "Resetting Adapter");
    return dfc.DFC_ResetAdapter(e.adapterNumber, mode);
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

std::uint32_t updateFlashFFV(HbaEntry& entry, const CluImage& payload, const StepTextCallback& stepText) {
    debugPrint("\n[updateFlashFFV]\n");
    if (entry.ffvSupported == 0) {
        debugPrint("This adapter does not support FFV in flash.\n");
        return 2;
    }
    if (isFerroxFC(entry) && !isFFVSupportedFW(payloadVersion(payload))) {
        debugPrint("This firmware does not support FFV in flash.\n");
        return 2;
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
    return status;
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
        if (other->busNumber != entry.busNumber || other->domain != entry.domain ||
            !equalsIgnoreCase(other->serialNumber.view(), entry.serialNumber.view()))
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

int reportDownloadFailure(RunContext& run, HbaEntry& entry, int code) {
    run.tally.updateFailures += 1;
    report("Adapter download failed. Adapter %lu Stat %08lX\n", board(entry), static_cast<unsigned long>(code));
    updateCNAdownloadStatus(run.adapters, entry, DOWNLOAD_STAT_FAILED);
    return code;
}

int updateAdapter(RunContext& run, HbaEntry& entry, std::uint32_t component, bool* rebootNeeded,
                  std::string* payloadPath) {
    const std::uint32_t target = component;
    const bool firmwareStep = target == ALLext || target == UFIext || target == GRPext;
    const bool ferroxFC = isFerroxFC(entry);
    const bool legacy = isLegacyEntry(entry);
    const char* currentFamily = firmwareStep ? entry.inventoryFwVersion.c_str() : entry.inventoryBcVersion.c_str();
    const int isBootCode = firmwareStep ? 0 : 1;

    run.tally.updateAttempts += 1;
    debugPrint("\n[Opening Adapter]\n");
    debugPrint("HBA number = %d\n", entry.adapterNumber);
    if (run.softVpdWriteBlocked) {
        debugPrint("The soft VPD files cannot be replaced; the adapter is left as it is\n");
        return reportDownloadFailure(run, entry, 36);
    }

    bool onVersion4 = false;
    if (ferroxFC) {
        debugPrint("Found a FerroxFC. Check if current firmware version is 1.1.21.4\n");
        onVersion4 = isFerroxMissingObjsFWVersion(entry.cnaFwVersion) != 0;
    }
    const bool unsupported = runsUnsupportedFirmware(entry);

    if (!isValidBoard(entry.adapterNumber)) {
        run.tally.updateFailures += 1;
        report("Invalid HBA number = %d\n", entry.adapterNumber);
        return 30;
    }

    if (!legacy) {
        if (const HbaEntry* sibling = processedSibling(run.adapters, entry)) {
            switch (sibling->downloadStat) {
            case DOWNLOAD_STAT_SUCCEEDED:
                updateCNA_VPD_Data(run.softVpd, &entry, isBootCode);
                return 0;
            case DOWNLOAD_STAT_FAILED:
                run.tally.updateFailures += 1;
                return 31;
            case DOWNLOAD_STAT_REBOOT_REQUIRED:
                updateCNA_VPD_Data(run.softVpd, &entry, isBootCode);
                return 37;
            case DOWNLOAD_STAT_SPECIAL_RELEASE:
                entry.packagedFamilyId = "00.00.00";
                updateCNA_VPD_Data(run.softVpd, &entry, isBootCode);
                return 38;
            case DOWNLOAD_STAT_UNSUPPORTED_FW:
                run.tally.updateFailures += 1;
                return 39;
            default:
                break;
            }
        }
    }

    const std::uint32_t imageType = imageTypeFor(entry, target, firmwareStep);

    if (unsupported) {
        run.tally.updateFailures += 1;
        debugPrint("Unsuported fw version %d.%d.%d.%d\n", static_cast<int>(entry.cnaFwVersion.major),
                   static_cast<int>(entry.cnaFwVersion.minor), static_cast<int>(entry.cnaFwVersion.release),
                   static_cast<int>(entry.cnaFwVersion.build));
        updateCNAdownloadStatus(run.adapters, entry, DOWNLOAD_STAT_UNSUPPORTED_FW);
        return 39;
    }

    const CluImage* payload = findPayload(run.payloads, entry, imageType, target);
    if (payload == nullptr) {
        run.tally.updateFailures += 1;
        const char* packaged = firmwareStep ? entry.packagedFwVersion.c_str() : entry.packagedBcVersion.c_str();
        int code = 0;
        if (std::strcmp(packaged, "NONE") == 0) {
            report("Unknown family ID specified. FamilyId %s Adapter %lu Stat %08lX \n",
                   entry.packagedFamilyId.c_str(), board(entry), 20ul);
            code = 20;
        } else {
            report("Unable to open image file. FamilyId %s Adapter %lu Stat %08lX \n",
                   entry.packagedFamilyId.c_str(), board(entry), 32ul);
            code = 32;
        }
        if (firmwareStep)
            updateCNAdownloadStatus(run.adapters, entry, DOWNLOAD_STAT_FAILED);
        return code;
    }

    const int familyStatus = compareFamilyIDs(entry.packagedFamilyId.c_str(), entry.familyId.c_str());
    debugPrint("Family ID status = %d\n", familyStatus);
    if (run.options.updatePolicy != Always) {
        if (std::strcmp(currentFamily, "00.00.00") == 0) {
            debugPrint("Null familyID! Force a download!\n");
        } else if (familyStatus < 1) {
            run.tally.updateAttempts -= 1;
            report("Update not needed. Adapter %lu Stat %08lX New %s Old %s \n", board(entry), 34ul,
                   entry.packagedFamilyId.c_str(), entry.familyId.c_str());
            return 34;
        }
    }

    bool interimNeeded = false;
    if (ferroxFC && onVersion4) {
        debugPrint("Found a FerroxFC running 1.1.21.4. Check if new firmware version is greater than 1.1.21.4\n");
        interimNeeded = requiresInterimFerroxDownload(payloadVersion(*payload)) != 0;
    }

    if (ferroxFC && interimNeeded) {
        debugPrint("Found a FerroxFC and an interim download is required. Searching for the interim image "
                   "1.1.21.300\n");
        const CluImage* interim = findInterimPayload(run.payloads, imageType, target);
        if (interim == nullptr) {
            run.tally.updateFailures += 1;
            debugPrint("Unable to open image file. Adapter %lu Stat %08lX\n", board(entry), 32ul);
            updateCNAdownloadStatus(run.adapters, entry, DOWNLOAD_STAT_FAILED);
            return 32;
        }
        debugPrint("Found the interim image 1.1.21.300\n");
        debugPrint("Beginning interim adapter download. Adapter %lu\n", board(entry));
        const std::uint32_t st = download(run, entry, *interim, payloadPath);
        debugPrint("UpdateTindleFirmwareWithFeedback interim download complete. Adapter %lu Stat %08lX\n",
                   board(entry), static_cast<unsigned long>(st));
        if (st == 0) {
            debugPrint("Interim adapter download succeeded. Adapter %lu Stat %08lX\n", board(entry), 0ul);
        } else if (st == DOWNLOAD_RESET_REQUIRED) {
            debugPrint("Adapter reset required. Sleeping for 3000ms.\n");
            run.devices.sleep(3000);
            if (resetAdapter(run, entry, 3) != 0) {
                // A card whose reset failed is not updated: count it, so that the run's
                // status never reports success for it.
                run.tally.updateFailures += 1;
                debugPrint("Interim adapter reset failed. Adapter %lu Stat %08lX\n", board(entry), 33ul);
                updateCNAdownloadStatus(run.adapters, entry, DOWNLOAD_STAT_FAILED);
                return 33;
            }
            debugPrint("Interim adapter download and reset succeeded. Adapter %lu Stat %08lX\n", board(entry), 0ul);
        } else {
            run.tally.updateFailures += 1;
            debugPrint("Interim adapter download failed. Adapter %lu Stat %08lX\n", board(entry), 31ul);
            updateCNAdownloadStatus(run.adapters, entry, DOWNLOAD_STAT_FAILED);
            return 31;
        }
    }

    debugPrint("Beginning adapter download. Adapter %lu\n", board(entry));
    const std::uint32_t st = download(run, entry, *payload, payloadPath);
    debugPrint("UpdateTindleFirmwareWithFeedback download complete. Adapter %lu Stat %08lX\n", board(entry),
               static_cast<unsigned long>(st));

    if (st == 0) {
        const std::uint32_t ffv = updateFlashFFV(entry, *payload, run.observer.stepText);
        if (ffv != 0 && ffv != 2)
            return reportDownloadFailure(run, entry, 36);
        updateCNA_VPD_Data(run.softVpd, &entry, isBootCode);
        if (legacy) {
            run.devices.sleep(40);
            const std::uint32_t reset = resetAdapter(run, entry, 1);
            if (reset != 0) {
                run.tally.updateFailures += 1;
                report("Adapter reset failed. Adapter %lu Stat %08lX\n", board(entry), static_cast<unsigned long>(reset));
                return 33;
            }
            report("Adapter download succeeded. Adapter %lu Stat %08lX\n", board(entry), 0ul);
            run.tally.anyDownloadSucceeded = true;
            return 0;
        }
        report("Adapter download succeeded. Adapter %lu Stat %08lX\n", board(entry), static_cast<unsigned long>(ffv));
        updateCNAdownloadStatus(run.adapters, entry, DOWNLOAD_STAT_SUCCEEDED);
        run.tally.anyDownloadSucceeded = true;
        return 0;
    }
    if (st == DOWNLOAD_REBOOT_REQUIRED && !legacy) {
        const std::uint32_t ffv = updateFlashFFV(entry, *payload, run.observer.stepText);
        if (ffv != 0 && ffv != 2)
            return reportDownloadFailure(run, entry, 36);
        updateCNA_VPD_Data(run.softVpd, &entry, isBootCode);
        if (rebootNeeded != nullptr)
            *rebootNeeded = true;
        report("Adapter download succeeded. Please reboot the system to activate new firmware. Adapter %lu "
               "Stat %08lX\n",
               board(entry), static_cast<unsigned long>(ffv));
        updateCNAdownloadStatus(run.adapters, entry, DOWNLOAD_STAT_REBOOT_REQUIRED);
        run.tally.anyDownloadSucceeded = true;
        return 37;
    }
    if (st == DOWNLOAD_SPECIAL_RELEASE) {
        entry.packagedFamilyId = "00.00.00";
        const std::uint32_t ffv = updateFlashFFV(entry, *payload, run.observer.stepText);
        if (ffv != 0 && ffv != 2)
            return reportDownloadFailure(run, entry, 36);
        updateCNA_VPD_Data(run.softVpd, &entry, isBootCode);
        if (rebootNeeded != nullptr)
            *rebootNeeded = true;
        debugPrint("Adapter download succeeded. Please reboot the system to activate new firmware. Adapter %lu "
                   "Stat %08lX\n",
                   board(entry), static_cast<unsigned long>(ffv));
        debugPrint("This special firmware release requires the firmware download process to be performed twice. "
                   "You must reboot the system and download the same firmware file again to complete the "
                   "download process.\n");
        updateCNAdownloadStatus(run.adapters, entry, DOWNLOAD_STAT_SPECIAL_RELEASE);
        run.tally.anyDownloadSucceeded = true;
        return 38;
    }
    if (st == DOWNLOAD_RESET_REQUIRED && ferroxFC) {
        run.devices.sleep(40);
        const std::uint32_t reset = resetAdapter(run, entry, 3);
        if (reset != 0) {
            run.tally.updateFailures += 1; // counted as for every other failed update
            report("Adapter reset failed. Adapter %lu Stat %08lX\n", board(entry), static_cast<unsigned long>(reset));
            updateCNAdownloadStatus(run.adapters, entry, DOWNLOAD_STAT_FAILED);
            return 33;
        }
        const std::uint32_t ffv = updateFlashFFV(entry, *payload, run.observer.stepText);
        if (ffv != 0 && ffv != 2)
            return reportDownloadFailure(run, entry, 36);
        updateCNA_VPD_Data(run.softVpd, &entry, isBootCode);
        report("Adapter download and reset succeeded. Adapter %lu Stat %08lX\n", board(entry),
               static_cast<unsigned long>(ffv));
        updateCNAdownloadStatus(run.adapters, entry, DOWNLOAD_STAT_SUCCEEDED);
        run.tally.anyDownloadSucceeded = true;
        return 0;
    }
    run.tally.updateFailures += 1;
    int code = 31;
    if (st == DOWNLOAD_SIGNATURE_MISSING) {
        report("Adapter download failed. Secure hardware error. Adapter %lu Stat %08lX\n", board(entry), 89ul);
        code = 41;
    } else if (st == DOWNLOAD_SIGNATURE_INVALID) {
        report("Adapter download failed. Invalid digital signature error. Adapter %lu Stat %08lX\n", board(entry),
               90ul);
        code = 42;
    } else {
        report("Adapter download failed. Adapter %lu Stat %08lX\n", board(entry), static_cast<unsigned long>(st));
    }
    updateCNAdownloadStatus(run.adapters, entry, DOWNLOAD_STAT_FAILED);
    return code;
}
