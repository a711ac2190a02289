// The trace file "tavdbg.log" beside the program and its settings file "RM.INI".
// The program never creates the trace file: it appends only when the file exists.
#pragma once

#include "common/format_check.h"

#include <cstdint>
#include <cstdio>
#include <string>

struct TraceSettings {
    std::uint32_t DBG_MODE = 0;
    std::uint32_t LOG_MODE = 0;
    std::uint32_t PARAM01 = 0, PARAM02 = 0, PARAM03 = 0, PARAM04 = 0;
    std::uint32_t INSIZER = 0, OUTSIZER = 0, INSIZEW = 0, OUTSIZEW = 0;
    std::uint8_t FILLBYTE = 0;
};

extern TraceSettings traceSettings;

// LOG_MODE groups.
constexpr std::uint32_t TRACE_KEYS_AND_OBJECTS = 0x8000; // download keys, objects, attributes
constexpr std::uint32_t TRACE_VPD_TREE = 0x80000;        // VPD property-tree messages

// Whether the settings ask for the key, object and attribute messages.
inline bool tracingKeysAndObjects() { return (traceSettings.LOG_MODE & TRACE_KEYS_AND_OBJECTS) != 0; }

constexpr const char* kTraceFileName = "tavdbg.log";
constexpr const char* kTraceSettingsFileName = "RM.INI";

// Reads trace settings from an opened settings file to its end, then closes it.
// Unknown keys print "Unkonw Token Found" on the notice stream (standard output, or
// standard error when the document goes to standard output).
void readTraceSettings(std::FILE* settings);

// The folder of the trace file (the program's folder, ending in a separator); set once
// at start-up, before the first trace line.
void setTraceFolder(const std::string& folder);

// Appends formatted text to the trace file when that file exists as an ordinary file.
void traceWrite(void* handle, const char* format, ...) WM_PRINTF(2, 3);

// Writes "(hh:mm:ss.mmm) (pid) text\n" to the trace file.
void traceLine(void* handle, const char* text);

// Path of the trace file in the trace folder.
const char* traceFilePath();
