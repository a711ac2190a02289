// The adapter inventory list (see hba_entry.h): its head, its tail and the records'
// allocation.
#include "adapter/hba_entry.h"

#include <new>

HbaEntry* hbaListHead = nullptr;

namespace {
HbaEntry* g_tail = nullptr;
}

HbaEntry* appendHbaEntry() {
    HbaEntry* entry = new (std::nothrow) HbaEntry();
    if (entry == nullptr)
        return nullptr;
    if (hbaListHead == nullptr) {
        hbaListHead = entry;
    } else {
        g_tail->next = entry;
        entry->prev = g_tail;
    }
    g_tail = entry;
    return entry;
}

void freeHbaList() {
    HbaEntry* entry = hbaListHead;
    while (entry != nullptr) {
        HbaEntry* next = entry->next;
        delete entry;
        entry = next;
    }
    hbaListHead = nullptr;
    g_tail = nullptr;
}
