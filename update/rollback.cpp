// Starts the rollback companion after a run with a successful download (see rollback.h).
#include "update/rollback.h"

#include "log/console.h"
#include "log/debug_log.h"
#include "platform/platform.h"

#include <cstdio>
#include <new>
#include <string>

void updateRollBack(const RunContext& run, bool anyDownloadSucceeded) {
    debugPrint("\n[updateRollBack]\n");
    if (!anyDownloadSucceeded) {
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
    std::snprintf(path, kPathSize, "%s%s%s", run.paths.payloadDir.c_str(), separator, "UpdRollBack.exe");
    debugPrint("Rollback executable path = %s\n", path);
    if (!platform::fileExists(path)) {
        debugPrint("ERROR - Rollback executable was not found! Update rollback operation failed!\n");
    } else {
        const std::string program = path;
        std::snprintf(path, kPathSize, "%s%s%s%s", run.paths.payloadDir.c_str(), separator, "UpdRollBack.exe",
                      platform::kIsWindows ? " > NUL 2>&1" : " > /dev/null 2>&1");
        debugPrint("Executing: %s\n", path);
        // Started directly rather than through the command interpreter, so that blanks or
        // characters the interpreter treats specially in the payload path do no harm;
        // its output is discarded all the same.
        const int status = platform::runProcess({program}, "", platform::kNullDevice);
        debugPrint("Rollback status = %d\n", status);
        if (status != 0)
            sayOnStandardError("the rollback companion %s ended with status %d (the updates themselves are done)",
                               program.c_str(), status);
    }
    delete[] path;
}
