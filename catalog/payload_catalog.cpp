#include "catalog/payload_catalog.h"

#include "adapter/hba_entry.h"
#include "catalog/config_files.h"
#include "catalog/family_id_table.h"
#include "image/all_image.h"
#include "image/file_extension.h"
#include "image/verify_fw_file.h"
#include "image/version_forms.h"
#include "log/console.h"
#include "log/debug_log.h"
#include "platform/platform.h"

#include <new>
#include <string>
#include <vector>

namespace {

bool matchesEntry(const ConfigEntry& entry, const HbaEntry& adapter) {
    return entry.deviceId == adapter.deviceId && entry.vendorId == adapter.vendorId &&
           entry.subSystemId == adapter.subDeviceId && entry.subVendorId == adapter.subVendorId;
}

// Where the download engine finds the file: the payload folder and the name, made
// absolute when the system can. (A run refuses a payload folder whose files' paths
// would be longer than PAYLOAD_PATH_MAX before it reads the package.)
std::string downloadPath(const char* payloadDir, const CluImage& record) {
    return platform::absolutePath(std::string(payloadDir) + record.filename.str());
}

} // namespace

int getFamilyImageVersions(const FamilyIdTable& families, HbaEntry* adapter, const char* familyId) {
    debugPrint("\n[getFamilyImageVersions]\n");
    debugPrint("Searching for FamilyID = %s\n", familyId);
    const FamilyIdGroup* group = findFamilyIdGroup(families, familyId);
    if (group == nullptr) {
        debugPrint("Could not find id = %s\n", familyId);
        debugPrint("Could not determine the family fw and bc\n");
        return 1;
    }
    const FamilyIdEntry* row = findFamilyIdRow(group, *adapter);
    if (row != nullptr) {
        adapter->packagedFwVersion = row->fwVersion.view();
        debugPrint("Found packageFwVersion = %s\n", adapter->packagedFwVersion.c_str());
    } else {
        adapter->packagedFwVersion = "NONE";
    }
    if (isLegacyEntry(*adapter)) {
        if (row == nullptr) {
            adapter->packagedBcVersion = "NONE";
            return 1;
        }
        adapter->packagedBcVersion = row->bcVersion.view();
        debugPrint("Found packageBcVersion = %s\n", adapter->packagedBcVersion.c_str());
        return 0;
    }
    adapter->packagedBcVersion = "NONE";
    return row != nullptr ? 0 : 1;
}

int assignConfigEntries(AdapterList& adapters, const ConfigList& configs,
                        const FamilyIdTable& families, RunTally& tally) {
    int matched = 0;
    for (HbaEntry& each : adapters) {
        HbaEntry* adapter = &each;
        if (!isConvergedEntry(*adapter) &&
            isUnsupportedAdapterFirmware(adapter->fwVersion.view())) {
            adapter->supported = 0;
            continue;
        }
        for (const ConfigEntry& entry : configs) {
            if (!matchesEntry(entry, *adapter))
                continue;
            tally.adaptersSupported += 1;
            adapter->supported = 1;
            adapter->packagedFamilyId = entry.familyId.view();
            getFamilyImageVersions(families, adapter, adapter->packagedFamilyId.c_str());
            ++matched;
            break;
        }
    }
    return matched;
}

void makePayloadList(const char* payloadDir, const std::vector<std::string>& fileNames, int* status,
                     PayloadList& payloads, RunTally& tally) {
    debugPrint("\n[makePayloadList]\n");
    if (fileNames.empty()) {
        if (status != nullptr)
            *status = 1;
        return;
    }
    // Each decoded image goes before the ones decoded earlier.
    std::vector<CluImage> decoded;
    for (const std::string& name : fileNames) {
        tally.payloadFilesFound += 1;
        CluImage record{};
        record.filename = name;
        if (isValidFileExtension(record.filename.c_str(), &record.extType, EXT_MODE_ANY) != 0) {
            debugPrint("Invalid file extension. File = %s\n", record.filename.c_str());
            continue;
        }
        const std::string path = std::string(payloadDir) + record.filename.str();
        const std::uint32_t decodeStatus = verifyFwFile(path.c_str(), &record);
        if (decodeStatus != 0) {
            debugPrint("Code not decode image version. File = %s Status = %X\n", record.filename.c_str(),
                       static_cast<unsigned>(decodeStatus));
            // (A file that is no ordinary file was already said to be left unread.)
            if (platform::isRegularFile(path))
                sayOnStandardError("%s is skipped: its version could not be decoded (status %X); it is no valid "
                                   "image of the kind its name says",
                                   path.c_str(), static_cast<unsigned>(decodeStatus));
            continue;
        }
        record.path = downloadPath(payloadDir, record);
        record.fileKind = downloadFileKind(record.path.c_str());
        record.aifFlag = std::uint32_t(isAifFile(record.path.c_str()));
        try {
            decoded.push_back(record);
        } catch (const std::bad_alloc&) {
            continue;
        }
        CluImage* entry = &decoded.back();
        tally.payloadEntriesValid += 1;
        if (isCnaImageType(entry->imageType))
            encodeCNAVersion(&entry->CNAMajorVer, &entry->CNAMinorVer, &entry->CNAReleaseVer,
                             &entry->CNABuildVer, 32, entry->decodedVersion.c_str());
        entry->sortedVersion = "N/A";
        entry->legacyType = "N/A";
        printCLUImage(entry);
    }
    payloads.insert(payloads.begin(), decoded.rbegin(), decoded.rend());
}

const CluImage* findCatalogImage(const PayloadList& payloads, const HbaEntry& adapter,
                                 std::uint32_t imageType, std::uint32_t extType) {
    const char* wanted = extType == PRGext ? adapter.packagedBcVersion.c_str() : adapter.packagedFwVersion.c_str();
    for (const CluImage& image : payloads) {
        if (image.imageType == imageType && image.extType == extType && image.decodedVersion == wanted)
            return &image;
    }
    return nullptr;
}
