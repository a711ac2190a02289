// The management library's part in building the adapter table (see kova_functions.h).
#include "adapter/kova_functions.h"

int mergeKovaConvergedFunctions() {
    return KOVA_NOT_AVAILABLE;
}

int matchKovaConvergedFunctions() {
    return KOVA_NOT_AVAILABLE;
}
