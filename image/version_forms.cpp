// Version texts, the legacy version word and the orderings (see version_forms.h).
// Dotted texts are split as strtok splits them: leading, trailing and repeated dots
// give no empty field.
#include "image/version_forms.h"

#include "log/debug_log.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Walks the '.'-separated tokens of a text the way strtok does: leading, trailing and
// repeated dots give no empty tokens.
class DotTokens {
  public:
    explicit DotTokens(std::string_view text) : text_(text) {}

    bool next(std::string_view& token) {
        while (pos_ < text_.size() && text_[pos_] == '.')
            ++pos_;
        if (pos_ >= text_.size())
            return false;
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != '.')
            ++pos_;
        token = text_.substr(start, pos_ - start);
        return true;
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Unsigned decimal value of a token: leading blanks skipped, digits read up to the
// first other character, no digits give 0, too large a value stops at 0xFFFFFFFF.
std::uint32_t tokenValue(std::string_view token) {
    std::size_t i = 0;
    while (i < token.size() && isBlank(token[i]))
        ++i;
    std::uint64_t value = 0;
    for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
        value = value * 10 + std::uint64_t(token[i] - '0');
        if (value > 0xFFFFFFFFu)
            value = 0xFFFFFFFFu;
    }
    return std::uint32_t(value);
}

// The text as far as a buffer of `capacity` bytes would hold it.
std::string_view boundedText(const char* text, std::size_t capacity) {
    std::size_t n = 0;
    while (n + 1 < capacity && text[n] != '\0')
        ++n;
    return std::string_view(text, n);
}

int asInt(std::uint32_t value) { return static_cast<int>(value); }

void logCnaFields(const CnaVersion& v) {
    debugPrint("CNAMajorVer   = %d\n", asInt(v.major));
    debugPrint("CNAMinorVer   = %d\n", asInt(v.minor));
    debugPrint("CNAReleaseVer = %d\n", asInt(v.release));
    debugPrint("CNABuildVer   = %d\n", asInt(v.build));
}

bool versionEquals(const CnaVersion& v, std::uint32_t major, std::uint32_t minor, std::uint32_t release,
                   std::uint32_t build) {
    return v.major == major && v.minor == minor && v.release == release && v.build == build;
}

} // namespace

char legacyDistLetter(std::uint32_t distType) {
    static const char letters[] = {'N', 'A', 'B', 'X'};
    return letters[distType & 3];
}

int encodeLegacyVersion(std::uint32_t word, char* out, std::size_t outSize) {
    if (out == nullptr || outSize == 0)
        return 4;
    const std::uint32_t distType = legacyDistType(word);
    char count[4];
    std::snprintf(count, sizeof count, "%u", static_cast<unsigned>(legacyDistCnt(word)));
    std::snprintf(out, outSize, "%u%u%u%c%s", static_cast<unsigned>(legacyVersionNumber(word)),
                  static_cast<unsigned>(legacyRevision(word)), static_cast<unsigned>(legacyFixlevel(word)),
                  legacyDistLetter(distType), count);

    debugPrint("Version       = %u\n", static_cast<unsigned>(legacyVersionNumber(word)));
    debugPrint("Revision      = %u\n", static_cast<unsigned>(legacyRevision(word)));
    debugPrint("Fixlevel      = %u\n", static_cast<unsigned>(legacyFixlevel(word)));
    switch (distType) {
    case 0:
        debugPrint("Dist_type     = N (%u)\n", static_cast<unsigned>(distType));
        break;
    case 1:
        debugPrint("Dist_type     = A (%u)\n", static_cast<unsigned>(distType));
        break;
    case 2:
        debugPrint("Dist_type     = B (%u)\n", static_cast<unsigned>(distType));
        break;
    default:
        debugPrint("Dist_type     = X (%u)\n", static_cast<unsigned>(distType));
        break;
    }
    debugPrint("Dist_cnt      = %u\n", static_cast<unsigned>(legacyDistCnt(word)));
    return 0;
}

int encodeCNAVersion(std::uint32_t* major, std::uint32_t* minor, std::uint32_t* release,
                     std::uint32_t* build, std::size_t bufferLength, const char* text) {
    if (major == nullptr || minor == nullptr || release == nullptr || build == nullptr || text == nullptr) {
        debugPrint("[encodeCNAVersion] - Invalid arguments!\n");
        return 4;
    }
    if (text[0] == '\0') {
        debugPrint("[encodeCNAVersion] - pDecodedVersion is zero-length!\n");
        return 4;
    }
    *major = *minor = *release = *build = 0;
    // The text must fit the caller's work buffer with its NUL; a longer one is refused
    // rather than parsed from a cut copy.
    std::size_t length = 0;
    while (length < bufferLength && text[length] != '\0')
        ++length;
    if (length >= bufferLength) {
        debugPrint("[encodeCNAVersion] - Version text does not fit %lu bytes!\n",
                   static_cast<unsigned long>(bufferLength));
        return 4;
    }
    std::uint32_t* fields[] = {major, minor, release, build};
    DotTokens tokens(std::string_view(text, length));
    for (std::uint32_t* field : fields) {
        std::string_view token;
        if (!tokens.next(token))
            return 4;
        *field = tokenValue(token);
        if (field == major && *major == 3)
            *major = 2; // the third generation is reported as the second
    }
    return 0;
}

void parseFamilyID(const char* text, std::uint32_t* major, std::uint32_t* minor, std::uint32_t* build) {
    if (text == nullptr)
        return;
    std::uint32_t* fields[] = {major, minor, build};
    DotTokens tokens(boundedText(text, 32));
    for (std::uint32_t* field : fields) {
        std::string_view token;
        if (!tokens.next(token))
            return;
        if (field != nullptr)
            *field = tokenValue(token);
    }
}

int compareFamilyIDs(const char* a, const char* b) {
    std::uint32_t aMajor = 0, aMinor = 0, aBuild = 0, bMajor = 0, bMinor = 0, bBuild = 0;
    parseFamilyID(a, &aMajor, &aMinor, &aBuild);
    parseFamilyID(b, &bMajor, &bMinor, &bBuild);
    debugPrint("\n[compareFamilyIDs]\n");
    debugPrint("familyID_A = %s\nfamilyID_B = %s\n", a != nullptr ? a : "", b != nullptr ? b : "");

    const unsigned am = aMajor, an = aMinor, ab = aBuild, bm = bMajor, bn = bMinor, bb = bBuild;
    int status = 0;
    if (aMajor != bMajor) {
        status = aMajor > bMajor ? 1 : -1;
        if (status > 0)
            debugPrint("MAJOR_ID_A %u.%u.%u > MAJOR_ID_B %u.%u.%u - status = %d\n\n", am, an, ab, bm, bn, bb, status);
        else
            debugPrint("MAJOR_ID_A %u.%u.%u < MAJOR_ID_B %u.%u.%u - status = %d\n\n", am, an, ab, bm, bn, bb, status);
    } else if (aMinor != bMinor) {
        status = aMinor > bMinor ? 1 : -1;
        if (status > 0)
            debugPrint("MINOR_ID_A %u.%u.%u > MINOR_ID_B %u.%u.%u - status = %d\n\n", am, an, ab, bm, bn, bb, status);
        else
            debugPrint("MINOR_ID_A %u.%u.%u < MINOR_ID_B %u.%u.%u - status = %d\n\n", am, an, ab, bm, bn, bb, status);
    } else if (aBuild != bBuild) {
        status = aBuild > bBuild ? 1 : -1;
        if (status > 0)
            debugPrint("BUILD_ID_A %u.%u.%u > BUILD_ID_B %u.%u.%u - status = %d\n\n", am, an, ab, bm, bn, bb, status);
        else
            debugPrint("BUILD_ID_A %u.%u.%u < BUILD_ID_B %u.%u.%u - status = %d\n\n", am, an, ab, bm, bn, bb, status);
    } else {
        debugPrint("A - %u.%u.%u = B - %u.%u.%u - status = %d\n\n", am, an, ab, bm, bn, bb, status);
    }
    return status;
}

int compareVersionField(std::uint32_t current, std::uint32_t base) {
    if (current < base) {
        debugPrint("curVersion < fpgaVersion - Supported = FALSE\n");
        return 0;
    }
    if (current == base) {
        debugPrint("curVersion == fpgaVersion - Continue version test\n");
        return 2;
    }
    debugPrint("curVersion > fpgaVersion - Supported = TRUE\n");
    return 1;
}

int compareFfvVersionField(std::uint32_t current, std::uint32_t threshold) {
    if (current < threshold) {
        debugPrint("curVersion < ffvVersion - Supported = FALSE\n");
        return 0;
    }
    if (current == threshold) {
        debugPrint("curVersion == ffvVersion - Continue version test\n");
        return 2;
    }
    debugPrint("curVersion > ffvVersion - Supported = TRUE\n");
    return 1;
}

int requiresInterimFerroxDownload(const CnaVersion& v) {
    debugPrint("\n[requiresInterimFerroxDownload]\n");
    logCnaFields(v);
    if (versionEquals(v, 1, 1, 21, 4)) {
        debugPrint("Versions are equal. Status = %d\n\n", 0);
        return 0;
    }
    int status = 0;
    debugPrint("\nComparing Major Versions - NewMajorVer = %d, BaseMajorVer = %d\n", asInt(v.major), 1);
    if ((status = compareVersionField(v.major, 1)) != 2) {
        debugPrint("Returning from Comparing Major Versions. Status = %d\n\n", status);
        return status;
    }
    debugPrint("\nComparing Minor Versions - NewMinorVer = %d, BaseMinorVer = %d\n", asInt(v.minor), 1);
    if ((status = compareVersionField(v.minor, 1)) != 2) {
        debugPrint("Returning from Comparing Minor Versions. Status = %d\n\n", status);
        return status;
    }
    debugPrint("\nComparing Release Versions - NewReleaseVer = %d, BaseReleaseVer = %d\n", asInt(v.release), 21);
    if ((status = compareVersionField(v.release, 21)) != 2) {
        debugPrint("Returning from Comparing Release Versions. Status = %d\n\n", status);
        return status;
    }
    debugPrint("\nComparing Build Versions - NewBuildVer = %d, BaseBuildVer = %d\n", asInt(v.build), 4);
    status = compareVersionField(v.build, 4);
    debugPrint("Returning from Comparing Build Versions. Status = %d\n\n", status);
    return status; // never 2: equality was handled above
}

int isFFVSupportedFW(const CnaVersion& v) {
    debugPrint("\n[isFFVSupportedFW]\n");
    logCnaFields(v);
    if (versionEquals(v, 1, 1, 19, 0)) {
        debugPrint("New version is equal to the threshold FFV supported FW - status = TRUE\n");
        return 1;
    }
    int status = 0;
    debugPrint("\nComparing Major Versions - New = %d, Threshold = %d\n", asInt(v.major), 1);
    if ((status = compareFfvVersionField(v.major, 1)) != 2)
        return status;
    debugPrint("\nComparing Minor Versions - New = %d, Threshold = %d\n", asInt(v.minor), 1);
    if ((status = compareFfvVersionField(v.minor, 1)) != 2)
        return status;
    debugPrint("\nComparing Release Versions - New = %d, Threshold = %d\n", asInt(v.release), 19);
    if ((status = compareFfvVersionField(v.release, 19)) != 2)
        return status;
    debugPrint("\nComparing Build Versions - New = %d, Threshold = %d\n", asInt(v.build), 0);
    return compareFfvVersionField(v.build, 0);
}

int isFerroxInterimFWVersion(const CnaVersion& v) {
    debugPrint("\n[isFerroxInterimFWVersion]\n");
    logCnaFields(v);
    const int status = versionEquals(v, 1, 1, 21, 300) ? 1 : 0;
    debugPrint("Status = %d\n\n", status);
    return status;
}

int isFerroxMissingObjsFWVersion(const CnaVersion& v) {
    debugPrint("\n[isFerroxMissingObjsFWVersion]\n");
    logCnaFields(v);
    const int status = versionEquals(v, 1, 1, 21, 4) ? 1 : 0;
    debugPrint("Status = %d\n\n", status);
    return status;
}
