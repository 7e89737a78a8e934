#pragma once

#include "measure/mesurestate.h"

#include <string>

namespace measure {

/// A box for the ellipse primitive; right and bottom edges are exclusive.
struct Box {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Box &a, const Box &b)
    {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
};

/// Stores a click at (x, y) as cusp n (1 or 2) and returns the indicator's next position.
/// Completing a pair (n = 2) orders the cusps left to right.
[[nodiscard]] int pickCusp(TMesureState &state, int n, int x, int y);

/// The box of the small ring that marks a click at (x, y).
[[nodiscard]] Box markerBox(int x, int y);

/// Computes the chord, the radius and the box of the limb circle from the two cusps.
void tracearc(TMesureState &state);

/// The radius as shown to the user, e.g. "152 px".
[[nodiscard]] std::string radiusText(std::int32_t rayon);

/// The current box of the limb circle.
[[nodiscard]] Box limbBox(const TMesureState &state);

/// Moves the limb circle by (dx, dy) pixels and accumulates the offsets.
void nudge(TMesureState &state, int dx, int dy);

} // namespace measure
