// Moments as the summary and the history write them: UTC, to the second, ISO 8601
// ("2026-12-10T23:41:07Z"), which sorts as text and every tool reads.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

inline std::string utcTimestamp(std::chrono::system_clock::time_point moment) {
    using namespace std::chrono;
    const auto day = floor<days>(moment);
    const year_month_day date{day};
    const hh_mm_ss clock{floor<seconds>(moment - day)};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()), unsigned(date.month()),
                  unsigned(date.day()), int(clock.hours().count()), int(clock.minutes().count()),
                  int(clock.seconds().count()));
    return text;
}
