// POSIX implementation of the platform boundary.
#include "platform/platform.h"

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
#include <sys/mman.h>
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

int replaceFile(const std::string& from, const std::string& to) {
    // Flush the new content to the disk first, so that the rename never publishes a
    // file whose data is still only in memory.
    const int fd = open(from.c_str(), O_RDONLY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return ERROR_OK;
    switch (errno) {
    case ENOENT:
        return 2;
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED_CODE;
    default:
        return 1;
    }
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

std::optional<std::string> getEnv(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

void setEnv(const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
}

void unsetEnv(const std::string& name) { ::unsetenv(name.c_str()); }

std::optional<std::string> programFilesDir() {
    if (auto value = getEnv("ProgramFiles"))
        return value;
    return std::string("/var/opt");
}

std::optional<std::string> secondaryProgramFilesDir() { return getEnv("PROGRAMFILES(x86)"); }

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

static int waitForChild(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return -1;
}

int runShellCommand(const std::string& commandLine) {
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", commandLine.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return waitForChild(pid);
}

bool startProcess(const std::vector<std::string>& argv, const std::string& workingDir,
                  const std::string& outputPath, StartedProcess* process) {
    if (argv.empty() || process == nullptr)
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
        const int nullFd = open("/dev/null", O_RDONLY);
        if (nullFd >= 0) {
            dup2(nullFd, 0);
            close(nullFd);
        }
        execv(args[0], args.data());
        _exit(127);
    }
    process->id = pid;
    return true;
}

void killProcess(const StartedProcess& process) {
    if (process.id > 0)
        kill(static_cast<pid_t>(process.id), SIGKILL);
}

int waitProcess(StartedProcess* process) {
    if (process == nullptr || process->id <= 0)
        return -1;
    const int result = waitForChild(static_cast<pid_t>(process->id));
    process->id = -1;
    return result;
}

bool tryWaitProcess(StartedProcess* process, int* exitValue) {
    if (process == nullptr || process->id <= 0)
        return true;
    int status = 0;
    pid_t ended = 0;
    do {
        ended = waitpid(static_cast<pid_t>(process->id), &status, WNOHANG);
    } while (ended < 0 && errno == EINTR);
    if (ended == 0)
        return false;
    process->id = -1;
    if (exitValue != nullptr)
        *exitValue = ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

int runProcess(const std::vector<std::string>& argv, const std::string& workingDir,
               const std::string& outputPath) {
    StartedProcess process;
    if (!startProcess(argv, workingDir, outputPath, &process))
        return -1;
    return waitProcess(&process);
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

void* loadLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* librarySymbol(void* library, const char* name) {
    return library == nullptr ? nullptr : dlsym(library, name);
}

void freeLibrary(void* library) {
    if (library != nullptr)
        dlclose(library);
}

} // namespace platform
