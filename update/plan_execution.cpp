// The plan of an update (see plan_execution.h).
#include "update/plan_execution.h"

#include "adapter/hba_entry.h"
#include "catalog/config_files.h"
#include "log/debug_log.h"
#include "platform/platform.h"
#include "update/execution.h"
#include "update/update_adapter.h"

#include <optional>
#include <string>
#include <vector>


namespace {

PlanAction actionOf(ResultCode result) {
    switch (result) {
    case ResultCode::Current: return PlanAction::Current;
    case ResultCode::PayloadNotFound: return PlanAction::NoImage;
    case ResultCode::UnknownFamily: return PlanAction::NoFamily;
    case ResultCode::UnsupportedFirmware: return PlanAction::UnsupportedFirmware;
    case ResultCode::FfvFailed: return PlanAction::NotRecordable;
    case ResultCode::InvalidBoard: return PlanAction::AdapterGone;
    default: return PlanAction::Refused;
    }
}

// The payload files that could hold the component's image: those of its kind
// (extension), with the version each holds.
std::vector<PlanFileSeen> filesOfKind(const PayloadList& payloads, std::uint32_t component,
                                      const std::string& sought, std::uint32_t imageType) {
    std::vector<PlanFileSeen> seen;
    for (const CluImage& image : payloads)
        if (image.extType == component)
            seen.push_back({image.filename.str(), image.decodedVersion.str(),
                            image.decodedVersion == sought && image.imageType != imageType});
    return seen;
}

// The first port of the same card planned before this one.
const HbaEntry* plannedSibling(const RunPlan& plan, const HbaEntry& entry) {
    if (isLegacyEntry(entry))
        return nullptr;
    for (const ComponentPlan& p : plan)
        if (p.adapter != &entry && p.adapter->groupNumber == entry.groupNumber && !p.bootCode)
            return p.adapter;
    return nullptr;
}

// Whether the payload folder holds files of the payload kinds the catalogue could not
// take (a name too long, an image that could not be decoded; each said when read).
bool someFileUnread(const RunContext& run) {
    const std::optional<std::vector<std::string>> names = platform::listDirectory(run.paths.payloadDir.str());
    if (!names)
        return false;
    std::size_t ofKind = 0;
    for (const std::string& name : *names)
        ofKind += isFileNameOfKind(name, FILE_LIST_PAYLOAD) ? 1 : 0;
    return ofKind > run.payloads.size();
}

} // namespace

RunPlan planExecution(const RunContext& run) {
    const DebugLogAside aside;
    // The decision marks the card's ports of a component it cannot update; those marks
    // go to a copy, so that the execution decides afresh.
    RunContext scratch;
    scratch.options = run.options;
    scratch.paths = run.paths;
    scratch.adapters = run.adapters;
    scratch.payloads = run.payloads;
    scratch.softVpdWriteBlocked = run.softVpdWriteBlocked;
    RunPlan plan;
    for (std::size_t i = 0; i < run.adapters.size(); ++i) {
        const HbaEntry& real = run.adapters[i];
        if (!isSelected(real, run.options))
            continue;
        HbaEntry& entry = scratch.adapters[i];
        std::vector<std::uint32_t> components{firmwareComponentOf(entry)};
        if (isLegacyEntry(entry))
            components.push_back(PRGext);
        for (const std::uint32_t component : components) {
            ComponentPlan p;
            p.adapter = &real;
            p.bootCode = component == PRGext;
            p.fromVersion = p.bootCode ? real.bcVersion.str() : real.fwVersion.str();
            p.toVersion = p.bootCode ? real.packagedBcVersion.str() : real.packagedFwVersion.str();
            p.family = real.packagedFamilyId.str();
            p.sameCardAs = plannedSibling(plan, real);
            if (!p.bootCode && real.adapterInRebootState != 0) {
                p.action = PlanAction::PendingReboot;
                p.result = ResultCode::RebootPending;
                plan.push_back(std::move(p));
                continue;
            }
            const UpdateDecision decision = decideUpdate(scratch, entry, component);
            if (decision.download) {
                p.action = PlanAction::Update;
                p.file = decision.payload->path;
                if (decision.interim != nullptr)
                    p.interimFile = decision.interim->path;
            } else {
                p.result = decision.result;
                p.action = actionOf(decision.result);
                if (p.action == PlanAction::AdapterGone && unreadIdentity(entry) != nullptr)
                    p.action = PlanAction::IdentityUnread;
                if (p.sameCardAs != nullptr && p.action == PlanAction::Refused)
                    p.action = PlanAction::SameCard;
            }
            if (p.action == PlanAction::NoImage) {
                p.filesSeen =
                    filesOfKind(run.payloads, component, p.toVersion, p.bootCode ? FC_IMAGE : rowOf(real).imageType);
                p.filesSkipped = someFileUnread(run);
            }
            plan.push_back(std::move(p));
        }
    }
    return plan;
}

const ComponentPlan* findComponentPlan(const RunPlan& plan, const HbaEntry* adapter, bool bootCode) {
    for (const ComponentPlan& p : plan)
        if (p.adapter == adapter && p.bootCode == bootCode)
            return &p;
    return nullptr;
}
