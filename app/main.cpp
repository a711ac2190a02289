// The program's entry point; the whole program is winmarloMain (see entry.h).
#include "app/entry.h"

int main(int argc, char** argv) { return winmarloMain(argc, argv); }
