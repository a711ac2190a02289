#include "adapter/dfc_library.h"

#include "platform/platform.h"

DfcLibrary dfc;

namespace {

std::string g_problem;

template <typename T> bool resolve(void* handle, const char* name, T& slot) {
    slot = reinterpret_cast<T>(platform::librarySymbol(handle, name));
    return slot != nullptr;
}

} // namespace

int loadDfcLibrary(const std::string& programDir) {
    unloadDfcLibrary();
    const std::string name = platform::kAdapterLibraryName;
    void* handle = platform::loadLibrary(programDir + name);
    if (handle == nullptr)
        handle = platform::loadLibrary(name);
    if (handle == nullptr) {
        g_problem = "Adapter access library " + name + " not found in " + programDir +
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
        g_problem = "Adapter access library " + name + " lacks the function " + missing;
        platform::freeLibrary(handle);
        return 1;
    }
    dfc = table;
    return 0;
}

bool dfcLibraryLoaded() { return dfc.handle != nullptr; }

const std::string& dfcLoadProblem() { return g_problem; }

void unloadDfcLibrary() {
    if (dfc.handle != nullptr)
        platform::freeLibrary(dfc.handle);
    dfc = DfcLibrary{};
    g_problem.clear();
}
