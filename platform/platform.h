// The operating-system boundary. Everything the program asks of the system goes
// through here; platform_posix.cpp and platform_win32.cpp implement it and the build
// picks one. Result codes that reach messages keep the Windows numbering everywhere.
// What only the tests, benchmarks and fuzz targets ask of the system (changing the
// environment, starting programs without waiting, ending them, a shell) is declared in
// process_control.h, a library of its own that the program does not link.
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

// Absolute form of a path; the path itself when it cannot be resolved.
std::string absolutePath(const std::string& path);

// Creates a directory with every missing parent. Returns 0, 183 (already exists),
// 3 (path not found), 161 (relative path), 206 (name too long) or another code.
int createDirectoryWithParents(const std::string& path);

// The program-files directory: the ProgramFiles value, or none.
std::optional<std::string> programFilesDir();
// Where the program keeps its state (soft VPD files, run lock, history) when no
// ProgramFiles is set: POSIX "/var/lib/winmarlo", the system's own place for a
// package's variable state; Windows none.
std::optional<std::string> defaultStateDir();
// The secondary program-files directory: PROGRAMFILES(x86) when set, else none.
std::optional<std::string> secondaryProgramFilesDir();

struct LocalTime {
    int year, month, day, weekday; // month 1-12, weekday 0 = Sunday
    int hour, minute, second, millisecond;
};
LocalTime localTime();

int processId();

void sleepMs(unsigned milliseconds);

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

// Shared libraries. The handle is opaque; null when loading failed.
void* librarySymbol(void* library, const char* name);
void freeLibrary(void* library);

// Loading code only from trusted places, and reading only ordinary files.
// Whether a path is absolute (POSIX: starts with '/'; Windows: a drive and a separator,
// or a UNC name), so that it cannot resolve against the current folder.
bool isAbsolutePath(const std::string& path);
// Whether the path names an ordinary file. Links are followed (a read through a link
// reads what it names); a device, FIFO, socket, directory or missing file gives false.
// Never blocks.
bool isRegularFile(const std::string& path);
// Checks, without loading it, that a shared-library file holds what its headers claim
// (ELF: the program and section header tables and every loadable segment lie inside the
// file; PE: the DOS and NT headers, every section's raw data, the symbol and string
// tables and the certificate table lie inside the file).
// Returns the empty text when it does, otherwise why not.
std::string checkLibraryFile(const std::string& path);
// Outcome of loadTrustedLibrary.
struct LibraryLoad {
    void* handle = nullptr; // null when not loaded
    bool found = false;     // a file of that name was there (damaged or not)
    std::string path;       // the file loaded or refused, when known
    std::string reason;     // the system's reason, or the header check's, when not loaded
};
// Loads a library from a full path, or by bare name from the system's trusted places
// only (Windows: the program's folder and System32; POSIX: the loader's search path,
// refusing a library that only an empty or relative LD_LIBRARY_PATH element, that is
// the current folder, would supply). Every file is checked with checkLibraryFile first.
LibraryLoad loadTrustedLibrary(const std::string& pathOrName);

// Files the program owns, replaced whole, and the one-run-at-a-time lock.
// Replaces a file with new bytes: they go to a temporary file created exclusively
// beside it under an unpredictable name (never through a link), are flushed and synced,
// and the temporary is renamed over the file (POSIX: the folder is synced afterwards),
// so that a reader sees the old or the new file, never a mix. The file may be absent,
// an ordinary file (whose permissions the new one keeps; a new one is readable by its
// owner only) or a link (the link itself is replaced); anything else is refused.
// Returns 0, or a Windows-numbered error code with `why` saying what failed; the file
// is then unchanged and no temporary is left.
int writeFileAtomically(const std::string& path, const std::string& bytes, std::string* why);
// Appends `bytes` to a file the program owns, in one write at its end, then syncs it:
// a log of whole lines that a crash never leaves half-rewritten. The file is created
// (readable by its owner only) when absent; a link, folder, device or anything but an
// ordinary file is refused and nothing is written (never through a link). Returns 0, or
// an error code with `why` saying what failed.
int appendToOwnedFile(const std::string& path, const std::string& bytes, std::string* why);
// Proves that writeFileAtomically could replace the file with `bytes` now: the file is
// absent, an ordinary file or a link, and a temporary file can be created in its folder
// and take the bytes (it is removed again, unsynced). Returns 0, or an error code with
// `why` as above.
int checkFileReplaceable(const std::string& path, const std::string& bytes, std::string* why);
// Takes the host-wide lock that lets one run at a time use the adapters. POSIX: an
// exclusive flock on "winmarlo.lock" in `folder` (created with its parents when
// missing; the file is opened without following a link and never truncated). Windows:
// the named mutex kRunLockMutexName, an abandoned one taken over; `folder` is unused.
// Tries without waiting first; when another process holds the lock, calls `waiting`
// once with what it waits for (the lock file or the mutex name), then waits. Held
// until releaseRunLock or the end of the process. Returns 0, or an error code with
// `why` saying what failed (nothing is held then).
constexpr const char* kRunLockFileName = "winmarlo.lock";
constexpr const char* kRunLockMutexName = "Global\\TavrelWinmarloRun";
int acquireRunLock(const std::string& folder, void (*waiting)(const std::string& what),
                   std::string* why);
// Gives the lock up; nothing when it is not held.
void releaseRunLock();

// Output files and polite stops: what lies at a path, removing a name, exclusive
// creation, and the stop request of Ctrl-C, SIGTERM and their kin.
enum class FileKind { Missing, Regular, Directory, Link, Device, Pipe, Socket, Other };
// What lies at a path, without following a final symbolic link (Windows: a reparse
// point is a Link; NUL, CON and names under "\\.\" are Devices).
FileKind fileKindAt(const std::string& path);
// Removes a name: a link itself, never what it points to; never a directory. Returns
// whether the name is gone.
bool removeFileName(const std::string& path);
// Creates a new file for writing (text mode on Windows). Fails, and follows no link,
// when anything already has the name (POSIX O_CREAT|O_EXCL|O_NOFOLLOW, Windows
// CREATE_NEW). Null when the file cannot be created.
std::FILE* createFileExclusive(const std::string& path);
// Standard error as the progress display sees it: whether it is a terminal that takes
// a line rewritten in place (carriage return, then the clear-line sequence), and how
// many columns it has (80 when it does not say). POSIX: isatty and the window size.
// Windows: a console (GetConsoleMode succeeds; a file, pipe or the NUL device is none)
// whose virtual-terminal processing is on or could be switched on.
struct TerminalInfo {
    bool isTerminal = false;
    int columns = 80;
};
TerminalInfo standardErrorTerminal();

// From now on SIGINT, SIGTERM and SIGHUP (Windows: Ctrl-C, Ctrl-Break, console close,
// log-off, shut-down) only note a stop request; a signal ignored when the program
// started stays ignored. On Windows a console close holds the process until it ends
// or the system's own time-out ends it.
void installStopHandler();
// Whether a stop was requested since installStopHandler.
bool stopRequested();

} // namespace platform
