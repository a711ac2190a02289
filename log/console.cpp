// The program's own lines on standard error and the status line (see console.h).
#include "log/console.h"

#include "common/text.h"

#include <cstdarg>
#include <cstdio>

namespace {

bool g_statusEnabled = false;
std::string g_status; // the status line as shown now; empty when none is
unsigned g_said = 0;

// Back to the line's start and clear it (ECMA-48 "erase in line").
constexpr const char* kClearLine = "\r\033[K";

void put(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

} // namespace

void writeStandardErrorLine(const std::string& text) {
    // One write, so that a reader of a pipe never sees the line in pieces.
    if (g_status.empty())
        put(text + "\n");
    else
        put(kClearLine + text + "\n" + g_status);
}

void sayOnStandardError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = "winmarlo: " + formatTextList(format, args);
    va_end(args);
    ++g_said;
    writeStandardErrorLine(text);
}

unsigned standardErrorLinesSaid() { return g_said; }

void enableStatusLine(bool enabled) {
    if (!enabled)
        showStatusLine("");
    g_statusEnabled = enabled;
}

void showStatusLine(const std::string& text) {
    if (!g_statusEnabled || (text.empty() && g_status.empty()))
        return;
    g_status = text;
    put(kClearLine + text);
}
