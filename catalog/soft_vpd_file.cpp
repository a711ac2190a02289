#include "catalog/soft_vpd_file.h"

#include "adapter/hba_entry.h"
#include "catalog/config_files.h"
#include "common/run_state.h"
#include "log/debug_log.h"
#include "platform/platform.h"

#include <cstdio>
#include <fstream>
#include <list>
#include <new>
#include <string>

VPDEntry* vpdListHead = nullptr;

namespace {

// Owner of the entries; a list, so that the entries never move while adapters point at
// them through familyEntry.
std::list<VPDEntry> g_vpdEntries;

constexpr std::size_t kAddressMax = decltype(VPDEntry::address)::capacity;
constexpr std::size_t kVersionMax = decltype(VPDEntry::fw_ver)::capacity;

// Appends a zeroed entry; null when memory could not be had.
VPDEntry* appendEntry() {
    VPDEntry* entry = nullptr;
    try {
        entry = &g_vpdEntries.emplace_back();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (vpdListHead == nullptr) {
        vpdListHead = entry;
    } else {
        VPDEntry* tail = &*std::prev(g_vpdEntries.end(), 2);
        tail->next = entry;
        entry->prev = tail;
    }
    return entry;
}

const char* adapterKey(const HbaEntry& adapter) {
    return (isNicEntry(adapter) || isIscsiEntry(adapter)) ? adapter.mac.c_str()
                                                          : adapter.wwpn.c_str();
}

// A value that does not fit its field makes the whole line unusable: a cut address
// would name another adapter, and a cut version would never match what it describes.
bool fits(const std::string& value, std::size_t capacity, const char* key, const char* path) {
    if (value.size() <= capacity)
        return true;
    debugPrint("Skipping a line of %s: the %s value is longer than %zu characters\n", path, key,
               capacity);
    return false;
}

} // namespace

int readCNAVpdFile(const char* path, std::uint8_t location) {
    if (path == nullptr || path[0] == '\0') {
        debugPrint("Log path is not set, exiting\n");
        return 1;
    }
    if (!platform::fileExists(path)) {
        debugPrint("File %s does not exist!\n", path);
        return 1;
    }
    debugPrint("\nProcessing %s...\n", path);
    std::ifstream in(path);
    if (!in) {
        debugPrint("Could not open %s!\n", path);
        return 1;
    }
    // Lines are read whole: a line this program wrote may be longer than 127 characters
    // when every value is at its longest, and must read back as the same entry.
    std::string line;
    std::string address, fw, bc, fid;
    while (std::getline(in, line)) {
        std::uint16_t cnaType = 0;
        if (line.find("MAC=") != std::string::npos) {
            cnaType = VPD_TYPE_MAC;
            getKeyValue(line.c_str(), "MAC=", address);
        } else if (line.find("WWPN=") != std::string::npos) {
            cnaType = VPD_TYPE_WWPN;
            getKeyValue(line.c_str(), "WWPN=", address);
        } else {
            continue;
        }
        getKeyValue(line.c_str(), "FW=", fw);
        getKeyValue(line.c_str(), "BC=", bc);
        getKeyValue(line.c_str(), "FID=", fid);
        if (!fits(address, kAddressMax, cnaType == VPD_TYPE_MAC ? "MAC" : "WWPN", path) ||
            !fits(fw, kVersionMax, "FW", path) || !fits(bc, kVersionMax, "BC", path) ||
            !fits(fid, kVersionMax, "FID", path))
            continue;
        VPDEntry* entry = appendEntry();
        if (entry == nullptr)
            continue;
        entry->address = address;
        entry->cnaType = cnaType;
        debugPrint(cnaType == VPD_TYPE_MAC ? "MAC=%s;" : "WWPN=%s;", entry->address.c_str());
        entry->fw_ver = fw;
        entry->bc_ver = bc;
        entry->fid_ver = fid;
        entry->location = location;
        debugPrint("FW=%s; BC=%s; FID=%s\n", entry->fw_ver.c_str(), entry->bc_ver.c_str(),
                   entry->fid_ver.c_str());
    }
    return 0;
}

void printCNAEntries() {
    debugPrint("\n[printCNAEntries]\n");
    for (const VPDEntry* e = vpdListHead; e != nullptr; e = e->next) {
        debugPrint("address  = %s\n", e->address.c_str());
        debugPrint("fw_ver   = %s\n", e->fw_ver.c_str());
        debugPrint("bc_ver   = %s\n", e->bc_ver.c_str());
        debugPrint("fid_ver  = %s\n", e->fid_ver.c_str());
        debugPrint("location = %d\n", static_cast<int>(e->location));
        debugPrint("cnaType  = %d\n\n", static_cast<int>(e->cnaType));
    }
}

int createCNAVpdList() {
    debugPrint("\n[createCNAVpdList]\n");
    readCNAVpdFile(secondaryFidLog.c_str(), VPD_SECONDARY);
    readCNAVpdFile(primaryFidLog.c_str(), VPD_PRIMARY);
    printCNAEntries();
    return 0;
}

int findVPDEntry(HbaEntry* adapter) {
    const char* key = adapterKey(*adapter);
    for (VPDEntry* e = vpdListHead; e != nullptr; e = e->next) {
        if (e->address == key) {
            debugPrint("Found a match! Updating VPDEntry pointer!\n");
            adapter->familyEntry = e;
            return 1;
        }
    }
    return 0;
}

void updateVPDEntry(HbaEntry* adapter, int isBootCode) {
    VPDEntry* entry = adapter->familyEntry;
    if (entry == nullptr)
        return;
    if (isBootCode != 0)
        entry->bc_ver = adapter->packagedBcVersion.view();
    else
        entry->fw_ver = adapter->packagedFwVersion.view();
    entry->fid_ver = adapter->packagedFamilyId.view();
    entry->updated = 1;
}

int updateCNA_VPD_Data(HbaEntry* adapter, int isBootCode) {
    debugPrint("\n[updateCNA_VPD_Data]\n");
    if (adapter->familyEntry != nullptr || findVPDEntry(adapter) != 0) {
        debugPrint("Updating existing entry!\n");
        updateVPDEntry(adapter, isBootCode);
        return 0;
    }
    const bool byMac = isNicEntry(*adapter) || isIscsiEntry(*adapter);
    const std::string key = adapterKey(*adapter);
    // An address cut to the field would be written under another adapter's name.
    if (key.size() > kAddressMax) {
        debugPrint("Could not add a soft VPD entry for address %s: longer than %zu characters\n",
                   key.c_str(), kAddressMax);
        return 1;
    }
    VPDEntry* entry = appendEntry();
    if (entry == nullptr)
        return 1;
    entry->fw_ver = adapter->packagedFwVersion.view();
    entry->bc_ver = adapter->packagedBcVersion.view();
    entry->fid_ver = adapter->packagedFamilyId.view();
    entry->location = VPD_PRIMARY;
    entry->address = key;
    entry->cnaType = byMac ? VPD_TYPE_MAC : VPD_TYPE_WWPN;
    return 0;
}

int updateSoftwareCNAVPDFile(const char* path, std::uint8_t location) {
    debugPrint("\n[updateSoftwareCNAVPDFile]\n");
    if (path == nullptr || path[0] == '\0') {
        debugPrint("Log path does not exist, exiting\n");
        return 0;
    }
    debugPrint("Log path: %s\n", path);
    // The new content goes to a temporary file beside the old one and replaces it in one
    // step, so that an interrupted or failed write never leaves a truncated file.
    const std::string temporary = std::string(path) + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) {
        debugPrint("Warning: Unable to create updated CNA file!\n");
        return 1;
    }
    bool written = true;
    for (const VPDEntry* e = vpdListHead; e != nullptr; e = e->next) {
        if (e->location != location)
            continue;
        if (e->cnaType == VPD_TYPE_MAC) {
            written &= std::fprintf(file, "MAC=%s;FW=%s;FID=%s\n", e->address.c_str(),
                                    e->fw_ver.c_str(), e->fid_ver.c_str()) >= 0;
            debugPrint("Writing: MAC=%s;FW=%s;FID=%s\n", e->address.c_str(), e->fw_ver.c_str(),
                       e->fid_ver.c_str());
        } else {
            written &= std::fprintf(file, "WWPN=%s;FW=%s;BC=%s;FID=%s\n", e->address.c_str(),
                                    e->fw_ver.c_str(), e->bc_ver.c_str(), e->fid_ver.c_str()) >= 0;
            debugPrint("Writing: WWPN=%s;FW=%s;BC=%s;FID=%s\n", e->address.c_str(),
                       e->fw_ver.c_str(), e->bc_ver.c_str(), e->fid_ver.c_str());
        }
    }
    written &= std::fflush(file) == 0 && std::ferror(file) == 0;
    written &= std::fclose(file) == 0;
    if (!written) {
        std::remove(temporary.c_str());
        debugPrint("Warning: Unable to write %s; %s keeps its old content\n", temporary.c_str(),
                   path);
        return 1;
    }
    const int result = platform::replaceFile(temporary, path);
    if (result != 0) {
        std::remove(temporary.c_str());
        debugPrint("Warning: Unable to replace %s (error %d); it keeps its old content\n", path,
                   result);
        return 1;
    }
    return 0;
}

int updateCNAVPDFile() {
    debugPrint("\n[updateCNAVPDFile]\n");
    int result = updateSoftwareCNAVPDFile(secondaryFidLog.c_str(), VPD_SECONDARY);
    // An updated entry from the secondary file now also belongs to the primary one; it
    // was written to the secondary file above with its new values.
    for (VPDEntry* e = vpdListHead; e != nullptr; e = e->next)
        if (e->location == VPD_SECONDARY && e->updated != 0)
            e->location = VPD_PRIMARY;
    result |= updateSoftwareCNAVPDFile(primaryFidLog.c_str(), VPD_PRIMARY);
    return result;
}

void freeCNAVpdList() {
    g_vpdEntries.clear();
    vpdListHead = nullptr;
}
