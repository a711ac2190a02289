// The process entry: the command line, start-up checks, the run lock, the adapter
// library and its environment, the adapter identification, then the run driver (see
// entry.h).
#include "app/entry.h"

#include "adapter/adapter_environment.h"
#include "adapter/dfc_library.h"
#include "adapter/identify_adapters.h"
#include "adapter/kova_functions.h"
#include "app/options.h"
#include "app/output_files.h"
#include "app/path_limits.h"
#include "app/run_driver.h"
#include "common/result_codes.h"
#include "common/text.h"
#include "run/run_context.h"
#include "log/console.h"
#include "log/debug_log.h"
#include "log/trace.h"
#include "platform/platform.h"
#include "report/run_reasons.h"

#include <cstdio>
#include <memory>
#include <string>

int checkArgumentLengths(const CommandLine& commandLine, std::string& message) {
    if (commandLine.overlongArgument == 0)
        return 0;
    message = formatText("Invalid argument length:\n%s\n", commandLine.arguments[commandLine.overlongArgument].c_str());
    return 51;
}

namespace {

// The program's name and at most 19 arguments.
constexpr std::size_t kMostArguments = 20;

// Ends a run that started the adapter library: the adapter table, the library, then
// the run lock when the run took it.
void cleanUp() {
    releaseAdapterEnvironment();
    unloadDfcLibrary();
    platform::releaseRunLock();
}

// Whether the run is an inventory or an execution whose arguments passed the parser:
// the runs that take the run lock and use the adapters.
bool runUsesAdapters(const CommandLine& commandLine) {
    return commandLine.parseStatus == 0 &&
           (commandLine.options.mode == Inventory || commandLine.options.mode == Execution);
}

// Whether the run starts the adapter library: the runs that use the adapters, and a
// command line that begins with "@", which ends once the adapters are identified (on
// a system without any board the run driver takes it instead and refuses it). Help,
// the version, the image query and runs whose arguments were refused never load it.
bool runStartsAdapterLibrary(const CommandLine& commandLine) {
    return runUsesAdapters(commandLine) || commandLine.joined.starts_with('@');
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
// starts (it reads the adapters' state) until the run ends (cleanUp). The lock file lives in
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
    CommandLine commandLine = readCommandLine(argc, argv);
    // With -s standard output carries the document alone; decided before anything is
    // printed.
    sendNoticesToStandardError(commandLine.documentOnStandardOutput);
    if (!isAdministrator()) {
        std::fprintf(noticeStream(), "Not an Administrative user! Exiting...\n");
        std::fflush(noticeStream());
        return endsAtStart(15);
    }
    // The run's data, built here and handed down.
    auto run = std::make_unique<RunContext>();
    if (const int status = checkArgumentLengths(commandLine, run->message); status != 0) {
        const std::string& argument = commandLine.arguments[commandLine.overlongArgument];
        sayOnStandardError("argument %d has %zu characters (it begins %.40s); every argument must be "
                           "shorter than 255 characters",
                           commandLine.overlongArgument, argument.size(), argument.c_str());
        return status;
    }
    // The library and the trace files sit beside the program.
    const FixedText<221> programDir =
        deriveBinaryDir(commandLine.arguments.empty() ? nullptr : commandLine.arguments[0].c_str(), 220);
    setTraceFolder(programDir.str());

    const std::string tracePath = programDir.str() + kTraceFileName;
    if (platform::fileExists(tracePath)) {
        const std::string settingsPath = programDir.str() + kTraceSettingsFileName;
        if (std::FILE* settings = std::fopen(settingsPath.c_str(), "r"))
            readTraceSettings(settings);
    }
    traceLine(nullptr, "########started execution of Pardo########");

    if (commandLine.helpAsked) {
        displayHelp();
        return 0;
    }
    if (commandLine.arguments.size() > kMostArguments) {
        run->message = "Invalid number of arguments";
        return endsAtStart(27);
    }
    run->options = commandLine.options;
    run->paths = commandLine.paths;
    run->argumentProblem = commandLine.argumentProblem;
    // A path too long for its field ends the run as an over-long argument does, before
    // the run lock, the utility's folder or any adapter.
    if (runUsesAdapters(commandLine))
        if (const std::optional<OverlongPath> overlong = findOverlongPath(run->options, run->paths)) {
            commandLine.parseStatus = codeNumber(ResultCode::ArgumentLength);
            run->pathProblem = overlongPathLine(*overlong);
        }
    if (!runStartsAdapterLibrary(commandLine))
        return runUtility(*run, commandLine);

    if (runUsesAdapters(commandLine)) {
        const bool folderExisted = platform::fileExists(primaryMarloFolder());
        takeRunLock();
        run->softVpdFolderMadeByLock = !folderExisted && platform::fileExists(primaryMarloFolder());
    }
    loadDfcLibrary(programDir.str());
    const int status = initAdapterEnvironment(commandLine.joined);
    // Without any board there is nothing to identify: the run goes on at once.
    if (status == ADAPTER_ENV_NO_BOARDS) {
        const int result = runUtility(*run, commandLine);
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
    if (commandLine.joined.starts_with('@')) {
        cleanUp();
        return 0;
    }
    const int result = runUtility(*run, commandLine);
    cleanUp();
    return result;
}
