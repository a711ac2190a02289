// Download keys: the key chain, reading an image's key block, the adapter's security
// commands (fields in adapter/mailbox_layouts.h) and the walk along the chain.
#include "download/kek.h"

#include "adapter/dfc_library.h"
#include "adapter/mailbox.h"
#include "common/bytes.h"
#include "download/download_status.h"
#include "download/file_words.h"
#include "image/prg_image.h"
#include "log/debug_log.h"
#include "log/trace.h"

#include <cstring>

// Key data of entries 1 and 2 is provisioned data of this program (test values of a
// fictional key set); the default key's data is all zero.
const KekEntry kKekTable[3] = {
    {"TAVREL DEFAULT DOWNLOAD KEK", 27, true, -1, {0, 0}, {}},
    {"TAVREL DOWNLOAD KEK 1",
     21,
     false,
     0,
     {0x5A17C0DE, 0x0B1E55ED},
     {0x3C, 0x71, 0x9E, 0x04, 0xD2, 0x6B, 0x88, 0x1F, 0xA5, 0x30, 0x4E, 0xC7, 0x12, 0x9B,
      0x66, 0xF0, 0x27, 0x8D, 0x5C, 0xE1, 0x09, 0xB4, 0x73, 0x2A, 0xDF, 0x46, 0x90, 0x1B,
      0x65, 0xCE, 0x38, 0xA7, 0x0D, 0x52, 0xF9, 0x84, 0x2E, 0x6A, 0xB1, 0x17}},
    {"TAVREL DOWNLOAD KEK 2",
     21,
     false,
     1,
     {0x7E11A2B3, 0xC4D5E6F7},
     {0x91, 0x2C, 0x4F, 0xE8, 0x06, 0x7B, 0xA3, 0x5D, 0x1A, 0xC2, 0x68, 0x3F, 0xB7, 0x04,
      0xDE, 0x59, 0x83, 0x21, 0x6C, 0xF5, 0x4A, 0x0E, 0x97, 0xB8, 0x25, 0xD1, 0x7F, 0x40,
      0xEC, 0x13, 0x8A, 0x66, 0x3B, 0xC9, 0x02, 0x75, 0xAE, 0x58, 0x1D, 0xF3}},
};

namespace {

constexpr std::uint32_t kSubGetKekId = 12;
constexpr std::uint32_t kSubSetKek = 13;
constexpr std::uint16_t kStatusNotSupported = 0xF06;

std::uint32_t swapBytes(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
}

// Issues a security command with the key commands' sizes, tries and wait.
std::uint32_t issueSecurity(std::uint32_t board, MailboxImage& m, std::uint32_t& status) {
    status = 0;
    if (dfc.DFC_IssueMboxWithRetry == nullptr)
        return 1;
    const std::uint32_t result =
        dfc.DFC_IssueMboxWithRetry(board, m.bytes.data(), 124, 124, 10, 6000);
    status = mailboxStatus(m);
    return result;
}

// Reads the key block at `offset` from the current position and restores it.
std::uint32_t readKeyNameAt(std::FILE* file, std::int64_t offset, char* name, std::uint32_t& length,
                            std::uint32_t& keyFlag) {
    const long here = std::ftell(file);
    if (here < 0)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    const std::uint32_t status = ReadKekIdFromPRG(file, name, length, offset, keyFlag);
    std::clearerr(file);
    if (std::fseek(file, here, SEEK_SET) != 0 && status == 0)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    return status;
}

// The walk after the key name is known; 2 from the adapter counts as done.
std::uint32_t processName(std::uint32_t board, const char* name) {
    const std::uint32_t status = ProcessKEK(board, name);
    return status == KEK_NOT_SUPPORTED ? 0 : status;
}

} // namespace

std::uint32_t ReadKekIdFromPRG(std::FILE* file, char* nameOut, std::uint32_t& length,
                               std::int64_t offset, std::uint32_t& keyFlag) {
    if (file == nullptr || nameOut == nullptr || length < kKekNameBytes)
        return KEK_FAILURE;
    const std::uint32_t capacity = length;
    if (offset < -0x7FFFFFFF || offset > 0x7FFFFFFF ||
        std::fseek(file, long(offset), SEEK_CUR) != 0) {
        debugPrint("[ReadKekIdFromPRG] Failed seeking file pointer\n");
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    }
    std::uint8_t block[kKeyBlockBytes];
    if (std::fread(block, 1, kKeyBlockBytes, file) != kKeyBlockBytes)
        return shortReadStatus(file);
    if (layout::at(block, key_block::kFlag) != 0)
        keyFlag = 1;
    // The name keeps the file's byte order: each word converted, then reversed again.
    const std::uint8_t* name = block + kKeyBlockNameOffset;
    std::uint32_t n = 0;
    while (n < kKekNameBytes && name[n] != 0)
        ++n;
    const std::uint32_t kept = n < capacity ? n : capacity - 1;
    std::memcpy(nameOut, name, kept);
    nameOut[kept] = '\0';
    length = n;
    return 0;
}

std::uint32_t GetKEK_ID(std::uint32_t board, char* nameOut, std::uint32_t& length) {
    if (nameOut == nullptr || length < kKekNameBytes)
        return KEK_FAILURE;
    MailboxImage m;
    setMailboxCommand(m, MAILBOX_SECURITY);
    setMailboxField(m, mbx::kSecuritySubcommand, kSubGetKekId);
    std::uint32_t status = 0;
    const std::uint32_t result = issueSecurity(board, m, status);
    if (result != 0) {
        debugPrint("[GetKEK_ID] DFC_IssueMboxWithRetry (Board %d): returnStat %d, mbxCommand= "
                   "0x%x, mbxStatus=0x%x\n",
                   int(board), int(result), unsigned(mailboxCommand(m)), unsigned(status));
        return status == kStatusNotSupported ? KEK_NOT_SUPPORTED : KEK_FAILURE;
    }
    // The answer carries at most 16 words of name: a longer claimed length is an
    // adapter fault, and copying it would read past the answer.
    const std::uint32_t answered = mailboxWord(m, mbx::kKeyIdLengthWord);
    if (answered > kKekAnswerNameBytes || answered >= length) {
        debugPrint(
            "[GetKEK_ID] Board %d answered a KEK ID length of %u, more than the answer holds\n",
            int(board), unsigned(answered));
        return KEK_FAILURE;
    }
    std::uint8_t name[kKekAnswerNameBytes];
    for (std::size_t i = 0; i < kKekAnswerNameBytes / 4; ++i)
        writeBe32(name, i * 4, mailboxWord(m, mbx::kKeyIdNameWord + i));
    std::memcpy(nameOut, name, answered);
    std::memset(nameOut + answered, 0, length - answered);
    length = answered;
    return 0;
}

std::uint32_t SetKEK(std::uint32_t board, std::size_t entry) {
    if (entry >= 3)
        return KEK_FAILURE;
    const KekEntry& k = kKekTable[entry];
    MailboxImage m;
    setMailboxCommand(m, MAILBOX_SECURITY);
    setMailboxField(m, mbx::kSecuritySubcommand, kSubSetKek);
    setMailboxWord(m, mbx::kSetKeySizesWord, 0x00010220);                        // bytes 32, 2, 1, 0
    setMailboxWord(m, mbx::kSetKeySizesWord + 1, 0x0228 | (k.nameLength << 16)); // bytes 40, 2 and the length
    setMailboxWord(m, mbx::kSetKeyWordsWord, swapBytes(k.keyWords[1]));
    setMailboxWord(m, mbx::kSetKeyWordsWord + 1, swapBytes(k.keyWords[0]));
    std::memcpy(m.bytes.data() + mbx::kSetKeyBytesOffset, k.keyBytes, sizeof k.keyBytes);
    std::uint8_t name[kKekAnswerNameBytes] = {};
    std::memcpy(name, k.name, k.nameLength);
    for (std::size_t i = 0; i < kKekAnswerNameBytes / 4; ++i)
        setMailboxWord(m, mbx::kSetKeyNameWord + i, readBe32(name, i * 4));
    std::uint32_t status = 0;
    const std::uint32_t result = issueSecurity(board, m, status);
    if (result == 0)
        return 0;
    debugPrint("[SetKEK] DFC_IssueMboxWithRetry (Board %d): returnStat %d, mbxCommand= 0x%x, "
               "mbxStatus=0x%x\n",
               int(board), int(result), unsigned(mailboxCommand(m)), unsigned(status));
    return status == kStatusNotSupported ? KEK_NOT_SUPPORTED : KEK_FAILURE;
}

std::uint32_t ProcessKEK(std::uint32_t board, const char* targetName) {
    if (targetName == nullptr)
        return KEK_MISSING_ARGUMENT;
    int target = -1;
    for (int i = 0; i < 3 && target < 0; ++i)
        if (std::strncmp(kKekTable[i].name, targetName, kKekTable[i].nameLength) == 0)
            target = i;
    if (target < 0) {
        if (tracingKeysAndObjects())
            debugPrint("[ProcessKEK] Error: Target KEK ID for download was not known.\n");
        return KEK_FAILURE;
    }
    if (tracingKeysAndObjects()) {
        debugPrint("[ProcessKEK] TARGET KEK FOUND\n");
        debugPrint("[ProcessKEK] READ INITIAL HBA DOWNLOAD KEK\n");
    }
    char current[kKekNameBuffer] = {};
    std::uint32_t currentLength = sizeof current;
    std::uint32_t status = GetKEK_ID(board, current, currentLength);
    if (status == KEK_NOT_SUPPORTED) {
        debugPrint("[ProcessKEK] ERROR: GetDownloadKekId command not supported.\n");
        return KEK_NOT_SUPPORTED;
    }
    if (status != 0) {
        debugPrint("[ProcessKEK] ERROR: Failed to get the board KEK ID string.\n");
        return KEK_FAILURE;
    }
    if (tracingKeysAndObjects()) {
        debugPrint("[ProcessKEK] INITIAL HBA DOWNLOAD KEK READ\n");
        debugPrint("[ProcessKEK] CALCULATE UPDATE PATH TO REACH TARGET KEK\n");
    }
    int path[3] = {};
    int steps = 0;
    int cur = target;
    bool found = false;
    for (int pass = 0; pass < 3; ++pass) {
        path[steps] = cur;
        if (std::strncmp(kKekTable[cur].name, current, kKekTable[cur].nameLength) == 0) {
            found = true;
            break;
        }
        if (kKekTable[cur].endOfChain)
            break;
        cur = kKekTable[cur].predecessor;
        ++steps;
    }
    if (!found) {
        if (tracingKeysAndObjects())
            debugPrint("[ProcessKEK] ERROR: Could not find a valid path to the required download "
                       "KEK.  HBA may need to be zeroized.\n");
        return KEK_FAILURE;
    }
    if (tracingKeysAndObjects())
        debugPrint("[ProcessKEK] UPDATE PATH FOUND\n");
    if (steps == 0) {
        if (tracingKeysAndObjects())
            debugPrint("[ProcessKEK] HBA already has the required download KEK, no SET KEK "
                       "operation required!\n");
        return 0;
    }
    if (tracingKeysAndObjects())
        debugPrint("[ProcessKEK] PERFORM UPDATE STEPS\n");
    for (int s = steps; s >= 1; --s) {
        status = SetKEK(board, std::size_t(path[s - 1]));
        if (status == KEK_NOT_SUPPORTED) {
            debugPrint("[ProcessKEK] ERROR: SetDownloadKek command not supported.\n");
            return KEK_NOT_SUPPORTED;
        }
        if (status != 0) {
            if (tracingKeysAndObjects())
                debugPrint("[ProcessKEK] ERROR: Failed to update download KEK. SET_KEK failure.\n");
            return KEK_FAILURE;
        }
    }
    if (tracingKeysAndObjects()) {
        debugPrint("[ProcessKEK] HBA UPDATED TO TARGET KEK\n");
        debugPrint("[ProcessKEK] VERIFY KEK UPDATE BY READING KEK ID\n");
    }
    currentLength = sizeof current;
    status = GetKEK_ID(board, current, currentLength);
    if (status == KEK_NOT_SUPPORTED) {
        debugPrint("[ProcessKEK] ERROR: GetDownloadKekId command not supported.\n");
        return KEK_NOT_SUPPORTED;
    }
    if (status != 0) {
        debugPrint("[ProcessKEK] ERROR: Failed to verify the set KEK ID string.\n");
        return KEK_FAILURE;
    }
    return std::strcmp(current, targetName) == 0 ? 0 : KEK_FAILURE;
}

std::uint32_t AuthenticateFWC(std::uint32_t board, std::FILE* file, std::uint32_t& keyFlag) {
    const long here = std::ftell(file);
    if (here < 0)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    std::uint32_t header[PRG_HEADER_WORDS] = {};
    std::uint32_t status = readFileWords(file, header, PRG_HEADER_WORDS);
    const std::uint32_t keyWord = header[prg_layout::kKeyBlockWord];
    if (status == 0 && layout::get(header[prg_layout::kFlagsWord], prg_layout::kSigned) == 0)
        status = AUTHENTICATION_ERROR;
    if (status == 0 && keyWord < key_block::kBackFromFwcWord)
        status = INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    if (status == 0) {
        char name[kKekNameBuffer] = {};
        std::uint32_t length = sizeof name;
        status = readKeyNameAt(file, std::int64_t(keyWord) - key_block::kBackFromFwcWord, name, length, keyFlag);
        if (status == 0)
            status = processName(board, name);
    }
    std::clearerr(file);
    std::fseek(file, here, SEEK_SET);
    return status;
}
