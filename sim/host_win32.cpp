// The simulator's operating-system boundary on Windows (see host.h).
#include "sim/host.h"

#include <windows.h>

namespace dfcsim {

std::optional<std::string> hostEnv(const char* name) {
    // The C library keeps its own copy of the environment; the process block also
    // holds values a caller set with SetEnvironmentVariable after start-up.
    char buffer[32768];
    const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer)
        return std::nullopt;
    return std::string(buffer, n);
}

std::string hostLibraryDir() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&hostLibraryDir), &self))
        return {};
    char buffer[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(self, buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    std::string path(buffer, n);
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void hostRequestStop() { GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, GetCurrentProcessId()); }

struct HostFile {
    HANDLE handle;
};

HostFile* hostCreateFile(const std::string& path) {
    // CREATE_NEW fails on any existing name, a link among them.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle == INVALID_HANDLE_VALUE ? nullptr : new HostFile{handle};
}

bool hostWriteFile(HostFile* file, const void* bytes, std::size_t count) {
    const char* at = static_cast<const char*>(bytes);
    while (count > 0) {
        const DWORD part = count > 0x40000000 ? 0x40000000 : DWORD(count);
        DWORD written = 0;
        if (!WriteFile(file->handle, at, part, &written, nullptr) || written == 0)
            return false;
        at += written;
        count -= written;
    }
    return true;
}

bool hostCloseFile(HostFile* file) {
    if (file == nullptr)
        return true;
    const bool closed = CloseHandle(file->handle) != 0;
    delete file;
    return closed;
}

void hostSleepUs(std::uint64_t us) {
    // Sleep() counts whole scheduler ticks (often 15.6 ms); a high-resolution waitable
    // timer keeps short waits short where the system offers one.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif
    static HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                                 TIMER_ALL_ACCESS);
    if (timer != nullptr) {
        LARGE_INTEGER due;
        due.QuadPart = -static_cast<LONGLONG>(us * 10); // relative, in 100 ns units
        if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) &&
            WaitForSingleObject(timer, INFINITE) == WAIT_OBJECT_0)
            return;
    }
    Sleep(static_cast<DWORD>((us + 999) / 1000));
}

} // namespace dfcsim
