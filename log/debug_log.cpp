#include "log/debug_log.h"

#include <cstdarg>
#include <ctime>

namespace {
std::FILE* g_debugFile = nullptr;
}

void debugPrint(const char* format, ...) {
    if (g_debugFile != nullptr) {
        va_list args;
        va_start(args, format);
        std::vfprintf(g_debugFile, format, args);
        va_end(args);
    }
    std::fflush(stdout);
}

std::FILE* debugFile() { return g_debugFile; }

std::FILE*& debugFileSlot() { return g_debugFile; }

void attachDebugFile(std::FILE* file) { g_debugFile = file; }

void closeDebugFile() {
    if (g_debugFile != nullptr) {
        std::fclose(g_debugFile);
        g_debugFile = nullptr;
    }
}

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
