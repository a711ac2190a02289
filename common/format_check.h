// printf-style format checking for our own variadic writers. MinGW's default
// archetype is Microsoft's; the build uses the standard-conforming stdio there, so
// check against the GNU rules on every platform.
#pragma once

#if defined(__MINGW32__)
#define WM_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define WM_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#endif
