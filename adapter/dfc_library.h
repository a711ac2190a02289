// The adapter access library, loaded once by name and resolved into one table.
// Every call to the library goes through this table.
#pragma once

#include <cstdint>
#include <string>

extern "C" {
typedef std::uint32_t (*DFC_InitDiagEnv_t)(void* entries, std::uint32_t capacity);
typedef std::uint32_t (*DFC_GetLibVer_t)(char* text);
typedef std::uint32_t (*DFC_GetDrvInfo_t)(std::uint32_t board, void* info);
typedef std::uint32_t (*DFC_ReadPciCfg_t)(std::uint32_t board, void* buffer, std::uint32_t offset,
                                          std::uint32_t count);
typedef std::uint32_t (*TavDfcQueryDriverType_t)(std::uint32_t board);
typedef std::uint32_t (*DFC_GetLinkInfo_t)(std::uint32_t board, void* info);
typedef std::uint32_t (*DFC_ConfigLoopback_t)(std::uint32_t board, std::uint32_t enable,
                                              std::uint32_t kind);
typedef std::uint32_t (*DFC_ResetAdapter_t)(std::uint32_t board, std::uint32_t mode);
typedef std::uint32_t (*DFC_IssueDumpMBox_t)(std::uint32_t board, std::uint32_t type,
                                             std::uint32_t reserved, std::uint32_t region,
                                             std::uint32_t offset, void* buffer,
                                             std::uint32_t* length);
typedef std::uint32_t (*DFC_IssueMboxWithRetry_t)(std::uint32_t board, void* mailbox,
                                                  std::uint32_t inCount, std::uint32_t outCount,
                                                  std::uint32_t tries, std::uint32_t ms);
typedef std::uint32_t (*DFC_IssueMboxWithRetryV2_t)(std::uint32_t board, void* buffer,
                                                    std::uint32_t words, std::uint32_t tries,
                                                    std::uint32_t ms);
typedef std::uint32_t (*DFC_IssueMboxWithRetryEx_t)(std::uint32_t board, void* mailbox,
                                                    void* data, std::uint32_t kind,
                                                    std::uint32_t dataWords,
                                                    std::uint32_t outCount, std::uint32_t tries,
                                                    std::uint32_t ms);
}

struct DfcLibrary {
    void* handle = nullptr;
    DFC_InitDiagEnv_t DFC_InitDiagEnv = nullptr;
    DFC_GetLibVer_t DFC_GetLibVer = nullptr;
    DFC_GetDrvInfo_t DFC_GetDrvInfo = nullptr;
    DFC_ReadPciCfg_t DFC_ReadPciCfg = nullptr;
    TavDfcQueryDriverType_t TavDfcQueryDriverType = nullptr;
    DFC_GetLinkInfo_t DFC_GetLinkInfo = nullptr;
    DFC_ConfigLoopback_t DFC_ConfigLoopback = nullptr;
    DFC_ResetAdapter_t DFC_ResetAdapter = nullptr;
    DFC_IssueDumpMBox_t DFC_IssueDumpMBox = nullptr;
    DFC_IssueMboxWithRetry_t DFC_IssueMboxWithRetry = nullptr;
    DFC_IssueMboxWithRetryV2_t DFC_IssueMboxWithRetryV2 = nullptr;
    DFC_IssueMboxWithRetryEx_t DFC_IssueMboxWithRetryEx = nullptr;
};

// The loaded library; every function pointer is set when dfcLibraryLoaded() is true.
extern DfcLibrary dfc;

// Loads the library from the program's own folder (made absolute: never the current
// folder), else from the system's trusted places, and resolves all twelve functions.
// Returns 0 on success; otherwise the table stays empty and dfcLoadProblem() says why.
// A library that is there but damaged, refused by the system or short of a function
// is also reported on standard error; nothing is loaded from a file whose headers
// claim more than it holds.
int loadDfcLibrary(const std::string& programDir);
bool dfcLibraryLoaded();
// Why the library is unusable (empty when it loaded): reported in the debug file.
const std::string& dfcLoadProblem();
// Whether that problem was also said on standard error (a library that is there but
// unusable); a missing library is said only by the run's closing line.
bool dfcLoadProblemSaid();
void unloadDfcLibrary();
