// The soft VPD files: the system's own record, per adapter address, of the firmware,
// boot code and family ID it last installed. Read once at start-up into the
// run's VPDEntry list and written back at the end of an update run.
#pragma once

#include "common/fixed_text.h"

#include <cstdint>
#include <list>

struct HbaEntry;

// cnaType values.
constexpr std::uint16_t VPD_TYPE_MAC = 2;  // NIC and iSCSI functions, keyed by MAC address
constexpr std::uint16_t VPD_TYPE_WWPN = 8; // all others, keyed by WWPN

// location values.
constexpr std::uint8_t VPD_PRIMARY = 0;
constexpr std::uint8_t VPD_SECONDARY = 1;

struct VPDEntry {
    FixedText<24> address; // MAC address or WWPN, as in the file
    FixedText<32> fw_ver;  // "N/A" when the line has none
    FixedText<32> bc_ver;  // "N/A" when the line has none (always for MAC lines)
    FixedText<32> fid_ver;
    std::uint16_t cnaType = VPD_TYPE_WWPN;
    std::uint8_t location = VPD_PRIMARY;
    std::uint8_t updated = 0; // changed by an update during this run
};

// The soft VPD records of one run: the entries of both files in creation order
// (secondary file first) and the files' paths. A list, so that entries never move while
// adapters point at them through familyEntry.
struct SoftVpd {
    std::list<VPDEntry> entries;
    FixedText<254> primaryPath;   // under the program-files directory
    FixedText<254> secondaryPath; // the same under the secondary one, or empty
};

// Reads the secondary file (location 1), then the primary file (location 0), from the
// files' paths, and writes the list to the debug log. Returns 0.
int createCNAVpdList(SoftVpd& vpd);

// Appends the entries of one file. Returns 0, or 1 when the file was not read (empty
// path, missing file, open failure).
int readCNAVpdFile(SoftVpd& vpd, const char* path, std::uint8_t location);

// Returns 1 and points the adapter's familyEntry at the first entry whose address is the
// adapter's key (mac for NIC and iSCSI functions, wwpn otherwise); else 0.
int findVPDEntry(SoftVpd& vpd, HbaEntry* adapter);

// Records a successful download (isBootCode 1: boot code, 0: firmware) in the adapter's
// entry, or in a new primary entry. Returns 0, or 1 when no entry could be made.
int updateCNA_VPD_Data(SoftVpd& vpd, HbaEntry* adapter, int isBootCode);
// Sets the family the adapter's soft VPD line records to the null family "00.00.00",
// before its flash is rewritten; returns whether a line changed (an adapter without a
// line has nothing that claims a family).
bool clearCNA_VPD_Family(SoftVpd& vpd, HbaEntry* adapter);

// Copies the adapter's package versions and family into its entry and marks it updated.
void updateVPDEntry(HbaEntry* adapter, int isBootCode);

// Writes the secondary file, moves its updated entries to the primary location, then
// writes the primary file. Returns 0, or 1 when a file could not be rewritten (that file
// keeps its old content).
int updateCNAVPDFile(SoftVpd& vpd);

// Rewrites one file with the entries of its location, through a temporary file renamed
// over the old one. Returns 0 (also for an empty path, which writes nothing), or 1 when
// the file could not be rewritten; then its old content stays in place and a line on
// standard error names the file.
int updateSoftwareCNAVPDFile(const SoftVpd& vpd, const char* path, std::uint8_t location);

// Proves, before anything is downloaded, that both files (where their paths are set)
// could be rewritten now with the lines they hold. Returns 0, or 1 when one could not;
// each such file is named, with the reason, on standard error and in the debug log.
int checkCNAVPDFilesReplaceable(const SoftVpd& vpd);

// Writes the list to the debug log.
void printCNAEntries(const SoftVpd& vpd);

