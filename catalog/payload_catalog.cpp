#include "catalog/payload_catalog.h"

#include "adapter/hba_entry.h"
#include "catalog/config_files.h"
#include "catalog/family_id_table.h"
#include "common/run_state.h"
#include "image/file_extension.h"
#include "image/verify_fw_file.h"
#include "image/version_forms.h"
#include "log/debug_log.h"

#include <cstring>
#include <new>
#include <string>

CluImage* payloadListHead = nullptr;

namespace {

bool matchesEntry(const ConfigEntry& entry, const HbaEntry& adapter) {
    return entry.deviceId == adapter.deviceId && entry.vendorId == adapter.vendorId &&
           entry.subSystemId == adapter.subDeviceId && entry.subVendorId == adapter.subVendorId;
}

} // namespace

int getFamilyImageVersions(HbaEntry* adapter, const char* familyId) {
    debugPrint("\n[getFamilyImageVersions]\n");
    debugPrint("Searching for FamilyID = %s\n", familyId);
    const FamilyIdGroup* group = findFamilyIdGroup(familyId);
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

int assignConfigEntries() {
    int matched = 0;
    for (HbaEntry* adapter = hbaListHead; adapter != nullptr; adapter = adapter->next) {
        if (!isConvergedEntry(*adapter) && std::strncmp(adapter->fwVersion.c_str(), "ZD", 2) == 0) {
            adapter->supported = 0;
            continue;
        }
        for (const ConfigEntry* entry = configListHead; entry != nullptr; entry = entry->next) {
            if (!matchesEntry(*entry, *adapter))
                continue;
            runTally.adaptersSupported += 1;
            adapter->supported = 1;
            adapter->packagedFamilyId = entry->familyId.view();
            getFamilyImageVersions(adapter, adapter->packagedFamilyId.c_str());
            ++matched;
            break;
        }
    }
    return matched;
}

CluImage* makePayloadList(const CluImage* fileList, int* status) {
    debugPrint("\n[makePayloadList]\n");
    if (fileList == nullptr) {
        if (status != nullptr)
            *status = 1;
        return payloadListHead;
    }
    for (const CluImage* name = fileList; name != nullptr; name = name->next) {
        runTally.payloadFilesFound += 1;
        CluImage record = *name;
        record.next = nullptr;
        if (isValidFileExtension(record.filename.c_str(), &record.extType, EXT_MODE_ANY) != 0) {
            debugPrint("Invalid file extension. File = %s\n", record.filename.c_str());
            continue;
        }
        const std::string path = payloadDir.str() + record.filename.str();
        const std::uint32_t decodeStatus = verifyFwFile(path.c_str(), &record);
        if (decodeStatus != 0) {
            debugPrint("Code not decode image version. File = %s Status = %X\n", record.filename.c_str(),
                       static_cast<unsigned>(decodeStatus));
            continue;
        }
        CluImage* entry = new (std::nothrow) CluImage(record);
        if (entry == nullptr)
            continue;
        runTally.payloadEntriesValid += 1;
        entry->next = nullptr;
        if (isCnaImageType(entry->imageType))
            encodeCNAVersion(&entry->CNAMajorVer, &entry->CNAMinorVer, &entry->CNAReleaseVer,
                             &entry->CNABuildVer, 32, entry->decodedVersion.c_str());
        entry->sortedVersion = "N/A";
        entry->legacyType = "N/A";
        printCLUImage(entry);
        entry->next = payloadListHead;
        payloadListHead = entry;
    }
    return payloadListHead;
}

const CluImage* findCatalogImage(const HbaEntry& adapter, std::uint32_t imageType, std::uint32_t extType) {
    const char* wanted = extType == PRGext ? adapter.packagedBcVersion.c_str() : adapter.packagedFwVersion.c_str();
    for (const CluImage* image = payloadListHead; image != nullptr; image = image->next) {
        if (image->imageType == imageType && image->extType == extType && image->decodedVersion == wanted)
            return image;
    }
    return nullptr;
}

void freePayloadList() {
    while (payloadListHead != nullptr) {
        CluImage* next = payloadListHead->next;
        delete payloadListHead;
        payloadListHead = next;
    }
}
