// Configuration files (see config_files.h): the record format (a "pci_id" line, then
// "vendor_id", "subsys_id", "subven_id" and "family_id" lines), what a faulty line
// costs (its record or the rest of its file), and the case-blind name order of the
// directory scan.
#include "catalog/config_files.h"

#include "common/text.h"
#include "image/file_extension.h"
#include "log/console.h"
#include "log/debug_log.h"
#include "platform/platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <list>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

namespace {

// Line lengths of a record: the first line, and each of the four lines after it.
constexpr std::size_t kFirstLineMax = 127;
constexpr std::size_t kRecordLineMax = 31;

// Reads the lines of a configuration file and counts them. A line longer than the
// read allows is cut: its rest is read as the following line (which keeps the file
// line's number); a line of exactly the limit is still one line.
struct LineReader {
    std::FILE* file = nullptr;
    unsigned number = 0;    // the file line the last read came from
    bool continues = false; // the last read is the rest of a line cut before it
    bool cut = false;       // the last read was cut: the next one continues its line

    // Reads at most maxChars characters, without the newline. Returns false at the end
    // of the file with nothing read.
    bool read(std::size_t maxChars, std::string& line) {
        continues = cut;
        cut = false;
        if (!continues)
            ++number;
        line.clear();
        int c = 0;
        while (line.size() < maxChars && (c = std::fgetc(file)) != EOF) {
            if (c == '\n')
                return true;
            line += static_cast<char>(c);
        }
        if (line.empty() && c == EOF)
            return false;
        if (line.size() == maxChars) {
            c = std::fgetc(file);
            if (c != '\n' && c != EOF) {
                std::ungetc(c, file);
                cut = true;
            }
        }
        return true;
    }
};

// Where a refused line is, for the line on standard error.
struct ConfigPlace {
    const char* path;      // the file as the run found it
    unsigned recordLine;   // the line its record began on
};

std::string firstToken(const std::string& line) {
    const char* blanks = " \t\r\n";
    const std::size_t start = line.find_first_not_of(blanks);
    if (start == std::string::npos)
        return {};
    const std::size_t end = line.find_first_of(blanks, start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// A value longer than the record's fields is refused rather than cut: a cut id or
// family would silently describe another model or family.
bool isTooLong(const std::string& value, const char* key) {
    if (value.size() <= CONFIG_VALUE_MAX)
        return false;
    debugPrint("Error: %s value is longer than %zu characters! Value = %s\n", key, CONFIG_VALUE_MAX,
               value.c_str());
    return true;
}

// The id lines that follow "pci_id", in file order, with their messages.
struct IdLine {
    const char* key;
    const char* noKey;
    const char* noValue;
    const char* notHex;
};

constexpr IdLine kIdLines[] = {
    {"vendor_id", "Error: no vendor_id!\n", "Error: vendor_id value not found!\n",
     "Error: vendor_id value not in hex format!\n"},
    {"subsys_id", "Error: no subsys_id!\n", "Error: subsys_id value not found!\n",
     "Error: subsys_id value not in hex format!\n"},
    {"subven_id", "Error: no subven_id!\n", "Error: subven_id value not found!\n",
     "Error: subven_id value not in hex format!\n"},
};

enum class RecordEnd { NextRecord, StopFile };

constexpr const char* kRestIgnored = "the rest of the file is ignored";
constexpr const char* kNotHex = "is no nonzero hexadecimal number";
const std::string kTooLong = joinText("is longer than ", std::to_string(CONFIG_VALUE_MAX), " characters");

std::string recordSkipped(const ConfigPlace& at) {
    return joinText("the record that begins on line ", std::to_string(at.recordLine), " is skipped");
}

// A record line whose value is refused: the record goes, the file goes on.
void sayValueRefused(const ConfigPlace& at, const LineReader& lines, const char* key, const std::string& value,
                     const char* why) {
    sayOnStandardError("%s, line %u: the %s value %s %s; %s", at.path, lines.number, key, value.c_str(), why,
                       recordSkipped(at).c_str());
}

// Checks a record line's value: found, short enough, hexadecimal when asked.
// Returns false, after the debug log's message and the line on standard error, when
// the value refuses the record.
bool valueAccepted(const ConfigPlace& at, const LineReader& lines, const std::string& line, const char* key,
                   const char* noValue, std::string& value) {
    if (getKeyValue(line.c_str(), key, value) != 0) {
        debugPrint("%s", noValue);
        sayOnStandardError("%s, line %u: %s has no value; %s", at.path, lines.number, key, recordSkipped(at).c_str());
        return false;
    }
    if (isTooLong(value, key)) {
        sayValueRefused(at, lines, key, value, kTooLong.c_str());
        return false;
    }
    return true;
}

// Why a record line lacks its key: the file ended, a blank line, the rest of an
// over-long line, or another line where the key was due.
void sayKeyMissing(const ConfigPlace& at, const LineReader& lines, bool read, const std::string& line,
                   const char* key, std::size_t limit) {
    if (!read)
        sayOnStandardError("%s: the file ends inside the record that begins on line %u, which is skipped; "
                           "complete it with its %s line",
                           at.path, at.recordLine, key);
    else if (lines.continues)
        sayOnStandardError("%s, line %u: longer than %zu characters, so its rest is read as the record's next "
                           "line, which has no %s, and %s; keep a record's lines after pci_id to %zu characters",
                           at.path, lines.number, limit, key, kRestIgnored, limit);
    else if (firstToken(line).empty())
        sayOnStandardError("%s, line %u: a blank line inside the record that begins on line %u, so %s; a "
                           "record's five lines must follow each other",
                           at.path, lines.number, at.recordLine, kRestIgnored);
    else
        sayOnStandardError("%s, line %u: no %s where the record that begins on line %u needs it, so %s; a "
                           "record is pci_id, vendor_id, subsys_id, subven_id and family_id, in this order",
                           at.path, lines.number, key, at.recordLine, kRestIgnored);
}

// Reads lines 2 to 5 of a record whose device id is known. These lines are neither
// tokenised nor checked for comments.
RecordEnd readRecordTail(LineReader& lines, const ConfigPlace& at, std::uint32_t deviceId, const char* fileName,
                         ConfigList& list, RunTally& tally) {
    std::uint32_t ids[3] = {};
    std::string line;
    std::string value;
    for (std::size_t i = 0; i < 3; ++i) {
        const IdLine& id = kIdLines[i];
        const bool read = lines.read(kRecordLineMax, line);
        if (!read || line.find(id.key) == std::string::npos) {
            debugPrint("%s", id.noKey);
            sayKeyMissing(at, lines, read, line, id.key, kRecordLineMax);
            return RecordEnd::StopFile;
        }
        if (!valueAccepted(at, lines, line, id.key, id.noValue, value))
            return RecordEnd::NextRecord;
        if (parseHexId(&ids[i], value.c_str()) != 0) {
            debugPrint("%s", id.notHex);
            sayValueRefused(at, lines, id.key, value, kNotHex);
            return RecordEnd::NextRecord;
        }
    }
    const bool read = lines.read(kRecordLineMax, line);
    if (!read || line.find("family_id") == std::string::npos) {
        debugPrint("Error: no familyId!\n");
        sayKeyMissing(at, lines, read, line, "family_id", kRecordLineMax);
        return RecordEnd::StopFile;
    }
    if (!valueAccepted(at, lines, line, "family_id", "Error: family_id value not found!\n", value))
        return RecordEnd::NextRecord;
    addConfigEntry(list, tally, deviceId, ids[0], ids[1], ids[2], value.c_str(), fileName);
    return RecordEnd::NextRecord;
}

// Why a line that should begin a record does not: the rest of an over-long line, a
// byte-order mark in front of the first line, or another line.
void sayNoRecord(const char* path, const LineReader& lines, const std::string& line) {
    if (lines.continues)
        sayOnStandardError("%s, line %u: longer than %zu characters (a comment too), so its rest is read as a "
                           "line of its own, which begins no record, and %s; keep lines to %zu characters",
                           path, lines.number, kFirstLineMax, kRestIgnored, kFirstLineMax);
    else if (lines.number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
        sayOnStandardError("%s, line 1: the file begins with a UTF-8 byte-order mark, so the line is neither a "
                           "comment nor a record and %s; save the file without the mark",
                           path, kRestIgnored);
    else
        sayOnStandardError("%s, line %u: no pci_id where a record should begin, so %s; a line is a comment "
                           "(# or //), blank, or the pci_id line of a record",
                           path, lines.number, kRestIgnored);
}

void readConfigFile(std::FILE* file, const char* path, const char* fileName, ConfigList& list, RunTally& tally) {
    LineReader lines{file};
    std::string line;
    std::string value;
    while (lines.read(kFirstLineMax, line)) {
        const std::string token = firstToken(line);
        if (token.empty() || token[0] == '#' || token.rfind("//", 0) == 0)
            continue;
        if (token.find("pci_id") == std::string::npos) {
            debugPrint("Error: no pci_id!\n");
            sayNoRecord(path, lines, line);
            return;
        }
        const ConfigPlace at{path, lines.number};
        if (getKeyValue(line.c_str(), "pci_id", value) != 0) {
            debugPrint("Error: pci_id value not found!\n\n");
            sayOnStandardError("%s, line %u: pci_id has no value; %s", path, lines.number, recordSkipped(at).c_str());
            continue;
        }
        if (isTooLong(value, "pci_id")) {
            sayValueRefused(at, lines, "pci_id", value, kTooLong.c_str());
            continue;
        }
        std::uint32_t deviceId = 0;
        if (parseHexId(&deviceId, value.c_str()) != 0) {
            debugPrint("Error: pci_id value not in hex format!\n\n");
            sayValueRefused(at, lines, "pci_id", value, kNotHex);
            continue;
        }
        if (readRecordTail(lines, at, deviceId, fileName, list, tally) == RecordEnd::StopFile)
            return;
    }
}

// Name order as a Windows folder lists it: ASCII letters compared as upper case
// ('_' after the letters), other bytes by value; names that differ only in case (a
// POSIX folder may hold both) are settled by their bytes.
bool listedBefore(const std::string& a, const std::string& b) {
    const auto upper = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
    };
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (upper(a[i]) != upper(b[i]))
            return upper(a[i]) < upper(b[i]);
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

} // namespace

bool isFileNameOfKind(const std::string& name, int kind) {
    if (kind == FILE_LIST_CONFIG)
        return isConfigFileName(name);
    std::uint32_t extType = 0;
    return kind == FILE_LIST_PAYLOAD && isValidFileExtension(name.c_str(), &extType, EXT_MODE_ANY) == 0;
}

std::vector<std::string> makeFileNameList(const char* directory, int* status, int kind) {
    *status = 1;
    debugPrint("\n[makeFileNameList]\n");
    std::vector<std::string> listed;
    std::optional<std::vector<std::string>> names;
    try {
        names = platform::listDirectory(directory != nullptr ? directory : "");
    } catch (const std::bad_alloc&) {
        return listed;
    }
    if (!names)
        return listed;
    std::sort(names->begin(), names->end(), listedBefore);
    *status = 0;
    for (const std::string& name : *names) {
        if (name == "." || name == "..")
            continue;
        if (!isFileNameOfKind(name, kind)) {
            debugPrint("Skipping unsupported file = %s\n", name.c_str());
            continue;
        }
        if (name.size() > LISTED_NAME_MAX) {
            debugPrint("Skipping file = %s\n", name.c_str());
            debugPrint("The file name is longer than expected.\n");
            sayOnStandardError("%s%s is skipped: a file name may have at most 31 characters, this one has %zu; "
                               "rename it",
                               directory != nullptr ? directory : "", name.c_str(), name.size());
            continue;
        }
        try {
            listed.push_back(name);
        } catch (const std::bad_alloc&) {
            debugPrint("Skipping file = %s\n", name.c_str());
            debugPrint("Could not allocate memory.\n");
        }
    }
    // Newest first: the reverse of the enumeration order.
    std::reverse(listed.begin(), listed.end());
    return listed;
}

std::FILE* openConfigFile(const char* configDir, const char* name, int* status) {
    // The directory text already ends in a separator; the doubled one is harmless.
    const std::string path = std::string(configDir) + platform::kPathSeparator + name;
    debugPrint("Attempting to open = %s\n", path.c_str());
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        *status = 18;
        debugPrint("Config file could not be opened!\n\n");
    }
    return file;
}

void readConfigFiles(const char* configDir, const std::vector<std::string>& fileNames, int* status,
                     ConfigList& list, RunTally& tally) {
    debugPrint("\n[Reading Configuration Files]\n");
    if (fileNames.empty()) {
        *status = 1;
        return;
    }
    *status = 0;
    for (const std::string& fileName : fileNames) {
        const char* name = fileName.c_str();
        ++tally.configFilesRead;
        debugPrint("\nOpening file = %s\n", name);
        std::FILE* file = openConfigFile(configDir, name, status);
        if (file == nullptr)
            continue;
        *status = 0;
        readConfigFile(file, (std::string(configDir) + name).c_str(), name, list, tally);
        debugPrint("Closing = %s\n", name);
        std::fclose(file);
    }
}

int getKeyValue(const char* line, const char* key, std::string& valueOut, char delimiter) {
    valueOut.clear();
    const char* at =
        (line == nullptr || key == nullptr || line[0] == '\0') ? nullptr : std::strstr(line, key);
    // Searching from the key's start lets a key that ends in its delimiter ("FW=") work too.
    const char* p = at != nullptr ? std::strchr(at, delimiter) : nullptr;
    if (p != nullptr) {
        ++p;
        while (*p == ' ')
            ++p;
        while (*p != '\0' && *p != ' ' && *p != ';' && *p != '\r' && *p != '\n')
            valueOut += *p++;
    }
    if (valueOut.empty()) {
        valueOut = "N/A";
        return 1;
    }
    return 0;
}

int parseHexId(std::uint32_t* out, const char* text) {
    std::uint64_t value = 0;
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
        p += 2;
    for (; std::isxdigit(static_cast<unsigned char>(*p)); ++p) {
        const int c = std::tolower(static_cast<unsigned char>(*p));
        value = value * 16 + static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
        // Saturate like a 32-bit unsigned conversion: an id this large matches nothing.
        if (value > 0xFFFFFFFFu)
            value = 0xFFFFFFFFu;
    }
    *out = static_cast<std::uint32_t>(value);
    return *out != 0 ? 0 : 1;
}

int addConfigEntry(ConfigList& list, RunTally& tally, std::uint32_t deviceId, std::uint32_t vendorId,
                   std::uint32_t subSystemId, std::uint32_t subVendorId, const char* familyId,
                   const char* fileName) {
    ++tally.configEntriesValid;
    for (const ConfigEntry& e : list) {
        if (e.deviceId != deviceId || e.vendorId != vendorId || e.subSystemId != subSystemId ||
            e.subVendorId != subVendorId)
            continue;
        // Which file a model's family ID comes from depends on the files' names; an
        // operator who left two answers in the package is told which one is used.
        if (e.familyId.view() != std::string_view(familyId)) {
            char line[320];
            std::snprintf(line, sizeof line,
                          "Configuration conflict for adapter pci_id=%X vendor_id=%X subsys_id=%X subven_id=%X: "
                          "family_id=%s from %s is used, family_id=%s from %s is ignored\n",
                          deviceId, vendorId, subSystemId, subVendorId, e.familyId.c_str(), e.fileName.c_str(),
                          familyId, fileName != nullptr ? fileName : "");
            debugPrint("%s", line);
            sayOnStandardError("%.*s", static_cast<int>(std::strlen(line)) - 1, line); // without its newline
        }
        return 0;
    }
    ConfigEntry* entry = nullptr;
    try {
        entry = &list.emplace_back();
    } catch (const std::bad_alloc&) {
        return 1;
    }
    entry->deviceId = deviceId;
    entry->vendorId = vendorId;
    entry->subSystemId = subSystemId;
    entry->subVendorId = subVendorId;
    entry->familyId = familyId;
    entry->fileName = fileName != nullptr ? fileName : "";
    return 0;
}

void printConfigEntries(const ConfigList& list) {
    debugPrint("\n");
    debugPrint("\n[Discovered Configuration Entries]\n");
    int number = 1;
    for (const ConfigEntry& entry : list) {
        const ConfigEntry* e = &entry;
        debugPrint("\nConfiguration #%d\n", number);
        debugPrint("--- deviceId    = %X\n", e->deviceId);
        debugPrint("--- vendorId    = %X\n", e->vendorId);
        debugPrint("--- subSystemId = %X\n", e->subSystemId);
        debugPrint("--- subVendorId = %X\n", e->subVendorId);
        debugPrint("--- family      = %s\n", e->familyId.c_str());
        ++number;
    }
    debugPrint("\n");
}

