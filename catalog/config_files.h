// Configuration files: the directory scan that lists configuration and payload file
// names, and the reader that turns configuration records into the run's list
// of ConfigEntry records.
#pragma once

#include "common/fixed_text.h"
#include "common/run_state.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One adapter model named by its four PCI ids, and the family ID it is to run.
struct ConfigEntry {
    std::uint32_t deviceId = 0;    // "pci_id"
    std::uint32_t vendorId = 0;    // "vendor_id"
    std::uint32_t subSystemId = 0; // "subsys_id"
    std::uint32_t subVendorId = 0; // "subven_id"
    FixedText<32> familyId;        // as written in the file, not validated
    FixedText<32> fileName;        // the configuration file the record came from
};

// The configuration records of a run, in reading order.
using ConfigList = std::vector<ConfigEntry>;

// Kinds of makeFileNameList.
constexpr int FILE_LIST_CONFIG = 0;
constexpr int FILE_LIST_PAYLOAD = 1;

// Longest value and family ID a record may carry; longer ones reject the record.
constexpr std::size_t CONFIG_VALUE_MAX = 15;

// Longest file name makeFileNameList lists; longer ones are skipped with a line.
constexpr std::size_t LISTED_NAME_MAX = 31;

// Whether the name is one of the kind's file names (configuration: containing .ini;
// payload: an image extension); its length is not looked at.
bool isFileNameOfKind(const std::string& name, int kind);

// Lists the configuration (kind 0) or payload (kind 1) file names of a directory
// (which ends in a separator), newest-first: the reverse of the enumeration order. The
// directory is enumerated in name order, letters compared without regard to case (as
// a Windows folder lists them), on every platform, so that one package gives one
// result everywhere.
// status becomes 1 when the directory could not be searched, 0 once the search started.
std::vector<std::string> makeFileNameList(const char* directory, int* status, int kind);

// Reads every listed file of configDir (which ends in a separator) into the list,
// counting files and valid records. status: 1 for an empty list, 18 after a file that
// could not be opened, 0 after one that could.
void readConfigFiles(const char* configDir, const std::vector<std::string>& fileNames, int* status,
                     ConfigList& list, RunTally& tally);

// Opens configDir + separator + name for text reading; null (status 18) on failure.
std::FILE* openConfigFile(const char* configDir, const char* name, int* status);

// Finds key in line, then the first delimiter after it, and copies the value behind it
// (leading spaces skipped) up to a blank, ';', CR, LF or the end. Returns 0 with the
// value, or 1 with "N/A" when there is no key, no delimiter or no value.
int getKeyValue(const char* line, const char* key, std::string& valueOut, char delimiter = '=');

// Parses an unsigned hexadecimal id (leading white space and "0x" allowed, stops at the
// first non-digit). Returns 0 when the value is nonzero, else 1 ("not in hex format").
int parseHexId(std::uint32_t* out, const char* text);

// Counts a valid record and appends it unless an entry with the same four ids exists:
// the first record for a model wins. A later record that gives the model another family
// ID is reported (debug file and standard error) with both files' names. Returns 0, or
// 1 when memory could not be had.
int addConfigEntry(ConfigList& list, RunTally& tally, std::uint32_t deviceId, std::uint32_t vendorId,
                   std::uint32_t subSystemId, std::uint32_t subVendorId, const char* familyId,
                   const char* fileName = "");

// Writes the list to the debug log.
void printConfigEntries(const ConfigList& list);

