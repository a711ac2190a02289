// POSIX implementation of the platform boundary.
#include "platform/platform.h"

#include "platform/child_process.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csetjmp>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

int isAdministratorUser() { return geteuid() == 0 ? 1 : 0; }

std::string moduleFileName() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    return std::string(buffer, static_cast<std::size_t>(n));
}

std::optional<std::vector<std::string>> listDirectory(const std::string& directory) {
    DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
    if (dir == nullptr)
        return std::nullopt;
    std::vector<std::string> names;
    std::string base = directory;
    if (!base.empty() && base.back() != '/')
        base += '/';
    while (const dirent* entry = readdir(dir)) {
        struct stat st {};
        const std::string full = base + entry->d_name;
        if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.emplace_back(entry->d_name);
    }
    closedir(dir);
    return names;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

std::string absolutePath(const std::string& path) {
    if (path.empty())
        return path;
    if (path.front() == '/')
        return path;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr)
        return path;
    std::string result = cwd;
    if (result.back() != '/')
        result += '/';
    return result + path;
}

int createDirectoryWithParents(const std::string& path) {
    if (path.empty() || path.front() != '/')
        return ERROR_BAD_PATHNAME_CODE;
    if (path.size() >= PATH_MAX)
        return ERROR_FILENAME_EXCED_RANGE_CODE;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? ERROR_ALREADY_EXISTS_CODE : ERROR_FILE_EXISTS_CODE;
    // Create each missing component from the root down.
    std::size_t pos = 1;
    while (pos <= path.size()) {
        const std::size_t next = path.find('/', pos);
        const std::size_t end = next == std::string::npos ? path.size() : next;
        const std::string part = path.substr(0, end);
        if (!part.empty() && mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            switch (errno) {
            case ENOENT:
            case ENOTDIR:
                return ERROR_PATH_NOT_FOUND_CODE;
            case ENAMETOOLONG:
                return ERROR_FILENAME_EXCED_RANGE_CODE;
            case EACCES:
            case EPERM:
            case EROFS:
                return ERROR_ACCESS_DENIED_CODE;
            default:
                return 1;
            }
        }
        if (next == std::string::npos)
            break;
        pos = next + 1;
    }
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return ERROR_PATH_NOT_FOUND_CODE;
    return ERROR_OK;
}

namespace detail {

std::optional<std::string> environmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

} // namespace detail

using detail::environmentValue;

std::optional<std::string> programFilesDir() { return environmentValue("ProgramFiles"); }

std::optional<std::string> defaultStateDir() { return std::string("/var/lib/winmarlo"); }

std::optional<std::string> secondaryProgramFilesDir() { return environmentValue("PROGRAMFILES(x86)"); }

LocalTime localTime() {
    timeval tv {};
    gettimeofday(&tv, nullptr);
    const time_t seconds = tv.tv_sec;
    tm parts {};
    localtime_r(&seconds, &parts);
    return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_wday,
                     parts.tm_hour,        parts.tm_min,     parts.tm_sec,  static_cast<int>(tv.tv_usec / 1000)};
}

int processId() { return static_cast<int>(getpid()); }

void sleepMs(unsigned milliseconds) {
    timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

namespace detail {

bool startChild(const std::vector<std::string>& argv, const std::string& workingDir, const std::string& outputPath,
                const std::string& errorPath, Child* child) {
    if (argv.empty() || child == nullptr)
        return false;
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        if (!workingDir.empty() && chdir(workingDir.c_str()) != 0)
            _exit(126);
        if (!outputPath.empty()) {
            const int fd = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0)
                _exit(126);
            dup2(fd, 1);
            dup2(fd, 2);
            close(fd);
        }
        if (!errorPath.empty()) {
            const int fd = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0)
                _exit(126);
            dup2(fd, 2);
            close(fd);
        }
        const int nullFd = open("/dev/null", O_RDONLY);
        if (nullFd >= 0) {
            dup2(nullFd, 0);
            close(nullFd);
        }
        execv(args[0], args.data());
        _exit(127);
    }
    child->id = pid;
    return true;
}

int waitChild(Child* child) {
    if (child == nullptr || child->id <= 0)
        return -1;
    int status = 0;
    int result = -1;
    while (waitpid(static_cast<pid_t>(child->id), &status, 0) < 0) {
        if (errno != EINTR) {
            child->id = -1;
            return -1;
        }
    }
    if (WIFEXITED(status))
        result = WEXITSTATUS(status);
    child->id = -1;
    return result;
}

} // namespace detail

int runProcess(const std::vector<std::string>& argv, const std::string& workingDir,
               const std::string& outputPath) {
    detail::Child child;
    if (!detail::startChild(argv, workingDir, outputPath, "", &child))
        return -1;
    return detail::waitChild(&child);
}

namespace {

// A mapped file that shrinks under its reader raises SIGBUS on the first page past
// its new end; while a visit runs, the handler jumps back into visitMappedFile.
sigjmp_buf busErrorJump;
volatile std::sig_atomic_t busErrorGuarded = 0;

void onBusError(int signal) {
    if (busErrorGuarded != 0)
        siglongjmp(busErrorJump, 1);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

std::int64_t visitMappedFile(std::FILE* file, std::uint64_t offset, std::uint64_t length,
                             MappedBytesVisitor visit, void* context) {
    if (file == nullptr || visit == nullptr)
        return -1;
    const int fd = fileno(file);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)
        return -1;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (offset >= size || length == 0)
        return 0;
    const std::uint64_t total = length < size - offset ? length : size - offset;
    const long pageSize = sysconf(_SC_PAGESIZE);
    const std::uint64_t page = pageSize > 0 ? static_cast<std::uint64_t>(pageSize) : 4096;

    struct sigaction guard {}, previous {};
    guard.sa_handler = onBusError;
    sigemptyset(&guard.sa_mask);
    if (sigaction(SIGBUS, &guard, &previous) != 0)
        return -1;
    // Read again after a jump back, so kept in memory rather than in registers.
    void* volatile mapped = MAP_FAILED;
    volatile std::size_t mappedLength = 0;
    volatile std::int64_t result = static_cast<std::int64_t>(total);
    if (sigsetjmp(busErrorJump, 1) != 0) {
        result = -1; // the file shrank under the mapping
    } else {
        busErrorGuarded = 1;
        for (std::uint64_t done = 0; done < total;) {
            const std::uint64_t at = offset + done;
            const std::uint64_t count =
                total - done < kMappedWindowBytes ? total - done : kMappedWindowBytes;
            const std::uint64_t start = at - at % page;
            mappedLength = static_cast<std::size_t>(at - start + count);
            mapped = mmap(nullptr, mappedLength, PROT_READ, MAP_PRIVATE, fd, static_cast<off_t>(start));
            if (mapped == MAP_FAILED) {
                result = -1;
                break;
            }
            visit(static_cast<const std::uint8_t*>(mapped) + (at - start), static_cast<std::size_t>(count),
                  context);
            munmap(mapped, mappedLength);
            mapped = MAP_FAILED;
            done += count;
        }
    }
    busErrorGuarded = 0;
    if (mapped != MAP_FAILED)
        munmap(mapped, mappedLength);
    sigaction(SIGBUS, &previous, nullptr);
    return result;
}

void* librarySymbol(void* library, const char* name) {
    return library == nullptr ? nullptr : dlsym(library, name);
}

void freeLibrary(void* library) {
    if (library != nullptr)
        dlclose(library);
}

// Loading code only from trusted places, and reading only ordinary files.

bool isAbsolutePath(const std::string& path) { return !path.empty() && path.front() == '/'; }

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

// Reads count bytes at offset; false when the file ends first.
bool readAt(int fd, std::uint64_t offset, void* buffer, std::size_t count) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = pread(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// An unsigned field of `width` bytes in the file's byte order.
std::uint64_t elfField(const unsigned char* bytes, std::size_t offset, std::size_t width, bool bigEndian) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= static_cast<std::uint64_t>(bytes[offset + i]) << (8 * (bigEndian ? width - 1 - i : i));
    return value;
}

// Whether count entries of entrySize bytes from offset lie inside a file of size bytes.
bool tableInside(std::uint64_t offset, std::uint64_t count, std::uint64_t entrySize, std::uint64_t size) {
    return offset <= size && (entrySize == 0 || count <= (size - offset) / entrySize);
}

// ELF header fields by class: offsets of e_phoff, e_shoff, e_phentsize, e_phnum,
// e_shentsize, e_shnum; width of an offset; sizes of the file, program and section
// headers; offsets of p_offset and p_filesz in a program header.
struct ElfLayout {
    std::size_t phoff, shoff, phentsize, phnum, shentsize, shnum, word, ehdrSize, phdrSize,
        shdrSize, pOffset, pFilesz;
};
constexpr ElfLayout kElf32{28, 32, 42, 44, 46, 48, 4, 52, 32, 40, 4, 16};
constexpr ElfLayout kElf64{32, 40, 54, 56, 58, 60, 8, 64, 56, 64, 8, 32};
constexpr std::uint32_t kPtLoad = 1;

std::string checkElf(int fd, std::uint64_t size) {
    unsigned char header[64] = {};
    if (size < 16 || !readAt(fd, 0, header, 16))
        return "is too short to be a shared library (" + std::to_string(size) + " bytes)";
    if (header[0] != 0x7F || header[1] != 'E' || header[2] != 'L' || header[3] != 'F')
        return "is not an ELF shared library (no ELF header)";
    if ((header[4] != 1 && header[4] != 2) || (header[5] != 1 && header[5] != 2))
        return "has an ELF header of an unknown class or byte order";
    const ElfLayout& l = header[4] == 1 ? kElf32 : kElf64;
    const bool big = header[5] == 2;
    if (size < l.ehdrSize || !readAt(fd, 0, header, l.ehdrSize))
        return "is cut short inside its ELF header (" + std::to_string(size) + " bytes)";
    const std::uint64_t phoff = elfField(header, l.phoff, l.word, big);
    const std::uint64_t shoff = elfField(header, l.shoff, l.word, big);
    const std::uint64_t phentsize = elfField(header, l.phentsize, 2, big);
    const std::uint64_t phnum = elfField(header, l.phnum, 2, big);
    const std::uint64_t shentsize = elfField(header, l.shentsize, 2, big);
    // A zero count with a table present means the count is kept in the first entry.
    const std::uint64_t shnum = elfField(header, l.shnum, 2, big) == 0 && shoff != 0
                                    ? 1
                                    : elfField(header, l.shnum, 2, big);
    if (phnum == 0 || phentsize < l.phdrSize)
        return "has no usable program header table";
    if (!tableInside(phoff, phnum, phentsize, size))
        return "is cut short: its program header table lies beyond the end of the file (" +
               std::to_string(size) + " bytes)";
    if (shnum != 0 && (shentsize < l.shdrSize || !tableInside(shoff, shnum, shentsize, size)))
        return "is cut short: its section header table lies beyond the end of the file (" +
               std::to_string(size) + " bytes)";
    std::vector<unsigned char> table(static_cast<std::size_t>(phnum * phentsize));
    if (!readAt(fd, phoff, table.data(), table.size()))
        return "cannot be read";
    bool anyLoad = false;
    for (std::uint64_t i = 0; i < phnum; ++i) {
        const unsigned char* entry = table.data() + i * phentsize;
        if (elfField(entry, 0, 4, big) != kPtLoad)
            continue;
        anyLoad = true;
        const std::uint64_t offset = elfField(entry, l.pOffset, l.word, big);
        const std::uint64_t filesz = elfField(entry, l.pFilesz, l.word, big);
        if (!tableInside(offset, filesz, 1, size))
            return "is cut short: a loadable segment lies beyond the end of the file (" +
                   std::to_string(size) + " bytes)";
    }
    if (!anyLoad)
        return "has no loadable segment";
    return {};
}

// Where the dynamic loader looks for a bare name beyond LD_LIBRARY_PATH (its cache
// mostly names these folders).
const char* const kSystemLibraryFolders[] = {
#if defined(__x86_64__)
    "/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu",
#elif defined(__aarch64__)
    "/lib/aarch64-linux-gnu", "/usr/lib/aarch64-linux-gnu",
#elif defined(__i386__)
    "/lib/i386-linux-gnu", "/usr/lib/i386-linux-gnu",
#endif
    "/lib64", "/usr/lib64", "/lib", "/usr/lib", "/usr/local/lib",
};

} // namespace

std::string checkLibraryFile(const std::string& path) {
    // Non-blocking, so that a FIFO planted under the name cannot stall the open.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::string("cannot be opened: ") + std::strerror(errno);
    struct stat st {};
    std::string problem;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        problem = "is not an ordinary file";
    else
        problem = checkElf(fd, static_cast<std::uint64_t>(st.st_size));
    close(fd);
    return problem;
}

LibraryLoad loadTrustedLibrary(const std::string& pathOrName) {
    LibraryLoad result;
    std::string path = pathOrName;
    if (pathOrName.find('/') == std::string::npos) {
        // A bare name: take the file the loader's own search would find first. An
        // empty or relative LD_LIBRARY_PATH element names the current folder (or one
        // below it) to the loader; a library found there is refused.
        const std::string list = environmentValue("LD_LIBRARY_PATH").value_or("");
        std::size_t start = 0;
        while (path == pathOrName && !list.empty() && start <= list.size()) {
            std::size_t end = list.find_first_of(":;", start);
            if (end == std::string::npos)
                end = list.size();
            const std::string folder = list.substr(start, end - start);
            start = end + 1;
            const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + pathOrName;
            if (!fileExists(candidate))
                continue;
            if (!isAbsolutePath(folder)) {
                result.found = true;
                result.path = candidate;
                result.reason = "LD_LIBRARY_PATH names the current folder (an empty or relative element "
                                "\"" + folder + "\"), which is no trusted place to load it from";
                return result;
            }
            path = candidate;
        }
        if (path == pathOrName) {
            // The system's folders: a damaged copy in any of them is refused, as the
            // loader's cache may lead to any one.
            for (const char* folder : kSystemLibraryFolders) {
                const std::string candidate = std::string(folder) + "/" + pathOrName;
                if (!fileExists(candidate))
                    continue;
                result.found = true;
                if (std::string problem = checkLibraryFile(candidate); !problem.empty()) {
                    result.path = candidate;
                    result.reason = candidate + " " + problem;
                    return result;
                }
            }
        }
    }
    if (path != pathOrName || pathOrName.find('/') != std::string::npos) {
        if (!fileExists(path)) {
            result.reason = path + ": no such file";
            return result;
        }
        result.found = true;
        result.path = path;
        if (std::string problem = checkLibraryFile(path); !problem.empty()) {
            result.reason = path + " " + problem;
            return result;
        }
    }
    dlerror();
    result.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (result.handle == nullptr) {
        const char* error = dlerror();
        result.reason = error != nullptr ? error : "the dynamic loader refused it";
        // A bare name the loader did not find at all is no damaged library.
        if (!result.found)
            result.found = result.reason.find("No such file") == std::string::npos;
    }
    return result;
}

// Files the program owns, replaced whole, and the one-run-at-a-time lock.

namespace {

// Windows numbering of the errno values that creating, writing and renaming meet.
int windowsCodeOfErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND_CODE;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return ERROR_ACCESS_DENIED_CODE;
    case EEXIST:
        return ERROR_FILE_EXISTS_CODE;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE_CODE;
    case ENOSPC:
        return 112; // ERROR_DISK_FULL
    case ELOOP:
        return 1921; // ERROR_CANT_RESOLVE_FILENAME
    default:
        return 1;
    }
}

int ownedFileFailure(int error, const std::string& what, std::string* why) {
    if (why != nullptr)
        *why = what + ": " + std::strerror(error);
    return windowsCodeOfErrno(error);
}

int ownedFileRefusal(const std::string& what, std::string* why) {
    if (why != nullptr)
        *why = what;
    return ERROR_ACCESS_DENIED_CODE;
}

// Fills `bytes` from the kernel's random source; false when none answers.
bool systemRandomBytes(unsigned char* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = getrandom(bytes + done, count - done, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    if (done == count)
        return true;
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    while (done < count) {
        const ssize_t n = read(fd, bytes + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    close(fd);
    return done == count;
}

std::string folderOfOwnedFile(const std::string& path) {
    const std::size_t cut = path.find_last_of('/');
    if (cut == std::string::npos)
        return ".";
    return cut == 0 ? std::string("/") : path.substr(0, cut);
}

// 0 when the file may be replaced: absent, an ordinary file (its permission bits go to
// `mode`) or a link, which is replaced itself and never followed.
int checkOwnedFileTarget(const std::string& path, mode_t* mode, std::string* why) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return errno == ENOENT ? 0 : ownedFileFailure(errno, "cannot examine " + path, why);
    if (S_ISREG(st.st_mode)) {
        *mode = st.st_mode & 0777;
        return 0;
    }
    if (S_ISLNK(st.st_mode))
        return 0;
    return ownedFileRefusal(path + " is not an ordinary file", why);
}

// Creates "<path>.<16 random hexadecimal digits><suffix>" exclusively, without following
// a link, with the given permissions; a name that exists already is drawn again.
// Returns the open descriptor, or -1 with `code` and `why` set.
int createTemporaryBeside(const std::string& path, const char* suffix, mode_t mode,
                          std::string* temporary, int* code, std::string* why) {
    for (int attempt = 0; attempt < 64; ++attempt) {
        unsigned char random[8];
        if (!systemRandomBytes(random, sizeof random)) {
            *code = ownedFileFailure(errno != 0 ? errno : EIO,
                                     "no random name for a temporary file beside " + path, why);
            return -1;
        }
        char digits[2 * sizeof random + 1];
        for (std::size_t i = 0; i < sizeof random; ++i)
            std::snprintf(digits + 2 * i, 3, "%02x", static_cast<unsigned>(random[i]));
        *temporary = path + "." + digits + suffix;
        const int fd =
            open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && (errno == EEXIST || errno == EINTR))
            continue;
        if (fd < 0) {
            *code = ownedFileFailure(errno, "cannot create the temporary file " + *temporary, why);
            return -1;
        }
        // The creation mode passed through the umask; the permissions are set exactly.
        if (fchmod(fd, mode) != 0) {
            *code = ownedFileFailure(errno, "cannot set the permissions of " + *temporary, why);
            close(fd);
            unlink(temporary->c_str());
            return -1;
        }
        return fd;
    }
    *code = ownedFileFailure(EEXIST, "no free name for a temporary file beside " + path, why);
    return -1;
}

// Writes every byte; 0 or the errno value of the failing write.
int writeAllBytes(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int runLockDescriptor = -1;

} // namespace

int writeFileAtomically(const std::string& path, const std::string& bytes, std::string* why) {
    mode_t mode = 0600;
    if (const int refused = checkOwnedFileTarget(path, &mode, why); refused != 0)
        return refused;
    std::string temporary;
    int code = 0;
    const int fd = createTemporaryBeside(path, ".tmp", mode, &temporary, &code, why);
    if (fd < 0)
        return code;
    int error = writeAllBytes(fd, bytes);
    std::string step = error != 0 ? "cannot write " + temporary : std::string();
    if (error == 0 && fsync(fd) != 0) {
        error = errno;
        step = "cannot sync " + temporary;
    }
    if (close(fd) != 0 && error == 0) {
        error = errno;
        step = "cannot close " + temporary;
    }
    if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
        step = "cannot rename " + temporary + " to " + path;
    }
    if (error != 0) {
        unlink(temporary.c_str());
        return ownedFileFailure(error, step, why);
    }
    // The new name lasts through a power cut only once the folder is on the disk too.
    const std::string folder = folderOfOwnedFile(path);
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return ownedFileFailure(errno, "cannot open " + folder + " to sync it", why);
    const int synced = fsync(dir) == 0 || errno == EINVAL ? 0 : errno;
    close(dir);
    return synced == 0 ? ERROR_OK : ownedFileFailure(synced, "cannot sync " + folder, why);
}

int appendToOwnedFile(const std::string& path, const std::string& bytes, std::string* why) {
    // O_NOFOLLOW refuses a link at the name; the check after opening refuses whatever
    // else is not an ordinary file (a FIFO is opened without waiting for a reader).
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0)
        return errno == ELOOP ? ownedFileRefusal(path + " is a link, not an ordinary file", why)
                              : ownedFileFailure(errno, "cannot open " + path, why);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return ownedFileRefusal(path + " is not an ordinary file", why);
    }
    // One write puts the whole line at the end; O_APPEND keeps writers from interleaving.
    int error = writeAllBytes(fd, bytes);
    std::string step = error != 0 ? "cannot write " + path : std::string();
    if (error == 0 && fsync(fd) != 0) {
        error = errno;
        step = "cannot sync " + path;
    }
    if (close(fd) != 0 && error == 0) {
        error = errno;
        step = "cannot close " + path;
    }
    return error == 0 ? ERROR_OK : ownedFileFailure(error, step, why);
}

int checkFileReplaceable(const std::string& path, const std::string& bytes, std::string* why) {
    mode_t mode = 0600;
    if (const int refused = checkOwnedFileTarget(path, &mode, why); refused != 0)
        return refused;
    std::string temporary;
    int code = 0;
    const int fd = createTemporaryBeside(path, ".probe", 0600, &temporary, &code, why);
    if (fd < 0)
        return code;
    const int error = writeAllBytes(fd, bytes);
    close(fd);
    if (unlink(temporary.c_str()) != 0 && error == 0)
        return ownedFileFailure(errno, "cannot remove " + temporary, why);
    return error == 0 ? ERROR_OK : ownedFileFailure(error, "cannot write " + temporary, why);
}

int acquireRunLock(const std::string& folder, void (*waiting)(const std::string& what),
                   std::string* why) {
    if (runLockDescriptor >= 0)
        return ERROR_OK;
    if (folder.empty())
        return ownedFileFailure(ENOENT, "no folder for the lock file", why);
    // Whatever stands in the way shows in the open below, with its reason.
    createDirectoryWithParents(folder);
    const std::string path = folder + "/" + kRunLockFileName;
    struct stat st {};
    // Opening a device or a FIFO may act on it; only an ordinary file is opened.
    if (lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return ownedFileRefusal(path + " is not an ordinary file", why);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0)
        return ownedFileFailure(errno, "cannot open the lock file " + path, why);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return ownedFileRefusal(path + " is not an ordinary file", why);
    }
    int locked = flock(fd, LOCK_EX | LOCK_NB);
    if (locked != 0 && errno == EWOULDBLOCK) {
        if (waiting != nullptr)
            waiting(path);
        while ((locked = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
    }
    if (locked != 0) {
        const int error = errno;
        close(fd);
        return ownedFileFailure(error, "cannot lock " + path, why);
    }
    runLockDescriptor = fd;
    return ERROR_OK;
}

void releaseRunLock() {
    if (runLockDescriptor < 0)
        return;
    flock(runLockDescriptor, LOCK_UN);
    close(runLockDescriptor);
    runLockDescriptor = -1;
}

// Output files and polite stops.

FileKind fileKindAt(const std::string& path) {
    struct stat st {};
    if (path.empty() || lstat(path.c_str(), &st) != 0)
        return FileKind::Missing;
    if (S_ISREG(st.st_mode))
        return FileKind::Regular;
    if (S_ISDIR(st.st_mode))
        return FileKind::Directory;
    if (S_ISLNK(st.st_mode))
        return FileKind::Link;
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return FileKind::Device;
    if (S_ISFIFO(st.st_mode))
        return FileKind::Pipe;
    if (S_ISSOCK(st.st_mode))
        return FileKind::Socket;
    return FileKind::Other;
}

bool removeFileName(const std::string& path) {
    // unlink never removes a directory and never follows a final link.
    return !path.empty() && (unlink(path.c_str()) == 0 || errno == ENOENT);
}

std::FILE* createFileExclusive(const std::string& path) {
    if (path.empty())
        return nullptr;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    std::FILE* file = fdopen(fd, "w");
    if (file == nullptr)
        close(fd);
    return file;
}

namespace {

volatile std::sig_atomic_t stopFlag = 0;

void onStopSignal(int) { stopFlag = 1; }

} // namespace

TerminalInfo standardErrorTerminal() {
    TerminalInfo info;
    info.isTerminal = isatty(STDERR_FILENO) == 1;
    struct winsize size {};
    if (info.isTerminal && ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        info.columns = size.ws_col;
    return info;
}

void installStopHandler() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // a stop never cuts a read, write or wait short
    for (const int stopSignal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        // A signal the caller chose to ignore (nohup, a background job) stays ignored.
        if (sigaction(stopSignal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        sigaction(stopSignal, &action, nullptr);
    }
}

bool stopRequested() { return stopFlag != 0; }

} // namespace platform
