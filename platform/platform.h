// The operating-system boundary. Everything the program asks of the system goes
// through here; platform_posix.cpp and platform_win32.cpp implement it and the build
// picks one. Result codes that reach messages keep the Windows numbering everywhere.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace platform {

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
constexpr const char* kAdapterLibraryName = "libdfc.dll";
constexpr const char* kNullDevice = "NUL";
constexpr bool kIsWindows = true;
#else
constexpr char kPathSeparator = '/';
constexpr const char* kAdapterLibraryName = "libdfc.so";
constexpr const char* kNullDevice = "/dev/null";
constexpr bool kIsWindows = false;
#endif

// Windows result codes of directory creation, reported on both platforms.
constexpr int ERROR_OK = 0;
constexpr int ERROR_PATH_NOT_FOUND_CODE = 3;
constexpr int ERROR_FILE_EXISTS_CODE = 80;
constexpr int ERROR_BAD_PATHNAME_CODE = 161;
constexpr int ERROR_ALREADY_EXISTS_CODE = 183;
constexpr int ERROR_FILENAME_EXCED_RANGE_CODE = 206;
constexpr int ERROR_ACCESS_DENIED_CODE = 5;

// 1 when the user may write to the system's protected configuration (Windows: create
// and delete a key under the local machine hive; POSIX: effective user id 0).
int isAdministratorUser();

// Full file name of the running program, or empty when it cannot be had.
std::string moduleFileName();

// Names (no directory) of the regular files in a directory; nullopt when the
// directory cannot be listed.
std::optional<std::vector<std::string>> listDirectory(const std::string& directory);

// True when a file or directory of that name exists.
bool fileExists(const std::string& path);

// Renames a file over another, replacing an existing target in one step, so that a
// reader sees either the old or the new file, never a half-written one. Both names
// must lie on one volume. Returns 0, or a Windows-numbered error code (2 source
// missing, 5 access denied, 1 any other failure on POSIX).
int replaceFile(const std::string& from, const std::string& to);

// Absolute form of a path; the path itself when it cannot be resolved.
std::string absolutePath(const std::string& path);

// Creates a directory with every missing parent. Returns 0, 183 (already exists),
// 3 (path not found), 161 (relative path), 206 (name too long) or another code.
int createDirectoryWithParents(const std::string& path);

std::optional<std::string> getEnv(const std::string& name);
void setEnv(const std::string& name, const std::string& value);
void unsetEnv(const std::string& name);

// The program-files directory: the ProgramFiles value; on POSIX "/var/opt" when unset.
std::optional<std::string> programFilesDir();
// The secondary program-files directory: PROGRAMFILES(x86) when set, else none.
std::optional<std::string> secondaryProgramFilesDir();

struct LocalTime {
    int year, month, day, weekday; // month 1-12, weekday 0 = Sunday
    int hour, minute, second, millisecond;
};
LocalTime localTime();

int processId();

void sleepMs(unsigned milliseconds);

// Runs a command line through the system's command interpreter (Windows: COMSPEC or
// "cmd.exe" with "/c"; POSIX: /bin/sh -c), waits, and returns its exit value, or -1
// when it could not be started.
int runShellCommand(const std::string& commandLine);

// Starts a program with arguments (argv[0] is the program path), in a working
// directory, with standard output and standard error sent to a file; waits and
// returns its exit value, or -1 when it could not be started.
int runProcess(const std::vector<std::string>& argv, const std::string& workingDir,
               const std::string& outputPath);

// Reads `length` bytes of an open file from `offset` through read-only mappings of
// it, handing them to `visit` in windows of `kMappedWindowBytes` (the last one may be
// shorter; each window starts at offset plus a multiple of the window size). Nothing is
// copied, so a large file is read about as fast as its pages can be touched. Returns
// the number of bytes visited (fewer than asked when the file ends first), or -1 when
// the file cannot be mapped (a pipe, a device) or shrank while it was mapped (the
// POSIX bus error is caught and ends the visit): the caller then reads the file
// instead. A visit left that way is not resumed, so `visit` must own nothing that
// needs releasing. The file's stdio position is left alone.
constexpr std::size_t kMappedWindowBytes = 2 * 1024 * 1024;
using MappedBytesVisitor = void (*)(const std::uint8_t* bytes, std::size_t count, void* context);
std::int64_t visitMappedFile(std::FILE* file, std::uint64_t offset, std::uint64_t length,
                             MappedBytesVisitor visit, void* context);

// A program started without waiting for it, so that it can be ended from outside.
struct StartedProcess {
    std::int64_t id = -1;    // process id
    void* handle = nullptr; // Windows process handle
};
// Starts a program as runProcess does, without waiting; false when it could not be
// started.
bool startProcess(const std::vector<std::string>& argv, const std::string& workingDir,
                  const std::string& outputPath, StartedProcess* process);
// Ends a started program at once, as a power cut would (POSIX SIGKILL, Windows
// TerminateProcess): it runs no more of its own code.
void killProcess(const StartedProcess& process);
// Waits for a started program to end and returns its exit value; -1 when it ended
// through a signal or cannot be waited for.
int waitProcess(StartedProcess* process);
// Whether a started program has ended, without waiting; when it has, its exit value
// (as waitProcess gives it) is stored and the process is done with.
bool tryWaitProcess(StartedProcess* process, int* exitValue);

// Shared libraries. The handle is opaque; null when loading failed.
void* loadLibrary(const std::string& path);
void* librarySymbol(void* library, const char* name);
void freeLibrary(void* library);

} // namespace platform
