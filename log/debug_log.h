// The debug file: nearly every step narrates itself here. With no debug file open
// the text goes nowhere.
#pragma once

#include "common/format_check.h"

#include <cstdio>
#include <string>

// Writes formatted text to the debug file when it is open; always flushes standard
// output afterwards. No time stamp, no added newline.
void debugPrint(const char* format, ...) WM_PRINTF(1, 2);

// The open debug file, or null.
std::FILE* debugFile();
// The slot that holds the debug file: opening code stores the handle here as soon as
// the file exists, so its own messages already reach the file.
std::FILE*& debugFileSlot();
// Hands an opened file to the debug channel (null closes nothing and detaches).
void attachDebugFile(std::FILE* file);
// Closes the debug file if it is open.
void closeDebugFile();

// Writes the current local time as "Www Mmm dd hh:mm:ss yyyy\n", or
// "Current time is not available".
void displayTime();
