// The run driver: options, output files, discovery, then one mode; it wires the
// execution to the report and turns the run's counters into the exit status.
#include "app/run_driver.h"

#include "adapter/dfc_library.h"
#include "adapter/hba_entry.h"
#include "app/options.h"
#include "app/output_files.h"
#include "catalog/config_files.h"
#include "catalog/family_id_table.h"
#include "catalog/payload_catalog.h"
#include "catalog/soft_vpd_file.h"
#include "image/clu_image.h"
#include "image/file_extension.h"
#include "image/verify_fw_file.h"
#include "inventory/hba_inventory.h"
#include "common/text.h"
#include "log/debug_log.h"
#include "platform/platform.h"
#include "report/result_codes.h"
#include "report/text_report.h"
#include "report/xml_writer.h"
#include "update/execution.h"
#include "update/rollback.h"
#include "update/update_adapter.h"

#include <cstdio>
#include <cctype>
#include <memory>
#include <string>
#include <string_view>

std::int32_t updateStatus() {
    const RunTally& t = runTally;
    if (const std::int32_t precondition = preconditionStatus(t, hbaListHead != nullptr, true); precondition != 0)
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

std::int32_t inventoryStatus() {
    const RunTally& t = runTally;
    if (const std::int32_t precondition = preconditionStatus(t, hbaListHead != nullptr, false); precondition != 0)
        return precondition;
    if (t.devicesIncomplete > 0 && t.devicesListed == t.devicesIncomplete)
        return 3;
    if (t.selectionMissed)
        return 3;
    if (t.devicesIncomplete > 0 && t.devicesListed > t.devicesIncomplete)
        return 5;
    return 0;
}

void writeInventory(const RunOptions& options) {
    writeInventoryDocument(options, preconditionStatus(runTally, hbaListHead != nullptr, false),
                           selectedAdapters(options));
}

ExecutionSummary writeExecution(const RunOptions& options) {
    const std::int32_t precondition = preconditionStatus(runTally, hbaListHead != nullptr, true);
    const bool opened = openExecutionDocument(options, precondition);
    ExecutionSummary summary;
    if (precondition == 0)
        summary = runExecution(options, writeExecutionDevice);
    closeExecutionDocument(options, opened, summary.selectionMatched, summary.rebootRequired);
    return summary;
}

void assignGroupNumbers() {
    std::uint32_t group = 0;
    for (HbaEntry* e = hbaListHead; e != nullptr; e = e->next) {
        if (e->groupNumber != HBA_GROUP_NONE)
            continue;
        for (HbaEntry* other = e; other != nullptr; other = other->next) {
            if (other->groupNumber == HBA_GROUP_NONE && other->busNumber == e->busNumber &&
                other->domain == e->domain && equalsIgnoreCase(other->serialNumber.view(), e->serialNumber.view()))
                other->groupNumber = group;
        }
        ++group;
    }
}

namespace {
// Why the last XML document did not reach its file whole, or empty.
std::string documentFailure;
} // namespace

void exitUtility(RunOptions& options) {
    debugPrint("\n[Exiting]\n");
    if (hbaListHead != nullptr) {
        debugPrint("Freeing HBA List\n");
        freeHbaList();
    }
    if (configListHead != nullptr) {
        debugPrint("Freeing Config List\n");
        freeConfigList();
    }
    if (outputFile() != nullptr) {
        debugPrint("Closing output file = %s\n", options.outputFile.c_str());
        documentFailure = closeOutputFile();
    }
    if (familyIdListHead != nullptr) {
        debugPrint("Freeing Family ID List\n");
        freeFamilyIdTable();
    }
    // Adapters point into the soft VPD list; it goes after them, without a message,
    // as does the payload catalogue.
    freeCNAVpdList();
    freePayloadList();
    if (debugFile() != nullptr)
        debugPrint("Closing debug file = %s\n", options.debugFile.c_str());
    displayTime();
    closeDebugFile();
}

namespace {

// Closes the run (exitUtility) and gives its exit status: a document that did not
// reach its file whole ends the run with the output-file status (14), whatever the
// run's own result, so that a cut document is never taken for success. A debug log
// that fails only says so on standard error: it narrates, the document and the status
// are the outcome.
int closeRun(RunOptions& options, int result) {
    exitUtility(options);
    if (documentFailure.empty())
        return result;
    std::fprintf(stderr,
                 "winmarlo: the XML document %s could not be written completely (%s); "
                 "exit status 14\n",
                 options.outputFile.c_str(), documentFailure.c_str());
    std::fflush(stderr);
    documentFailure.clear();
    return 14;
}

int runImageQuery(RunOptions& options) {
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
    return closeRun(options, 0);
}

// The discovery phase shared by inventory and execution, in its fixed order: the soft
// VPD list, the family-ID table, the adapter list and its groups, the configuration
// files, the selection of adapters, and the initial report.
void discoverAndSelect() {
    createCNAVpdList();
    makeFamilyIdTable();
    makeHbaList();
    assignGroupNumbers();
    int listStatus = 0;
    CluImage* names = makeFileNameList(configDir.c_str(), &listStatus, FILE_LIST_CONFIG);
    if (listStatus == 0) {
        int readStatus = 0;
        readConfigFiles(names, &readStatus);
        // What was taken from the package, for support staff reading why an adapter
        // was or was not matched.
        printConfigEntries(configListHead);
    }
    freeFileNameList(names);
    assignConfigEntries();
    printHbaReport("\n[Initial HBA Configuration]\n");
}

} // namespace

int runUtility(int argc, char** argv) {
    auto options = std::make_unique<RunOptions>();
    const int status = parseOptions(*options, argc, argv);
    const int fileStatus = openOutputFiles(*options);

    echoCommandLine(argc, argv);
    displayTime();
    displayUtilityName();
    displayUtilityVersion();
    defineTempFile();
    // Only runs that go on to use the soft VPD files make the utility's folder.
    tavCNAFIDLogPaths(status == 0 && fileStatus == 0 &&
                      (options->mode == Inventory || options->mode == Execution));
    defineDirectoryPaths();
    if (!dfcLoadProblem().empty())
        debugPrint("%s; running as on a system without adapters\n", dfcLoadProblem().c_str());

    if (options->mode == Help) {
        displayHelp();
        return closeRun(*options, 0);
    }
    if (status != 0 || fileStatus != 0) {
        const int result = status != 0 ? status : fileStatus;
        writeFailureDocument(MESSAGE_KIND_INVENTORY, result);
        return closeRun(*options, result);
    }
    if (options->mode == Version) {
        displayVersion();
        return closeRun(*options, 0);
    }
    if (options->mode == ImageQuery)
        return runImageQuery(*options);

    // A polite stop (Ctrl-C, SIGTERM) of an execution never cuts a flash short: it
    // only ends the Device loop between adapters. An inventory may stop at once.
    if (options->mode == Execution)
        platform::installStopHandler();
    discoverAndSelect();
    std::int32_t result = 0;
    if (options->mode == Inventory) {
        writeInventory(*options);
        result = inventoryStatus();
    } else {
        int listStatus = 0;
        CluImage* names = makeFileNameList(payloadDir.c_str(), &listStatus, FILE_LIST_PAYLOAD);
        if (listStatus == 0) {
            int payloadStatus = 0;
            makePayloadList(names, &payloadStatus);
        }
        freeFileNameList(names);
        // Nothing is downloaded that the soft VPD files could not record.
        softVpdWriteBlocked = checkCNAVPDFilesReplaceable() != 0;
        const std::uint32_t untouched = writeExecution(*options).untouched;
        printResultReport();
        result = updateStatus();
        if (untouched > 0) {
            // Adapters left as they were are updates not done.
            result = runTally.updateAttempts > runTally.updateFailures ? 4 : 2;
            std::fprintf(stderr,
                         "winmarlo: stopped on request after the adapter in progress; "
                         "%u adapter(s) not updated\n",
                         static_cast<unsigned>(untouched));
            std::fflush(stderr);
        }
        // A family that was not recorded is an update not done: the next run would
        // flash the card again. Nothing changed in the list when the files were blocked.
        if (!softVpdWriteBlocked && updateCNAVPDFile() != 0 && (result == 0 || result == 1))
            result = result == 0 ? 4 : 2;
        updateRollBack();
    }
    if (!flushOutputFile()) {
        debugPrint("ERROR - The XML document could not be written completely. File = %s\n",
                   options->outputFile.c_str());
        result = 14;
    }
    debugPrint("\n[Return Code]\n");
    debugPrint("Return Status = %d\n", result);
    return closeRun(*options, result);
}
