// The XML documents (see xml_writer.h).
#include "report/xml_writer.h"

#include "adapter/hba_entry.h"
#include "log/debug_log.h"
#include "common/result_codes.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// Length of the well-formed UTF-8 sequence at text[i] (RFC 3629: no overlong forms,
// no surrogates, nothing above U+10FFFF), or 0 when the bytes there are not one.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    return length;
}

// Texts from adapters, VPD, configuration and file names go into the documents
// escaped, so that every document parses whatever they hold. Control characters and
// U+FFFE/U+FFFF (no XML characters) are dropped; well-formed UTF-8 is kept as it is;
// each byte that is not part of a well-formed sequence is taken as the Latin-1
// character of that value and written in UTF-8 (a lone 0xE9 becomes U+00E9).
std::string xmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default:
                if (byte >= 0x20 && byte != 0x7F)
                    out += c;
            }
            ++i;
            continue;
        }
        if (const std::size_t length = utf8SequenceLength(text, i); length != 0) {
            const std::string_view sequence = text.substr(i, length);
            if (sequence != "\xEF\xBF\xBE" && sequence != "\xEF\xBF\xBF")
                out += sequence;
            i += length;
            continue;
        }
        out += static_cast<char>(0xC0 | (byte >> 6));
        out += static_cast<char>(0x80 | (byte & 0x3F));
        ++i;
    }
    return out;
}

constexpr std::size_t kStatusMessageSize = 128;

void indent(XmlDocument& out, int level) {
    for (int i = 0; i < level; ++i)
        out.print("    ");
}

void statusForCode(XmlDocument& out, int kind, ResultCode code) {
    char message[kStatusMessageSize];
    messageForCode(kind, codeNumber(code), message, sizeof message);
    xmlStatus(out, "false", message, static_cast<std::uint32_t>(codeNumber(code)), 1, 2);
}

// Opens the root, or writes it empty when nothing will go inside. Returns whether the
// root was opened (and so must be closed).
bool openDocumentRoot(XmlDocument& out, const char* name, bool haveList, bool selectionGiven) {
    // A selection on a system without adapters still gets its not-found status,
    // so the root is opened for it rather than written empty: the status then
    // stands inside the root and the document stays well-formed.
    if (haveList || selectionGiven) {
        xmlOpenRoot(out, name);
        return true;
    }
    xmlEmptyRoot(out, name);
    return false;
}

void reportSelectionMiss(XmlDocument& out, int kind, const RunOutcome& outcome) {
    if (outcome.selectionMissed)
        statusForCode(out, kind, ResultCode::AdapterNotFound);
}

bool isNicOrIscsi(const HbaEntry& e) { return isNicOrIscsiEntry(e); }

void writeDeviceStart(XmlDocument& out, const HbaEntry& e) {
    xmlElementStart(out, "Device", 1);
    if (isNicOrIscsi(e))
        out.print("vendorID=\"%X\" deviceID=\"%X\" subDeviceID=\"%X\" subVendorID=\"%X\" bus=\"%X\" "
                 "device=\"%X\" function=\"%X\" mac=\"%s\" display=\"%s\">\n",
                 e.vendorId, e.deviceId, e.subDeviceId, e.subVendorId, e.busNumber, e.device, e.function,
                 xmlText(e.mac.view()).c_str(), xmlText(e.modelDesc.view()).c_str());
    else
        out.print("vendorID=\"%X\" deviceID=\"%X\" subDeviceID=\"%X\" subVendorID=\"%X\" bus=\"%X\" "
                 "device=\"%X\" function=\"%X\" wwpn=\"%s\" display=\"%s\">\n",
                 e.vendorId, e.deviceId, e.subDeviceId, e.subVendorId, e.busNumber, e.device, e.function,
                 xmlText(e.wwpn.view()).c_str(), xmlText(e.modelDesc.view()).c_str());
}

void writeExecutionApplication(XmlDocument& out, const ComponentOutcome& o) {
    const HbaEntry& e = *o.adapter;
    xmlElementStart(out, "Application", 2);
    if (o.bootCode)
        out.print("componentType=\"BIOS\" version=\"%s\" tavBcVer=\"%s\" display=\"%s\">\n",
                 xmlText(o.installedFamily).c_str(), xmlText(o.installedVersion).c_str(),
                 xmlText(e.modelDesc.view()).c_str());
    else
        out.print("componentType=\"FRMW\" version=\"%s\" tavFwVer=\"%s\" display=\"%s\">\n",
                 xmlText(o.installedFamily).c_str(), xmlText(o.installedVersion).c_str(),
                 xmlText(e.modelDesc.view()).c_str());
    char message[kStatusMessageSize];
    const bool reached = componentStatus(codeNumber(o.result), o.bootCode, message, sizeof message);
    xmlPackage(out, o.packagedFamily.c_str(), o.packagedVersion.c_str(), 3, o.bootCode);
    xmlStatus(out, reached ? "true" : "false", message, static_cast<std::uint32_t>(codeNumber(o.result)), 3, 4);
    xmlClose(out, "Application", 2);
}

void writeInventoryDevice(XmlDocument& out, const HbaEntry& e) {
    writeDeviceStart(out, e);
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
    xmlElementStart(out, "Application", 2);
    out.print("componentType=\"FRMW\" version=\"%s\" tavFwVer=\"%s\" display=\"%s\"/>\n",
             xmlText(e.inventoryFwVersion.view()).c_str(), xmlText(e.fwVersion.view()).c_str(),
             xmlText(e.modelDesc.view()).c_str());
    xmlElementStart(out, "Application", 2);
    out.print("componentType=\"BIOS\" version=\"%s\" tavBcVer=\"%s\" display=\"%s\"/>\n",
             xmlText(e.inventoryBcVersion.view()).c_str(), xmlText(e.bcVersion.view()).c_str(),
             xmlText(e.modelDesc.view()).c_str());
    xmlClose(out, "Device", 1);
}

// Whether the run has supported adapters: only then do the documents carry a
// precondition status or RebootRequired.
bool anySupported(const RunContext& run) { return !run.adapters.empty() && run.tally.adaptersSupported > 0; }

} // namespace

std::string missingInventoryParts(const HbaEntry& e) {
    std::string missing;
    const auto add = [&missing](const char* part) { missing += (missing.empty() ? "" : ", ") + std::string(part); };
    if (e.deviceId == 0 || e.vendorId == 0 || e.subDeviceId == 0 || e.subVendorId == 0)
        add("its PCI ids");
    if (e.modelDesc.empty())
        add("its model description");
    if (!isLegacyEntry(e) && e.fwVersion == "0.0.0.0")
        add("its firmware version");
    if (!isLegacyEntry(e) && e.model == "Model N/A")
        add("its model name");
    if (isNicOrIscsi(e) && e.mac == "000000000000")
        add("its MAC address");
    if (!isNicOrIscsi(e) && e.wwpn == "0000000000000000")
        add("its port name");
    return missing;
}

void XmlDocument::noteFailure(int error) {
    if (failure_.empty())
        failure_ = error != 0 ? std::strerror(error) : "write error";
}

void XmlDocument::attach(std::FILE* file) {
    file_ = file;
    failure_.clear();
}

bool XmlDocument::flush() {
    if (file_ != nullptr && failure_.empty()) {
        errno = 0;
        if (std::fflush(file_) != 0)
            noteFailure(errno);
    }
    return failure_.empty();
}

std::string XmlDocument::close() {
    if (file_ != nullptr) {
        errno = 0;
        if (std::fclose(file_) != 0)
            noteFailure(errno);
        file_ = nullptr;
    }
    std::string failure;
    failure.swap(failure_);
    return failure;
}

XmlDocument::~XmlDocument() {
    if (file_ != nullptr)
        std::fclose(file_);
}

void XmlDocument::print(const char* format, ...) {
    if (echo_ == 1 || echo_ == 3) {
        va_list args;
        va_start(args, format);
        std::vprintf(format, args);
        va_end(args);
    }
    if (file_ != nullptr && failure_.empty()) {
        va_list args;
        va_start(args, format);
        errno = 0;
        const int written = std::vfprintf(file_, format, args);
        va_end(args);
        if (written < 0)
            noteFailure(errno);
    }
    std::fflush(stdout);
}

void xmlDeclaration(XmlDocument& out) {
    out.print("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    out.print("\n");
}

void xmlOpenRoot(XmlDocument& out, const char* name) {
    out.print("<%s ", name);
    out.print("lang=\"en\">");
    out.print("\n");
}

void xmlEmptyRoot(XmlDocument& out, const char* name) {
    out.print("<%s ", name);
    out.print("lang=\"en\"/>\n");
}

void xmlClose(XmlDocument& out, const char* name, int level) {
    indent(out, level);
    out.print("</%s>", name);
    out.print("\n");
}

void xmlElementStart(XmlDocument& out, const char* name, int level) {
    indent(out, level);
    out.print("<%s ", name);
}

void xmlMessage(XmlDocument& out, std::uint32_t id, const char* text, int level) {
    xmlElementStart(out, "Message", level);
    out.print("id=\"%lu\"> %s </%s>\n", static_cast<unsigned long>(id), xmlText(text).c_str(),
             "Message");
}

void xmlStatus(XmlDocument& out, const char* result, const char* message, std::uint32_t id, int level,
               int messageLevel) {
    char attributes[64];
    std::snprintf(attributes, sizeof attributes, "result=\"%s\"", result);
    xmlElementStart(out, "SPStatus", level);
    out.print("%s>\n", attributes);
    xmlMessage(out, id, message, messageLevel);
    xmlClose(out, "SPStatus", level);
}

void xmlPackage(XmlDocument& out, const char* familyId, const char* value, int level, bool bootCode) {
    char attributes[160];
    std::snprintf(attributes, sizeof attributes, "version=\"%s\" %s=\"%s\"", xmlText(familyId).c_str(),
                  bootCode ? "tavBcVer" : "tavFwVer", xmlText(value).c_str());
    xmlElementStart(out, "Package", level);
    out.print("%s/>\n", attributes);
}

void xmlReboot(XmlDocument& out, bool rebootRequired, int level) {
    indent(out, level);
    out.print("<RebootRequired>%u</RebootRequired>", rebootRequired ? 1u : 0u);
    out.print("\n");
}

void writeFailureDocument(XmlDocument& out, int kind, std::int32_t code) {
    char message[kStatusMessageSize];
    messageForCode(kind, code, message, sizeof message);
    xmlDeclaration(out);
    out.print("<SVMInventory lang=\"en\">");
    out.print("\n");
    indent(out, 1);
    out.print("<SPStatus result=\"false\">");
    out.print("\n");
    indent(out, 2);
    out.print("<Message id=\"%d\" > %s </Message>\n", code, message);
    indent(out, 1);
    out.print("</SPStatus>");
    out.print("\n");
    out.print("</SVMInventory>");
    out.print("\n");
}

void writeInventoryDocument(XmlDocument& out, const RunContext& run, const RunOutcome& outcome) {
    debugPrint("\n[Inventory Mode]\n");
    xmlDeclaration(out);
    const bool opened = openDocumentRoot(out, "SVMInventory", !run.adapters.empty(), !run.options.wwn.empty());
    if (!anySupported(run)) {
        // nothing more: the status is 17 or 6, or the one the ladder finds first
    } else if (outcome.precondition != ResultCode::Success) {
        statusForCode(out, MESSAGE_KIND_INVENTORY, outcome.precondition);
    } else {
        for (const HbaEntry* e : outcome.selected)
            writeInventoryDevice(out, *e);
    }
    reportSelectionMiss(out, MESSAGE_KIND_INVENTORY, outcome);
    // The root is closed whenever it was opened, also when no adapter is supported,
    // so that every document written is well-formed.
    if (opened)
        xmlClose(out, "SVMInventory", 0);
}

bool openExecutionDocument(XmlDocument& out, const RunContext& run, const RunOutcome& outcome) {
    debugPrint("\n[Execution Mode]\n");
    xmlDeclaration(out);
    const bool opened = openDocumentRoot(out, "SVMExecution", !run.adapters.empty(), !run.options.wwn.empty());
    if (anySupported(run) && outcome.precondition != ResultCode::Success)
        statusForCode(out, MESSAGE_KIND_EXECUTION, outcome.precondition);
    return opened;
}

void writeExecutionDevice(XmlDocument& out, const AdapterOutcome& outcomes) {
    if (outcomes.empty())
        return;
    writeDeviceStart(out, *outcomes.front().adapter);
    for (const ComponentOutcome& o : outcomes)
        writeExecutionApplication(out, o);
    xmlClose(out, "Device", 1);
    // Flushed as each adapter finishes, so a reader of the file during the run sees
    // the finished devices.
    out.flush();
}

void closeExecutionDocument(XmlDocument& out, const RunContext& run, const RunOutcome& outcome, bool opened) {
    reportSelectionMiss(out, MESSAGE_KIND_EXECUTION, outcome);
    if (opened) {
        if (anySupported(run))
            xmlReboot(out, outcome.rebootRequired, 1);
        xmlClose(out, "SVMExecution", 0);
    }
}
