#pragma once

#include <cstdint>

namespace measure {

/// A pair of cusp coordinates, indexed 1 and 2 as the cusps are numbered on screen.
struct CuspPair {
    float v[2] = {0.0f, 0.0f};
    float &operator[](int n) { return v[n - 1]; }
    float operator[](int n) const { return v[n - 1]; }
};

/// The one measurement state of a run; every field starts at zero.
struct TMesureState {
    CuspPair ptx;
    CuspPair pty;
    std::int32_t rayon = 0;
    std::int32_t cordex = 0;
    std::int32_t cordey = 0;
    float axea = 0.0f;
    float axeb = 0.0f;
    std::int32_t boxleft = 0;
    std::int32_t boxtop = 0;
    std::int32_t boxright = 0;
    std::int32_t boxbottom = 0;
    std::int32_t decalx = 0;
    std::int32_t decaly = 0;
};

} // namespace measure
