// The run driver: options, output files, discovery, then one mode; it wires the
// execution to the report and turns the run's counters into the exit status.
#include "app/run_driver.h"

#include "adapter/dfc_library.h"
#include "adapter/hba_entry.h"
#include "app/options.h"
#include "app/output_files.h"
#include "app/run_feedback.h"
#include "catalog/config_files.h"
#include "catalog/family_id_table.h"
#include "catalog/payload_catalog.h"
#include "catalog/soft_vpd_file.h"
#include "image/clu_image.h"
#include "image/file_extension.h"
#include "image/verify_fw_file.h"
#include "inventory/hba_inventory.h"
#include "common/text.h"
#include "log/console.h"
#include "log/debug_log.h"
#include "platform/platform.h"
#include "report/json_summary.h"
#include "common/result_codes.h"
#include "report/text_report.h"
#include "report/xml_writer.h"
#include "update/execution.h"
#include "update/rollback.h"
#include "update/plan_execution.h"
#include "update/run_status.h"
#include "update/update_adapter.h"

#include <chrono>
#include <cstdio>
#include <cctype>
#include <vector>
#include <string>
#include <string_view>

RunOutcome discoveredOutcome(const RunContext& run) {
    RunOutcome outcome;
    outcome.execution = run.options.mode == Execution;
    outcome.haveAdapters = !run.adapters.empty();
    outcome.selected = selectedAdapters(run);
    return outcome;
}

void settleOutcome(const RunContext& run, RunOutcome& outcome) {
    outcome.precondition = preconditionStatus(run.tally, outcome.haveAdapters, outcome.execution);
    const bool proceeds = outcome.precondition == ResultCode::Success;
    outcome.selectionMissed = !run.options.wwn.empty() && (!proceeds || outcome.selected.empty());
    outcome.devicesIncomplete = 0;
    if (proceeds && !outcome.execution)
        for (const HbaEntry* e : outcome.selected)
            outcome.devicesIncomplete += missingInventoryParts(*e).empty() ? 0u : 1u;
}

void writeExecution(RunContext& run, RunOutcome& outcome, XmlDocument& document, const AdapterOutcomeSink& watcher) {
    const bool opened = openExecutionDocument(document, run, outcome);
    if (outcome.precondition == ResultCode::Success)
        runExecution(run, outcome, [&document, &watcher](const AdapterOutcome& adapter) {
            if (watcher)
                watcher(adapter);
            writeExecutionDevice(document, adapter);
        });
    closeExecutionDocument(document, run, outcome, opened);
}

void assignGroupNumbers(AdapterList& adapters) {
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        const HbaEntry& e = adapters[i];
        if (e.groupNumber != HBA_GROUP_NONE)
            continue;
        for (std::size_t j = i; j < adapters.size(); ++j) {
            HbaEntry& other = adapters[j];
            if (other.groupNumber == HBA_GROUP_NONE && other.busNumber == e.busNumber &&
                other.domain == e.domain && equalsIgnoreCase(other.serialNumber.view(), e.serialNumber.view()))
                other.groupNumber = group;
        }
        ++group;
    }
}

std::string exitUtility(RunContext& run, XmlDocument& document) {
    debugPrint("\n[Exiting]\n");
    std::string documentFailure;
    if (!run.adapters.empty()) {
        debugPrint("Freeing HBA List\n");
        run.adapters.clear();
    }
    if (!run.configs.empty()) {
        debugPrint("Freeing Config List\n");
        run.configs.clear();
    }
    if (document.hasFile()) {
        debugPrint("Closing output file = %s\n", run.options.outputFile.c_str());
        documentFailure = document.close();
    }
    if (!run.families.groups.empty()) {
        debugPrint("Freeing Family ID List\n");
        run.families.groups.clear();
    }
    // Adapters point into the soft VPD list; it goes after them, without a message,
    // as does the payload catalogue.
    run.softVpd.entries.clear();
    run.payloads.clear();
    if (debugFile() != nullptr)
        debugPrint("Closing debug file = %s\n", run.options.debugFile.c_str());
    displayTime();
    closeDebugFile();
    return documentFailure;
}

namespace {

// Closes the run (exitUtility) and gives its exit status: a document that did not
// reach its file whole ends the run with the output-file status, whatever the run's
// own result, so that a cut document is never taken for success. A debug log that
// fails only says so on standard error: it narrates, the document and the status are
// the outcome.
int closeRun(RunContext& run, XmlDocument& document, int result) {
    const std::string documentFailure = exitUtility(run, document);
    if (documentFailure.empty())
        return result;
    RunOutcome cut;
    cut.documentIncomplete = true;
    const int status = exitStatus(cut);
    sayOnStandardError("the XML document %s could not be written completely (%s); exit status %d",
                       run.options.outputFile.c_str(), documentFailure.c_str(), status);
    return status;
}

// Why the run ended, in the summary's word for scripts: the run went through its
// adapters ("completed"), was stopped, or ended before them and why.
std::string runEndWord(const RunOutcome& outcome, int status) {
    switch (static_cast<ResultCode>(status)) {
    case ResultCode::NoAdapters: return dfcLoadProblem().empty() ? "noAdapters" : "libraryMissing";
    case ResultCode::NoConfigFiles:
    case ResultCode::NoConfigEntries: return "noConfiguration";
    case ResultCode::NoPayloadFiles:
    case ResultCode::NoPayloadEntries: return "noPackage";
    case ResultCode::NoSupportedAdapters: return "noSupportedAdapters";
    case ResultCode::DebugFileFailed:
    case ResultCode::OutputFileFailed: return outcome.documentIncomplete ? "documentIncomplete" : "outputFileFailed";
    case ResultCode::UnknownArgument:
    case ResultCode::ArgumentLength:
    case ResultCode::InvalidArgument: return "argumentError";
    default: break;
    }
    if (outcome.untouched > 0)
        return "stopped";
    if (outcome.selectionMissed)
        return "selectionMissed";
    return "completed";
}

// Why the package does not update an adapter, for the summary.
std::string unsupportedWhy(const HbaEntry& e) {
    if (!isConvergedEntry(e) && isUnsupportedAdapterFirmware(e.fwVersion.view()))
        return "its firmware " + e.fwVersion.str() + " cannot be updated by this program (the Solvane Flash ISO can)";
    return formatText("no configuration record lists its ids (pci_id=%X vendor_id=%X subsys_id=%X subven_id=%X)",
                      e.deviceId, e.vendorId, e.subDeviceId, e.subVendorId);
}

// The JSON summary of the run's outcome: the inventory's Devices, or the execution's
// updated adapters and those a stop left untouched; then the adapters the package does
// not update.
JsonSummary summaryOf(const RunContext& run, const RunOutcome& outcome, std::chrono::system_clock::time_point started) {
    JsonSummary json;
    json.execution = outcome.execution;
    json.started = started;
    json.programVersion = formatText("%d.%d.%d.%d", kVersionMajor, kVersionMinor, kVersionRelease, kVersionBuild);
    if (outcome.execution) {
        for (const AdapterOutcome& adapter : outcome.updated)
            summaryAddOutcomes(json, adapter, outcome.plan);
        for (const HbaEntry* e : outcome.selected) {
            bool finished = false;
            for (const AdapterOutcome& adapter : outcome.updated)
                finished = finished || (!adapter.empty() && adapter.front().adapter == e);
            if (!finished && outcome.untouched > 0)
                summaryAddNotAttempted(json, *e, outcome.plan);
        }
    } else if (outcome.precondition == ResultCode::Success) {
        for (const HbaEntry* e : outcome.selected)
            summaryAddInventory(json, *e, outcome.plan);
    }
    if (outcome.precondition == ResultCode::Success || outcome.precondition == ResultCode::NoSupportedAdapters)
        for (const HbaEntry& e : run.adapters)
            if (e.supported != 1 && (run.options.wwn.empty() || e.wwpn.view() == run.options.wwn.view()))
                summaryAddUnsupported(json, e, unsupportedWhy(e));
    return json;
}

// Writes the JSON summary when -json asked for one, with the run's final status. A
// summary that cannot be written is said on standard error; the status stays the
// run's own, which the XML document also carries.
void writeSummaryFile(const RunOptions& options, JsonSummary json, const RunOutcome& outcome, int status,
                      bool rebootRequired) {
    if (options.jsonFile.empty())
        return;
    json.endReason = runEndWord(outcome, status);
    const std::string path = options.jsonFile.str();
    std::string why;
    if (platform::writeFileAtomically(path, renderSummary(json, status, rebootRequired, std::chrono::system_clock::now()),
                                      &why) != 0) {
        sayOnStandardError("the JSON summary %s could not be written (%s); exit status %d stands", path.c_str(),
                           why.c_str(), status);
    }
}

// Whether an adapter the run worked on waits for a reboot of the system from an
// earlier update: an inventory says so as an execution does.
bool pendingReboot(const RunOutcome& outcome) {
    for (const HbaEntry* e : outcome.selected)
        if (e->adapterInRebootState != 0)
            return true;
    return false;
}

int runImageQuery(RunContext& run, XmlDocument& document) {
    const RunOptions& options = run.options;
    std::uint32_t extType = 0;
    if (isValidFileExtension(options.imageFile.c_str(), &extType, EXT_MODE_ANY) != 0) {
        debugPrint("OPEN_FILE_ERROR - Invalid extension. Image file = %s, Status = %d\n",
                   options.imageFile.c_str(), codeNumber(ResultCode::InvalidExtension));
        return closeRun(run, document, codeNumber(ResultCode::InvalidExtension));
    }
    CluImage record{};
    record.extType = extType;
    if (verifyFwFile(options.imageFile.c_str(), &record) != 0) {
        debugPrint("ERROR - Image decode failed. Image file = %s, Status = %d\n",
                   options.imageFile.c_str(), codeNumber(ResultCode::ImageDecodeFailed));
        return closeRun(run, document, codeNumber(ResultCode::ImageDecodeFailed));
    }
    std::printf("%s\n", record.decodedVersion.c_str());
    std::fflush(stdout);
    return closeRun(run, document, codeNumber(ResultCode::Success));
}

// The discovery phase shared by inventory and execution, in its fixed order: the soft
// VPD list, the family-ID table, the adapter list and its groups, the configuration
// files, the selection of adapters, and the initial report.
void discoverAndSelect(RunContext& run) {
    createCNAVpdList(run.softVpd);
    makeFamilyIdTable(run.families);
    makeHbaList(run);
    assignGroupNumbers(run.adapters);
    int folderStatus = 0;
    const std::vector<std::string> names =
        makeFileNameList(run.paths.configDir.c_str(), &folderStatus, FILE_LIST_CONFIG);
    if (folderStatus == 0) {
        int readStatus = 0;
        readConfigFiles(run.paths.configDir.c_str(), names, &readStatus, run.configs, run.tally);
        // What was taken from the package, for support staff reading why an adapter
        // was or was not matched.
        printConfigEntries(run.configs);
    }
    assignConfigEntries(run.adapters, run.configs, run.families, run.tally);
    printHbaReport(run.adapters, "\n[Initial HBA Configuration]\n");
}

// Reads the payload folder into the run's catalogue.
void readPackage(RunContext& run) {
    int folderStatus = 0;
    const std::vector<std::string> names =
        makeFileNameList(run.paths.payloadDir.c_str(), &folderStatus, FILE_LIST_PAYLOAD);
    if (folderStatus == 0) {
        int payloadStatus = 0;
        makePayloadList(run.paths.payloadDir.c_str(), names, &payloadStatus, run.payloads, run.tally);
    }
}

} // namespace

int runUtility(RunContext& run, const CommandLine& commandLine) {
    RunOptions& options = run.options;
    const int status = commandLine.parseStatus;
    XmlDocument document;
    document.setEcho(options.outputTargets);
    // The version and the image query print their answer and write no document: no
    // empty document file is left for them.
    const bool writesDocument = status != 0 || (options.mode != Version && options.mode != ImageQuery);
    const int fileStatus = openOutputFiles(options, document, writesDocument);

    echoCommandLine(commandLine.arguments);
    displayTime();
    displayUtilityName();
    displayUtilityVersion();
    defineTempFile(run.paths);
    // Only runs that go on to use the soft VPD files make the utility's folder.
    tavCNAFIDLogPaths(run.softVpd,
                      status == 0 && fileStatus == 0 && (options.mode == Inventory || options.mode == Execution),
                      run.softVpdFolderMadeByLock);
    defineDirectoryPaths(run.paths);
    if (!dfcLoadProblem().empty())
        debugPrint("%s; running as on a system without adapters\n", dfcLoadProblem().c_str());

    const auto started = std::chrono::system_clock::now();
    RunFeedback feedback(run);
    if (status != 0 || fileStatus != 0) {
        const int result = status != 0 ? status : fileStatus;
        writeFailureDocument(document, MESSAGE_KIND_INVENTORY, result);
        feedback.finish(result, RunOutcome{});
        const int final = closeRun(run, document, result);
        if (options.mode == Inventory || options.mode == Execution) {
            RunOutcome refused;
            refused.execution = options.mode == Execution;
            writeSummaryFile(options, summaryOf(run, refused, started), refused, final, false);
        }
        return final;
    }
    if (options.mode == Version) {
        displayVersion();
        return closeRun(run, document, codeNumber(ResultCode::Success));
    }
    if (options.mode == ImageQuery) {
        const int result = runImageQuery(run, document);
        feedback.finish(result, RunOutcome{});
        return result;
    }

    // A polite stop (Ctrl-C, SIGTERM) of an execution never cuts a flash short: it
    // only ends the Device loop between adapters. An inventory may stop at once.
    if (options.mode == Execution)
        platform::installStopHandler();
    feedback.discovering();
    discoverAndSelect(run);
    RunOutcome outcome = discoveredOutcome(run);
    feedback.discovered(outcome);
    if (outcome.execution) {
        feedback.readingPackage();
        readPackage(run);
    }
    settleOutcome(run, outcome);
    if (!outcome.execution) {
        // The inventory shows what an update with the same options would do: it reads
        // the package and plans as the update does, with the debug log set aside (the
        // log narrates the inventory; the package is the update's to narrate).
        if (outcome.precondition == ResultCode::Success) {
            const DebugLogAside aside;
            readPackage(run);
            outcome.plan = planExecution(run);
        }
        writeInventoryDocument(document, run, outcome);
    } else {
        // Nothing is downloaded that the soft VPD files could not record.
        run.softVpdWriteBlocked = checkCNAVPDFilesReplaceable(run.softVpd) != 0;
        // What the update will do, settled before the first adapter is touched.
        if (outcome.precondition == ResultCode::Success)
            outcome.plan = planExecution(run);
        feedback.updating(outcome);
        writeExecution(run, outcome, document, [&feedback, &outcome](const AdapterOutcome& adapter) {
            feedback.adapterFinished(adapter, outcome.plan);
        });
        printResultReport(run.adapters);
        if (outcome.untouched > 0)
            sayOnStandardError("stopped on request after the adapter in progress; %u adapter(s) not updated",
                               static_cast<unsigned>(outcome.untouched));
        // Nothing changed in the list when the files were blocked.
        outcome.softVpdNotWritten = !run.softVpdWriteBlocked && updateCNAVPDFile(run.softVpd) != 0;
        updateRollBack(run, outcome.anyDownloadSucceeded());
    }
    if (!document.flush()) {
        debugPrint("ERROR - The XML document could not be written completely. File = %s\n",
                   options.outputFile.c_str());
        outcome.documentIncomplete = true;
    }
    const int result = exitStatus(outcome);
    feedback.finish(result, outcome);
    debugPrint("\n[Return Code]\n");
    debugPrint("Return Status = %d\n", result);
    // The summary reads the adapters, which closing the run frees.
    JsonSummary summary = summaryOf(run, outcome, started);
    const bool rebootRequired = outcome.rebootRequired || pendingReboot(outcome);
    const int final = closeRun(run, document, result);
    writeSummaryFile(options, std::move(summary), outcome, final, rebootRequired);
    return final;
}
