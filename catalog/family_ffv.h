// Owns the family-ID logic of each adapter: its family ID from the soft VPD files,
// checked against the family-ID table, and the FFV it keeps in flash (read through
// adapter/ffv_access.h) checked the same way.
#pragma once

#include "adapter/ffv_access.h"
#include "catalog/family_id_table.h"
#include "catalog/soft_vpd_file.h"

#include <cstdint>

struct HbaEntry;

constexpr const char* kNullFamilyId = "00.00.00";

// Writes the text into familyId, inventoryFwVersion and inventoryBcVersion.
void setAdapterFamilyId(HbaEntry* adapter, const char* text);

// 1 when the family ID's table row for the adapter has its versions, 0 when it
// contradicts them (or the text is empty), 2 when the family is not in the table.
int isValidFamilyID(const FamilyIdTable& families, HbaEntry* adapter, const char* familyId);

// Sets the adapter's ffv from the card when ffvSupported is set.
void assignAdapterFFV(const FamilyIdTable& families, HbaEntry* adapter);

// Sets familyId and familyEntry from the soft VPD entries of one location (0 primary,
// 1 secondary).
void assignSoftVPDFromLocation(const FamilyIdTable& families, SoftVpd& vpd, std::uint8_t location,
                               HbaEntry* adapter);

// Sets familyId and familyEntry from the soft VPD list, primary entries first.
void assignFamilyID(const FamilyIdTable& families, SoftVpd& vpd, HbaEntry* adapter);
