// Win32 implementation of the platform boundary.
#include "platform/platform.h"

#include "platform/child_process.h"

#include <windows.h>
#include <shlobj.h>

#include <bcrypt.h> // needs the types of windows.h

#include <cstdlib>
#include <fcntl.h>
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

namespace detail {

std::optional<std::string> environmentValue(const std::string& name) {
    char buffer[32768];
    const DWORD n = GetEnvironmentVariableA(name.c_str(), buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer)
        return std::nullopt;
    return std::string(buffer, n);
}

} // namespace detail

using detail::environmentValue;

std::optional<std::string> programFilesDir() { return environmentValue("ProgramFiles"); }

std::optional<std::string> defaultStateDir() { return std::nullopt; }

std::optional<std::string> secondaryProgramFilesDir() { return environmentValue("PROGRAMFILES(x86)"); }

LocalTime localTime() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return LocalTime{st.wYear, st.wMonth,  st.wDay,    st.wDayOfWeek,
                     st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

int processId() { return static_cast<int>(GetCurrentProcessId()); }

void sleepMs(unsigned milliseconds) { Sleep(milliseconds); }

namespace {

// Starts a command line; the process handle is the caller's to close.
HANDLE startCommand(std::string commandLine, HANDLE output, const std::string& workingDir, DWORD* processIdOut,
                    HANDLE error) {
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (output != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output;
        startup.hStdError = error != nullptr ? error : output;
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

// Quotes one argument by the rules the C runtime uses to split a command line.
std::string quoteArgument(const std::string& argument) {
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

} // namespace

namespace detail {

bool startChild(const std::vector<std::string>& argv, const std::string& workingDir, const std::string& outputPath,
                const std::string& errorPath, Child* child) {
    if (argv.empty() || child == nullptr)
        return false;
    std::string commandLine;
    for (const auto& a : argv) {
        if (!commandLine.empty())
            commandLine += ' ';
        commandLine += quoteArgument(a);
    }
    // Inherited by the child; an empty path gives no file.
    const auto inheritable = [](const std::string& path) -> HANDLE {
        if (path.empty())
            return nullptr;
        SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    const HANDLE output = inheritable(outputPath);
    if (output == INVALID_HANDLE_VALUE)
        return false;
    const HANDLE error = output != nullptr ? inheritable(errorPath) : nullptr;
    if (error == INVALID_HANDLE_VALUE) {
        CloseHandle(output);
        return false;
    }
    DWORD id = 0;
    const HANDLE started = startCommand(commandLine, output, workingDir, &id, error);
    // The child holds its own copies.
    if (output != nullptr)
        CloseHandle(output);
    if (error != nullptr)
        CloseHandle(error);
    if (started == nullptr)
        return false;
    child->id = id;
    child->handle = started;
    return true;
}

int waitChild(Child* child) {
    if (child == nullptr || child->handle == nullptr)
        return -1;
    const HANDLE process = static_cast<HANDLE>(child->handle);
    WaitForSingleObject(process, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process, &exitCode);
    CloseHandle(process);
    child->handle = nullptr;
    child->id = -1;
    return static_cast<int>(exitCode);
}

} // namespace detail

int runProcess(const std::vector<std::string>& argv, const std::string& workingDir,
               const std::string& outputPath) {
    detail::Child child;
    if (!detail::startChild(argv, workingDir, outputPath, "", &child))
        return -1;
    return detail::waitChild(&child);
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

void* librarySymbol(void* library, const char* name) {
    if (library == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void freeLibrary(void* library) {
    if (library != nullptr)
        FreeLibrary(static_cast<HMODULE>(library));
}

// Loading code only from trusted places, and reading only ordinary files.

namespace {

// Before main runs, so that nothing this process loads by name afterwards (the
// adapter library, or a library some system call pulls in) is searched for in the
// current folder or along PATH: only the program's folder and System32.
[[maybe_unused]] const bool librarySearchRestricted =
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR) != 0;

// The system's text for an error code, with the code.
std::string systemReason(DWORD error) {
    char buffer[512] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                   0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, n);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty())
        text = "the system refused it";
    return text + " (error " + std::to_string(error) + ")";
}

// Reads count bytes at offset; false when the file ends first.
bool readAt(HANDLE file, std::uint64_t offset, void* buffer, DWORD count) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    return ReadFile(file, buffer, count, &read, &at) && read == count;
}

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint32_t le16(const unsigned char* p) { return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8; }

std::string checkPe(HANDLE file, std::uint64_t size) {
    const std::string bytes = " (" + std::to_string(size) + " bytes)";
    unsigned char dos[64] = {};
    if (size < sizeof dos || !readAt(file, 0, dos, sizeof dos))
        return "is too short to be a library" + bytes;
    if (dos[0] != 'M' || dos[1] != 'Z')
        return "is not a Windows library (no DOS header)";
    const std::uint64_t lfanew = le32(dos + 0x3C);
    unsigned char nt[24] = {};
    if (lfanew > size || size - lfanew < sizeof nt || !readAt(file, lfanew, nt, sizeof nt))
        return "is cut short: its NT headers lie beyond the end of the file" + bytes;
    if (nt[0] != 'P' || nt[1] != 'E' || nt[2] != 0 || nt[3] != 0)
        return "is not a Windows library (no PE signature)";
    const std::uint64_t sections = le16(nt + 6);
    const std::uint64_t optionalSize = le16(nt + 20);
    const std::uint64_t table = lfanew + sizeof nt + optionalSize;
    if (table > size)
        return "is cut short: its optional header lies beyond the end of the file" + bytes;
    if (sections == 0)
        return "holds no sections";
    if (sections > (size - table) / 40)
        return "is cut short: its section table lies beyond the end of the file" + bytes;
    for (std::uint64_t i = 0; i < sections; ++i) {
        unsigned char section[40] = {};
        if (!readAt(file, table + i * 40, section, sizeof section))
            return "cannot be read";
        const std::uint64_t rawSize = le32(section + 16);
        const std::uint64_t rawPointer = le32(section + 20);
        if (rawSize != 0 && (rawPointer > size || rawSize > size - rawPointer))
            return "is cut short: a section's data lies beyond the end of the file" + bytes;
    }
    // The COFF symbol table (18-byte entries) and the string table behind it, whose
    // first word is its own length.
    const std::uint64_t symbols = le32(nt + 12);
    if (symbols != 0) {
        const std::uint64_t strings = symbols + 18ull * le32(nt + 16);
        unsigned char length[4] = {};
        if (strings > size || size - strings < 4 || !readAt(file, strings, length, 4) ||
            le32(length) > size - strings)
            return "is cut short: its symbol table lies beyond the end of the file" + bytes;
    }
    // The certificate table, the one data directory that gives a file offset.
    unsigned char optional[2] = {};
    if (optionalSize >= 2 && readAt(file, lfanew + sizeof nt, optional, 2)) {
        const std::uint64_t directories = le16(optional) == 0x20B ? 112 : 96;
        unsigned char entry[8] = {};
        if (optionalSize >= directories + 5 * 8 && readAt(file, lfanew + sizeof nt + directories + 4 * 8, entry, 8)) {
            const std::uint64_t at = le32(entry);
            const std::uint64_t length = le32(entry + 4);
            if (length != 0 && (at > size || length > size - at))
                return "is cut short: its certificate table lies beyond the end of the file" + bytes;
        }
    }
    return {};
}

// The folder of the running program, with its trailing separator.
std::string programFolder() {
    const std::string name = moduleFileName();
    const std::size_t cut = name.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : name.substr(0, cut + 1);
}

} // namespace

bool isAbsolutePath(const std::string& path) {
    if (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/'))
        return true; // a UNC name
    return path.size() >= 3 && (path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z' && path[1] == ':' &&
           (path[2] == '\\' || path[2] == '/');
}

bool isRegularFile(const std::string& path) {
    if (path.empty())
        return false;
    // No access asked for: opening only to ask what the name is. Directories need
    // backup semantics to be opened at all.
    const HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool regular = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
                         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    CloseHandle(file);
    return regular;
}

std::string checkLibraryFile(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "cannot be opened: " + systemReason(GetLastError());
    LARGE_INTEGER size{};
    std::string problem;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size) || size.QuadPart < 0)
        problem = "is not an ordinary file";
    else
        problem = checkPe(file, static_cast<std::uint64_t>(size.QuadPart));
    CloseHandle(file);
    return problem;
}

LibraryLoad loadTrustedLibrary(const std::string& pathOrName) {
    LibraryLoad result;
    std::string path;
    if (pathOrName.find_first_of("\\/:") == std::string::npos) {
        // A bare name: the program's folder, then System32, the places the loader
        // itself would search with these flags; the file found is checked and loaded
        // by its full name.
        char system[MAX_PATH + 1] = {};
        const UINT n = GetSystemDirectoryA(system, MAX_PATH);
        const std::string folders[] = {programFolder(),
                                       n > 0 && n < MAX_PATH ? std::string(system, n) + "\\" : std::string()};
        for (const std::string& folder : folders)
            if (path.empty() && !folder.empty() && fileExists(folder + pathOrName))
                path = folder + pathOrName;
        if (path.empty()) {
            result.reason = pathOrName + " is neither in the program's folder nor in the system folder";
            return result;
        }
    } else {
        path = absolutePath(pathOrName);
        if (!fileExists(path)) {
            result.reason = path + ": no such file";
            return result;
        }
    }
    result.found = true;
    result.path = path;
    if (std::string problem = checkLibraryFile(path); !problem.empty()) {
        result.reason = path + " " + problem;
        return result;
    }
    // No dialog box for a damaged image: the run is unattended.
    DWORD previousMode = 0;
    const bool modeSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode) != 0;
    const HMODULE module =
        LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    const DWORD error = GetLastError();
    if (modeSet)
        SetThreadErrorMode(previousMode, nullptr);
    result.handle = reinterpret_cast<void*>(module);
    if (module == nullptr)
        result.reason = path + ": " + systemReason(error);
    return result;
}

// Files the program owns, replaced whole, and the one-run-at-a-time lock.

namespace {

int ownedFileFailure(DWORD error, const std::string& what, std::string* why) {
    if (why != nullptr)
        *why = what + ": " + systemReason(error);
    return error != 0 ? static_cast<int>(error) : 1;
}

int ownedFileRefusal(const std::string& what, std::string* why) {
    if (why != nullptr)
        *why = what;
    return ERROR_ACCESS_DENIED_CODE;
}

// 0 when the file may be replaced: absent, an ordinary file or a link (replaced itself).
int checkOwnedFileTarget(const std::string& path, std::string* why) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return 0;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || (attributes & FILE_ATTRIBUTE_DEVICE) != 0)
        return ownedFileRefusal(path + " is not an ordinary file", why);
    return 0;
}

// Creates "<path>.<16 random hexadecimal digits><suffix>" with CREATE_NEW, which fails on
// any name that exists, a link included; such a name is drawn again. Returns the open
// handle, or INVALID_HANDLE_VALUE with `code` and `why` set.
HANDLE createTemporaryBeside(const std::string& path, const char* suffix, std::string* temporary, int* code,
                             std::string* why) {
    for (int attempt = 0; attempt < 64; ++attempt) {
        unsigned char random[8];
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            *code = ownedFileRefusal("no random name for a temporary file beside " + path, why);
            return INVALID_HANDLE_VALUE;
        }
        char digits[2 * sizeof random + 1];
        for (std::size_t i = 0; i < sizeof random; ++i)
            std::snprintf(digits + 2 * i, 3, "%02x", static_cast<unsigned>(random[i]));
        *temporary = path + "." + digits + suffix;
        const HANDLE file = CreateFileA(temporary->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            continue;
        *code = ownedFileFailure(error, "cannot create the temporary file " + *temporary, why);
        return INVALID_HANDLE_VALUE;
    }
    *code = ownedFileFailure(ERROR_FILE_EXISTS, "no free name for a temporary file beside " + path, why);
    return INVALID_HANDLE_VALUE;
}

// Writes every byte; 0 or the error code of the failing write.
DWORD writeAllBytes(HANDLE file, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t left = bytes.size() - done;
        const DWORD chunk = static_cast<DWORD>(left < 0x40000000u ? left : 0x40000000u);
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
        done += written;
    }
    return 0;
}

HANDLE runLockMutex = nullptr;

} // namespace

int writeFileAtomically(const std::string& path, const std::string& bytes, std::string* why) {
    if (const int refused = checkOwnedFileTarget(path, why); refused != 0)
        return refused;
    std::string temporary;
    int code = 0;
    const HANDLE file = createTemporaryBeside(path, ".tmp", &temporary, &code, why);
    if (file == INVALID_HANDLE_VALUE)
        return code;
    DWORD error = writeAllBytes(file, bytes);
    std::string step = error != 0 ? "cannot write " + temporary : std::string();
    if (error == 0 && !FlushFileBuffers(file)) {
        error = GetLastError();
        step = "cannot flush " + temporary;
    }
    if (!CloseHandle(file) && error == 0) {
        error = GetLastError();
        step = "cannot close " + temporary;
    }
    if (error == 0 && !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
        step = "cannot rename " + temporary + " to " + path;
    }
    if (error != 0) {
        DeleteFileA(temporary.c_str());
        return ownedFileFailure(error, step, why);
    }
    return ERROR_OK;
}

int appendToOwnedFile(const std::string& path, const std::string& bytes, std::string* why) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return ownedFileRefusal(path + " is not an ordinary file", why);
    // Append access only: every write lands at the end. The reparse-point flag opens a
    // link planted after the check as itself, which the type check below refuses.
    const HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ownedFileFailure(GetLastError(), "cannot open " + path, why);
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        CloseHandle(file);
        return ownedFileRefusal(path + " is not an ordinary file", why);
    }
    DWORD error = writeAllBytes(file, bytes);
    std::string step = error != 0 ? "cannot write " + path : std::string();
    if (error == 0 && !FlushFileBuffers(file)) {
        error = GetLastError();
        step = "cannot flush " + path;
    }
    if (!CloseHandle(file) && error == 0) {
        error = GetLastError();
        step = "cannot close " + path;
    }
    return error == 0 ? ERROR_OK : ownedFileFailure(error, step, why);
}

int checkFileReplaceable(const std::string& path, const std::string& bytes, std::string* why) {
    if (const int refused = checkOwnedFileTarget(path, why); refused != 0)
        return refused;
    std::string temporary;
    int code = 0;
    const HANDLE file = createTemporaryBeside(path, ".probe", &temporary, &code, why);
    if (file == INVALID_HANDLE_VALUE)
        return code;
    const DWORD error = writeAllBytes(file, bytes);
    CloseHandle(file);
    if (!DeleteFileA(temporary.c_str()) && error == 0)
        return ownedFileFailure(GetLastError(), "cannot remove " + temporary, why);
    return error == 0 ? ERROR_OK : ownedFileFailure(error, "cannot write " + temporary, why);
}

int acquireRunLock(const std::string&, void (*waiting)(const std::string& what), std::string* why) {
    if (runLockMutex != nullptr)
        return ERROR_OK;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, kRunLockMutexName);
    // A mutex another account made may deny creation but still allow waiting on it.
    if (mutex == nullptr)
        mutex = OpenMutexA(SYNCHRONIZE, FALSE, kRunLockMutexName);
    if (mutex == nullptr)
        return ownedFileFailure(GetLastError(), std::string("cannot open the mutex ") + kRunLockMutexName, why);
    DWORD wait = WaitForSingleObject(mutex, 0);
    if (wait == WAIT_TIMEOUT) {
        if (waiting != nullptr)
            waiting(kRunLockMutexName);
        wait = WaitForSingleObject(mutex, INFINITE);
    }
    // WAIT_ABANDONED: its last owner ended without releasing it; it is ours now.
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        const DWORD error = GetLastError();
        CloseHandle(mutex);
        return ownedFileFailure(error, std::string("cannot wait for the mutex ") + kRunLockMutexName, why);
    }
    runLockMutex = mutex;
    return ERROR_OK;
}

void releaseRunLock() {
    if (runLockMutex == nullptr)
        return;
    ReleaseMutex(runLockMutex);
    CloseHandle(runLockMutex);
    runLockMutex = nullptr;
}

// Output files and polite stops.

FileKind fileKindAt(const std::string& path) {
    if (path.empty())
        return FileKind::Missing;
    // Names in the device namespace are never opened here: opening a named pipe would
    // connect to it.
    if (path.rfind("\\\\.\\", 0) == 0 || path.rfind("//./", 0) == 0)
        return FileKind::Device;
    const HANDLE handle =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (handle != INVALID_HANDLE_VALUE) {
        const DWORD type = GetFileType(handle);
        BY_HANDLE_FILE_INFORMATION info;
        const bool haveInfo = type == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info);
        CloseHandle(handle);
        if (type == FILE_TYPE_CHAR)
            return FileKind::Device; // NUL, CON, COM1 and their kin
        if (type == FILE_TYPE_PIPE)
            return FileKind::Pipe;
        if (!haveInfo)
            return FileKind::Other;
        attributes = info.dwFileAttributes;
    } else {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME)
            return FileKind::Missing;
        attributes = GetFileAttributesA(path.c_str()); // held open elsewhere without sharing
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return FileKind::Other;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return FileKind::Link;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return FileKind::Directory;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0)
        return FileKind::Device;
    return FileKind::Regular;
}

bool removeFileName(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        // A link to a directory is removed as a directory; the folder it names stays.
        return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && RemoveDirectoryA(path.c_str());
    }
    return DeleteFileA(path.c_str()) != 0; // on a link, deletes the link
}

std::FILE* createFileExclusive(const std::string& path) {
    if (path.empty())
        return nullptr;
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_TEXT);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "w");
    if (file == nullptr)
        _close(fd);
    return file;
}

TerminalInfo standardErrorTerminal() {
    TerminalInfo info;
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
        return info; // redirected to a file, a pipe or NUL
    // The in-place rewrite uses the clear-line sequence, which a console takes only
    // with virtual-terminal processing; a console that cannot have it shows nothing.
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0 &&
        !SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING))
        return info;
    info.isTerminal = true;
    CONSOLE_SCREEN_BUFFER_INFO screen;
    if (GetConsoleScreenBufferInfo(handle, &screen) && screen.srWindow.Right > screen.srWindow.Left)
        info.columns = screen.srWindow.Right - screen.srWindow.Left + 1;
    return info;
}

namespace {

volatile LONG stopFlag = 0;

BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        InterlockedExchange(&stopFlag, 1);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        InterlockedExchange(&stopFlag, 1);
        // The system ends the process as soon as this returns: hold it here so that
        // the run finishes the adapter in progress and ends itself.
        for (;;)
            Sleep(1000);
    default:
        return FALSE;
    }
}

} // namespace

void installStopHandler() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

bool stopRequested() { return InterlockedCompareExchange(&stopFlag, 0, 0) != 0; }

} // namespace platform
