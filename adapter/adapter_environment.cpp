#include "adapter/adapter_environment.h"

#include "adapter/dfc_library.h"
#include "common/run_state.h"

#include <new>

AdapterEnvironment adapterEnv;

namespace {

bool g_driverRan = false;

// Calls DFC_InitDiagEnv with a fresh buffer of `capacity` entries; returns n.
std::uint32_t enumerate(std::uint32_t capacity, std::vector<std::uint8_t>* keep) {
    std::vector<std::uint8_t> entries(std::size_t(capacity) * kDiagEnvEntrySize, 0);
    const std::uint32_t n = dfc.DFC_InitDiagEnv(entries.data(), capacity);
    if (keep != nullptr)
        *keep = std::move(entries);
    return n;
}

int initAdapterEnvironmentImpl(int argc, char** argv) {
    if (argc > 20) {
        setSharedMessage("Invalid number of arguments");
        return 27;
    }
    adapterEnv.commandLine.clear();
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            adapterEnv.commandLine += ' ';
        adapterEnv.commandLine += argv[i];
    }
    adapterEnv.noKova = adapterEnv.commandLine.find("/nokova") != std::string::npos;
    // Also found inside a longer argument, such as a path that contains "/c".
    adapterEnv.noVpdModelNames = adapterEnv.commandLine.find("/c") != std::string::npos;

    std::uint32_t n = 0;
    if (dfcLibraryLoaded()) {
        enumerate(256, nullptr); // the first answer is dropped
        n = enumerate(256, &adapterEnv.enumeration);
        if (n == 0)
            setSharedMessage("No Tavrel FC or CNA adapters installed");
        if (n != 0 && n != 256) {
            const std::uint32_t again = enumerate(n, &adapterEnv.enumeration);
            if (again != n) {
                setSharedMessage("DFC_InitDiagEnv call error");
                return 63;
            }
        }
        char libraryVersion[25] = {};
        dfc.DFC_GetLibVer(libraryVersion);
    } else {
        setSharedMessage("No Tavrel FC or CNA adapters installed");
    }
    adapterEnv.boardCount = n;
    adapterEnv.totalCount = n; // the management library reports no adapters here

    if (adapterEnv.totalCount == 0) {
        g_driverRan = true;
        return 0;
    }
    adapterEnv.table.assign(n, AdapterRecord{});
    return 0;
}

} // namespace

int initAdapterEnvironment(int argc, char** argv, RunDriver runDriver) {
    g_driverRan = false;
    int status = 0;
    try {
        status = initAdapterEnvironmentImpl(argc, argv);
    } catch (const std::bad_alloc&) {
        setSharedMessage("Unable to allocate memory");
        return 62;
    }
    if (status == 0 && g_driverRan)
        return runDriver(argc, argv);
    return status;
}

bool runDriverAlreadyRan() { return g_driverRan; }

void releaseAdapterEnvironment() {
    adapterEnv.table.clear();
    adapterEnv.table.shrink_to_fit();
    adapterEnv.enumeration.clear();
    adapterEnv.commandLine.clear();
    adapterEnv.boardCount = 0;
    adapterEnv.totalCount = 0;
}
