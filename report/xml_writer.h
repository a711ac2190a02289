// The XML documents: the document of a run (its output file and echo) and the rendering
// of the inventory, execution and failure documents from inventory records (the adapter list)
// and outcome records, line by line, four blanks of indentation per level, to the
// output file and (with -s) to standard output. It acts on nothing: the execution
// hands it each adapter's outcomes when they are done.
#pragma once

#include "common/format_check.h"
#include "common/run_state.h"
#include "run/run_context.h"
#include "run/run_outcome.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The XML document of one run: its output file (or none), the echo on standard output,
// and why the file stopped taking the document. The run driver owns one; everything
// that writes the document is handed it.
class XmlDocument {
  public:
    XmlDocument() = default;
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;
    ~XmlDocument();

    // Whether the output file is open.
    bool hasFile() const { return file_ != nullptr; }
    // Takes the opened output file; the document closes it.
    void attach(std::FILE* file);
    // Echo on standard output: the run's output targets (-s, -o bits); 1 or 3 echo.
    void setEcho(std::uint32_t outputTargets) { echo_ = outputTargets; }
    // Pushes what was written so far to the output file. Returns false when some of the
    // document has not reached it (now or by an earlier write).
    bool flush();
    // Closes the output file if it is open. Returns the empty text when the whole
    // document reached the file, else why not; the next file starts afresh.
    std::string close();
    // Writes to standard output when the echo is 1 or 3, to the output file when it is
    // open, then flushes standard output. After a write to the output file fails,
    // nothing more goes to it: the file is cut, never holed.
    void print(const char* format, ...) WM_PRINTF(2, 3);

  private:
    void noteFailure(int error);

    std::FILE* file_ = nullptr;
    std::uint32_t echo_ = 0;
    std::string failure_; // why the output file stopped taking the document, or empty
};

void xmlDeclaration(XmlDocument& out);
void xmlOpenRoot(XmlDocument& out, const char* name);
void xmlEmptyRoot(XmlDocument& out, const char* name);
void xmlClose(XmlDocument& out, const char* name, int level);
// Indentation and "<name " — the attributes follow.
void xmlElementStart(XmlDocument& out, const char* name, int level);
void xmlMessage(XmlDocument& out, std::uint32_t id, const char* text, int level);
void xmlStatus(XmlDocument& out, const char* result, const char* message, std::uint32_t id, int level,
               int messageLevel);
void xmlPackage(XmlDocument& out, const char* familyId, const char* value, int level, bool bootCode);
void xmlReboot(XmlDocument& out, bool rebootRequired, int level);

// What an inventory Device of the adapter lacks ("its PCI ids, its port name"); empty
// when it is complete. An incomplete Device makes the inventory fail (3 or 5).
std::string missingInventoryParts(const HbaEntry& e);

// Failure document for an argument or output-file error (always SVMInventory form).
void writeFailureDocument(XmlDocument& out, int kind, std::int32_t code);

// The inventory document of the run's outcome: the Device elements of the selected
// adapters, or the precondition status that stopped the run, and the not-found status
// of an unmatched -wwn selection. A document without any supported adapter carries no
// precondition status: its empty root says it.
void writeInventoryDocument(XmlDocument& out, const RunContext& run, const RunOutcome& outcome);

// The execution document, in three steps so that each Device reaches the file as its
// adapter finishes. Opening writes the root and the precondition status (as for the
// inventory); returns whether the root was opened and must be closed.
bool openExecutionDocument(XmlDocument& out, const RunContext& run, const RunOutcome& outcome);
// One finished adapter: its Device element with an Application per outcome, flushed.
void writeExecutionDevice(XmlDocument& out, const AdapterOutcome& outcomes);
// The not-found status of an unmatched -wwn selection, RebootRequired (when the run
// has supported adapters) and the end of the root.
void closeExecutionDocument(XmlDocument& out, const RunContext& run, const RunOutcome& outcome, bool opened);
