// The XML documents: this file owns the output file's handle and the rendering of the
// inventory, execution and failure documents from inventory records (the adapter list)
// and outcome records, line by line, four blanks of indentation per level, to the
// output file and (with -s) to standard output. It acts on nothing: the execution
// hands it each adapter's outcomes when they are done.
#pragma once

#include "common/format_check.h"
#include "common/run_state.h"
#include "run/run_context.h"
#include "update/outcome.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The open XML output file, or null.
std::FILE* outputFile();
void attachOutputFile(std::FILE* file);
std::FILE*& outputFileSlot();
// Echo of the documents on standard output: the run's output targets (-s, -o bits).
void setConsoleEcho(std::uint32_t outputTargets);
// Pushes what was written so far to the output file. Returns false when some of the
// document has not reached it (now or by an earlier write).
bool flushOutputFile();
// Closes the output file if it is open. Returns the empty text when the whole document
// reached the file, else why not; the next output file starts afresh.
std::string closeOutputFile();

// Writes to standard output when the console echo is 1 or 3, to the handle
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
void xmlReboot(bool rebootRequired, int level);

// Failure document for an argument or output-file error (always SVMInventory form).
void writeFailureDocument(int kind, std::int32_t code);

// The inventory document: the Device elements of the selected adapters, or the status
// that stopped the run (precondition: the run's precondition status, 0 when it may go
// on). A document without any supported adapter carries no precondition status: its
// empty root says it.
void writeInventoryDocument(RunContext& run, std::int32_t precondition,
                            const std::vector<const HbaEntry*>& selected);

// The execution document, in three steps so that each Device reaches the file as its
// adapter finishes. Opening writes the root and the precondition status (as for the
// inventory); returns whether the root was opened and must be closed.
bool openExecutionDocument(const RunContext& run, std::int32_t precondition);
// One finished adapter: its Device element with an Application per outcome, flushed.
void writeExecutionDevice(const std::vector<ComponentOutcome>& outcomes);
// The not-found status of an unmatched -wwn selection, RebootRequired (when the run
// has supported adapters) and the end of the root.
void closeExecutionDocument(RunContext& run, bool opened, bool selectionMatched, bool rebootRequired);
