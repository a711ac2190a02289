// The JSON summary (see json_summary.h): records copied as the run goes, rendered with
// the exit status at the end.
#include "report/json_summary.h"

#include "common/utc_time.h"
#include "common/result_codes.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace {

using Json = nlohmann::ordered_json;

std::string hex4(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

SummaryAdapter identityOf(const HbaEntry& e) {
    SummaryAdapter a;
    a.portName = portNameOf(e);
    a.serialNumber = e.serialNumber.str();
    a.model = e.modelDesc.str();
    a.wwpn = e.wwpn.str();
    a.namesUnreadable = e.namesStatus == WWN_NAMES_UNREADABLE;
    a.mac = e.mac.str();
    a.vendorId = e.vendorId;
    a.deviceId = e.deviceId;
    a.subVendorId = e.subVendorId;
    a.subDeviceId = e.subDeviceId;
    a.domain = e.domain;
    a.bus = e.busNumber;
    a.device = e.device;
    a.function = e.function;
    return a;
}

Json versionJson(const SummaryVersion& v) { return Json{{"version", v.version}, {"family", v.family}}; }

Json componentJson(const SummaryComponent& c) {
    Json j;
    j["component"] = c.bootCode ? "bootCode" : "firmware";
    j["installed"] = versionJson(c.installed);
    j["packaged"] = c.packaged ? versionJson(*c.packaged) : Json(nullptr);
    if (c.resultCode) {
        char message[128];
        componentStatus(*c.resultCode, c.bootCode, message, sizeof message);
        j["resultCode"] = *c.resultCode;
        j["outcome"] = outcomeWord(*c.resultCode);
        j["message"] = message;
        j["seconds"] = static_cast<double>(static_cast<long long>(c.seconds * 1000 + 0.5)) / 1000;
        if (c.flashIncomplete)
            j["flashIncomplete"] = true;
    }
    j["pendingReboot"] = c.pendingReboot;
    if (c.action) {
        j["action"] = planActionWord(*c.action);
        if (!c.file.empty())
            j["file"] = c.file;
    }
    return j;
}

// The plan's part of a component: its action and file.
void takePlan(SummaryComponent& c, const RunPlan& plan, const HbaEntry& adapter) {
    for (const ComponentPlan& p : plan)
        if (p.adapter == &adapter && p.bootCode == c.bootCode) {
            c.action = p.action;
            c.file = p.file;
        }
}

Json adapterJson(const SummaryAdapter& a) {
    Json j;
    j["portName"] = a.portName;
    j["serialNumber"] = a.serialNumber;
    j["model"] = a.model;
    if (a.namesUnreadable)
        j["namesUnreadable"] = true;
    else if (!a.wwpn.empty() && a.wwpn != "0000000000000000")
        j["wwpn"] = a.wwpn;
    if (!a.mac.empty() && a.mac != "000000000000")
        j["mac"] = a.mac;
    char location[48];
    std::snprintf(location, sizeof location, "%04X:%02X:%02X.%X", a.domain, a.bus, a.device, a.function);
    j["pci"] = Json{{"vendorId", hex4(a.vendorId)},
                    {"deviceId", hex4(a.deviceId)},
                    {"subVendorId", hex4(a.subVendorId)},
                    {"subDeviceId", hex4(a.subDeviceId)},
                    {"location", location}};
    Json components = Json::array();
    for (const SummaryComponent& c : a.components)
        components.push_back(componentJson(c));
    j["components"] = std::move(components);
    if (a.notAttempted)
        j["notAttempted"] = true;
    if (!a.supported) {
        j["supported"] = false;
        j["reason"] = a.unsupportedWhy;
    }
    return j;
}

} // namespace

void summaryAddNotAttempted(JsonSummary& summary, const HbaEntry& adapter, const RunPlan& plan) {
    summaryAddInventory(summary, adapter, plan);
    summary.adapters.back().notAttempted = true;
    summary.notAttempted += 1;
}

void summaryAddUnsupported(JsonSummary& summary, const HbaEntry& adapter, const std::string& why) {
    SummaryAdapter a = identityOf(adapter);
    SummaryComponent firmware;
    firmware.installed = {adapter.fwVersion.str(), adapter.inventoryFwVersion.str()};
    a.components.push_back(std::move(firmware));
    a.supported = false;
    a.unsupportedWhy = why;
    summary.adapters.push_back(std::move(a));
}

const char* planActionWord(PlanAction action) {
    switch (action) {
    case PlanAction::Update: return "update";
    case PlanAction::Current: return "current";
    case PlanAction::PendingReboot: return "pendingReboot";
    case PlanAction::NoImage: return "noImage";
    case PlanAction::NoFamily: return "noFamily";
    case PlanAction::UnsupportedFirmware: return "unsupportedFirmware";
    case PlanAction::NotRecordable: return "notRecordable";
    case PlanAction::AdapterGone: return "adapterGone";
    case PlanAction::IdentityUnread: return "identityUnread";
    case PlanAction::SameCard: return "sameCard";
    case PlanAction::Refused: break;
    }
    return "refused";
}

void summaryAddInventory(JsonSummary& summary, const HbaEntry& e, const RunPlan& plan) {
    SummaryAdapter a = identityOf(e);
    for (const bool bootCode : {false, true}) {
        SummaryComponent c;
        c.bootCode = bootCode;
        c.installed = {bootCode ? e.bcVersion.str() : e.fwVersion.str(),
                       bootCode ? e.inventoryBcVersion.str() : e.inventoryFwVersion.str()};
        const std::string packaged = bootCode ? e.packagedBcVersion.str() : e.packagedFwVersion.str();
        if (packaged != "NONE")
            c.packaged = SummaryVersion{packaged, e.packagedFamilyId.str()};
        // The reboot state is the card's; an execution leaves its firmware alone then.
        c.pendingReboot = !bootCode && e.adapterInRebootState != 0;
        takePlan(c, plan, e);
        a.components.push_back(std::move(c));
    }
    summary.adapters.push_back(std::move(a));
}

void summaryAddOutcomes(JsonSummary& summary, const std::vector<ComponentOutcome>& outcomes, const RunPlan& plan) {
    if (outcomes.empty() || outcomes.front().adapter == nullptr)
        return;
    SummaryAdapter a = identityOf(*outcomes.front().adapter);
    for (const ComponentOutcome& o : outcomes) {
        SummaryComponent c;
        c.bootCode = o.bootCode;
        c.installed = {o.installedVersion, o.installedFamily};
        if (o.packagedVersion != "NONE")
            c.packaged = SummaryVersion{o.packagedVersion, o.packagedFamily};
        c.resultCode = codeNumber(o.result);
        c.seconds = o.seconds;
        c.flashIncomplete = o.flashIncomplete;
        c.pendingReboot = o.result == ResultCode::RebootPending;
        takePlan(c, plan, *o.adapter);
        summary.flashIncomplete = summary.flashIncomplete || o.flashIncomplete;
        a.components.push_back(std::move(c));
    }
    summary.adapters.push_back(std::move(a));
}

const char* outcomeWord(std::int32_t resultCode) {
    if (resultCode == codeNumber(ResultCode::Current))
        return "current";
    const ResultCodeRow* row = findResultCode(resultCode);
    if (row == nullptr)
        return "failed";
    switch (row->outcome) {
    case CodeOutcome::Success: return "success";
    case CodeOutcome::Pending: return "pending";
    case CodeOutcome::Failed: break;
    }
    return "failed";
}

std::string exitMeaning(bool execution, int exitStatus) {
    switch (static_cast<ResultCode>(exitStatus)) {
    case ResultCode::Success: return execution ? "Updated; no update failed." : "Inventory complete.";
    case ResultCode::NothingUpdated: return "Nothing needed updating.";
    case ResultCode::UpdatesFailed: return "Every update failed, or the -wwn selection matched no adapter.";
    case ResultCode::DevicesIncomplete: return "Every device is incomplete, or the -wwn selection matched no adapter.";
    case ResultCode::SomeUpdatesFailed: return "Some updates failed.";
    case ResultCode::SomeDevicesIncomplete: return "Some devices are incomplete.";
    default: break;
    }
    const ResultCodeRow* row = findResultCode(exitStatus);
    if (row != nullptr && row->text != nullptr)
        return row->text;
    return execution ? "Update failed." : "Inventory failed.";
}

std::string renderSummary(const JsonSummary& summary, int exitStatus, bool rebootRequired,
                          std::chrono::system_clock::time_point finished) {
    Json j;
    j["schema"] = "winmarlo-summary/1";
    j["program"] = Json{{"name", "winmarlo"}, {"version", summary.programVersion}};
    j["mode"] = summary.execution ? "execution" : "inventory";
    j["started"] = utcTimestamp(summary.started);
    j["finished"] = utcTimestamp(finished);
    j["exitStatus"] = exitStatus;
    j["exitMessage"] = exitMeaning(summary.execution, exitStatus);
    if (summary.notAttempted > 0)
        j["exitMessage"] = "Stopped on request: " + std::to_string(summary.notAttempted) +
                           " adapter(s) not attempted. " + exitMeaning(summary.execution, exitStatus);
    if (!summary.endReason.empty())
        j["endReason"] = summary.endReason;
    j["rebootRequired"] = rebootRequired;
    if (summary.execution)
        j["flashIncomplete"] = summary.flashIncomplete;
    Json adapters = Json::array();
    for (const SummaryAdapter& a : summary.adapters)
        adapters.push_back(adapterJson(a));
    j["adapters"] = std::move(adapters);
    // Texts from adapters are not always UTF-8: a byte that is not is replaced, never thrown over.
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}
