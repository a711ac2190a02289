// The download engine against the simulated adapter library, in-process: every input
// is downloaded as a container, a single AIF image, an AIF-layout image, a PRG image
// and a GRP image, to the boards that take them. An erase, load, program, wakeup or
// object write may reach the adapter only for a file that every check accepts: the
// engine's own validation of AIF files, and a plain reading of the check words and
// lengths that the file carries. Anything else aborts.
#include "adapter/adapter_environment.h"
#include "adapter/dfc_library.h"
#include "common/bytes.h"
#include "download/aif_program.h"
#include "download/dispatcher.h"
#include "download/ffs_download.h"
#include "fuzz/fuzz_support.h"
#include "image/all_image.h"
#include "image/file_checksum.h"
#include "platform/platform.h"
#include "platform/process_control.h"
#include "tests/testkit/adapter_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifndef WINMARLO_LIBRARY_DIR
#error "WINMARLO_LIBRARY_DIR names the folder of the simulated adapter library"
#endif

namespace {

constexpr std::uint32_t kNopWord = 0xE1A00000;

// A legacy board of family 0xF980, a board of family 0xF100 whose own V3 list takes
// FWC records (type 2, id 0xA5: the key step) and a Ferrox FC board with the extended
// mailbox; the legacy ones start with an empty wakeup record
// and erase in large steps, so that an erase extent from an input stays quick.
const char* const kBoards = R"({"boards": [
  {"revision": {"hardwareId": 56, "firmware": "1.00A0"}, "flash": {"eraseStep": "0x10000000"},
   "regions": {"4": "000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"}},
  {"revision": {"hardwareId": 4100, "firmware": "1.00A0"}, "flash": {"eraseStep": "0x10000000"},
   "vpd": {"identifier": "x", "fields": [["V3", "T2:A5"]]},
   "regions": {"4": "000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"}},
  {"pci": {"deviceId": "0xE200"}, "revision": {"firmware": "10.2.315.26"},
   "driver": {"interfaceLevel": 4, "features": "0x1000"}}
]})";
constexpr std::uint32_t kLegacyBoard = 0, kKeyBoard = 1, kFerroxBoard = 2;

DfcLibrary realLibrary;
int changingCommands = 0;

// Erase, load and program commands, wakeup and region writes, load-list changes and
// object writes: what changes the adapter's flash.
bool changesFlash(const void* mailbox, std::size_t bytes) {
    if (mailbox == nullptr || bytes < 8)
        return false;
    const auto* m = static_cast<const std::uint8_t*>(mailbox);
    const std::uint32_t command = getBits(readHost32(m, 0), 8, 8);
    switch (command) {
    case 0x01: // region erase
    case 0x1B: // UPDATE_REGION
    case 0x1C: // DOWN_LOAD: erase and program
    case 0x1D: // load-list entry freed
    case 0x81: // LOAD_AREA: erase and load
    case 0x9C: // staged wakeup update
        return true;
    case 0x9B: { // SLI_CFG: the object write opcode, where the library finds it
        if (bytes <= 24)
            return false;
        const bool segmented = (readHost32(m, 4) & 1) == 0 && bytes > 256;
        return (segmented ? m[256] : m[24]) == 0xAC;
    }
    default:
        return false;
    }
}

std::uint32_t countedRetry(std::uint32_t board, void* mailbox, std::uint32_t inCount,
                           std::uint32_t outCount, std::uint32_t tries, std::uint32_t ms) {
    if (changesFlash(mailbox, std::size_t(inCount) * 4))
        ++changingCommands;
    return realLibrary.DFC_IssueMboxWithRetry(board, mailbox, inCount, outCount, tries, ms);
}
std::uint32_t countedRetryV2(std::uint32_t board, void* buffer, std::uint32_t words,
                             std::uint32_t tries, std::uint32_t ms) {
    if (changesFlash(buffer, std::size_t(words) * 4))
        ++changingCommands;
    return realLibrary.DFC_IssueMboxWithRetryV2(board, buffer, words, tries, ms);
}
std::uint32_t countedRetryEx(std::uint32_t board, void* mailbox, void* data, std::uint32_t kind,
                             std::uint32_t dataWords, std::uint32_t outCount, std::uint32_t tries,
                             std::uint32_t ms) {
    if (changesFlash(mailbox, 32 * 4))
        ++changingCommands;
    return realLibrary.DFC_IssueMboxWithRetryEx(board, mailbox, data, kind, dataWords, outCount,
                                                tries, ms);
}

void noSleep(unsigned) {}

// Loads the simulated library once and puts the counting calls in front of it.
void setUpOnce() {
    static const bool ready = [] {
        platform::unsetEnv("DFCSIM_JOURNAL");
        if (loadDfcLibrary(WINMARLO_LIBRARY_DIR) != 0) {
            std::fprintf(stderr,
                         "fuzz_download: the simulated adapter library cannot be loaded: %s\n",
                         dfcLoadProblem().c_str());
            std::abort();
        }
        realLibrary = dfc;
        dfc.DFC_IssueMboxWithRetry = countedRetry;
        dfc.DFC_IssueMboxWithRetryV2 = countedRetryV2;
        dfc.DFC_IssueMboxWithRetryEx = countedRetryEx;
        return true;
    }();
    (void)ready;
}

// Starts the boards afresh from the board file, as a program run would.
void resetBoards() {
    const std::string path = fuzzsupport::writeInput(reinterpret_cast<const std::uint8_t*>(kBoards),
                                                     std::strlen(kBoards), "boards.json");
    platform::setEnv("DFCSIM_BOARDS", path);
    std::vector<AdapterRecord> records(3);
    records[kLegacyBoard].hardwareId = 56;
    records[kKeyBoard].hardwareId = 0x1004;
    records[kKeyBoard].deviceId = 0xF100;
    records[kFerroxBoard].deviceId = 0xE200;
    if (testkit::startAdapterTable(8, std::move(records)) != 3)
        std::abort();
}

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::uint32_t word(std::uint64_t offset) const {
        return offset + 4 <= size ? readBe32(data, std::size_t(offset)) : 0;
    }
    // Whether `words` words from offset are in the input and fold to zero.
    bool folds(std::uint64_t offset, std::uint64_t words) const {
        if (words == 0 || offset + words * 4 > size)
            return false;
        std::uint32_t sum = CHECKSUM_SEED;
        for (std::uint64_t i = 0; i < words; ++i)
            sum = foldWord(sum, word(offset + i * 4));
        return rotateLeft1(sum) == 0;
    }
};

// What a PRG image must be before its erase: a header that folds, a length that is
// the file's, whole words, and the image folding to zero.
bool prgAcceptable(const Input& in) {
    if (in.size < 48)
        return false;
    const std::uint32_t length = in.word(0);
    return in.folds(4, 11) && length == in.size && length % 4 == 0 && in.folds(0, length / 4);
}

// What an AIF file must be before anything is erased: every record whole, every
// record's words folding to zero (the container's too) unless the layout has no
// check words.
bool aifAcceptable(const Input& in, bool container, bool checkWords) {
    std::uint64_t at = 0;
    int records = 0;
    while (at + 128 <= in.size) {
        if (in.word(at) != kNopWord)
            return false;
        const std::uint64_t body = in.word(at + 20), second = in.word(at + 24);
        const std::uint64_t size = 128 + body + second + (checkWords ? 4 : 0);
        // The fold takes the record's whole words; the body is always among them.
        if (at + size > in.size || (checkWords && !in.folds(at, size / 4)))
            return false;
        ++records;
        if (!container)
            break;
        at += 128 + body + (checkWords ? 4 : 0);
    }
    if (records == 0)
        return false;
    return !container || !checkWords || in.folds(0, in.size / 4);
}

[[noreturn]] void refused(const char* name, std::uint32_t board, const char* why) {
    std::fprintf(stderr,
                 "fuzz_download: %s to board %u: %d flash-changing command(s) for a file %s\n",
                 name, unsigned(board), changingCommands, why);
    std::abort();
}

// Downloads the input under one name to one board and checks the property.
void tryDownload(const Input& in, const char* name, std::uint32_t board) {
    if (changingCommands != 0)
        resetBoards(); // the last download changed the boards
    const std::string path = fuzzsupport::writeInput(in.data, in.size, name);
    const std::uint32_t kind = downloadFileKind(name);
    const std::uint32_t aifFlag = std::uint32_t(isAifFile(name));
    changingCommands = 0;

    bool acceptable = true;
    bool engineAccepts = true;
    if (kind == FILE_KIND_GRP) {
        engineAccepts = FFS_VerifyGrpFile(path.c_str()) == 0;
    } else if (in.size >= 4 && in.word(0) == kNopWord) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr)
            std::abort();
        AifFilePlan plan;
        engineAccepts = ValidateAifFile(board, kind, file, aifFlag, plan) == 0;
        std::fclose(file);
        if (changingCommands != 0)
            refused(name, board, "while only validating it");
        acceptable = aifAcceptable(in, kind == FILE_KIND_ALL, aifFlag == 1);
    } else {
        acceptable = prgAcceptable(in);
    }

    downloadPayload(board, payloadForPath(path.c_str()), nullptr, nullptr, noSleep);
    if (changingCommands == 0)
        return;
    if (!engineAccepts)
        refused(name, board, "that the engine's validation refused");
    if (!acceptable)
        refused(name, board, "whose lengths or check words are wrong");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    setUpOnce();
    resetBoards();
    changingCommands = 0;
    const Input in{data, size};
    tryDownload(in, "image.all", kLegacyBoard);
    tryDownload(in, "image.all", kKeyBoard);
    tryDownload(in, "image.dwc", kLegacyBoard);
    tryDownload(in, "image.aif", kLegacyBoard);
    tryDownload(in, "image.prg", kLegacyBoard);
    tryDownload(in, "image.grp", kFerroxBoard);
    return 0;
}
