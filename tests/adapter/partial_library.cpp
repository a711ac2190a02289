// A shared library named like the adapter access library that offers only the first of
// its functions: the program must refuse it and say which function is missing.
#include <cstdint>

#if defined(_WIN32)
#define PARTIAL_EXPORT extern "C" __declspec(dllexport)
#else
#define PARTIAL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

PARTIAL_EXPORT std::uint32_t DFC_InitDiagEnv(void*, std::uint32_t) { return 0; }
