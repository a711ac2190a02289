// Loading of the adapter access library (see dfc_library.h): from the program's own
// folder by an absolute name, else from the system's trusted places, and never another
// copy in place of one that is there but unusable.
#include "adapter/dfc_library.h"

#include "log/console.h"
#include "platform/platform.h"

#include <cstdio>
#include <utility>

DfcLibrary dfc;

namespace {

std::string g_problem;
bool g_problemSaid = false;

template <typename T> bool resolve(void* handle, const char* name, T& slot) {
    slot = reinterpret_cast<T>(platform::librarySymbol(handle, name));
    return slot != nullptr;
}

// The program's own folder by an absolute name, ending in a separator: a relative
// folder ("./" when the program's name could not be had) would resolve against the
// current folder, which is no trusted place to load code from.
std::string trustedProgramFolder(const std::string& programDir) {
    std::string folder = programDir;
    if (!platform::isAbsolutePath(folder)) {
        const std::string self = platform::moduleFileName();
        const std::size_t cut = self.find_last_of(std::string(1, platform::kPathSeparator) + "/");
        folder = cut == std::string::npos || !platform::isAbsolutePath(self) ? std::string() : self.substr(0, cut + 1);
    }
    if (!folder.empty() && folder.back() != platform::kPathSeparator && folder.back() != '/')
        folder += platform::kPathSeparator;
    return folder;
}

// A library that is there but unusable is worth a line on standard error as well as
// the debug file's: the run then reports no adapters although adapters may exist.
int refuse(std::string problem) {
    g_problem = std::move(problem);
    sayOnStandardError("%s; running as on a system without adapters", g_problem.c_str());
    g_problemSaid = true;
    return 1;
}

} // namespace

int loadDfcLibrary(const std::string& programDir) {
    unloadDfcLibrary();
    const std::string name = platform::kAdapterLibraryName;
    const std::string folder = trustedProgramFolder(programDir);
    // A library in the program's folder is the one meant: when it cannot be used, no
    // other copy is tried in its place.
    const platform::LibraryLoad load = !folder.empty() && platform::fileExists(folder + name)
                                           ? platform::loadTrustedLibrary(folder + name)
                                           : platform::loadTrustedLibrary(name);
    void* handle = load.handle;
    if (handle == nullptr) {
        if (load.found)
            return refuse("Adapter access library cannot be loaded: " + load.reason);
        g_problem = "Adapter access library " + name + " not found in " + folder +
                    " nor on the system search path";
        return 1;
    }
    DfcLibrary table;
    table.handle = handle;
    const char* missing = nullptr;
#define WM_RESOLVE(fn)                                                                             \
    if (missing == nullptr && !resolve(handle, #fn, table.fn))                                     \
        missing = #fn;
    WM_RESOLVE(DFC_InitDiagEnv)
    WM_RESOLVE(DFC_GetLibVer)
    WM_RESOLVE(DFC_GetDrvInfo)
    WM_RESOLVE(DFC_ReadPciCfg)
    WM_RESOLVE(TavDfcQueryDriverType)
    WM_RESOLVE(DFC_GetLinkInfo)
    WM_RESOLVE(DFC_ConfigLoopback)
    WM_RESOLVE(DFC_ResetAdapter)
    WM_RESOLVE(DFC_IssueDumpMBox)
    WM_RESOLVE(DFC_IssueMboxWithRetry)
    WM_RESOLVE(DFC_IssueMboxWithRetryV2)
    WM_RESOLVE(DFC_IssueMboxWithRetryEx)
#undef WM_RESOLVE
    if (missing != nullptr) {
        platform::freeLibrary(handle);
        return refuse("Adapter access library " + (load.path.empty() ? name : load.path) + " lacks the function " +
                      missing);
    }
    dfc = table;
    return 0;
}

bool dfcLibraryLoaded() { return dfc.handle != nullptr; }

const std::string& dfcLoadProblem() { return g_problem; }

bool dfcLoadProblemSaid() { return g_problemSaid; }

void unloadDfcLibrary() {
    if (dfc.handle != nullptr)
        platform::freeLibrary(dfc.handle);
    dfc = DfcLibrary{};
    g_problem.clear();
    g_problemSaid = false;
}
