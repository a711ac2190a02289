#include "report/rollback.h"

#include "common/run_state.h"
#include "log/debug_log.h"
#include "platform/platform.h"

#include <cstdio>
#include <new>

void updateRollBack() {
    debugPrint("\n[updateRollBack]\n");
    if (!runTally.anyDownloadSucceeded) {
        debugPrint("updateRollBack is not needed\n");
        return;
    }
    constexpr std::size_t kPathSize = 262;
    char* path = new (std::nothrow) char[kPathSize];
    if (path == nullptr) {
        debugPrint("ERROR - Update rollback operation failed! Unable to allocate memory\n");
        return;
    }
    const char separator[2] = {platform::kPathSeparator, '\0'};
    std::snprintf(path, kPathSize, "%s%s%s", payloadDir.c_str(), separator, "UpdRollBack.exe");
    debugPrint("Rollback executable path = %s\n", path);
    if (!platform::fileExists(path)) {
        debugPrint("ERROR - Rollback executable was not found! Update rollback operation failed!\n");
    } else {
        char command[kPathSize];
        std::snprintf(command, sizeof command, "%s%s%s%s", payloadDir.c_str(), separator,
                      "UpdRollBack.exe", platform::kIsWindows ? " > NUL 2>&1" : " > /dev/null 2>&1");
        std::snprintf(path, kPathSize, "%s", command);
        debugPrint("Executing: %s\n", path);
        const int status = platform::runShellCommand(path);
        debugPrint("Rollback status = %d\n", status);
    }
    delete[] path;
}
