// The soft VPD files (see soft_vpd_file.h): their line format ("MAC=...;FW=...;FID=..."
// and "WWPN=...;FW=...;BC=...;FID=..."), and the refusal of any value too long for its
// field, since a cut address or version would describe something else.
#include "catalog/soft_vpd_file.h"

#include "adapter/hba_entry.h"
#include "catalog/config_files.h"
#include "log/console.h"
#include "log/debug_log.h"
#include "platform/platform.h"

#include <cstdio>
#include <fstream>
#include <list>
#include <new>
#include <string>

namespace {

constexpr std::size_t kAddressMax = decltype(VPDEntry::address)::capacity;
constexpr std::size_t kVersionMax = decltype(VPDEntry::fw_ver)::capacity;

// Appends a zeroed entry; null when memory could not be had.
VPDEntry* appendEntry(SoftVpd& vpd) {
    try {
        return &vpd.entries.emplace_back();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
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

// The lines of one file: the entries of its location in list order, each logged as
// it is written when `log` is set.
std::string fileContent(const SoftVpd& vpd, std::uint8_t location, bool log) {
    std::string content;
    for (const VPDEntry& entry : vpd.entries) {
        const VPDEntry* e = &entry;
        if (e->location != location)
            continue;
        if (e->cnaType == VPD_TYPE_MAC) {
            content += "MAC=" + e->address.str() + ";FW=" + e->fw_ver.str() +
                       ";FID=" + e->fid_ver.str() + "\n";
            if (log)
                debugPrint("Writing: MAC=%s;FW=%s;FID=%s\n", e->address.c_str(), e->fw_ver.c_str(),
                           e->fid_ver.c_str());
        } else {
            content += "WWPN=" + e->address.str() + ";FW=" + e->fw_ver.str() +
                       ";BC=" + e->bc_ver.str() + ";FID=" + e->fid_ver.str() + "\n";
            if (log)
                debugPrint("Writing: WWPN=%s;FW=%s;BC=%s;FID=%s\n", e->address.c_str(),
                           e->fw_ver.c_str(), e->bc_ver.c_str(), e->fid_ver.c_str());
        }
    }
    return content;
}

} // namespace

int readCNAVpdFile(SoftVpd& vpd, const char* path, std::uint8_t location) {
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
        VPDEntry* entry = appendEntry(vpd);
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

void printCNAEntries(const SoftVpd& vpd) {
    debugPrint("\n[printCNAEntries]\n");
    for (const VPDEntry& entry : vpd.entries) {
        const VPDEntry* e = &entry;
        debugPrint("address  = %s\n", e->address.c_str());
        debugPrint("fw_ver   = %s\n", e->fw_ver.c_str());
        debugPrint("bc_ver   = %s\n", e->bc_ver.c_str());
        debugPrint("fid_ver  = %s\n", e->fid_ver.c_str());
        debugPrint("location = %d\n", static_cast<int>(e->location));
        debugPrint("cnaType  = %d\n\n", static_cast<int>(e->cnaType));
    }
}

int createCNAVpdList(SoftVpd& vpd) {
    debugPrint("\n[createCNAVpdList]\n");
    readCNAVpdFile(vpd, vpd.secondaryPath.c_str(), VPD_SECONDARY);
    readCNAVpdFile(vpd, vpd.primaryPath.c_str(), VPD_PRIMARY);
    printCNAEntries(vpd);
    return 0;
}

int findVPDEntry(SoftVpd& vpd, HbaEntry* adapter) {
    const char* key = adapterKey(*adapter);
    for (VPDEntry& e : vpd.entries) {
        if (e.address == key) {
            debugPrint("Found a match! Updating VPDEntry pointer!\n");
            adapter->familyEntry = &e;
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

bool clearCNA_VPD_Family(SoftVpd& vpd, HbaEntry* adapter) {
    if (adapter->familyEntry == nullptr && findVPDEntry(vpd, adapter) == 0)
        return false;
    VPDEntry* entry = adapter->familyEntry;
    if (entry == nullptr || entry->fid_ver == "00.00.00")
        return false;
    entry->fid_ver = "00.00.00";
    entry->updated = 1;
    return true;
}

int updateCNA_VPD_Data(SoftVpd& vpd, HbaEntry* adapter, int isBootCode) {
    debugPrint("\n[updateCNA_VPD_Data]\n");
    if (adapter->familyEntry != nullptr || findVPDEntry(vpd, adapter) != 0) {
        debugPrint("Updating existing entry!\n");
        updateVPDEntry(adapter, isBootCode);
        return 0;
    }
    // A port whose names could not be read would be written under a name that may be
    // another port's.
    if (adapter->namesStatus == WWN_NAMES_UNREADABLE) {
        debugPrint("No soft VPD entry for an adapter whose names could not be read\n");
        return 1;
    }
    const bool byMac = isNicEntry(*adapter) || isIscsiEntry(*adapter);
    const std::string key = adapterKey(*adapter);
    // An address cut to the field would be written under another adapter's name.
    if (key.size() > kAddressMax) {
        debugPrint("Could not add a soft VPD entry for address %s: longer than %zu characters\n",
                   key.c_str(), kAddressMax);
        return 1;
    }
    VPDEntry* entry = appendEntry(vpd);
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

int updateSoftwareCNAVPDFile(const SoftVpd& vpd, const char* path, std::uint8_t location) {
    debugPrint("\n[updateSoftwareCNAVPDFile]\n");
    if (path == nullptr || path[0] == '\0') {
        debugPrint("Log path does not exist, exiting\n");
        return 0;
    }
    debugPrint("Log path: %s\n", path);
    const std::string content = fileContent(vpd, location, true);
    // The new content replaces the file in one step, through a temporary file no other
    // process can foresee or plant a link at, so that a failed or interrupted write
    // leaves the old file whole.
    std::string why;
    if (platform::writeFileAtomically(path, content, &why) != 0) {
        debugPrint("Warning: Unable to create updated CNA file!\n");
        debugPrint("%s; %s keeps its old content\n", why.c_str(), path);
        sayOnStandardError("the soft VPD file %s could not be written (%s); it keeps its old content", path,
                           why.c_str());
        return 1;
    }
    return 0;
}

int checkCNAVPDFilesReplaceable(const SoftVpd& vpd) {
    int result = 0;
    const struct {
        const FixedText<254>* path;
        std::uint8_t location;
    } files[] = {{&vpd.secondaryPath, VPD_SECONDARY}, {&vpd.primaryPath, VPD_PRIMARY}};
    for (const auto& file : files) {
        const FixedText<254>* path = file.path;
        if (path->empty())
            continue;
        // The lines the file holds now must fit where the rewrite goes; the few a run
        // adds are not foreseen.
        std::string why;
        if (platform::checkFileReplaceable(path->str(), fileContent(vpd, file.location, false), &why) ==
            0)
            continue;
        debugPrint("Soft VPD file %s cannot be replaced: %s\n", path->c_str(), why.c_str());
        sayOnStandardError("the soft VPD file %s cannot be replaced (%s); no adapter is updated, "
                           "since what it gets could not be recorded",
                           path->c_str(), why.c_str());
        result = 1;
    }
    return result;
}

int updateCNAVPDFile(SoftVpd& vpd) {
    debugPrint("\n[updateCNAVPDFile]\n");
    int result = updateSoftwareCNAVPDFile(vpd, vpd.secondaryPath.c_str(), VPD_SECONDARY);
    // An updated entry from the secondary file now also belongs to the primary one; it
    // was written to the secondary file above with its new values.
    for (VPDEntry& e : vpd.entries)
        if (e.location == VPD_SECONDARY && e.updated != 0)
            e.location = VPD_PRIMARY;
    result |= updateSoftwareCNAVPDFile(vpd, vpd.primaryPath.c_str(), VPD_PRIMARY);
    return result;
}
