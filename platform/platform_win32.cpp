// Win32 implementation of the platform boundary.
#include "platform/platform.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <io.h>
#include <utility>

namespace platform {

int isAdministratorUser() {
    HKEY key = nullptr;
    DWORD disposition = 0;
    const LONG result =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TavrelFieldMarlo", 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, &disposition);
    if (result != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TavrelFieldMarlo");
    return 1;
}

std::string moduleFileName() {
    char buffer[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    return std::string(buffer, n);
}

std::optional<std::vector<std::string>> listDirectory(const std::string& directory) {
    std::string pattern = directory.empty() ? std::string(".") : directory;
    if (pattern.back() != '\\' && pattern.back() != '/')
        pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::vector<std::string> names;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.emplace_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

bool fileExists(const std::string& path) {
    if (path.empty())
        return false;
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int replaceFile(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ERROR_OK;
    return static_cast<int>(GetLastError());
}

std::string absolutePath(const std::string& path) {
    char buffer[MAX_PATH + 1];
    const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
    if (n == 0 || n >= MAX_PATH)
        return path;
    return std::string(buffer, n);
}

int createDirectoryWithParents(const std::string& path) {
    if (path.size() >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE_CODE;
    const int result = SHCreateDirectoryExA(nullptr, path.c_str(), nullptr);
    return result;
}

std::optional<std::string> getEnv(const std::string& name) {
    char buffer[32768];
    const DWORD n = GetEnvironmentVariableA(name.c_str(), buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer)
        return std::nullopt;
    return std::string(buffer, n);
}

void setEnv(const std::string& name, const std::string& value) {
    SetEnvironmentVariableA(name.c_str(), value.c_str());
}

void unsetEnv(const std::string& name) { SetEnvironmentVariableA(name.c_str(), nullptr); }

std::optional<std::string> programFilesDir() { return getEnv("ProgramFiles"); }

std::optional<std::string> secondaryProgramFilesDir() { return getEnv("PROGRAMFILES(x86)"); }

LocalTime localTime() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return LocalTime{st.wYear, st.wMonth,  st.wDay,    st.wDayOfWeek,
                     st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

int processId() { return static_cast<int>(GetCurrentProcessId()); }

void sleepMs(unsigned milliseconds) { Sleep(milliseconds); }

// Starts a command line; the process handle is the caller's to close.
static HANDLE startCommand(std::string commandLine, HANDLE output, const std::string& workingDir,
                           DWORD* processIdOut) {
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (output != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, output != nullptr, 0,
                        nullptr, workingDir.empty() ? nullptr : workingDir.c_str(), &startup,
                        &process))
        return nullptr;
    CloseHandle(process.hThread);
    if (processIdOut != nullptr)
        *processIdOut = process.dwProcessId;
    return process.hProcess;
}

// Waits for a started process, closes its handle and returns its exit code.
static int waitAndClose(HANDLE process) {
    WaitForSingleObject(process, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process, &exitCode);
    CloseHandle(process);
    return static_cast<int>(exitCode);
}

static int runAndWait(std::string commandLine, HANDLE output, const std::string& workingDir) {
    const HANDLE process = startCommand(std::move(commandLine), output, workingDir, nullptr);
    return process == nullptr ? -1 : waitAndClose(process);
}

int runShellCommand(const std::string& commandLine) {
    const std::string shell = getEnv("COMSPEC").value_or("cmd.exe");
    return runAndWait("\"" + shell + "\" /c " + commandLine, nullptr, {});
}

// Quotes one argument by the rules the C runtime uses to split a command line.
static std::string quoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
            quoted += '"';
            backslashes = 0;
        } else {
            quoted.append(backslashes, '\\');
            quoted += c;
            backslashes = 0;
        }
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

bool startProcess(const std::vector<std::string>& argv, const std::string& workingDir,
                  const std::string& outputPath, StartedProcess* process) {
    if (argv.empty() || process == nullptr)
        return false;
    std::string commandLine;
    for (const auto& a : argv) {
        if (!commandLine.empty())
            commandLine += ' ';
        commandLine += quoteArgument(a);
    }
    HANDLE output = nullptr;
    if (!outputPath.empty()) {
        SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &security, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (output == INVALID_HANDLE_VALUE)
            return false;
    }
    DWORD id = 0;
    const HANDLE started = startCommand(commandLine, output, workingDir, &id);
    if (output != nullptr)
        CloseHandle(output); // the child holds its own copy
    if (started == nullptr)
        return false;
    process->id = id;
    process->handle = started;
    return true;
}

void killProcess(const StartedProcess& process) {
    if (process.handle != nullptr)
        TerminateProcess(static_cast<HANDLE>(process.handle), 137);
}

int waitProcess(StartedProcess* process) {
    if (process == nullptr || process->handle == nullptr)
        return -1;
    const int result = waitAndClose(static_cast<HANDLE>(process->handle));
    process->handle = nullptr;
    process->id = -1;
    return result;
}

bool tryWaitProcess(StartedProcess* process, int* exitValue) {
    if (process == nullptr || process->handle == nullptr)
        return true;
    if (WaitForSingleObject(static_cast<HANDLE>(process->handle), 0) == WAIT_TIMEOUT)
        return false;
    const int result = waitProcess(process);
    if (exitValue != nullptr)
        *exitValue = result;
    return true;
}

int runProcess(const std::vector<std::string>& argv, const std::string& workingDir,
               const std::string& outputPath) {
    StartedProcess process;
    if (!startProcess(argv, workingDir, outputPath, &process))
        return -1;
    return waitProcess(&process);
}

// Windows refuses to shorten a file while a view of it is mapped, so a visit cannot
// lose its pages the way a POSIX one can.
std::int64_t visitMappedFile(std::FILE* file, std::uint64_t offset, std::uint64_t length,
                             MappedBytesVisitor visit, void* context) {
    if (file == nullptr || visit == nullptr)
        return -1;
    const int fd = _fileno(file);
    const HANDLE handle = fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    LARGE_INTEGER fileSize{};
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileSizeEx(handle, &fileSize) || fileSize.QuadPart < 0)
        return -1;
    const auto size = static_cast<std::uint64_t>(fileSize.QuadPart);
    if (offset >= size || length == 0)
        return 0;
    const std::uint64_t total = length < size - offset ? length : size - offset;
    HANDLE mapping = CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr)
        return -1;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const std::uint64_t granularity = system.dwAllocationGranularity != 0 ? system.dwAllocationGranularity : 65536;
    std::int64_t result = static_cast<std::int64_t>(total);
    for (std::uint64_t done = 0; done < total;) {
        const std::uint64_t at = offset + done;
        const std::uint64_t count = total - done < kMappedWindowBytes ? total - done : kMappedWindowBytes;
        const std::uint64_t start = at - at % granularity;
        const void* view = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                                         static_cast<DWORD>(start & 0xFFFFFFFFu),
                                         static_cast<SIZE_T>(at - start + count));
        if (view == nullptr) {
            result = -1;
            break;
        }
        visit(static_cast<const std::uint8_t*>(view) + (at - start), static_cast<std::size_t>(count), context);
        UnmapViewOfFile(view);
        done += count;
    }
    CloseHandle(mapping);
    return result;
}

void* loadLibrary(const std::string& path) {
    return reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
}

void* librarySymbol(void* library, const char* name) {
    if (library == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void freeLibrary(void* library) {
    if (library != nullptr)
        FreeLibrary(static_cast<HMODULE>(library));
}

} // namespace platform
