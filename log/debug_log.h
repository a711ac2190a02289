// Owns the debug file, the run's narration: nearly every step writes here, and with no
// debug file open the text goes nowhere. Also the stream that takes console notices
// and the time-stamp line.
#pragma once

#include "common/format_check.h"

#include <cstdio>
#include <string>

// Writes formatted text to the debug file when it is open and flushes it, so that a
// killed run's log ends with the last step it narrated; always flushes standard output
// afterwards. No time stamp, no added newline. A write that fails is reported once on
// standard error and ends the narration: the log is cut, never holed.
void debugPrint(const char* format, ...) WM_PRINTF(1, 2);

// The open debug file, or null.
std::FILE* debugFile();
// The slot that holds the debug file: opening code stores the handle here as soon as
// the file exists, so its own messages already reach the file.
std::FILE*& debugFileSlot();
// Hands an opened file to the debug channel (null closes nothing and detaches).
void attachDebugFile(std::FILE* file);
// The debug file's name, for messages about it.
void nameDebugFile(const char* name);
// Sets the debug file aside for its lifetime: what is printed meanwhile goes nowhere.
// For work done ahead of the step the log narrates (a plan), so that the log tells each
// step once, when it happens.
class DebugLogAside {
  public:
    DebugLogAside() : file_(debugFileSlot()) { debugFileSlot() = nullptr; }
    ~DebugLogAside() { debugFileSlot() = file_; }
    DebugLogAside(const DebugLogAside&) = delete;
    DebugLogAside& operator=(const DebugLogAside&) = delete;

  private:
    std::FILE* file_;
};
// Closes the debug file if it is open. Returns the empty text when everything written
// reached the file, else why not; the next debug file starts afresh.
std::string closeDebugFile();

// Console texts other than the XML document and the -h, -v and -e answers: standard
// error when the document goes to standard output (-s), else standard output.
void sendNoticesToStandardError(bool toStandardError);
std::FILE* noticeStream();

// Writes the current local time as "Www Mmm dd hh:mm:ss yyyy\n", or
// "Current time is not available".
void displayTime();
