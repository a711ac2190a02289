// The absent management library's thin layer (see management_library.h).
#include "inventory/management_library.h"

#include "log/debug_log.h"
#include "log/trace.h"

namespace {

bool tracing() {
    return (traceSettings.LOG_MODE & TRACE_VPD_TREE) != 0;
}

// The end of every request: the absent library's status, logged when traced.
int failed() {
    if (tracing())
        debugPrint("ERROR: status=%d\n", KOVA_LIBRARY_ABSENT);
    return kovaResult(KOVA_LIBRARY_ABSENT);
}

} // namespace

int kovaResult(int libraryStatus) {
    if (libraryStatus == 0)
        return 0;
    return libraryStatus == 14 ? KOVA_REQUEST_FAILED_14 : KOVA_REQUEST_FAILED;
}

int get_node_tag(int parent, const char* name, int type, int* tag) {
    if (tag != nullptr)
        *tag = 0;
    if (tracing())
        debugPrint("get_node_tag:     parent=%d, name=%s, type=%d: ", parent,
                   name != nullptr ? name : "", type);
    return failed();
}

int get_property_val(int parent, int tag, char* value, int capacity) {
    if (value != nullptr && capacity > 0)
        value[0] = '\0';
    if (tracing())
        debugPrint("get_property_val: parent=%d, tag=%d:  ", parent, tag);
    return failed();
}

int set_property_val(int parent, int tag, const char* value, int length) {
    if (tracing())
        debugPrint("set_property_val: parent=%d, tag=%d, val=%s, len=%d:  ", parent, tag,
                   value != nullptr ? value : "", length);
    return failed();
}

int get_last_status() {
    if (tracing()) {
        debugPrint("get_last_status: ");
        debugPrint("ERROR: status=%d\n", KOVA_LIBRARY_ABSENT);
    }
    return KOVA_LIBRARY_ABSENT;
}

int writeKovaFfvName(int adapterNode, const char* ffv) {
    int tag = 0;
    const int status = get_node_tag(adapterNode, "FFVName", 2, &tag);
    if (status != 0)
        return status;
    return set_property_val(adapterNode, tag, ffv, 0);
}

std::uint32_t readKovaFunctionVpd(std::uint32_t board, std::uint8_t* buffer,
                                  std::uint32_t capacity, std::uint32_t* length) {
    (void)board;
    if (length != nullptr)
        *length = 0;
    if (buffer == nullptr || capacity < kKovaVpdRoom)
        return KOVA_VPD_NO_ROOM;
    return KOVA_NOT_PRESENT;
}

std::uint32_t listKovaFunctions() {
    return KOVA_NOT_PRESENT;
}
