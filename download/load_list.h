// The adapter's load list: a chain of 6-word entries in adapter memory, headed by the
// word at 0x79C, naming the images the adapter has loaded.
#pragma once

#include <cstdint>
#include <vector>

constexpr std::uint32_t kLoadListHead = 0x79C;

struct LoadEntry {
    std::uint32_t address;
    std::uint32_t programId[2]; // type in bits 24-31 of the first word
};

// Reads the whole list. Returns 0, or MAILBOX_ERROR when a memory read fails; a list
// that does not end within 64 entries (a loop in adapter memory) ends there.
std::uint32_t readLoadList(std::uint32_t board, std::vector<LoadEntry>& entries);

// True for an entry whose id words mark it free (0 or 0xFFFFFFFF).
bool isFreeLoadEntry(const LoadEntry& entry);

// The first of at most 10 usable type-3 entries whose first id word equals firstWord;
// returns false when the list cannot be read or holds none.
bool findMatchingLoadEntry(std::uint32_t board, std::uint32_t firstWord, std::uint32_t id[2]);

// Deletes (command 0x1D) every usable entry of the image type. Returns 0, or
// MAILBOX_ERROR at the first failure.
std::uint32_t DeleteLoadEntries(std::uint32_t board, std::uint32_t imageType);
