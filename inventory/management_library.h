// The thin layer over the maker's management library. That library is never present
// in this program: every request ends with library status 2 and fails.
#pragma once

#include <cstdint>

// Library status every call ends with, the library being absent.
constexpr int KOVA_LIBRARY_ABSENT = 2;
// What lookups, reads and writes return for library status 2 and for status 14.
constexpr int KOVA_REQUEST_FAILED = 114;
constexpr int KOVA_REQUEST_FAILED_14 = 64;
// Room a caller must offer for a function's VPD, and the statuses of that read.
constexpr std::uint32_t kKovaVpdRoom = 1024;
constexpr std::uint32_t KOVA_VPD_NO_ROOM = 7;
constexpr std::uint32_t KOVA_NOT_PRESENT = 72;

// Maps a library status to the layer's result: 64 for 14, 114 for any other failure,
// 0 for 0.
int kovaResult(int libraryStatus);

// Looks up the tag of node `name` of `type` under parent; returns 114.
int get_node_tag(int parent, const char* name, int type, int* tag);
// Reads property `tag` of parent into value (capacity bytes); returns 114.
int get_property_val(int parent, int tag, char* value, int capacity);
// Writes property `tag` of parent; returns 114.
int set_property_val(int parent, int tag, const char* value, int length);
// The library's last status: always 2.
int get_last_status();

// Writes the family value as node "FFVName" (type 2) of the adapter's node; returns
// 114, which callers take as a failed write.
int writeKovaFfvName(int adapterNode, const char* ffv);

// A NIC or iSCSI function's VPD ("VPD" node, properties "VPDData0" to "VPDData8").
// Returns 7 when capacity is below 1024, else 72: the library is absent.
std::uint32_t readKovaFunctionVpd(std::uint32_t board, std::uint8_t* buffer,
                                  std::uint32_t capacity, std::uint32_t* length);

// The NIC and iSCSI functions the library would list; returns 72.
std::uint32_t listKovaFunctions();
