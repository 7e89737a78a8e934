#pragma once

#include "measure/mesurestate.h"

// A state whose two cusps were clicked at (x1, y1) and (x2, y2), in that order.
inline measure::TMesureState withCusps(int x1, int y1, int x2, int y2)
{
    measure::TMesureState state;
    state.ptx[1] = static_cast<float>(x1);
    state.pty[1] = static_cast<float>(y1);
    state.ptx[2] = static_cast<float>(x2);
    state.pty[2] = static_cast<float>(y2);
    return state;
}
