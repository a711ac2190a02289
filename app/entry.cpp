// The process entry: start-up checks, the run lock, the adapter library and its
// environment, the adapter identification, then the run driver (see entry.h).
#include "app/entry.h"

#include "adapter/adapter_environment.h"
#include "adapter/dfc_library.h"
#include "adapter/identify_adapters.h"
#include "adapter/kova_functions.h"
#include "app/options.h"
#include "app/output_files.h"
#include "app/run_driver.h"
#include "common/text.h"
#include "run/run_context.h"
#include "log/console.h"
#include "log/debug_log.h"
#include "log/trace.h"
#include "platform/platform.h"
#include "report/run_reasons.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

int firstOverlongArgument(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strlen(argv[i]) >= 255)
            return i;
    return 0;
}

int checkArgumentLengths(int argc, char** argv, std::string& message) {
    const int i = firstOverlongArgument(argc, argv);
    if (i == 0)
        return 0;
    message = formatText("Invalid argument length:\n%s\n", argv[i]);
    return 51;
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

namespace {

// Whether -s is among the options, matched as the parser matches it (whole argument,
// any case). With -s standard output carries the XML document alone.
bool documentOnStandardOutput(int argc, char** argv) {
    const auto isOption = [](const char* argument, char name) {
        return std::strlen(argument) == 2 && argument[0] == '-' &&
               std::tolower(static_cast<unsigned char>(argument[1])) == name;
    };
    for (int i = 1; i < argc; ++i) {
        if (isOption(argv[i], 'e'))
            ++i; // -e takes the next argument as its file, whatever it looks like
        else if (isOption(argv[i], 's'))
            return true;
    }
    return false;
}

void cleanUp() {
    releaseAdapterEnvironment();
    unloadDfcLibrary();
}

// Whether the run is an inventory or an execution whose arguments passed the parser:
// the runs that start the adapter library.
bool runUsesAdapters(const RunOptions& options, int parseStatus) {
    return parseStatus == 0 && (options.mode == Inventory || options.mode == Execution);
}

void sayRunLockWait(const std::string& what) {
    sayOnStandardError("another run of this program holds %s; waiting for it to end", what.c_str());
}

// The line of a run that ends before the run driver begins.
int endsAtStart(int status) {
    const std::string reason = startFailureReason(status);
    if (!reason.empty())
        sayOnStandardError("%s", reason.c_str());
    return status;
}

// One inventory or execution at a time on this host, from before the adapter library
// starts (it reads the adapters' state) until the process ends. The lock file lives in
// the soft VPD folder. A lock that cannot be had is reported and the run goes on: an
// execution then still downloads nothing unless its soft VPD files can be written.
void takeRunLock() {
    std::string why;
    if (platform::acquireRunLock(primaryMarloFolder(), sayRunLockWait, &why) != 0) {
        sayOnStandardError("the run lock cannot be taken (%s); going on without it", why.c_str());
    }
}

} // namespace

int winmarloMain(int argc, char** argv, AdministratorTest isAdministrator) {
    // Decided before anything is printed: the settings file is read before the options.
    sendNoticesToStandardError(documentOnStandardOutput(argc, argv));
    if (!isAdministrator()) {
        std::fprintf(noticeStream(), "Not an Administrative user! Exiting...\n");
        std::fflush(noticeStream());
        return endsAtStart(15);
    }
    // The run's data, built here and handed down.
    auto run = std::make_unique<RunContext>();
    if (const int status = checkArgumentLengths(argc, argv, run->message); status != 0) {
        const int i = firstOverlongArgument(argc, argv);
        sayOnStandardError("argument %d has %zu characters (it begins %.40s); every argument must be "
                           "shorter than 255 characters",
                           i, std::strlen(argv[i]), argv[i]);
        return status;
    }
    // The library and the trace files sit beside the program.
    const FixedText<221> programDir = deriveBinaryDir(argv[0], 220);
    setTraceFolder(programDir.str());

    const std::string tracePath = programDir.str() + kTraceFileName;
    if (platform::fileExists(tracePath)) {
        const std::string settingsPath = programDir.str() + kTraceSettingsFileName;
        if (std::FILE* settings = std::fopen(settingsPath.c_str(), "r"))
            readTraceSettings(settings);
    }
    traceLine(nullptr, "########started execution of Pardo########");

    if (hasHelpOption(argc, argv))
        return 0;

    const int parseStatus = parseOptions(run->options, run->paths, argc, argv, &run->argumentProblem);
    if (runUsesAdapters(run->options, parseStatus))
        takeRunLock();
    loadDfcLibrary(programDir.str());
    const int status = initAdapterEnvironment(argc, argv);
    // Without any board there is nothing to identify: the run goes on at once.
    if (status == ADAPTER_ENV_NO_BOARDS) {
        const int result = runUtility(*run, parseStatus, argc, argv);
        cleanUp();
        return result;
    }
    if (status != 0) {
        cleanUp();
        return endsAtStart(status);
    }
    // The table builders, in their fixed order; their results are not used.
    mergeKovaConvergedFunctions();
    AdapterVpd lastVpd;
    identifyAdapters(lastVpd);
    markFerroxMultiFunction(lastVpd);
    matchKovaConvergedFunctions();
    if (!adapterEnv.commandLine.empty() && adapterEnv.commandLine[0] == '@') {
        cleanUp();
        return 0;
    }
    const int result = runUtility(*run, parseStatus, argc, argv);
    cleanUp();
    return result;
}
