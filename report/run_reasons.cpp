// The failure and closing lines of a run (see run_reasons.h).
#include "report/run_reasons.h"

#include "adapter/hba_entry.h"
#include "common/text.h"
#include "common/result_codes.h"
#include "report/xml_writer.h"
#include "platform/platform.h"

#include <cstdio>
#include <set>
#include <cstring>
#include <string>

namespace {

const char* componentName(bool bootCode) { return bootCode ? "boot code" : "firmware"; }

std::string adapterName(const HbaEntry& e) {
    return joinText("adapter ", portNameOf(e), " (", e.model.view(), ")");
}

// Why a port whose identity could not be read is left alone, and what to do.
std::string identityAdvice(const char* unread) {
    return joinText("its ", std::strcmp(unread, "names") == 0 ? "port names" : "hardware revision",
                    " could not be read, so it was left as it is; check that the adapter's driver is loaded (the "
                    "debug log written with -g shows the answers), then run the program again");
}

// What to do about a component's failure, by its result code.
std::string whatToDo(const ComponentOutcome& o) {
    switch (o.result) {
    case ResultCode::UnknownFamily:
        return "the family-ID table has no family " + o.packagedFamily +
               " for this model; check the family_id of its configuration record";
    case ResultCode::InvalidBoard:
        if (const char* unread = o.adapter != nullptr ? unreadIdentity(*o.adapter) : nullptr)
            return identityAdvice(unread);
        return "the adapter is no longer where discovery found it; run the program again";
    case ResultCode::PayloadNotFound:
        return joinText("no payload file holds ", componentName(o.bootCode), " ", o.packagedVersion, " for model ",
                        o.adapter->model.view(), " (family ", o.packagedFamily, "); add that image to the payload folder");
    case ResultCode::ResetFailed:
        return "reboot the system, then run the program again";
    case ResultCode::FfvFailed:
        return "the family ID could not be recorded (see above, or the debug log written with -g)";
    case ResultCode::UnsupportedFirmware:
        return "this firmware must be updated with the Solvane Flash ISO";
    case ResultCode::SignatureMissing:
    case ResultCode::SignatureInvalid:
        return "use the firmware file as its maker signed it";
    default:
        return "the debug log written with -g shows the adapter's answers; run the program again";
    }
}

// "Update failed. The firmware download failed." and the like; a boot-code component
// says "boot code" where its table row has its own words.
std::string resultText(const ComponentOutcome& o) {
    const ResultCodeRow* row = findResultCode(codeNumber(o.result));
    if (o.bootCode && row != nullptr && row->bootCodeText != nullptr)
        return row->bootCodeText;
    char message[256];
    messageForCode(MESSAGE_KIND_EXECUTION, codeNumber(o.result), message, sizeof message);
    return message;
}

std::string idsOf(const HbaEntry& e) {
    char text[96];
    std::snprintf(text, sizeof text, "pci_id=%X vendor_id=%X subsys_id=%X subven_id=%X", e.deviceId, e.vendorId,
                  e.subDeviceId, e.subVendorId);
    return text;
}

std::string folderProblem(const char* what, const std::string& folder, bool exists, const char* names,
                          const char* option) {
    if (!exists)
        return std::string("the ") + what + " folder " + folder + " does not exist; give the folder that holds the " +
               what + " files with " + option;
    return std::string("no ") + what + " files (" + names + ") in " + folder + "; give the folder that holds them with " +
           option;
}

// The components an execution left as they were without failing: current ones (34)
// and those waiting for a reboot (35).
std::string nothingUpdated(const std::vector<const HbaEntry*>& selected) {
    unsigned current = 0, waiting = 0;
    for (const HbaEntry* e : selected) {
        for (const std::uint32_t result : {e->fwDownloadStatus, e->bcDownloadStatus}) {
            current += result == 34 ? 1 : 0;
            waiting += result == 35 ? 1 : 0;
        }
    }
    std::string text =
        joinText("nothing was updated: ", std::to_string(current), " component(s) already at the package's version");
    // While an update waits for a reboot, the reboot is what completes it: no advice
    // to download again.
    if (waiting > 0)
        return joinText(text, ", ", std::to_string(waiting),
                        " waiting for a reboot of the system; reboot it to complete the update");
    return joinText(text, "; -f downloads the package's images again");
}

std::string noSupportedAdapters(const RunContext& run) {
    std::set<std::string> models;
    for (const HbaEntry& e : run.adapters)
        models.insert(joinText(e.model.view(), " (", idsOf(e), ")"));
    std::string list;
    for (const std::string& m : models)
        list += (list.empty() ? "" : ", ") + m;
    return joinText("no adapter found is listed in the configuration files of ", run.paths.configDir.view(),
                    " (found: ", list, "); add a record with the adapter's four ids and its family_id");
}

std::string noAdapters(const RunEndFacts& facts) {
    if (!facts.libraryProblem.empty() && facts.libraryProblemSaid)
        return "no adapters found, because the adapter access library could not be used (see above)";
    if (!facts.libraryProblem.empty())
        return "no adapters found: " + facts.libraryProblem + "; install the adapter access library";
    std::string text = "no adapters found";
    if (!facts.adapterMessage.empty())
        text += " (" + facts.adapterMessage + ")";
    return text + "; check that the adapters are seated and their driver is loaded";
}

std::string incompleteDevices(const std::vector<const HbaEntry*>& selected) {
    std::string text;
    for (const HbaEntry* e : selected) {
        const std::string missing = missingInventoryParts(*e);
        if (missing.empty())
            continue;
        text += joinText(text.empty() ? "" : "; ", adapterName(*e), " lacks ", missing);
    }
    if (text.empty())
        return text;
    return "the inventory is incomplete: " + text +
           "; the adapter did not answer every question (the debug log written with -g shows which)";
}

} // namespace

namespace {

// What was sought and where: the model, family and version, and the files of the
// component's kind the package holds.
std::string missingImage(const ComponentPlan& plan) {
    std::string files;
    for (const PlanFileSeen& f : plan.filesSeen)
        files += joinText(files.empty() ? "" : ", ", f.file, " (", f.version,
                          f.otherImageType ? ", an image for other models" : "", ")");
    std::string text = joinText("no payload file holds ", componentName(plan.bootCode), " ", plan.toVersion,
                                " for model ", plan.adapter->model.view(), " (family ", plan.family, "); ");
    text += files.empty() ? std::string("the package has no file of this kind")
                          : joinText("looked at ", files);
    if (plan.filesSkipped)
        text += " (files that could not be read are reported above)";
    return text + "; add that image to the payload folder";
}

// What to do about a component the plan says cannot be updated.
std::string planAdvice(const ComponentPlan& plan) {
    switch (plan.action) {
    case PlanAction::NoImage: return missingImage(plan);
    case PlanAction::NoFamily:
        return "the family-ID table has no family " + plan.family +
               " for this model; check the family_id of its configuration record";
    case PlanAction::UnsupportedFirmware: return "this firmware must be updated with the Solvane Flash ISO";
    case PlanAction::NotRecordable: return "the soft VPD files cannot be written (see above)";
    case PlanAction::AdapterGone: return "the adapter is no longer where discovery found it; run the program again";
    case PlanAction::IdentityUnread: return identityAdvice(unreadIdentity(*plan.adapter));
    default: return {};
    }
}

// The card's other port, by name.
std::string otherPort(const HbaEntry& sibling) { return joinText("the card's other port ", portNameOf(sibling)); }

} // namespace

std::string planProblemLine(const ComponentPlan& plan) {
    if (plan.adapter == nullptr || !isPlanProblem(plan.action))
        return {};
    const std::string head = joinText("before updating: ", adapterName(*plan.adapter), ", ",
                                      componentName(plan.bootCode), " cannot be updated: ");
    if (plan.action == PlanAction::SameCard && plan.sameCardAs != nullptr)
        return head + otherPort(*plan.sameCardAs) + " cannot be updated (see above), and this port is updated with it";
    const std::string advice = planAdvice(plan);
    if (!advice.empty())
        return head + advice;
    char message[256];
    messageForCode(MESSAGE_KIND_EXECUTION, codeNumber(plan.result), message, sizeof message);
    return joinText(head, message, " (result ", std::to_string(codeNumber(plan.result)), ")");
}

std::string componentFailureReason(const ComponentOutcome& o, const ComponentPlan* plan) {
    const ResultCodeRow* row = findResultCode(codeNumber(o.result));
    if (o.adapter == nullptr || row == nullptr || row->outcome != CodeOutcome::Failed)
        return {};
    const std::string head = joinText(adapterName(*o.adapter), ", ", componentName(o.bootCode), ": ", resultText(o),
                                      " (result ", std::to_string(codeNumber(o.result)), "); ");
    // A port whose card was downloaded, or refused, through its other port: nothing
    // was sent to it, and running again changes nothing until that port's cause is
    // gone.
    if (plan != nullptr && plan->sameCardAs != nullptr && o.result == ResultCode::DownloadFailed &&
        o.payloadPath.empty())
        return head + "nothing was sent to this port: " + otherPort(*plan->sameCardAs) +
               " failed (see above), and this port is updated with it";
    if (plan != nullptr && o.result == ResultCode::PayloadNotFound && plan->action == PlanAction::NoImage)
        return head + missingImage(*plan);
    if (o.flashIncomplete)
        return head + "the card's flash was left incomplete: run the update again before the host is rebooted";
    return head + whatToDo(o);
}

std::string runEndReason(const RunContext& run, int status, const RunEndFacts& facts) {
    const std::string configDir(run.paths.configDir.view());
    const std::string payloadDir(run.paths.payloadDir.view());
    const bool execution = run.options.mode == Execution;
    switch (static_cast<ResultCode>(status)) {
    case ResultCode::NothingUpdated:
        return execution ? nothingUpdated(facts.selected) : std::string();
    case ResultCode::UpdatesFailed:
    case ResultCode::DevicesIncomplete:
    case ResultCode::SomeUpdatesFailed:
    case ResultCode::SomeDevicesIncomplete:
        if (facts.selectionMissed)
            return joinText("no supported adapter has the port name ", run.options.wwn.view(),
                            " given with -wwn; winmarlo -inv lists the adapters' port names");
        return execution ? std::string() : incompleteDevices(facts.selected);
    case ResultCode::NoSupportedAdapters:
        return noSupportedAdapters(run);
    case ResultCode::NoConfigFiles:
        return folderProblem("configuration", configDir, facts.configFolderExists, "names containing .ini", "-c");
    case ResultCode::NoConfigEntries:
        return "no valid configuration record in the configuration files of " + configDir +
               " (each rejected line is reported above); a record is five lines: pci_id, vendor_id, subsys_id, "
               "subven_id and family_id";
    case ResultCode::NoPayloadFiles:
        return folderProblem("payload", payloadDir, facts.payloadFolderExists, "names containing .grp, .prg or .all",
                             "-p");
    case ResultCode::NoPayloadEntries:
        return "no payload file in " + payloadDir + " could be read (each is reported above)";
    case ResultCode::ArgumentLength:
        if (!facts.pathProblem.empty())
            return facts.pathProblem;
        [[fallthrough]];
    case ResultCode::UnknownArgument:
    case ResultCode::InvalidArgument:
        return (facts.argumentProblem.empty() ? std::string("the command line is not valid") : facts.argumentProblem) +
               "; winmarlo -h lists the options";
    case ResultCode::NoAdapters:
        return noAdapters(facts);
    case ResultCode::InvalidExtension:
        return std::string(run.options.imageFile.view()) +
               " is no image file name: it must contain .ALL, .GRP or .PRG (in either case)";
    case ResultCode::ImageDecodeFailed:
        if (!facts.imageFileIsOrdinary)
            return {};
        return joinText("the version of ", run.options.imageFile.view(), " could not be decoded: ",
                        facts.imageFileExists ? "it is no valid image of the kind its name says"
                                              : "there is no such file");
    default:
        return {};
    }
}

std::string startFailureReason(int status) {
    switch (static_cast<ResultCode>(status)) {
    case ResultCode::NotAdministrator:
        return platform::kIsWindows
                   ? "this program changes adapter firmware and must run as an administrator; run it again from "
                     "an elevated prompt"
                   : "this program changes adapter firmware and must run as root; run it again as root";
    case ResultCode::TooManyArguments:
        return "more than 19 arguments follow the program's name; give at most 19";
    case ResultCode::OutOfMemory:
        return "memory could not be had at start-up; close other programs and run it again";
    case ResultCode::EnumerationInconsistent:
        return "the adapter access library answered the adapter enumeration inconsistently; run the program again";
    case ResultCode::PciHeaderUnreadable:
        return "the PCI configuration header of an adapter could not be read; check the adapters' driver";
    default:
        return {};
    }
}
