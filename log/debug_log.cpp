// The debug file and the notice stream (see debug_log.h).
#include "log/debug_log.h"

#include "log/console.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>

namespace {
std::FILE* g_debugFile = nullptr;
std::string g_debugName;
std::string g_debugFailure; // why the debug file stopped taking text, or empty
bool g_noticesToStandardError = false;

void noteDebugFailure(int error) {
    if (!g_debugFailure.empty())
        return;
    g_debugFailure = error != 0 ? std::strerror(error) : "write error";
    sayOnStandardError("cannot write the debug log %s (%s); it is incomplete", g_debugName.c_str(),
                       g_debugFailure.c_str());
}
} // namespace

void debugPrint(const char* format, ...) {
    if (g_debugFile != nullptr && g_debugFailure.empty()) {
        va_list args;
        va_start(args, format);
        errno = 0;
        const int written = std::vfprintf(g_debugFile, format, args);
        va_end(args);
        if (written < 0 || std::fflush(g_debugFile) != 0)
            noteDebugFailure(errno);
    }
    std::fflush(stdout);
}

std::FILE* debugFile() { return g_debugFile; }

std::FILE*& debugFileSlot() { return g_debugFile; }

void attachDebugFile(std::FILE* file) {
    g_debugFile = file;
    g_debugFailure.clear();
}

void nameDebugFile(const char* name) { g_debugName = name; }

std::string closeDebugFile() {
    if (g_debugFile != nullptr) {
        errno = 0;
        if (std::fclose(g_debugFile) != 0)
            noteDebugFailure(errno);
        g_debugFile = nullptr;
    }
    std::string failure;
    failure.swap(g_debugFailure);
    return failure;
}

void sendNoticesToStandardError(bool toStandardError) { g_noticesToStandardError = toStandardError; }

std::FILE* noticeStream() { return g_noticesToStandardError ? stderr : stdout; }

void displayTime() {
    static const char* const weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    const std::tm* parts = now == static_cast<std::time_t>(-1) ? nullptr : std::localtime(&now);
    if (parts == nullptr || parts->tm_wday < 0 || parts->tm_wday > 6 || parts->tm_mon < 0 ||
        parts->tm_mon > 11) {
        debugPrint("Current time is not available");
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", weekdays[parts->tm_wday],
                  months[parts->tm_mon], parts->tm_mday, parts->tm_hour, parts->tm_min,
                  parts->tm_sec, 1900 + parts->tm_year);
    debugPrint("%s", text);
}
