// The model lookups (see model_catalog.h): which product table a board's kind selects,
// and the walk of the older boards' name rules, which reads the adapter family only
// when a rule asks for it. The tables are in model_catalog_tables.cpp.
#include "adapter/model_catalog.h"

#include "adapter/adapter_environment.h"
#include "adapter/adapter_family.h"
#include "adapter/board_family.h"
#include "adapter/model_name_rules.h"

namespace {

constexpr std::uint32_t kTextCapacity = 256;

// The management library, absent here, would add its own ids to the key.
constexpr std::uint32_t kManagementValue = 0;

bool modelNameFromVpd(const AdapterRecord& r) {
    return !adapterEnv.noVpdModelNames && (r.flags & ADAPTER_FLAG_MODEL_FROM_VPD) != 0;
}

bool rowMatches(const CatalogRow& row, const ModelQuery& q) {
    return row.deviceId == q.deviceId && row.vendorId == q.vendorId &&
           row.subsystemVendorId == q.subsystemVendorId && row.subsystemId == q.subsystemId &&
           (row.multiFunction == kAnyFunctionCount ||
            std::uint32_t(row.multiFunction) == q.multiFunction);
}

// The table a board's kind selects; null for older adapters outside the Arvo line.
const CatalogTable* tableFor(std::uint32_t board, const AdapterRecord& r) {
    if (isVX4Device(r.deviceId))
        return &kVX4Catalog;
    if (isVX3Device(r.deviceId))
        return &kVX3Catalog;
    if (isVX2Device(r.deviceId))
        return &kVX2Catalog;
    if (isFerroxConvergedBoard(board))
        return &kFerroxCatalog;
    if (isFerroxE300Board(board))
        return &kFerroxE300Catalog;
    if (isFerroxFCBoard(board))
        return &kFerroxCatalog;
    if (r.hardwareId == 0x1004)
        return &kArvoCatalog;
    return nullptr;
}

const char* nameByPair(const SubsystemName* list, std::size_t count, const AdapterRecord& r,
                       bool matchVendor) {
    for (std::size_t i = 0; i < count; ++i)
        if ((!matchVendor || list[i].subsystemVendorId == r.subsystemVendorId) &&
            list[i].subsystemId == r.subsystemId)
            return list[i].name;
    return nullptr;
}

const char* legacyName(std::uint32_t board, const AdapterRecord& r) {
    bool familyKnown = false, dualKnown = false;
    std::uint32_t family = 0;
    bool dual = false;
    for (std::size_t i = 0; i < kLegacyModelNameRuleCount; ++i) {
        const ModelNameRule& rule = kLegacyModelNameRules[i];
        if (rule.hardwareId != r.hardwareId)
            continue;
        if (rule.deviceId != 0 && rule.deviceId != r.deviceId)
            continue;
        if (rule.subsystemVendorId != 0 && rule.subsystemVendorId != r.subsystemVendorId)
            continue;
        if (rule.subsystemId != 0 && rule.subsystemId != r.subsystemId)
            continue;
        if (rule.family != 0) {
            // The family may read adapter memory, so it is asked once and only when needed.
            if (!familyKnown) {
                family = GetAdapterFamily(board);
                familyKnown = true;
            }
            if (rule.family != family)
                continue;
        }
        if (rule.channels != Channels::Any) {
            if (!dualKnown) {
                dual = hasPartnerFunction(board) || (r.flags & ADAPTER_FLAG_MULTI_FUNCTION) != 0;
                dualKnown = true;
            }
            if ((rule.channels == Channels::Dual) != dual)
                continue;
        }
        return rule.name;
    }
    return kUnknownModelName;
}

} // namespace

bool lookupCatalogTable(const CatalogTable& table, ModelQuery& q) {
    if (!table.family(q.deviceId))
        return false;
    if (q.modelCapacity < kTextCapacity || q.seriesDescriptionCapacity < kTextCapacity ||
        q.descriptionCapacity < kTextCapacity || q.baseModelCapacity < kTextCapacity)
        return false;
    if (q.deviceId == 0 || q.vendorId == 0 || q.subsystemId == 0 || q.subsystemVendorId == 0)
        return false;
    for (std::size_t i = 0; i < table.count; ++i) {
        const CatalogRow& row = table.rows[i];
        if (!rowMatches(row, q))
            continue;
        q.model = row.model;
        q.seriesDescription = row.seriesDescription;
        q.description = row.description;
        if (row.baseModel != nullptr)
            q.baseModel = row.baseModel;
        return true;
    }
    return false;
}

void lookupModel(std::uint32_t adapter, ModelQuery& q) {
    if (!isValidAdapter(adapter))
        return;
    const AdapterRecord& r = adapterEnv.table[adapter];
    q.deviceId = r.deviceId | kManagementValue;
    q.vendorId = r.vendorId | kManagementValue;
    q.subsystemId = r.subsystemId | kManagementValue;
    q.subsystemVendorId = r.subsystemVendorId | kManagementValue;
    q.modelCapacity = q.seriesDescriptionCapacity = q.descriptionCapacity = q.baseModelCapacity =
        kTextCapacity;
    q.multiFunction = (r.flags & ADAPTER_FLAG_MULTI_FUNCTION) != 0 ? 1 : 0;
    if (modelNameFromVpd(r)) {
        q.baseModel = r.modelName.view();
        return;
    }
    const CatalogTable* table = tableFor(adapter, r);
    if (table != nullptr && lookupCatalogTable(*table, q))
        return;
    q.model.clear();
    q.description.clear();
    q.baseModel = table != nullptr ? table->defaultBaseModel : kLegacyDefaultBaseModel;
}

void familyBaseName(std::uint32_t board, FixedText<80>& name) {
    if (!isValidBoard(board)) {
        name = "TV Converged Adapter";
        return;
    }
    const AdapterRecord& r = adapterEnv.table[board];
    const std::uint32_t deviceId = r.deviceId != 0 ? r.deviceId : kManagementValue;
    if (isVX2Device(deviceId))
        name = "TV-X2 Converged Adapter";
    else if (isVX3Device(deviceId))
        name = "TV-X3 Converged Adapter";
    else if (isVX4Device(deviceId))
        name = "TV-X4 Converged Adapter";
    else if (isFerroxDevice(deviceId))
        name =
            nameByPair(kFerroxOemConvergedPairs, kFerroxOemConvergedPairCount, r, true) != nullptr
                ? "TV-F2 OEM Converged Adapter"
                : "TV-F2 Converged Adapter";
    else
        name = "TV Converged Adapter";
}

void lookupModelName(std::uint32_t board, FixedText<80>& name) {
    if (!isValidBoard(board))
        return;
    const AdapterRecord& r = adapterEnv.table[board];
    if (modelNameFromVpd(r))
        return;
    const bool multi = (r.flags & ADAPTER_FLAG_MULTI_FUNCTION) != 0;
    if (isConvergedVpdBoard(board) || isFerroxConvergedBoard(board)) {
        familyBaseName(board, name);
    } else if (isFerroxE300Board(board)) {
        // Only the maker's own subsystem pairs carry an E300 name of their own.
        const char* listed = r.subsystemVendorId == 0x10DF
                                 ? nameByPair(kFerroxE300Names, kFerroxE300NameCount, r, true)
                                 : nullptr;
        name = listed != nullptr ? listed : multi ? kFerroxE300MultiName : kFerroxE300SingleName;
    } else if (!isFerroxFCBoard(board)) {
        name = legacyName(board, r);
    } else {
        const char* listed = nameByPair(kFerroxFCNames, kFerroxFCNameCount, r, true);
        name = listed != nullptr ? listed : multi ? kFerroxFCMultiName : kFerroxFCSingleName;
    }
}
