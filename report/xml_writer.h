// The XML documents: line-by-line writers with no character escaping, four blanks of
// indentation per level, to the output file and (with -s) to standard output.
#pragma once

#include "common/format_check.h"
#include "common/run_state.h"

#include <cstdint>
#include <cstdio>
#include <string>

// The open XML output file, or null.
std::FILE* outputFile();
void attachOutputFile(std::FILE* file);
std::FILE*& outputFileSlot();
// Pushes what was written so far to the output file. Returns false when some of the
// document has not reached it (now or by an earlier write).
bool flushOutputFile();
// Closes the output file if it is open. Returns the empty text when the whole document
// reached the file, else why not; the next output file starts afresh.
std::string closeOutputFile();

// Writes to standard output when the console echo setting is 1 or 3, to the handle
// when it is open, then flushes standard output. After a write to the output file
// fails, nothing more goes to it: the file is cut, never holed.
void xmlPrint(std::FILE* handle, const char* format, ...) WM_PRINTF(2, 3);

void xmlDeclaration();
void xmlOpenRoot(const char* name);
void xmlEmptyRoot(const char* name);
void xmlClose(const char* name, int level);
// Indentation and "<name " — the attributes follow.
void xmlElementStart(const char* name, int level);
void xmlMessage(std::uint32_t id, const char* text, int level);
void xmlStatus(const char* result, const char* message, std::uint32_t id, int level,
               int messageLevel);
void xmlPackage(const char* familyId, const char* value, int level, bool bootCode);
void xmlReboot(const RunOptions& options, int level);

// Failure document for an argument or output-file error (always SVMInventory form).
void writeFailureDocument(int kind, std::int32_t code);

// The inventory and execution documents. The execution document's Device loop checks
// for a stop request (platform::stopRequested) before each adapter: once there is one,
// no further adapter is touched and the document is closed with the finished Devices.
// Each finished Device is flushed to the file. Returns the number of selected adapters
// left untouched by a stop.
void writeInventoryDocument(RunOptions& options);
std::uint32_t writeExecutionDocument(RunOptions& options);
