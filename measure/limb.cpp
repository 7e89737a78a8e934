#include "measure/limb.h"

#include "measure/real.h"

#include <cmath>
#include <utility>

namespace measure {

int pickCusp(TMesureState &state, int n, int x, int y)
{
    // The indicator only ever holds 1 or 2; anything else starts a new pair rather than writing
    // past the two cusps.
    const int slot = n == 2 ? 2 : 1;
    state.ptx[slot] = static_cast<float>(x);
    state.pty[slot] = static_cast<float>(y);
    if (slot == 1)
        return 2;
    // Cusp 1 is the left one, so the tilt of the cusp line stays within -90..90 degrees; equal
    // x keep the click order.
    if (state.ptx[2] < state.ptx[1]) {
        std::swap(state.ptx[1], state.ptx[2]);
        std::swap(state.pty[1], state.pty[2]);
    }
    return 1;
}

Box markerBox(int x, int y)
{
    return {x - 2, y - 2, x + 2, y + 2};
}

void tracearc(TMesureState &state)
{
    const real dx = static_cast<real>(state.ptx[2]) - static_cast<real>(state.ptx[1]);
    const real dy = static_cast<real>(state.pty[2]) - static_cast<real>(state.pty[1]);
    state.cordex = nearest(dx);
    state.cordey = nearest(dy);
    // The sum of squares of whole pixels is exact in extended precision; an odd chord gives a
    // half radius, which goes to the even neighbour.
    state.rayon = nearest(std::sqrt(dx * dx + dy * dy) / 2);

    // The midpoint stays unrounded: when it is a half, both edges of an axis round the same
    // way and the box keeps its width of 2 x rayon.
    const real mx = (static_cast<real>(state.ptx[1]) + static_cast<real>(state.ptx[2])) / 2;
    const real my = (static_cast<real>(state.pty[1]) + static_cast<real>(state.pty[2])) / 2;
    const real r = state.rayon;
    state.boxleft = nearest(mx - r);
    state.boxright = nearest(mx + r);
    state.boxtop = nearest(my - r);
    state.boxbottom = nearest(my + r);
}

std::string radiusText(std::int32_t rayon)
{
    return std::to_string(rayon) + " px";
}

Box limbBox(const TMesureState &state)
{
    return {state.boxleft, state.boxtop, state.boxright, state.boxbottom};
}

void nudge(TMesureState &state, int dx, int dy)
{
    state.decalx += dx;
    state.decaly += dy;
    state.boxleft += dx;
    state.boxright += dx;
    state.boxtop += dy;
    state.boxbottom += dy;
}

} // namespace measure
