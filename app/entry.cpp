#include "app/entry.h"

#include "adapter/adapter_environment.h"
#include "adapter/adapter_vpd.h"
#include "adapter/dfc_library.h"
#include "adapter/identify_adapters.h"
#include "adapter/kova_functions.h"
#include "app/options.h"
#include "app/run_driver.h"
#include "common/run_state.h"
#include "download/ffs_download.h"
#include "log/trace.h"
#include "platform/platform.h"

#include <cctype>
#include <cstdio>
#include <cstring>

int (*isAdministrator)() = platform::isAdministratorUser;

int checkArgumentLengths(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strlen(argv[i]) >= 255) {
            setSharedMessage("Invalid argument length:\n%s\n", argv[i]);
            return 51;
        }
    }
    return 0;
}

int hasHelpOption(int argc, char** argv) {
    bool help = argc <= 1;
    for (int i = 1; i < argc && !help; ++i)
        help = std::strlen(argv[i]) == 2 && argv[i][0] == '-' &&
               std::tolower(static_cast<unsigned char>(argv[i][1])) == 'h';
    if (help)
        displayHelp();
    return help ? 1 : 0;
}

void getBinaryDir(char** argv) { deriveBinaryDir(argv[0], 220); }

namespace {

void cleanUp() {
    releaseAdapterEnvironment();
    unloadDfcLibrary();
}

} // namespace

int winmarloMain(int argc, char** argv) {
    if (!isAdministrator()) {
        std::printf("Not an Administrative user! Exiting...\n");
        std::fflush(stdout);
        return 15;
    }
    if (const int status = checkArgumentLengths(argc, argv); status != 0)
        return status;
    getBinaryDir(argv);

    const std::string tracePath = binaryDir.str() + kTraceFileName;
    if (platform::fileExists(tracePath)) {
        const std::string settingsPath = binaryDir.str() + kTraceSettingsFileName;
        if (std::FILE* settings = std::fopen(settingsPath.c_str(), "r"))
            readTraceSettings(settings);
    }
    traceLine(nullptr, "########started execution of Pardo########");

    if (hasHelpOption(argc, argv))
        return 0;

    loadDfcLibrary(binaryDir.str());
    const int status = initAdapterEnvironment(argc, argv, runUtility);
    // Without any adapter the environment ran the run driver itself; its result ends
    // the process, so the driver never runs twice.
    if (status != 0 || runDriverAlreadyRan()) {
        cleanUp();
        return status;
    }
    // The table builders, in their fixed order; their results are not used.
    mergeKovaConvergedFunctions();
    // The Ferrox FC board keeps its VPD in an adapter object, read by the object layer.
    ferroxFcVpdObjectReader = FFS_ReadVPD;
    identifyAdapters();
    markFerroxMultiFunction();
    matchKovaConvergedFunctions();
    if (!adapterEnv.commandLine.empty() && adapterEnv.commandLine[0] == '@') {
        cleanUp();
        return 0;
    }
    const int result = runUtility(argc, argv);
    cleanUp();
    return result;
}
