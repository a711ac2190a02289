// Version texts in their fixed forms, the legacy version word, and the few numeric
// orderings the system knows (family IDs, converged-adapter thresholds).
#pragma once

#include "common/bytes.h"
#include "image/cna_version.h"

#include <cstddef>
#include <cstdint>

// Fields of a LegacyVersionWord (lowest bits first).
inline std::uint32_t legacyDistCnt(std::uint32_t word) { return getBits(word, 0, 4); }
inline std::uint32_t legacyDistType(std::uint32_t word) { return getBits(word, 4, 2); }
inline std::uint32_t legacyFixlevel(std::uint32_t word) { return getBits(word, 6, 2); }
inline std::uint32_t legacyRevision(std::uint32_t word) { return getBits(word, 8, 4); }
inline std::uint32_t legacyVersionNumber(std::uint32_t word) { return getBits(word, 12, 4); }
inline std::uint32_t legacyImageId(std::uint32_t word) { return getBits(word, 16, 8); }
inline std::uint32_t legacyImageType(std::uint32_t word) { return getBits(word, 24, 8); }

// Letter of a dist_type value: N, A, B or X.
char legacyDistLetter(std::uint32_t distType);

// Writes the legacy suffix ("202A3") of word into out (cut to outSize - 1 characters);
// returns 0, or 4 when out is missing or outSize is 0.
int encodeLegacyVersion(std::uint32_t word, char* out, std::size_t outSize);

// Splits a dotted text into major, minor, release and build (a major of 3 is stored
// as 2). Returns 0; 4 for missing arguments, an empty text, fewer than four fields or
// a text of bufferLength characters or more; 8 is kept for an allocation failure and
// cannot occur, the text being parsed in place.
int encodeCNAVersion(std::uint32_t* major, std::uint32_t* minor, std::uint32_t* release,
                     std::uint32_t* build, std::size_t bufferLength, const char* text);

// Reads up to three dotted decimal fields of a family ID (at most 31 characters are
// looked at); absent fields leave their outputs untouched.
void parseFamilyID(const char* text, std::uint32_t* major, std::uint32_t* minor, std::uint32_t* build);

// 1 when family ID a is newer than b, 0 when equal, -1 when older.
int compareFamilyIDs(const char* a, const char* b);

// 0 when current is below the reference, 2 when equal, 1 when above.
int compareVersionField(std::uint32_t current, std::uint32_t base);
int compareFfvVersionField(std::uint32_t current, std::uint32_t threshold);

// Threshold tests on a converged-adapter version; each returns 0 or 1.
int requiresInterimFerroxDownload(const CnaVersion& v); // above 1.1.21.4
int isFFVSupportedFW(const CnaVersion& v);              // at or above 1.1.19.0
int isFerroxInterimFWVersion(const CnaVersion& v);      // exactly 1.1.21.300
int isFerroxMissingObjsFWVersion(const CnaVersion& v);  // exactly 1.1.21.4
