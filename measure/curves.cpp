#include "measure/curves.h"

#include <cmath>
#include <cstdlib>

namespace measure {

namespace {

constexpr int kSamples = 101;

// Doubles below are deliberate: the curves keep these values at 64 bits between steps, and the
// pixels that the user lines up on a photograph move when they are kept at 80 bits instead.
using Point = DiscCentre;

// The cusp line of a vertical chord of 4k + 1 pixels is one pixel longer than the diameter,
// because the half-length k + 0.5 went to the even radius below; the line is still vertical.
bool isRoundedVerticalChord(const TMesureState &state)
{
    return state.cordex == 0 && state.rayon > 0
        && std::llabs(static_cast<long long>(state.cordey))
        == 2 * static_cast<long long>(state.rayon) + 1;
}

// 2 x rayon is an integer product, exact before it becomes a divisor.
real diameter(const TMesureState &state)
{
    return static_cast<real>(2 * static_cast<long long>(state.rayon));
}

} // namespace

// A radius of 0 fails here, before anything is drawn.
double tilt(const TMesureState &state)
{
    real s = checkedDivide(state.cordey, diameter(state));
    if (std::fabs(s) > 1 && isRoundedVerticalChord(state))
        s = s > 0 ? 1 : -1;
    return static_cast<double>(std::atan2(s, checkedSqrt(1 - s * s)));
}

DiscCentre discCentre(const TMesureState &state)
{
    const real cx = static_cast<real>(state.cordex) / 2;
    const real cy = static_cast<real>(state.cordey) / 2;
    return {static_cast<double>((state.decalx + static_cast<real>(state.ptx[1])) + cx),
        static_cast<double>((state.decaly + static_cast<real>(state.pty[1])) + cy)};
}

namespace {

// Turns the samples (P, Q) about a centre by the tilt; the sine and cosine are of the stored
// double, and the operations run in this order and no other, so that a pixel lying within
// rounding of a half always goes the same way.
class Rotation {
public:
    Rotation(double theta, Point centre)
        : cos_(std::cos(static_cast<real>(theta)))
        , sin_(std::sin(static_cast<real>(theta)))
        , centre_(centre)
    { }

    PixelPoint operator()(double p, double q) const
    {
        const real ox = centre_.x;
        const real oy = centre_.y;
        return {nearest((cos_ * (p - ox) + ox) - sin_ * (q - oy)),
            nearest((sin_ * (p - ox) + oy) + cos_ * (q - oy))};
    }

private:
    real cos_;
    real sin_;
    Point centre_;
};

// Sample i of a sweep over `degrees`, as an angle in radians stored at 64 bits.
double sampleAngle(int i, int degrees)
{
    return static_cast<double>((static_cast<real>(i) / 100) * degrees * kPiOver180);
}

// The samples over `degrees` (180 for half an ellipse, 360 for all of it) of the ellipse with
// semi-axes a along and b across the cusp line about `centre`, turned by the tilt theta.
Polyline sampleEllipse(int degrees, double a, double b, Point centre, double theta)
{
    const Rotation rotate(theta, centre);
    Polyline points;
    points.reserve(kSamples);
    for (int i = 0; i < kSamples; ++i) {
        const real t = sampleAngle(i, degrees);
        const double p = static_cast<double>(std::cos(t) * a + centre.x);
        const double q = static_cast<double>(std::sin(t) * b + centre.y);
        points.push_back(rotate(p, q));
    }
    return points;
}

} // namespace

Polyline terminator(TMesureState &state, int b)
{
    const real r = state.rayon;
    const double a = static_cast<double>(r);
    const double bs = static_cast<double>(std::sin(degreesToRadians(b)) * r);
    // The semi-axes are kept for the iso-elevation curve even when the tilt below fails.
    state.axea = static_cast<float>(a);
    state.axeb = static_cast<float>(bs);

    const double theta = tilt(state);
    return sampleEllipse(180, a, bs, discCentre(state), theta);
}

Polyline isoElevation(const TMesureState &state, int b, int h)
{
    const real r = state.rayon;
    const real elevation = degreesToRadians(h);
    const double am = static_cast<double>(std::cos(elevation) * r);
    // The ratio of the semi-axes goes through a 32-bit float, so bm is axeb x cos h only up to
    // that rounding.
    const float q = checkedFloat(checkedDivide(state.axea, am));
    const double bm = static_cast<double>(checkedDivide(state.axeb, q));
    const double theta = tilt(state);

    // The centre moves r sin h cos B along (cy, -cx) / 2r, the normal of the cusp chord.
    const real shift = std::cos(degreesToRadians(b)) * (std::sin(elevation) * r);
    const real twoR = diameter(state);
    const real cx = state.cordex;
    const real cy = state.cordey;
    const Point centre{static_cast<double>((shift * cy) / twoR
                           + ((state.decalx + static_cast<real>(state.ptx[1])) + cx / 2)),
        static_cast<double>(
            ((state.decaly + static_cast<real>(state.pty[1])) + cy / 2) - (shift * cx) / twoR)};

    return sampleEllipse(360, am, bm, centre, theta);
}

} // namespace measure
