// The C boundary of the simulated adapter library: the twelve functions the program
// resolves by name. Every call is looked up in the fault layer first, then served by
// the board's state, and journalled; nothing thrown inside ever crosses this line.
#include "common/bytes.h"
#include "sim/faults.h"
#include "sim/handlers.h"
#include "sim/journal.h"
#include "sim/journal_fields.h"
#include "sim/sim_state.h"
#include "sim/timing.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#if defined(_WIN32)
#define DFCSIM_EXPORT extern "C" __declspec(dllexport)
#else
#define DFCSIM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace dfcsim;

namespace {

constexpr std::size_t kEntryBytes = 108;
constexpr std::size_t kDriverInfoBytes = 152;
constexpr std::size_t kLinkInfoBytes = 168;
constexpr std::uint32_t kMaxMailboxWords = 128;
constexpr std::uint32_t kMaxDataWords = 65536;
// Where an SLI_CFG request header sits: embedded in the mailbox, or in a data segment.
constexpr std::size_t kSliEmbeddedHeader = 24;
constexpr std::size_t kSliSegmentHeader = 256;

template <typename F> std::uint32_t guarded(const char* call, F body) {
    try {
        return body();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dfcsim: %s failed inside the simulator: %s\n", call, e.what());
        return RESULT_BAD_ARGUMENT;
    } catch (...) {
        std::fprintf(stderr, "dfcsim: %s failed inside the simulator\n", call);
        return RESULT_BAD_ARGUMENT;
    }
}

// One argument of a call without a mailbox, as its journal line names it; left out of
// the line when it has no value.
struct CallField {
    const char* key;
    std::optional<std::uint32_t> value;
};

// A call without a mailbox: faults first, then the body; journalled either way, with
// the arguments `request` names (read before the body can change them).
template <typename F>
std::uint32_t boardCall(const char* call, std::uint32_t number,
                        std::initializer_list<CallField> request, F body) {
    const std::optional<std::string> journalTo = journalFile();
    std::string fields;
    if (journalTo)
        for (const CallField& f : request)
            if (f.value)
                addField(fields, f.key, *f.value);
    Board* board = boardAt(number);
    std::uint32_t result = RESULT_BAD_ARGUMENT;
    if (board != nullptr) {
        const auto fault = applyFaults(*board, CallKey{call, std::nullopt, std::nullopt, std::nullopt});
        result = fault && fault->result ? *fault->result : body(*board);
    }
    if (journalTo)
        journal(*journalTo, {call, number, std::nullopt, std::nullopt, 0, result, fields});
    return result;
}

struct MailboxShape {
    std::uint32_t inWords, outWords, imageWords;
    std::uint8_t* data;
    std::size_t dataBytes;
};

// Writes a rule's response fields over the answer the caller gets (its first `bytes`
// bytes): an SLI_CFG response header's status, additional status and actualLength, or
// a classic command's reply word 4.
void patchAnswer(std::uint8_t* caller, std::size_t bytes, std::uint32_t command, const FaultAnswer& fault) {
    std::size_t header = 0;
    if (command == 0x9B) {
        const bool embedded = bytes >= 8 && (readHost32(caller, 4) & 1) != 0;
        header = embedded ? kSliEmbeddedHeader : kSliSegmentHeader;
        if (header + 16 > bytes)
            return;
        if (fault.responseStatus)
            caller[header + 4] = *fault.responseStatus;
        if (fault.responseAdditional)
            caller[header + 5] = *fault.responseAdditional;
        if (fault.length)
            writeHost32(caller, header + 12, *fault.length);
    } else if (fault.length && bytes >= 20) {
        writeHost32(caller, 16, *fault.length);
    }
}

std::uint32_t mailboxCall(const char* call, std::uint32_t number, std::uint8_t* caller,
                          const MailboxShape& shape) {
    Board* board = boardAt(number);
    std::optional<std::uint32_t> command, opcode, sub;
    const std::optional<std::string> journalTo = journalFile();
    // The request as the handler gets it: the caller's words, zeros up to the image size.
    std::vector<std::uint8_t> image;
    std::string fields;
    if (caller != nullptr) {
        image.assign(std::size_t(shape.imageWords) * 4, 0);
        std::memcpy(image.data(), caller, std::size_t(shape.inWords) * 4);
        command = getBits(readHost32(image.data(), 0), 8, 8);
        if (*command == 0x9B && image.size() > 24)
            opcode = (readHost32(image.data(), 4) & 1) == 0 && image.size() > 256 ? image[256]
                                                                                  : image[24];
        if (*command == 0xF9)
            sub = getBits(readHost32(image.data(), 4), 24, 8);
        if (journalTo) {
            fields = mailboxFields(image);
            if (shape.data != nullptr)
                addField(fields, "dataWords", std::uint32_t(shape.dataBytes / 4));
        }
    }
    std::uint32_t result = RESULT_BAD_ARGUMENT;
    std::uint32_t status = 0;
    if (board != nullptr && caller != nullptr) {
        // The card takes its time for every command it gets, whatever it answers.
        modelWait(board->timing, WaitKind::Mailbox);
        const auto fault = applyFaults(*board, CallKey{call, command, opcode, sub});
        if (fault && fault->result) {
            result = *fault->result;
        } else {
            MailboxCall mc{*board, image, shape.data, shape.dataBytes};
            result = runMailbox(mc);
            std::memcpy(caller, image.data(), std::size_t(shape.outWords) * 4);
            if (mc.changed)
                boardStateChanged(board);
        }
        if (fault) {
            if (fault->status)
                writeHost32(caller, 0, setBits(readHost32(caller, 0), 16, 16, *fault->status));
            patchAnswer(caller, std::size_t(shape.outWords) * 4, *command, *fault);
        }
        status = getBits(readHost32(caller, 0), 16, 16);
    }
    if (journalTo)
        journal(*journalTo, {call, number, command, opcode, status, result, fields});
    return result;
}

} // namespace

DFCSIM_EXPORT std::uint32_t DFC_InitDiagEnv(void* entries, std::uint32_t capacity) {
    return guarded("DFC_InitDiagEnv", [&]() -> std::uint32_t {
        // Every program run starts here, so this is where the board file is read.
        loadBoards();
        // Counted for the life of the process: the board file, and its rules, are read
        // afresh at every enumeration.
        static std::uint32_t enumerations = 0;
        std::uint32_t n = boardCount();
        if (const auto fault = applyUnboardedFaults(
                unboardedFaults(), CallKey{"DFC_InitDiagEnv", std::nullopt, std::nullopt, std::nullopt}, ++enumerations);
            fault && fault->count)
            n = *fault->count;
        auto* out = static_cast<std::uint8_t*>(entries);
        for (std::uint32_t i = 0; out != nullptr && i < n && i < capacity && i < boardCount(); ++i) {
            const Board& b = *boardAt(i);
            std::uint8_t* entry = out + std::size_t(i) * kEntryBytes;
            writeHost32(entry, 32, b.bus);
            writeHost32(entry, 36, b.device);
            entry[40] = std::uint8_t(b.function);
        }
        if (const auto journalTo = journalFile())
            journal(*journalTo,
                    {"DFC_InitDiagEnv", std::nullopt, std::nullopt, std::nullopt, 0, n, {}});
        return n;
    });
}

DFCSIM_EXPORT std::uint32_t DFC_GetLibVer(char* text) {
    return guarded("DFC_GetLibVer", [&]() -> std::uint32_t {
        if (text == nullptr)
            return RESULT_BAD_ARGUMENT;
        std::strcpy(text, "dfcsim 1.0"); // the caller offers 25 bytes
        if (const auto journalTo = journalFile())
            journal(*journalTo,
                    {"DFC_GetLibVer", std::nullopt, std::nullopt, std::nullopt, 0, 0, {}});
        return RESULT_OK;
    });
}

DFCSIM_EXPORT std::uint32_t DFC_GetDrvInfo(std::uint32_t board, void* info) {
    return guarded("DFC_GetDrvInfo", [&]() -> std::uint32_t {
        return boardCall("DFC_GetDrvInfo", board, {}, [&](Board& b) -> std::uint32_t {
            auto* out = static_cast<std::uint8_t*>(info);
            if (out == nullptr || out[0] != 4) // only layout version 4 is known
                return RESULT_BAD_ARGUMENT;
            std::memset(out + 1, 0, kDriverInfoBytes - 1);
            out[1] = b.driverKind;
            out[7] = b.driverSubKind;
            std::memcpy(out + 10, b.driverVersion.data(),
                        std::min<std::size_t>(b.driverVersion.size(), 125));
            writeHost32(out, 136, b.interfaceLevel);
            writeHost32(out, 144, b.features);
            return b.driverResult;
        });
    });
}

DFCSIM_EXPORT std::uint32_t DFC_ReadPciCfg(std::uint32_t board, void* buffer, std::uint32_t offset,
                                           std::uint32_t count) {
    return guarded("DFC_ReadPciCfg", [&]() -> std::uint32_t {
        return boardCall("DFC_ReadPciCfg", board, {{"offset", offset}, {"length", count}},
                         [&](Board& b) -> std::uint32_t {
                             if (buffer == nullptr || offset > 256 || count > 256 - offset)
                                 return RESULT_BAD_ARGUMENT;
                             std::uint8_t header[256] = {};
                             writeLe16(header, 0, b.vendorId);
                             writeLe16(header, 2, b.deviceId);
                             header[14] = b.headerType;
                             writeLe16(header, 44, b.subsystemVendorId);
                             writeLe16(header, 46, b.subsystemId);
                             std::memcpy(buffer, header + offset, count);
                             return b.pciResult;
                         });
    });
}

DFCSIM_EXPORT std::uint32_t TavDfcQueryDriverType(std::uint32_t board) {
    return guarded("TavDfcQueryDriverType", [&]() -> std::uint32_t {
        const std::uint32_t kind =
            boardCall("TavDfcQueryDriverType", board, {},
                      [](Board& b) -> std::uint32_t { return b.driverKind; });
        return boardAt(board) != nullptr ? kind : 0;
    });
}

DFCSIM_EXPORT std::uint32_t DFC_GetLinkInfo(std::uint32_t board, void* info) {
    return guarded("DFC_GetLinkInfo", [&]() -> std::uint32_t {
        return boardCall("DFC_GetLinkInfo", board, {}, [&](Board& b) -> std::uint32_t {
            if (info == nullptr)
                return RESULT_BAD_ARGUMENT;
            auto* out = static_cast<std::uint8_t*>(info);
            std::memset(out, 0, kLinkInfoBytes);
            out[21] = b.linkState;
            return RESULT_OK;
        });
    });
}

DFCSIM_EXPORT std::uint32_t DFC_ConfigLoopback(std::uint32_t board, std::uint32_t enable,
                                               std::uint32_t kind) {
    return guarded("DFC_ConfigLoopback", [&]() -> std::uint32_t {
        return boardCall("DFC_ConfigLoopback", board, {{"enable", enable}, {"kind", kind}},
                         [&](Board& b) -> std::uint32_t {
                             if (enable > 1 || kind != 15)
                                 return RESULT_BAD_ARGUMENT;
                             b.flash.loopback = enable == 1;
                             return RESULT_OK;
                         });
    });
}

DFCSIM_EXPORT std::uint32_t DFC_ResetAdapter(std::uint32_t board, std::uint32_t mode) {
    return guarded("DFC_ResetAdapter", [&]() -> std::uint32_t {
        return boardCall("DFC_ResetAdapter", board, {{"mode", mode}},
                         [&](Board& b) -> std::uint32_t {
                             if (mode != 1 && mode != 3)
                                 return RESULT_BAD_ARGUMENT;
                             modelWait(b.timing, WaitKind::Reset);
                             if (resetFlash(b)) { // the programmed image now runs
                                 modelWait(b.timing, WaitKind::Boot);
                                 boardStateChanged(&b);
                             }
                             return RESULT_OK;
                         });
    });
}

DFCSIM_EXPORT std::uint32_t DFC_IssueDumpMBox(std::uint32_t board, std::uint32_t type,
                                              std::uint32_t reserved, std::uint32_t region,
                                              std::uint32_t offset, void* buffer,
                                              std::uint32_t* length) {
    return guarded("DFC_IssueDumpMBox", [&]() -> std::uint32_t {
        // The region as the call names it, and the bytes asked for.
        const std::optional<std::uint32_t> asked =
            length != nullptr ? std::optional<std::uint32_t>(*length) : std::nullopt;
        return boardCall(
            "DFC_IssueDumpMBox", board, {{"region", region}, {"offset", offset}, {"length", asked}},
            [&](Board& b) -> std::uint32_t {
                if (type != 2 || reserved != 0 || buffer == nullptr || length == nullptr)
                    return RESULT_BAD_ARGUMENT;
                modelWait(b.timing, WaitKind::Mailbox);
                // The dump call names the factory-address region 32.
                const std::uint32_t actual = region == 32 ? 16 : region;
                std::uint32_t delivered = 0;
                const MailboxReply reply = readRegionBytes(
                    b, actual, offset, *length, static_cast<std::uint8_t*>(buffer), delivered);
                *length = delivered;
                if (reply.status != STATUS_OK)
                    return reply.result != 0 ? reply.result : RESULT_MAILBOX_FAILED;
                return RESULT_OK;
            });
    });
}

DFCSIM_EXPORT std::uint32_t DFC_IssueMboxWithRetry(std::uint32_t board, void* mailbox,
                                                   std::uint32_t inCount, std::uint32_t outCount,
                                                   std::uint32_t, std::uint32_t) {
    return guarded("DFC_IssueMboxWithRetry", [&]() -> std::uint32_t {
        // Counts are in 32-bit words.
        if (inCount == 0 || outCount == 0 || inCount > kMaxMailboxWords ||
            outCount > kMaxMailboxWords)
            mailbox = nullptr;
        const std::uint32_t words = std::max<std::uint32_t>(inCount, outCount);
        return mailboxCall("DFC_IssueMboxWithRetry", board, static_cast<std::uint8_t*>(mailbox),
                           {inCount, outCount, words, nullptr, 0});
    });
}

DFCSIM_EXPORT std::uint32_t DFC_IssueMboxWithRetryV2(std::uint32_t board, void* buffer,
                                                     std::uint32_t words, std::uint32_t,
                                                     std::uint32_t) {
    return guarded("DFC_IssueMboxWithRetryV2", [&]() -> std::uint32_t {
        const Board* b = boardAt(board);
        // Only interface-level-4 drivers take the V2 call, and never less than 64 words.
        if (b == nullptr || b->interfaceLevel != 4 || words < 64 || words > kMaxDataWords)
            buffer = nullptr;
        return mailboxCall("DFC_IssueMboxWithRetryV2", board, static_cast<std::uint8_t*>(buffer),
                           {words, words, words, nullptr, 0});
    });
}

DFCSIM_EXPORT std::uint32_t DFC_IssueMboxWithRetryEx(std::uint32_t board, void* mailbox, void* data,
                                                     std::uint32_t kind, std::uint32_t dataWords,
                                                     std::uint32_t, std::uint32_t, std::uint32_t) {
    return guarded("DFC_IssueMboxWithRetryEx", [&]() -> std::uint32_t {
        if (kind != 5 || data == nullptr || dataWords == 0 || dataWords > kMaxDataWords)
            mailbox = nullptr;
        return mailboxCall(
            "DFC_IssueMboxWithRetryEx", board, static_cast<std::uint8_t*>(mailbox),
            {32, 32, 32, static_cast<std::uint8_t*>(data), std::size_t(dataWords) * 4});
    });
}
