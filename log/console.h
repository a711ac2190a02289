// Owns the program's own lines on standard error: the "winmarlo: " lines that say
// what went wrong and what to do, and, when standard error is a terminal, the one
// status line that the progress display rewrites in place. A line said while the
// status line shows clears it first and draws it again below, so the two never mix.
#pragma once

#include "common/format_check.h"

#include <string>

// Says one line on standard error: "winmarlo: ", the formatted text, a newline.
void sayOnStandardError(const char* format, ...) WM_PRINTF(1, 2);

// Writes a line as it is, with a newline, on standard error.
void writeStandardErrorLine(const std::string& text);

// How many lines sayOnStandardError has said in this process.
unsigned standardErrorLinesSaid();

// Whether the status line may be drawn from now on; only a terminal should have one.
// Switching it off clears what is shown.
void enableStatusLine(bool enabled);

// Rewrites the status line in place (carriage return, clear-line, the text, no
// newline); an empty text clears it. Nothing when the status line is not enabled.
void showStatusLine(const std::string& text);
