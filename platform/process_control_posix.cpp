// POSIX implementation of the tests' process control (see process_control.h).
#include "platform/process_control.h"

#include "platform/child_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

detail::Child childOf(const StartedProcess& process) {
    return detail::Child{process.id, process.handle};
}

} // namespace

std::optional<std::string> getEnv(const std::string& name) { return detail::environmentValue(name); }

void setEnv(const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
}

void unsetEnv(const std::string& name) {
    ::unsetenv(name.c_str());
}

int runShellCommand(const std::string& commandLine) {
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", commandLine.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    detail::Child child{pid, nullptr};
    return detail::waitChild(&child);
}

bool startProcess(const std::vector<std::string>& argv, const std::string& workingDir,
                  const std::string& outputPath, StartedProcess* process,
                  const std::string& errorPath) {
    if (process == nullptr)
        return false;
    detail::Child child;
    if (!detail::startChild(argv, workingDir, outputPath, errorPath, &child))
        return false;
    process->id = child.id;
    return true;
}

void killProcess(const StartedProcess& process) {
    if (process.id > 0)
        kill(static_cast<pid_t>(process.id), SIGKILL);
}

int waitProcess(StartedProcess* process) {
    if (process == nullptr)
        return -1;
    detail::Child child = childOf(*process);
    const int result = detail::waitChild(&child);
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

} // namespace platform
