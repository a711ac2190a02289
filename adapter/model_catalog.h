// The model catalogue: model names and marketing descriptions of the adapters whose
// VPD does not give them. This file owns the tables' shape and the lookups; the six
// product tables are in model_catalog_tables.cpp, the older boards' name lists in
// model_name_rules.h.
#pragma once

#include "common/fixed_text.h"

#include <cstddef>
#include <cstdint>

struct ModelQuery {
    std::uint32_t deviceId = 0;
    std::uint32_t vendorId = 0;
    std::uint32_t subsystemId = 0;
    std::uint32_t subsystemVendorId = 0;
    std::uint32_t modelCapacity = 0;
    std::uint32_t seriesDescriptionCapacity = 0;
    std::uint32_t descriptionCapacity = 0;
    std::uint32_t baseModelCapacity = 0;
    std::uint32_t multiFunction = 0;
    FixedText<256> model;
    FixedText<256> seriesDescription; // not used by the inventory
    FixedText<256> description;
    FixedText<256> baseModel; // not used by the inventory
};

// A row's multi-function key: either value matches, or only 0, or only 1.
constexpr std::int8_t kAnyFunctionCount = -1;

struct CatalogRow {
    std::uint16_t deviceId;
    std::uint16_t vendorId;
    std::uint16_t subsystemVendorId;
    std::uint16_t subsystemId;
    std::int8_t multiFunction; // kAnyFunctionCount, 0 or 1 (Arvo rows only)
    const char* model;
    const char* seriesDescription;
    const char* description;
    const char* baseModel; // null in the VX tables, which fill three texts
};

struct CatalogTable {
    const char* name;
    const CatalogRow* rows;
    std::size_t count;
    bool (*family)(std::uint32_t deviceId); // the device-ID test the table answers for
    const char* defaultBaseModel;           // baseModel when no row matches
};

// The six product tables, each in its list order.
extern const CatalogTable kFerroxCatalog;
extern const CatalogTable kFerroxE300Catalog;
extern const CatalogTable kArvoCatalog;
extern const CatalogTable kVX4Catalog;
extern const CatalogTable kVX3Catalog;
extern const CatalogTable kVX2Catalog;

// Default base name of an older adapter that consults no table.
extern const char* const kLegacyDefaultBaseModel;

// Fills texts from the first matching row; false (nothing filled) when the family
// test fails, a capacity is below 256, a key field is 0 or no row matches.
bool lookupCatalogTable(const CatalogTable& table, ModelQuery& query);

// Fills the key, capacities and multi-function flag of an adapter, then the texts of
// the table its kind selects (a miss leaves model and description empty and gives
// baseModel the family default). A VPD model name (without "/c") only goes into
// baseModel.
void lookupModel(std::uint32_t adapter, ModelQuery& query);

// Writes the adapter table's model name of a board whose VPD gave none: the family
// base name of converged boards, the Ferrox name lists, or the name table of older
// boards; "Unknown" when nothing matches.
void lookupModelName(std::uint32_t board, FixedText<80>& name);

// The generic base name of a converged adapter's family.
void familyBaseName(std::uint32_t board, FixedText<80>& name);
