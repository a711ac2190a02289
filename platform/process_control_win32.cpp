// Win32 implementation of the tests' process control (see process_control.h).
#include "platform/process_control.h"

#include "platform/child_process.h"

#include <windows.h>

namespace platform {

namespace {

detail::Child childOf(const StartedProcess& process) {
    return detail::Child{process.id, process.handle};
}

} // namespace

std::optional<std::string> getEnv(const std::string& name) { return detail::environmentValue(name); }

void setEnv(const std::string& name, const std::string& value) {
    SetEnvironmentVariableA(name.c_str(), value.c_str());
}

void unsetEnv(const std::string& name) {
    SetEnvironmentVariableA(name.c_str(), nullptr);
}

int runShellCommand(const std::string& commandLine) {
    const std::string shell = getEnv("COMSPEC").value_or("cmd.exe");
    std::string line = "\"" + shell + "\" /c " + commandLine;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    CloseHandle(process.hThread);
    detail::Child child{static_cast<std::int64_t>(process.dwProcessId), process.hProcess};
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
    process->handle = child.handle;
    return true;
}

void killProcess(const StartedProcess& process) {
    if (process.handle != nullptr)
        TerminateProcess(static_cast<HANDLE>(process.handle), 137);
}

int waitProcess(StartedProcess* process) {
    if (process == nullptr)
        return -1;
    detail::Child child = childOf(*process);
    const int result = detail::waitChild(&child);
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

} // namespace platform
