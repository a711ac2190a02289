// The built-in family-ID table: for each released family ID, the firmware and boot-code
// versions that belong to each adapter model of the family.
#pragma once

#include "common/fixed_text.h"

#include <cstdint>
#include <vector>

struct HbaEntry;

// One adapter model within a family.
struct FamilyIdEntry {
    std::uint32_t deviceId = 0;
    std::uint32_t vendorId = 0;
    std::uint32_t subVendorId = 0;
    std::uint32_t subSystemId = 0;
    FixedText<32> fwVersion; // in the form the decoded image version takes
    FixedText<32> bcVersion; // legacy form; "0" where the model has no boot code
};

// One family ID and its rows.
struct FamilyIdGroup {
    FixedText<32> familyId;
    std::vector<FamilyIdEntry> rows;
};

// The table of one run: its groups newest family first, the order lookups take.
struct FamilyIdTable {
    std::vector<FamilyIdGroup> groups;
};

// Builds the table (replacing any earlier one) and writes it to the debug log. Returns
// 0, or 1 when memory could not be had; then the table is left empty.
int makeFamilyIdTable(FamilyIdTable& table);

// The first group, newest first, whose family ID equals the text exactly, or null.
const FamilyIdGroup* findFamilyIdGroup(const FamilyIdTable& table, const char* familyId);

// True when the row's four ids equal the adapter's four PCI ids.
bool familyIdRowMatches(const FamilyIdEntry& row, const HbaEntry& adapter);

// The first row of the group that matches the adapter, or null.
const FamilyIdEntry* findFamilyIdRow(const FamilyIdGroup* group, const HbaEntry& adapter);

// Writes the table to the debug log.
void printFamilyIds(const FamilyIdTable& table);

