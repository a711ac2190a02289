// The trace file and its settings (see trace.h), with the settings file's line form:
// KEY=value or KEY value, keys in any case, decimal or "0x" values, '/' starting a
// comment.
#include "log/trace.h"

#include "log/debug_log.h"
#include "platform/platform.h"

#include <cctype>
#include <cstdarg>
#include <cstring>
#include <string>

TraceSettings traceSettings;

namespace {

std::string g_tracePath;

// Reads an unsigned decimal number, or hexadecimal after "0x"/"0X". Text that is not
// a number reads as 0.
std::uint32_t parseSettingValue(const std::string& value) {
    std::uint32_t result = 0;
    if (value.size() >= 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        for (std::size_t i = 2; i < value.size(); ++i) {
            const int c = static_cast<unsigned char>(value[i]);
            if (!std::isxdigit(c))
                break;
            result = result * 16 + static_cast<std::uint32_t>(std::isdigit(c) ? c - '0' : std::toupper(c) - 'A' + 10);
        }
        return result;
    }
    for (char ch : value) {
        if (ch < '0' || ch > '9')
            break;
        result = result * 10 + static_cast<std::uint32_t>(ch - '0');
    }
    return result;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

void applySetting(const std::string& key, const std::string& value) {
    struct Key {
        const char* name;
        std::uint32_t TraceSettings::*field;
    };
    static const Key keys[] = {
        {"DBG_MODE", &TraceSettings::DBG_MODE}, {"LOG_MODE", &TraceSettings::LOG_MODE},
        {"PARAM01", &TraceSettings::PARAM01},   {"PARAM02", &TraceSettings::PARAM02},
        {"PARAM03", &TraceSettings::PARAM03},   {"PARAM04", &TraceSettings::PARAM04},
        {"INSIZER", &TraceSettings::INSIZER},   {"OUTSIZER", &TraceSettings::OUTSIZER},
        {"INSIZEW", &TraceSettings::INSIZEW},   {"OUTSIZEW", &TraceSettings::OUTSIZEW},
    };
    for (const Key& k : keys) {
        if (key == k.name) {
            traceSettings.*(k.field) = parseSettingValue(value);
            return;
        }
    }
    if (key == "FILLBYTE") {
        traceSettings.FILLBYTE = static_cast<std::uint8_t>(parseSettingValue(value) & 0xFF);
        return;
    }
    if (key == "REMOTE_HBA_WWPN" && value.size() == 23)
        return; // recognised, changes nothing
    std::fputs("Unkonw Token Found", noticeStream());
}

void parseSettingsLine(const char* line) {
    std::size_t i = 0;
    while (isBlank(line[i]))
        ++i;
    if (line[i] == '/')
        return; // comment
    std::string key;
    while (line[i] != '\0' && line[i] != '=' && !isBlank(line[i]) && line[i] != '\n' && line[i] != '\r')
        key += static_cast<char>(std::toupper(static_cast<unsigned char>(line[i++])));
    if (key.empty())
        return;
    while (line[i] == '=' || isBlank(line[i]))
        ++i;
    std::string value;
    while (line[i] != '\0' && !isBlank(line[i]) && line[i] != '\n' && line[i] != '\r')
        value += line[i++];
    applySetting(key, value);
}

} // namespace

void readTraceSettings(std::FILE* settings) {
    if (settings == nullptr)
        return;
    char line[132]; // each read takes at most 131 characters
    while (std::fgets(line, sizeof line, settings) != nullptr)
        parseSettingsLine(line);
    std::fclose(settings);
}

void setTraceFolder(const std::string& folder) { g_tracePath = folder + kTraceFileName; }

const char* traceFilePath() {
    if (g_tracePath.empty())
        g_tracePath = kTraceFileName;
    return g_tracePath.c_str();
}

void traceWrite(void* /*handle*/, const char* format, ...) {
    const char* path = traceFilePath();
    // Appended to only when it is an ordinary file: never through a link, never to a
    // device or a pipe that happens to carry the name.
    if (platform::fileKindAt(path) != platform::FileKind::Regular)
        return;
    std::FILE* file = std::fopen(path, "a");
    if (file == nullptr)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(file, format, args);
    va_end(args);
    std::fclose(file);
}

void traceLine(void* handle, const char* text) {
    const platform::LocalTime now = platform::localTime();
    traceWrite(handle, "(%02d:%02d:%02d.%03d) ", now.hour, now.minute, now.second, now.millisecond);
    traceWrite(handle, "(%d) ", platform::processId());
    traceWrite(handle, "%s", text); // the text is written as it stands
    traceWrite(handle, "\n");
}
