// The plain-text picture of every discovered adapter and the comparison of installed
// and packaged versions after an execution, written to the debug file.
#pragma once

// Writes the heading and one line per adapter.
void printHbaReport(const char* heading);

// Writes the resulting configuration and the comparison of installed and packaged
// versions for every supported adapter.
void printResultReport();
