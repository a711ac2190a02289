// The plain-text picture of every discovered adapter and the comparison of installed
// and packaged versions after an execution, written to the debug file.
#pragma once

#include "adapter/hba_entry.h"

// Writes the heading and one line per adapter.
void printHbaReport(const AdapterList& adapters, const char* heading);

// Writes the resulting configuration and the comparison of installed and packaged
// versions for every supported adapter.
void printResultReport(const AdapterList& adapters);
