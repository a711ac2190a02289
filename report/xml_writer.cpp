#include "report/xml_writer.h"

#include "adapter/board_family.h"
#include "adapter/hba_entry.h"
#include "log/debug_log.h"
#include "report/result_codes.h"
#include "update/update_adapter.h"

#include <cstdarg>
#include <string>
#include <string_view>

namespace {

std::FILE* g_outputFile = nullptr;

// Texts from adapters and files go into the documents escaped, and control characters
// are dropped, so that every document parses whatever an adapter reports.
std::string xmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
                out += c;
        }
    }
    return out;
}

constexpr std::size_t kStatusMessageSize = 128;

void indent(int level) {
    for (int i = 0; i < level; ++i)
        xmlPrint(g_outputFile, "    ");
}

void statusForCode(int kind, std::int32_t code) {
    char message[kStatusMessageSize];
    messageForCode(kind, code, message, sizeof message);
    xmlStatus("false", message, static_cast<std::uint32_t>(code), 1, 2);
}

// Opens the root, or writes it empty when nothing will go inside. Returns whether the
// root was opened (and so must be closed).
bool openDocumentRoot(const char* name, bool haveList, bool selectionGiven) {
    // A selection on a system without adapters still gets its not-found status,
    // so the root is opened for it rather than written empty: the status then
    // stands inside the root and the document stays well-formed.
    if (haveList || selectionGiven) {
        xmlOpenRoot(name);
        return true;
    }
    xmlEmptyRoot(name);
    return false;
}

void reportSelectionMiss(int kind, const RunOptions& options, bool matched) {
    if (options.wwn.empty() || matched)
        return;
    runTally.selectionMissed = true;
    statusForCode(kind, 40);
}

bool isNicOrIscsi(const HbaEntry& e) { return e.hbaType == 2 || e.hbaType == 4; }

bool isSelected(const HbaEntry& e, const RunOptions& options) {
    if (e.supported != 1)
        return false;
    return options.wwn.empty() || e.wwpn.view() == options.wwn.view();
}

void writeDeviceStart(const HbaEntry& e) {
    xmlElementStart("Device", 1);
    if (isNicOrIscsi(e))
        xmlPrint(g_outputFile,
                 "vendorID=\"%X\" deviceID=\"%X\" subDeviceID=\"%X\" subVendorID=\"%X\" bus=\"%X\" "
                 "device=\"%X\" function=\"%X\" mac=\"%s\" display=\"%s\">\n",
                 e.vendorId, e.deviceId, e.subDeviceId, e.subVendorId, e.busNumber, e.device, e.function,
                 xmlText(e.mac.view()).c_str(), xmlText(e.modelDesc.view()).c_str());
    else
        xmlPrint(g_outputFile,
                 "vendorID=\"%X\" deviceID=\"%X\" subDeviceID=\"%X\" subVendorID=\"%X\" bus=\"%X\" "
                 "device=\"%X\" function=\"%X\" wwpn=\"%s\" display=\"%s\">\n",
                 e.vendorId, e.deviceId, e.subDeviceId, e.subVendorId, e.busNumber, e.device, e.function,
                 xmlText(e.wwpn.view()).c_str(), xmlText(e.modelDesc.view()).c_str());
}

bool isCompleteDevice(const HbaEntry& e) {
    if (e.deviceId == 0 || e.vendorId == 0 || e.subDeviceId == 0 || e.subVendorId == 0 || e.modelDesc.empty())
        return false;
    if ((isConvergedEntry(e) || isFerroxFCBoard(e.adapterNumber)) &&
        (e.fwVersion == "0.0.0.0" || e.model == "Model N/A"))
        return false;
    if (isNicOrIscsi(e) && e.mac == "000000000000")
        return false;
    return isNicOrIscsi(e) || !(e.wwpn == "0000000000000000");
}

void writeExecutionApplicationStart(const HbaEntry& e, bool bootCode) {
    xmlElementStart("Application", 2);
    if (bootCode)
        xmlPrint(g_outputFile, "componentType=\"BIOS\" version=\"%s\" tavBcVer=\"%s\" display=\"%s\">\n",
                 xmlText(e.inventoryBcVersion.view()).c_str(), xmlText(e.bcVersion.view()).c_str(),
                 xmlText(e.modelDesc.view()).c_str());
    else
        xmlPrint(g_outputFile, "componentType=\"FRMW\" version=\"%s\" tavFwVer=\"%s\" display=\"%s\">\n",
                 xmlText(e.inventoryFwVersion.view()).c_str(), xmlText(e.fwVersion.view()).c_str(),
                 xmlText(e.modelDesc.view()).c_str());
}

// Firmware, and boot code for a legacy FC adapter: each component is updated and its
// outcome written into its Application element.
void executeDevice(HbaEntry& e, RunOptions& options) {
    const bool converged = isConvergedEntry(e);
    const bool ferroxFC = isFerroxFCBoard(e.adapterNumber);
    writeExecutionApplicationStart(e, false);
    options.downloadTarget = converged ? UFIext : ferroxFC ? GRPext : ALLext;
    debugPrint("\n[Executing firmware download]\n");
    int result = 0;
    if (e.adapterInRebootState != 0) {
        options.rebootRequired = 1;
        result = 35;
        std::snprintf(sharedMessage, sizeof sharedMessage,
                      "Adapter skipped failed. Adapter is in a reboot required state = %d\n", 35);
        debugPrint("%s\n", sharedMessage);
    } else {
        result = updateAdapter(options, e);
    }
    static const int kCodesWithText[] = {0, 20, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 41, 42};
    char message[kStatusMessageSize] = "Update failed.";
    for (int code : kCodesWithText)
        if (code == result)
            messageForCode(options.mode == Execution ? MESSAGE_KIND_EXECUTION : MESSAGE_KIND_INVENTORY, result,
                           message, sizeof message);
    const bool success = result == 0 || result == 34 || result == 37 || result == 38;
    e.fwDownloadStatus = static_cast<std::uint32_t>(result);
    xmlPackage(e.packagedFamilyId.c_str(), e.packagedFwVersion.c_str(), 3, false);
    xmlStatus(success ? "true" : "false", message, static_cast<std::uint32_t>(result), 3, 4);
    xmlClose("Application", 2);

    if (converged || ferroxFC)
        return;
    options.downloadTarget = PRGext;
    writeExecutionApplicationStart(e, true);
    debugPrint("\n[Executing boot code download]\n");
    result = updateAdapter(options, e);
    const char* text = "Update failed.";
    switch (result) {
    case 0: text = "Update success."; break;
    case 34: text = "Update success. The boot code is at the current version no update is required."; break;
    case 31: text = "Update failed. The boot code download failed."; break;
    case 33: text = "Update failed. Adapter reset failed."; break;
    case 20: text = "Update failed. Unknown familyID."; break;
    case 30: text = "Update failed. Invalid adapter number."; break;
    case 32: text = "Update failed. Unable to open image file."; break;
    default: break;
    }
    e.bcDownloadStatus = static_cast<std::uint32_t>(result);
    xmlPackage(e.packagedFamilyId.c_str(), e.packagedBcVersion.c_str(), 3, true);
    xmlStatus(result == 0 || result == 34 ? "true" : "false", text, static_cast<std::uint32_t>(result), 3, 4);
    xmlClose("Application", 2);
}

void writeInventoryDevice(const HbaEntry& e) {
    runTally.devicesListed += 1;
    writeDeviceStart(e);
    if (isNicOrIscsi(e))
        debugPrint("display=%s; vendorID=%X; deviceID=%X; subDeviceID=%X; subVendorID=%X; bus=%X; device=%X; "
                   "function=%X; mac=%s\n",
                   e.modelDesc.c_str(), e.vendorId, e.deviceId, e.subDeviceId, e.subVendorId, e.busNumber,
                   e.device, e.function, e.mac.c_str());
    else
        debugPrint("display=%s; vendorID=%X; deviceID=%X; subDeviceID=%X; subVendorID=%X; bus=%X; device=%X; "
                   "function=%X; wwpn=%s\n",
                   e.modelDesc.c_str(), e.vendorId, e.deviceId, e.subDeviceId, e.subVendorId, e.busNumber,
                   e.device, e.function, e.wwpn.c_str());
    xmlElementStart("Application", 2);
    xmlPrint(g_outputFile, "componentType=\"FRMW\" version=\"%s\" tavFwVer=\"%s\" display=\"%s\"/>\n",
             xmlText(e.inventoryFwVersion.view()).c_str(), xmlText(e.fwVersion.view()).c_str(),
             xmlText(e.modelDesc.view()).c_str());
    xmlElementStart("Application", 2);
    xmlPrint(g_outputFile, "componentType=\"BIOS\" version=\"%s\" tavBcVer=\"%s\" display=\"%s\"/>\n",
             xmlText(e.inventoryBcVersion.view()).c_str(), xmlText(e.bcVersion.view()).c_str(),
             xmlText(e.modelDesc.view()).c_str());
    xmlClose("Device", 1);
    if (!isCompleteDevice(e))
        runTally.devicesIncomplete += 1;
}

// Writes every selected adapter; returns whether any was written.
template <typename Write> bool writeSelectedDevices(const RunOptions& options, Write write) {
    bool any = false;
    for (HbaEntry* e = hbaListHead; e != nullptr; e = e->next) {
        if (!isSelected(*e, options))
            continue;
        any = true;
        write(*e);
    }
    return any;
}

} // namespace

std::FILE* outputFile() { return g_outputFile; }

void attachOutputFile(std::FILE* file) { g_outputFile = file; }

std::FILE*& outputFileSlot() { return g_outputFile; }

void closeOutputFile() {
    if (g_outputFile != nullptr) {
        std::fclose(g_outputFile);
        g_outputFile = nullptr;
    }
}

void xmlPrint(std::FILE* handle, const char* format, ...) {
    if (consoleEcho == 1 || consoleEcho == 3) {
        va_list args;
        va_start(args, format);
        std::vprintf(format, args);
        va_end(args);
    }
    if (handle != nullptr) {
        va_list args;
        va_start(args, format);
        std::vfprintf(handle, format, args);
        va_end(args);
    }
    std::fflush(stdout);
}

void xmlDeclaration() {
    xmlPrint(g_outputFile, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    xmlPrint(g_outputFile, "\n");
}

void xmlOpenRoot(const char* name) {
    xmlPrint(g_outputFile, "<%s ", name);
    xmlPrint(g_outputFile, "lang=\"en\">");
    xmlPrint(g_outputFile, "\n");
}

void xmlEmptyRoot(const char* name) {
    xmlPrint(g_outputFile, "<%s ", name);
    xmlPrint(g_outputFile, "lang=\"en\"/>\n");
}

void xmlClose(const char* name, int level) {
    indent(level);
    xmlPrint(g_outputFile, "</%s>", name);
    xmlPrint(g_outputFile, "\n");
}

void xmlElementStart(const char* name, int level) {
    indent(level);
    xmlPrint(g_outputFile, "<%s ", name);
}

void xmlMessage(std::uint32_t id, const char* text, int level) {
    xmlElementStart("Message", level);
    xmlPrint(g_outputFile, "id=\"%lu\"> %s </%s>\n", static_cast<unsigned long>(id), xmlText(text).c_str(),
             "Message");
}

void xmlStatus(const char* result, const char* message, std::uint32_t id, int level,
               int messageLevel) {
    char attributes[64];
    std::snprintf(attributes, sizeof attributes, "result=\"%s\"", result);
    xmlElementStart("SPStatus", level);
    xmlPrint(g_outputFile, "%s>\n", attributes);
    xmlMessage(id, message, messageLevel);
    xmlClose("SPStatus", level);
}

void xmlPackage(const char* familyId, const char* value, int level, bool bootCode) {
    char attributes[160];
    std::snprintf(attributes, sizeof attributes, "version=\"%s\" %s=\"%s\"", xmlText(familyId).c_str(),
                  bootCode ? "tavBcVer" : "tavFwVer", xmlText(value).c_str());
    xmlElementStart("Package", level);
    xmlPrint(g_outputFile, "%s/>\n", attributes);
}

void xmlReboot(const RunOptions& options, int level) {
    indent(level);
    xmlPrint(g_outputFile, "<RebootRequired>%u</RebootRequired>", options.rebootRequired);
    xmlPrint(g_outputFile, "\n");
}

void writeFailureDocument(int kind, std::int32_t code) {
    char message[kStatusMessageSize];
    messageForCode(kind, code, message, sizeof message);
    xmlDeclaration();
    xmlPrint(g_outputFile, "<SVMInventory lang=\"en\">");
    xmlPrint(g_outputFile, "\n");
    indent(1);
    xmlPrint(g_outputFile, "<SPStatus result=\"false\">");
    xmlPrint(g_outputFile, "\n");
    indent(2);
    xmlPrint(g_outputFile, "<Message id=\"%d\" > %s </Message>\n", code, message);
    indent(1);
    xmlPrint(g_outputFile, "</SPStatus>");
    xmlPrint(g_outputFile, "\n");
    xmlPrint(g_outputFile, "</SVMInventory>");
    xmlPrint(g_outputFile, "\n");
}

void writeInventoryDocument(RunOptions& options) {
    debugPrint("\n[Inventory Mode]\n");
    xmlDeclaration();
    const bool haveList = hbaListHead != nullptr;
    const bool opened = openDocumentRoot("SVMInventory", haveList, !options.wwn.empty());
    bool matched = false;
    if (!haveList || runTally.adaptersSupported == 0) {
        // nothing more: the status rules give 17 or 6
    } else if (runTally.configFilesRead == 0) {
        statusForCode(MESSAGE_KIND_INVENTORY, 9);
    } else if (runTally.configEntriesValid == 0) {
        statusForCode(MESSAGE_KIND_INVENTORY, 10);
    } else {
        matched = writeSelectedDevices(options, writeInventoryDevice);
    }
    reportSelectionMiss(MESSAGE_KIND_INVENTORY, options, matched);
    // The root is closed whenever it was opened, also when no adapter is supported,
    // so that every document written is well-formed.
    if (opened)
        xmlClose("SVMInventory", 0);
}

void writeExecutionDocument(RunOptions& options) {
    debugPrint("\n[Execution Mode]\n");
    xmlDeclaration();
    const bool haveList = hbaListHead != nullptr;
    const bool opened = openDocumentRoot("SVMExecution", haveList, !options.wwn.empty());
    bool matched = false;
    if (!haveList || runTally.adaptersSupported == 0) {
        // nothing more: the status rules give 17 or 6
    } else if (runTally.configFilesRead == 0) {
        statusForCode(MESSAGE_KIND_EXECUTION, 9);
    } else if (runTally.configEntriesValid == 0) {
        statusForCode(MESSAGE_KIND_EXECUTION, 10);
    } else if (runTally.payloadFilesFound == 0) {
        statusForCode(MESSAGE_KIND_EXECUTION, 11);
    } else if (runTally.payloadEntriesValid == 0) {
        statusForCode(MESSAGE_KIND_EXECUTION, 12);
    } else {
        // Each selected adapter is updated inside its Device element, so a reader of
        // the file during the run sees the finished devices.
        matched = writeSelectedDevices(options, [&options](HbaEntry& e) {
            writeDeviceStart(e);
            executeDevice(e, options);
            xmlClose("Device", 1);
        });
    }
    reportSelectionMiss(MESSAGE_KIND_EXECUTION, options, matched);
    if (opened) {
        if (haveList && runTally.adaptersSupported > 0)
            xmlReboot(options, 1);
        xmlClose("SVMExecution", 0);
    }
}
