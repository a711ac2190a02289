#include "report/xml_writer.h"

#include "adapter/hba_entry.h"
#include "log/debug_log.h"
#include "report/result_codes.h"

#include <cstdarg>

namespace {

std::FILE* g_outputFile = nullptr;

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
    xmlPrint(g_outputFile, "id=\"%lu\"> %s </%s>\n", static_cast<unsigned long>(id), text,
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
    std::snprintf(attributes, sizeof attributes, "version=\"%s\" %s=\"%s\"", familyId,
                  bootCode ? "tavBcVer" : "tavFwVer", value);
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
    const bool matched = false;
    if (!haveList || runTally.adaptersSupported == 0) {
        // nothing more: the status rules give 17 or 6
    } else if (runTally.configFilesRead == 0) {
        statusForCode(MESSAGE_KIND_INVENTORY, 9);
    } else if (runTally.configEntriesValid == 0) {
        statusForCode(MESSAGE_KIND_INVENTORY, 10);
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
    const bool matched = false;
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
    }
    reportSelectionMiss(MESSAGE_KIND_EXECUTION, options, matched);
    if (opened) {
        if (haveList && runTally.adaptersSupported > 0)
            xmlReboot(options, 1);
        xmlClose("SVMExecution", 0);
    }
}
