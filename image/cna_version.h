// Four-part firmware version of converged and level-4 adapters.
#pragma once

#include <cstdint>

struct CnaVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t release = 0;
    std::uint32_t build = 0;
};
