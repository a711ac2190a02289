// The simulator's operating-system boundary on POSIX systems (see host.h).
#include "sim/host.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include <cstdlib>

namespace dfcsim {

std::optional<std::string> hostEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

std::string hostLibraryDir() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&hostLibraryDir), &info) == 0 || info.dli_fname == nullptr)
        return {};
    std::string path = info.dli_fname;
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void hostRequestStop() { raise(SIGTERM); }

struct HostFile {
    int fd;
};

HostFile* hostCreateFile(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    return fd < 0 ? nullptr : new HostFile{fd};
}

bool hostWriteFile(HostFile* file, const void* bytes, std::size_t count) {
    const char* at = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t n = write(file->fd, at, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
        count -= std::size_t(n);
    }
    return true;
}

bool hostCloseFile(HostFile* file) {
    if (file == nullptr)
        return true;
    const bool closed = close(file->fd) == 0;
    delete file;
    return closed;
}

void hostSleepUs(std::uint64_t us) {
    timespec left{time_t(us / 1000000), long(us % 1000000) * 1000};
    // A signal handled meanwhile cuts the sleep short; the rest is slept after it.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

} // namespace dfcsim
