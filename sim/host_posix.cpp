// The simulator's operating-system boundary on POSIX systems (see host.h).
#include "sim/host.h"

#include <dlfcn.h>
#include <signal.h>
#include <time.h>

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

void hostSleepUs(std::uint64_t us) {
    timespec left{time_t(us / 1000000), long(us % 1000000) * 1000};
    // A signal handled meanwhile cuts the sleep short; the rest is slept after it.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

} // namespace dfcsim
