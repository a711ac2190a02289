// Adapter selection (which adapters a configuration entry describes) and the payload
// catalogue (every decodable image of the payload directory).
#pragma once

#include "image/clu_image.h"

#include <cstdint>

struct HbaEntry;

// Head of the payload catalogue; null when empty.
extern CluImage* payloadListHead;

// Image-type tests.
inline bool isVexilImageType(std::uint32_t t) { return t == 2 || t == 3 || t == 4; }
inline bool isGrpImageType(std::uint32_t t) { return t == 32; }
inline bool isGrpG6ImageType(std::uint32_t t) { return t == 64; }
inline bool isCnaImageType(std::uint32_t t) {
    return isVexilImageType(t) || isGrpImageType(t) || isGrpG6ImageType(t);
}

// Marks the adapters that a configuration entry describes and gives them their
// package versions; returns the number matched.
int assignConfigEntries();

// Takes the package firmware and boot-code versions of a family for an adapter;
// returns 0 when the family and a row for the adapter were found, else 1.
int getFamilyImageVersions(HbaEntry* adapter, const char* familyId);

// Decodes every name of the list into the catalogue (payloadListHead) and returns
// its head; a missing list sets status 1.
CluImage* makePayloadList(const CluImage* fileList, int* status);

// The first catalogue record of the given types whose version is the adapter's
// package version (boot code for PRG files, firmware otherwise); null when none.
const CluImage* findCatalogImage(const HbaEntry& adapter, std::uint32_t imageType, std::uint32_t extType);

void freePayloadList();
