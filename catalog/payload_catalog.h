// Adapter selection (which adapters a configuration entry describes) and the payload
// catalogue (every decodable image of the payload directory).
#pragma once

#include "adapter/hba_entry.h"
#include "catalog/config_files.h"
#include "catalog/family_id_table.h"
#include "common/run_state.h"
#include "image/clu_image.h"

#include <cstdint>
#include <string>
#include <vector>

// The payload catalogue of a run: every decodable image, in the payload folder's listing
// order.
using PayloadList = std::vector<CluImage>;

// Image-type tests.
inline bool isVexilImageType(std::uint32_t t) { return t == 2 || t == 3 || t == 4; }
inline bool isGrpImageType(std::uint32_t t) { return t == 32; }
inline bool isGrpG6ImageType(std::uint32_t t) { return t == 64; }
inline bool isCnaImageType(std::uint32_t t) {
    return isVexilImageType(t) || isGrpImageType(t) || isGrpG6ImageType(t);
}

// Marks the adapters that a configuration entry describes and gives them their
// package versions; returns the number matched.
int assignConfigEntries(AdapterList& adapters, const ConfigList& configs,
                        const FamilyIdTable& families, RunTally& tally);

// Takes the package firmware and boot-code versions of a family for an adapter;
// returns 0 when the family and a row for the adapter were found, else 1.
int getFamilyImageVersions(const FamilyIdTable& families, HbaEntry* adapter, const char* familyId);

// Longest path a payload file's download path may have, made absolute.
constexpr std::size_t PAYLOAD_PATH_MAX = 253;

// Decodes every listed file of payloadDir (which ends in a separator) into the
// catalogue, counting files and decoded images; an empty list sets status 1. Each
// image also gets the absolute path, file kind and AIF flag its download takes.
void makePayloadList(const char* payloadDir, const std::vector<std::string>& fileNames, int* status,
                     PayloadList& payloads, RunTally& tally);

// The first catalogue record of the given types whose version is the adapter's
// package version (boot code for PRG files, firmware otherwise); null when none.
const CluImage* findCatalogImage(const PayloadList& payloads, const HbaEntry& adapter,
                                 std::uint32_t imageType, std::uint32_t extType);

