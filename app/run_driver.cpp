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
#include "report/result_codes.h"
#include "report/text_report.h"
#include "report/xml_writer.h"
#include "update/execution.h"
#include "update/rollback.h"
#include "update/update_adapter.h"

#include <chrono>
#include <cstdio>
#include <cctype>
#include <vector>
#include <string>
#include <string_view>

std::int32_t updateStatus(const RunContext& run) {
    const RunTally& t = run.tally;
    if (const std::int32_t precondition = preconditionStatus(t, !run.adapters.empty(), true); precondition != 0)
        return precondition;
    if (t.updateFailures > 0 && t.updateAttempts == t.updateFailures)
        return 2;
    if (t.selectionMissed)
        return 2;
    if (t.updateFailures > 0 && t.updateAttempts > t.updateFailures)
        return 4;
    if (t.updateAttempts > 0 && t.updateFailures == 0)
        return 0;
    if (t.updateAttempts == 0)
        return 1;
    return 0;
}

std::int32_t inventoryStatus(const RunContext& run) {
    const RunTally& t = run.tally;
    if (const std::int32_t precondition = preconditionStatus(t, !run.adapters.empty(), false); precondition != 0)
        return precondition;
    if (t.devicesIncomplete > 0 && t.devicesListed == t.devicesIncomplete)
        return 3;
    if (t.selectionMissed)
        return 3;
    if (t.devicesIncomplete > 0 && t.devicesListed > t.devicesIncomplete)
        return 5;
    return 0;
}

void writeInventory(RunContext& run, XmlDocument& document, JsonSummary* json) {
    const std::int32_t precondition = preconditionStatus(run.tally, !run.adapters.empty(), false);
    const std::vector<const HbaEntry*> selected = selectedAdapters(run);
    writeInventoryDocument(document, run, precondition, selected);
    // The adapters the document lists, in its order.
    if (precondition == 0 && json != nullptr)
        for (const HbaEntry* e : selected)
            summaryAddInventory(*json, *e);
}

ExecutionSummary writeExecution(RunContext& run, XmlDocument& document, JsonSummary* json,
                                const AdapterOutcomeSink& watcher) {
    const std::int32_t precondition = preconditionStatus(run.tally, !run.adapters.empty(), true);
    const bool opened = openExecutionDocument(document, run, precondition);
    ExecutionSummary summary;
    if (precondition == 0)
        summary = runExecution(run, [&document, &json, &watcher](const std::vector<ComponentOutcome>& outcomes) {
            if (watcher)
                watcher(outcomes);
            writeExecutionDevice(document, outcomes);
            if (json != nullptr)
                summaryAddOutcomes(*json, outcomes);
        });
    closeExecutionDocument(document, run, opened, summary.selectionMatched, summary.rebootRequired);
    return summary;
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
    if (document.file() != nullptr) {
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
// reach its file whole ends the run with the output-file status (14), whatever the
// run's own result, so that a cut document is never taken for success. A debug log
// that fails only says so on standard error: it narrates, the document and the status
// are the outcome.
int closeRun(RunContext& run, XmlDocument& document, int result) {
    const std::string documentFailure = exitUtility(run, document);
    if (documentFailure.empty())
        return result;
    sayOnStandardError("the XML document %s could not be written completely (%s); exit status 14",
                       run.options.outputFile.c_str(), documentFailure.c_str());
    return 14;
}

// Writes the JSON summary when -json asked for one, with the run's final status. A
// summary that cannot be written is said on standard error; the status stays the
// run's own, which the XML document also carries.
void writeSummaryFile(const RunOptions& options, const JsonSummary& json, int status, bool rebootRequired) {
    if (options.jsonFile.empty())
        return;
    const std::string path = options.jsonFile.str();
    std::string why;
    if (platform::writeFileAtomically(path, renderSummary(json, status, rebootRequired, std::chrono::system_clock::now()),
                                      &why) != 0) {
        sayOnStandardError("the JSON summary %s could not be written (%s); exit status %d stands", path.c_str(),
                           why.c_str(), status);
    }
}

int runImageQuery(RunContext& run, XmlDocument& document) {
    const RunOptions& options = run.options;
    std::uint32_t extType = 0;
    if (isValidFileExtension(options.imageFile.c_str(), &extType, EXT_MODE_ANY) != 0) {
        debugPrint("OPEN_FILE_ERROR - Invalid extension. Image file = %s, Status = %d\n",
                   options.imageFile.c_str(), 18);
        return 18;
    }
    CluImage record{};
    record.extType = extType;
    if (verifyFwFile(options.imageFile.c_str(), &record) != 0) {
        debugPrint("ERROR - Image decode failed. Image file = %s, Status = %d\n",
                   options.imageFile.c_str(), 19);
        return 19;
    }
    std::printf("%s\n", record.decodedVersion.c_str());
    std::fflush(stdout);
    return closeRun(run, document, 0);
}

// The discovery phase shared by inventory and execution, in its fixed order: the soft
// VPD list, the family-ID table, the adapter list and its groups, the configuration
// files, the selection of adapters, and the initial report.
void discoverAndSelect(RunContext& run) {
    createCNAVpdList(run.softVpd);
    makeFamilyIdTable(run.families);
    makeHbaList(run);
    assignGroupNumbers(run.adapters);
    int listStatus = 0;
    const std::vector<std::string> names =
        makeFileNameList(run.paths.configDir.c_str(), &listStatus, FILE_LIST_CONFIG);
    if (listStatus == 0) {
        int readStatus = 0;
        readConfigFiles(run.paths.configDir.c_str(), names, &readStatus, run.configs, run.tally);
        // What was taken from the package, for support staff reading why an adapter
        // was or was not matched.
        printConfigEntries(run.configs);
    }
    assignConfigEntries(run.adapters, run.configs, run.families, run.tally);
    printHbaReport(run.adapters, "\n[Initial HBA Configuration]\n");
}

} // namespace

int runUtility(RunContext& run, const CommandLine& commandLine) {
    RunOptions& options = run.options;
    const int status = commandLine.parseStatus;
    XmlDocument document;
    document.setEcho(options.outputTargets);
    const int fileStatus = openOutputFiles(options, document);

    echoCommandLine(commandLine.arguments);
    displayTime();
    displayUtilityName();
    displayUtilityVersion();
    defineTempFile(run.paths);
    // Only runs that go on to use the soft VPD files make the utility's folder.
    tavCNAFIDLogPaths(run.softVpd, status == 0 && fileStatus == 0 &&
                                       (options.mode == Inventory || options.mode == Execution));
    defineDirectoryPaths(run.paths);
    if (!dfcLoadProblem().empty())
        debugPrint("%s; running as on a system without adapters\n", dfcLoadProblem().c_str());

    JsonSummary json;
    json.execution = options.mode == Execution;
    json.started = std::chrono::system_clock::now();
    json.programVersion = formatText("%d.%d.%d.%d", kVersionMajor, kVersionMinor, kVersionRelease, kVersionBuild);
    RunFeedback feedback(run);
    if (status != 0 || fileStatus != 0) {
        const int result = status != 0 ? status : fileStatus;
        writeFailureDocument(document, MESSAGE_KIND_INVENTORY, result);
        feedback.finish(result);
        const int final = closeRun(run, document, result);
        if (options.mode == Inventory || options.mode == Execution)
            writeSummaryFile(options, json, final, false);
        return final;
    }
    if (options.mode == Version) {
        displayVersion();
        return closeRun(run, document, 0);
    }
    if (options.mode == ImageQuery) {
        const int result = runImageQuery(run, document);
        feedback.finish(result);
        return result;
    }

    // A polite stop (Ctrl-C, SIGTERM) of an execution never cuts a flash short: it
    // only ends the Device loop between adapters. An inventory may stop at once.
    if (options.mode == Execution)
        platform::installStopHandler();
    feedback.discovering();
    discoverAndSelect(run);
    feedback.discovered();
    std::int32_t result = 0;
    bool rebootRequired = false;
    if (options.mode == Inventory) {
        writeInventory(run, document, &json);
        result = inventoryStatus(run);
    } else {
        feedback.readingPackage();
        int listStatus = 0;
        const std::vector<std::string> names =
            makeFileNameList(run.paths.payloadDir.c_str(), &listStatus, FILE_LIST_PAYLOAD);
        if (listStatus == 0) {
            int payloadStatus = 0;
            makePayloadList(run.paths.payloadDir.c_str(), names, &payloadStatus, run.payloads, run.tally);
        }
        // Nothing is downloaded that the soft VPD files could not record.
        run.softVpdWriteBlocked = checkCNAVPDFilesReplaceable(run.softVpd) != 0;
        feedback.updating();
        const ExecutionSummary executed =
            writeExecution(run, document, &json, [&feedback](const std::vector<ComponentOutcome>& outcomes) {
                feedback.adapterFinished(outcomes);
            });
        const std::uint32_t untouched = executed.untouched;
        rebootRequired = executed.rebootRequired;
        printResultReport(run.adapters);
        result = updateStatus(run);
        if (untouched > 0) {
            // Adapters left as they were are updates not done.
            result = run.tally.updateAttempts > run.tally.updateFailures ? 4 : 2;
            sayOnStandardError("stopped on request after the adapter in progress; %u adapter(s) not updated",
                               static_cast<unsigned>(untouched));
        }
        // A family that was not recorded is an update not done: the next run would
        // flash the card again. Nothing changed in the list when the files were blocked.
        if (!run.softVpdWriteBlocked && updateCNAVPDFile(run.softVpd) != 0 && (result == 0 || result == 1))
            result = result == 0 ? 4 : 2;
        updateRollBack(run);
    }
    if (!document.flush()) {
        debugPrint("ERROR - The XML document could not be written completely. File = %s\n",
                   options.outputFile.c_str());
        result = 14;
    }
    feedback.finish(result);
    debugPrint("\n[Return Code]\n");
    debugPrint("Return Status = %d\n", result);
    const int final = closeRun(run, document, result);
    writeSummaryFile(options, json, final, rebootRequired);
    return final;
}
