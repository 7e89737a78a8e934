#include "tests/synth/synthmoon.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <stdexcept>

// The renderer works in double: the relief is at most a few thousandths of the radius, far
// above double's resolution, and double keeps a 24-megapixel frame within a second. The
// truth functions (shadowOf, trueCusp) use the program's extended precision.

namespace synth {
namespace {

struct V {
    double x = 0, y = 0, z = 0;
};

V operator+(V a, V b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
V operator-(V a, V b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
V operator*(double k, V a)
{
    return {k * a.x, k * a.y, k * a.z};
}
double dot(V a, V b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
V cross(V a, V b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double norm(V a)
{
    return std::sqrt(dot(a, a));
}
V unit(V a)
{
    return (1 / norm(a)) * a;
}
V toV(const measure::Vec3 &v)
{
    return {static_cast<double>(v.x), static_cast<double>(v.y), static_cast<double>(v.z)};
}

double smoothstep(double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// Counter-based, so every pixel's grain depends on the seed and its place only, not on the
// order in which pixels are rendered.
std::uint64_t mix(std::uint64_t z)
{
    z += 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

class Random {
public:
    explicit Random(std::uint64_t seed)
        : state(mix(seed ^ 0x5eedULL))
    { }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }

private:
    std::uint64_t next()
    {
        state = mix(state);
        return state;
    }
    std::uint64_t state;
};

// Quantiles of the standard normal law at the midpoints of 4096 equal-probability bins (the
// rational approximation of the inverse distribution function by Acklam, relative error
// 1.2e-9): one look-up per grain value instead of a logarithm and a square root. The table
// stays in the first-level cache, which a finer one would not; it cuts the tails at 3.5 sigma.
constexpr std::size_t kGrainBins = 4096;

double inverseNormal(double p)
{
    static const double a[] = {-3.969683028665376e+01,
        2.209460984245205e+02,
        -2.759285104469687e+02,
        1.383577518672690e+02,
        -3.066479806614716e+01,
        2.506628277459239e+00};
    static const double b[] = {-5.447609879822406e+01,
        1.615858368580409e+02,
        -1.556989798598866e+02,
        6.680131188771972e+01,
        -1.328068155288572e+01};
    static const double c[] = {-7.784894002430293e-03,
        -3.223964580411365e-01,
        -2.400758277161838e+00,
        -2.549732539343734e+00,
        4.374664141464968e+00,
        2.938163982698783e+00};
    static const double d[] = {
        7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00, 3.754408661907416e+00};
    const double low = 0.02425;
    if (p < low) {
        const double q = std::sqrt(-2 * std::log(p));
        return (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5])
            / ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
    }
    if (p > 1 - low)
        return -inverseNormal(1 - p);
    const double q = p - 0.5;
    const double r = q * q;
    return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q
        / (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
}

const std::array<float, kGrainBins> &gaussianTable()
{
    static const std::array<float, kGrainBins> table = [] {
        std::array<float, kGrainBins> t{};
        for (std::size_t k = 0; k < t.size(); ++k)
            t[k] = static_cast<float>(inverseNormal((static_cast<double>(k) + 0.5) / kGrainBins));
        return t;
    }();
    return table;
}

// ---------------------------------------------------------------------------------------------
// The relief: features on the unit sphere described in the tangent plane at their centre.

struct Feature {
    enum class Kind {
        Cone,
        Ridge,
        Crater,
    };
    Kind kind = Kind::Cone;
    V c, e1, e2;
    /// Cone: foot radius; ridge: half width; crater: radius of the rim; all in radii.
    double rho = 0;
    /// Cone and ridge: height; crater: height of the rim above the plain.
    double h = 0;
    double depth = 0;
    double halfLen = 0;
    double dirS = 1, dirT = 0;
    /// Beyond this distance from the centre the feature leaves the sphere as it is.
    double extent = 0;
    double top = 0;
    /// Crater: the largest slope of its walls and rim.
    double steepest = 0;
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1;

    bool convex() const { return kind != Kind::Crater; }
};

// Deeper than any crater floor, in radii (the deepest is 0.22 × 30 km).
constexpr double kDeepest = 0.005;

// A crater's rim falls back to the plain over this many rim radii outside the rim.
constexpr double kRimApron = 0.6;

/// Height above the unit sphere at direction u (unit), and its gradient in the tangent plane.
double heightAt(const Feature &f, V u, double *gs = nullptr, double *gt = nullptr)
{
    if (gs) {
        *gs = 0;
        *gt = 0;
    }
    if (dot(u, f.c) <= 0)
        return 0;
    const double s = dot(u, f.e1);
    const double t = dot(u, f.e2);
    switch (f.kind) {
    case Feature::Kind::Cone: {
        const double d = std::sqrt(s * s + t * t);
        if (d >= f.rho)
            return 0;
        if (gs && d > 0) {
            *gs = -f.h / f.rho * s / d;
            *gt = -f.h / f.rho * t / d;
        }
        return f.h * (1 - d / f.rho);
    }
    case Feature::Kind::Ridge: {
        const double along = s * f.dirS + t * f.dirT;
        const double across = -s * f.dirT + t * f.dirS;
        const double off = along - std::clamp(along, -f.halfLen, f.halfLen);
        const double d = std::sqrt(off * off + across * across);
        if (d >= f.rho)
            return 0;
        if (gs && d > 0) {
            const double k = -f.h / f.rho / d;
            *gs = k * (off * f.dirS - across * f.dirT);
            *gt = k * (off * f.dirT + across * f.dirS);
        }
        return f.h * (1 - d / f.rho);
    }
    case Feature::Kind::Crater: {
        const double d = std::sqrt(s * s + t * t);
        const double q = d / f.rho;
        double value = 0, slope = 0;
        if (q < 1) {
            value = f.h - f.depth * (1 - q * q);
            slope = 2 * f.depth * q / f.rho;
        } else if (q < 1 + kRimApron) {
            const double w = (q - 1) / kRimApron;
            value = f.h * (1 - w * w * (3 - 2 * w));
            slope = f.h * (-6 * w + 6 * w * w) / (kRimApron * f.rho);
        }
        if (gs && d > 0) {
            *gs = slope * s / d;
            *gt = slope * t / d;
        }
        return value;
    }
    }
    return 0;
}

struct Ray {
    V o, d;
    V at(double t) const { return o + t * d; }
};

/// The part [lo, hi] of the ray (of unit direction) that passes within the feature's reach and
/// low enough to meet it; false when none. `slack` widens the reach.
bool bracket(const Feature &f, const Ray &ray, double &lo, double &hi, double slack = 0)
{
    // Above the feature's top nothing can be met: most shadow rays leave that shell soon.
    const double shell = 1 + f.top + 1e-9;
    const double ob = dot(ray.o, ray.d);
    const double oc2 = dot(ray.o, ray.o) - shell * shell;
    const double shellDisc = ob * ob - oc2;
    if (shellDisc < 0)
        return false;
    lo = std::max(lo, -ob - std::sqrt(shellDisc));
    hi = std::min(hi, -ob + std::sqrt(shellDisc));
    if (!(lo < hi))
        return false;
    // In the tangent plane the ray is nearly a straight line (|X| stays within 1 % of 1), so a
    // slightly widened disc of the feature's extent bounds every point where it matters.
    const double reach = f.extent * 1.05 + 1e-9 + slack;
    const double ps = dot(ray.o, f.e1), pt = dot(ray.o, f.e2);
    const double vs = dot(ray.d, f.e1), vt = dot(ray.d, f.e2);
    const double qa = vs * vs + vt * vt;
    const double qb = ps * vs + pt * vt;
    const double qc = ps * ps + pt * pt - reach * reach;
    if (qa < 1e-300) {
        if (qc > 0)
            return false;
    } else {
        const double disc = qb * qb - qa * qc;
        if (disc < 0)
            return false;
        const double root = std::sqrt(disc);
        lo = std::max(lo, (-qb - root) / qa);
        hi = std::min(hi, (-qb + root) / qa);
    }
    if (f.kind == Feature::Kind::Ridge) {
        // A long ridge fills little of its disc: keep to the rectangle around its crest.
        const double width = f.rho * 1.05 + 1e-9 + slack;
        auto slab = [&](double p0, double v, double half) {
            if (std::fabs(v) < 1e-300)
                return std::fabs(p0) <= half;
            const double t1 = (-half - p0) / v, t2 = (half - p0) / v;
            lo = std::max(lo, std::min(t1, t2));
            hi = std::min(hi, std::max(t1, t2));
            return true;
        };
        if (!slab(ps * f.dirS + pt * f.dirT, vs * f.dirS + vt * f.dirT, f.halfLen + width)
            || !slab(-ps * f.dirT + pt * f.dirS, -vs * f.dirT + vt * f.dirS, width))
            return false;
    }
    // Only the side of the sphere where the feature stands.
    const double oc = dot(ray.o, f.c), dc = dot(ray.d, f.c);
    if (std::fabs(dc) < 1e-300) {
        if (oc <= 0.5)
            return false;
    } else if (dc > 0) {
        lo = std::max(lo, (0.5 - oc) / dc);
    } else {
        hi = std::min(hi, (0.5 - oc) / dc);
    }
    return lo < hi;
}

/// Height of the ray's point above the surface made of the sphere and this one feature.
double clearance(const Feature &f, const Ray &ray, double t, bool unclamped)
{
    const V x = ray.at(t);
    const double r = norm(x);
    const V u = (1 / r) * x;
    if (!unclamped)
        return r - 1 - heightAt(f, u);
    // The cone or ridge continued below the plain: convex along a ray, so one minimum.
    const double s = dot(u, f.e1), tt = dot(u, f.e2);
    double d;
    if (f.kind == Feature::Kind::Cone) {
        d = std::sqrt(s * s + tt * tt);
    } else {
        const double along = s * f.dirS + tt * f.dirT;
        const double across = -s * f.dirT + tt * f.dirS;
        const double off = along - std::clamp(along, -f.halfLen, f.halfLen);
        d = std::sqrt(off * off + across * across);
    }
    return r - 1 - f.h * (1 - d / f.rho);
}

/// Where the ray crosses the surface between a point above it and one below, by the Illinois
/// variant of regula falsi. The point returned is on the near side, so that a shadow ray
/// leaving it does not start under the surface it lies on.
double refine(const Feature &f, const Ray &ray, double above, double below, bool unclamped)
{
    double ga = clearance(f, ray, above, unclamped);
    double gb = clearance(f, ray, below, unclamped);
    int side = 0;
    // 1e-9 radii is a millionth of a pixel on the largest disc drawn.
    for (int k = 0; k < 60 && below - above > 1e-9; ++k) {
        double mid = (ga * below - gb * above) / (ga - gb);
        if (!(mid > above && mid < below))
            mid = 0.5 * (above + below);
        const double g = clearance(f, ray, mid, unclamped);
        if (g < 0) {
            below = mid;
            gb = g;
            if (side == -1)
                ga *= 0.5;
            side = -1;
        } else {
            above = mid;
            ga = g;
            if (side == 1)
                gb *= 0.5;
            side = 1;
        }
        if (g >= 0 && g < 1e-12)
            break;
    }
    return above;
}

constexpr double kNoHit = 1e300;

/// First t in [lo, hi] where the ray is below the relief of one feature, kNoHit when none.
double featureHit(const Feature &f, const Ray &ray, double lo, double hi, bool any = false)
{
    if (!bracket(f, ray, lo, hi))
        return kNoHit;
    if (f.convex()) {
        // The clearance is convex along the ray: a few samples find the stretch where it dips
        // below the surface, or the two around its lowest point.
        constexpr int n = 8;
        double gaps[n + 1];
        int lowest = 0;
        for (int k = 0; k <= n; ++k) {
            const double t = lo + (hi - lo) * k / n;
            gaps[k] = clearance(f, ray, t, true);
            if (gaps[k] < 0) {
                if (k == 0 || any)
                    return t;
                return refine(f, ray, lo + (hi - lo) * (k - 1) / n, t, true);
            }
            if (gaps[k] < gaps[lowest])
                lowest = k;
        }
        // Golden-section search for the lowest clearance between the neighbours of the
        // lowest sample: exact at a cone's apex, which any marching step would clip and so
        // shorten the shadow.
        const double g = 0.6180339887498949;
        const double from = lo + (hi - lo) * std::max(lowest - 1, 0) / n;
        double a = from, b = lo + (hi - lo) * std::min(lowest + 1, n) / n;
        double m1 = b - g * (b - a), m2 = a + g * (b - a);
        double f1 = clearance(f, ray, m1, true), f2 = clearance(f, ray, m2, true);
        for (int k = 0; k < 60 && b - a > 1e-9 && std::min(f1, f2) >= 0; ++k) {
            if (f1 < f2) {
                b = m2;
                m2 = m1;
                f2 = f1;
                m1 = b - g * (b - a);
                f1 = clearance(f, ray, m1, true);
            } else {
                a = m1;
                m1 = m2;
                f1 = f2;
                m2 = a + g * (b - a);
                f2 = clearance(f, ray, m2, true);
            }
        }
        const double tmin = f1 < f2 ? m1 : m2;
        if (std::min(f1, f2) >= -1e-13)
            return kNoHit;
        return any ? tmin : refine(f, ray, from, tmin, true);
    }
    // A crater's bowl and rim: step by the clearance over the steepest slope (the clearance
    // cannot fall faster than that), so no crossing is stepped over, then bisect.
    const double rate = 1.1 * (1 + f.steepest);
    // Near the surface the steps shrink; below this one a sliver of rim may be stepped over.
    const double least = f.rho / 40;
    double prev = lo;
    double gap = clearance(f, ray, lo, false);
    if (gap < 0)
        return lo;
    for (;;) {
        const double t = std::min(prev + std::max(gap / rate, least), hi);
        gap = clearance(f, ray, t, false);
        if (gap < 0)
            return refine(f, ray, prev, t, false);
        if (t >= hi)
            return kNoHit;
        prev = t;
    }
}

/// First t ≥ lo where the ray enters the bare unit sphere, kNoHit when it does not.
double sphereHit(const Ray &ray, double lo)
{
    const double b = dot(ray.o, ray.d);
    const double c = dot(ray.o, ray.o) - 1;
    const double disc = b * b - c;
    if (disc < 0)
        return kNoHit;
    const double root = std::sqrt(disc);
    const double t1 = -b - root, t2 = -b + root;
    if (t2 <= lo)
        return kNoHit;
    return std::max(t1, lo);
}

/// The relief that concerns one pixel: the features whose boxes hold it.
struct Relief {
    std::vector<const Feature *> features;
    double top = 0;
};

/// True when the sphere hit at t lies in a crater's bowl, where the plain sphere is open.
bool insideCrater(const Relief &relief, V x)
{
    const V u = unit(x);
    for (const Feature *f : relief.features) {
        if (f->kind != Feature::Kind::Crater)
            continue;
        const double s = dot(u, f->e1), t = dot(u, f->e2);
        if (dot(u, f->c) > 0 && s * s + t * t < f->extent * f->extent)
            return true;
    }
    return false;
}

/// First t in [lo, hi] where the ray meets the relief or the plain sphere; with `any`, some t
/// where it does (all a shadow ray needs).
double reliefHit(const Relief &relief, const Ray &ray, double lo, double hi, bool any = false)
{
    // The plain sphere first, where no crater has replaced it: it bounds the search of the
    // features, which all stand above it or replace it.
    double best = kNoHit;
    double t = lo;
    for (int k = 0; k < 4; ++k) {
        const double ts = sphereHit(ray, t);
        if (ts >= hi)
            break;
        if (!insideCrater(relief, ray.at(ts))) {
            best = ts;
            break;
        }
        // Step over the crater's footprint: its own surface decides there.
        double far = ts;
        for (const Feature *f : relief.features) {
            double a = ts, b = hi;
            if (f->kind == Feature::Kind::Crater && bracket(*f, ray, a, b))
                far = std::max(far, b);
        }
        if (far >= hi)
            break;
        // Still inside the sphere past the crater: under ground from there on.
        if (dot(ray.at(far), ray.at(far)) < 1) {
            best = far;
            break;
        }
        t = far;
    }
    if (any && best < kNoHit)
        return best;
    for (const Feature *f : relief.features) {
        best = std::min(best, featureHit(*f, ray, lo, std::min(hi, best), any));
        if (any && best < kNoHit)
            return best;
    }
    return best;
}

double reliefHeight(const Relief &relief, V u, V &grad)
{
    double total = 0;
    grad = {};
    for (const Feature *f : relief.features) {
        double gs, gt;
        const double h = heightAt(*f, u, &gs, &gt);
        total += h;
        grad = grad + (gs * f->e1 + gt * f->e2);
    }
    return total;
}

void tangentBasis(V c, V &e1, V &e2)
{
    V ref{1, 0, 0};
    if (std::fabs(c.x) > 0.9)
        ref = {0, 1, 0};
    e1 = unit(ref - dot(ref, c) * c);
    e2 = cross(c, e1);
}

Feature featureOf(const Mountain &m)
{
    Feature f;
    f.kind = m.shape == Mountain::Shape::Cone ? Feature::Kind::Cone : Feature::Kind::Ridge;
    f.c = unit(toV(m.base));
    tangentBasis(f.c, f.e1, f.e2);
    // The crest's angle is counted from the frame's x axis laid onto the tangent plane.
    V x{1, 0, 0};
    V ex = x - dot(x, f.c) * f.c;
    if (norm(ex) < 1e-9)
        ex = f.e1;
    ex = unit(ex);
    const V ey = cross(f.c, ex);
    const V crest = std::cos(m.crestAngle) * ex + std::sin(m.crestAngle) * ey;
    const double cs = dot(crest, f.e1), ct = dot(crest, f.e2);
    const double cn = std::hypot(cs, ct);
    f.dirS = cs / cn;
    f.dirT = ct / cn;
    f.h = m.heightKm / kMoonRadiusKm;
    f.rho = m.radiusKm / kMoonRadiusKm;
    f.halfLen = f.kind == Feature::Kind::Ridge ? m.halfLengthKm / kMoonRadiusKm : 0;
    f.extent = f.rho + f.halfLen;
    f.top = f.h;
    return f;
}

// ---------------------------------------------------------------------------------------------

struct Sea {
    V c, e1, e2;
    double rho = 0;
    double albedo = 1;
    double c2 = 0, s2 = 0, c3 = 0, s3 = 0;
    double cosReach = 1;
};

struct Star {
    double x = 0, y = 0, sigma = 1, peak = 0;
    double tint[3] = {1, 1, 1};
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1;
};

/// Light before the tone curve over a box of the frame (which may reach beyond it, so that the
/// blur brings in what the frame's edge cuts off); nothing outside the box is lit.
struct Light {
    int x0 = 0, y0 = 0, width = 0, height = 0;
    std::vector<float> level;

    double at(int i, int j) const
    {
        if (i < x0 || j < y0 || i >= x0 + width || j >= y0 + height)
            return 0;
        return level[static_cast<std::size_t>(j - y0) * static_cast<std::size_t>(width)
            + static_cast<std::size_t>(i - x0)];
    }
};

// A smooth seam between a sea and the highlands, over this fraction of the sea's radius.
constexpr double kSeaEdge = 0.18;

// ---------------------------------------------------------------------------------------------
// The Moon's own face: its albedo and its relief over the whole disc.

/// Smooth noise in −1…1 at a point of space: random values at the integer lattice (from a
/// table shuffled by the seed) blended with smoothstep weights.
class ValueNoise {
public:
    explicit ValueNoise(std::uint64_t seed = 0)
    {
        Random random(seed);
        for (int k = 0; k < 256; ++k) {
            perm[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k);
            values[static_cast<std::size_t>(k)] = random.uniform(-1, 1);
        }
        for (int k = 255; k > 0; --k)
            std::swap(perm[static_cast<std::size_t>(k)],
                perm[static_cast<std::size_t>(random.uniform() * (k + 1))]);
    }
    double operator()(V p) const
    {
        const double fx = std::floor(p.x), fy = std::floor(p.y), fz = std::floor(p.z);
        const auto ix = static_cast<unsigned>(static_cast<long>(fx)),
                   iy = static_cast<unsigned>(static_cast<long>(fy)),
                   iz = static_cast<unsigned>(static_cast<long>(fz));
        const double tx = smoothstep(p.x - fx), ty = smoothstep(p.y - fy),
                     tz = smoothstep(p.z - fz);
        auto at = [&](unsigned x, unsigned y, unsigned z) {
            return values[perm[(perm[(perm[x & 255u] + y) & 255u] + z) & 255u]];
        };
        auto lerp = [](double a, double b, double t) {
            return a + (b - a) * t;
        };
        return lerp(lerp(lerp(at(ix, iy, iz), at(ix + 1, iy, iz), tx),
                        lerp(at(ix, iy + 1, iz), at(ix + 1, iy + 1, iz), tx),
                        ty),
            lerp(lerp(at(ix, iy, iz + 1), at(ix + 1, iy, iz + 1), tx),
                lerp(at(ix, iy + 1, iz + 1), at(ix + 1, iy + 1, iz + 1), tx),
                ty),
            tz);
    }

private:
    std::array<std::uint8_t, 256> perm{};
    std::array<double, 256> values{};
};

/// One relief of the terrain: a crater (with a flat floor when large) or a smooth hill.
struct Landform {
    V c, e1, e2;
    bool crater = true;
    /// Crater: radius of the rim; hill: of its foot; in radii.
    double rho = 0;
    /// Crater: rim above the plain and floor below the rim; hill: height. In radii.
    double h = 0, depth = 0;
    /// Crater: the part of its radius whose floor is flat.
    double floor = 0;
    /// Crater: how much brighter than its surroundings a young one is.
    double halo = 0;
    double extent = 0;
};

/// Adds the height, its gradient in the tangent plane (radii per radian) and the albedo halo of
/// one landform at u.
void addLandform(const Landform &f, V u, double &height, V *grad, double &halo)
{
    const double s = dot(u, f.e1), t = dot(u, f.e2);
    const double dd = s * s + t * t;
    if (dd >= f.extent * f.extent || dot(u, f.c) <= 0)
        return;
    const double d = std::sqrt(dd);
    const double q = d / f.rho;
    double value = 0, slope = 0;
    if (!f.crater) {
        const double w = 1 - q * q;
        value = f.h * w * w;
        slope = -4 * f.h * q * w / f.rho;
    } else if (q < 1) {
        const double span = 1 - f.floor * f.floor;
        const double bowl = (1 - q * q) / span;
        value = f.h - f.depth * std::min(1.0, bowl);
        slope = bowl < 1 ? 2 * f.depth * q / (f.rho * span) : 0;
    } else {
        const double w = (q - 1) / kRimApron;
        value = f.h * (1 - w * w * (3 - 2 * w));
        slope = f.h * (-6 * w + 6 * w * w) / (kRimApron * f.rho);
    }
    height += value;
    if (grad && d > 0)
        *grad = *grad + (slope / d) * (s * f.e1 + t * f.e2);
    if (f.halo > 0)
        halo += f.halo * (q < 1 ? 1 : 1 - smoothstep((q - 1) / 1.5));
}

/// The landforms, found through a grid over the frame's x and y of the unit sphere.
class Terrain {
public:
    void add(const Landform &f) { forms.push_back(f); }
    void index()
    {
        cells.assign(kCells * kCells, {});
        for (std::size_t k = 0; k < forms.size(); ++k) {
            const Landform &f = forms[k];
            const double reach = f.extent * 1.05;
            const int x0 = cell(f.c.x - reach), x1 = cell(f.c.x + reach);
            const int y0 = cell(f.c.y - reach), y1 = cell(f.c.y + reach);
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x)
                    cells[static_cast<std::size_t>(y * kCells + x)].push_back(
                        static_cast<std::uint32_t>(k));
        }
    }
    /// Height above the sphere at u (unit) in radii, its gradient when asked, and the halo.
    double at(V u, V *grad, double *halo = nullptr) const
    {
        double height = 0, glow = 0;
        if (grad)
            *grad = {};
        if (!cells.empty())
            for (std::uint32_t k : cells[static_cast<std::size_t>(cell(u.y) * kCells + cell(u.x))])
                addLandform(forms[k], u, height, grad, glow);
        if (halo)
            *halo = glow;
        return height;
    }
    std::size_t size() const { return forms.size(); }

private:
    static constexpr int kCells = 128;
    static int cell(double v)
    {
        return std::clamp(static_cast<int>((v + 1) * 0.5 * kCells), 0, kCells - 1);
    }
    std::vector<Landform> forms;
    std::vector<std::vector<std::uint32_t>> cells;
};

/// A young crater's rays: for each direction around it, the brightness and reach of the
/// strongest ray that way.
struct RaySystem {
    V c, e1, e2;
    double rho = 0;
    static constexpr int kBins = 720;
    std::array<float, kBins> gain{}, reach{};
    double cosReach = 1;
};

// Cast shadows are followed up to this Sun elevation and from this one below the terminator
// (a peak of 8 km still catches light there); above, slopes shade and crater walls are lit.
constexpr double kBandTop = 30 * M_PI / 180;
constexpr double kBandBottom = -7 * M_PI / 180;

/// The horizon across the Sun's direction at every point of a grid in the Sun's own frame:
/// great circles through the point under the Sun (longitude) and elevation of the Sun above
/// the plain sphere. Along each such circle the light travels in its plane, so one sweep from
/// the Sun's side with the upper convex hull of the ground met so far gives every point's
/// horizon.
struct Horizons {
    V e1, e2;
    double step = 0;
    int longitudes = 0, elevations = 0;
    std::vector<float> beta;
    /// Where the horizon's tangent touches the ground: the elevation step of the point on the
    /// same circle that stands in the way.
    std::vector<std::uint16_t> occluder;

    /// True when the ground towards `axis` rises above the line from u along it; `by` is then
    /// the ground that stands in the way.
    template <typename Ground> bool occluded(V u, V axis, const Ground &ground, V &by) const
    {
        if (beta.empty() || lookup(u, axis) <= 0)
            return false;
        const double phi = std::asin(std::clamp(dot(u, axis), -1.0, 1.0));
        double lambda = std::atan2(dot(u, e2), dot(u, e1));
        if (lambda < 0)
            lambda += 2 * M_PI;
        const int l = static_cast<int>(std::lround(lambda / step)) % longitudes;
        const int p = std::clamp(
            static_cast<int>(std::lround((phi - kBandBottom) / step)), 0, elevations - 1);
        // From the ground in the way towards the axis, the last point still above the line
        // along the axis: the first one that line meets coming from the other end.
        const double level = (1 + ground.at(u, nullptr)) * std::cos(phi);
        const V m = std::cos(l * step) * e1 + std::sin(l * step) * e2;
        int q = occluder[static_cast<std::size_t>(l) * static_cast<std::size_t>(elevations)
            + static_cast<std::size_t>(p)];
        auto point = [&](int k) {
            const double f = kBandBottom + k * step;
            return std::sin(f) * axis + std::cos(f) * m;
        };
        while (q + 1 < elevations) {
            const V next = point(q + 1);
            if ((1 + ground.at(next, nullptr)) * dot(next, m) < level)
                break;
            ++q;
        }
        by = point(q);
        return true;
    }

    double lookup(V u, V sun) const
    {
        const double phi = std::asin(std::clamp(dot(u, sun), -1.0, 1.0));
        double lambda = std::atan2(dot(u, e2), dot(u, e1));
        if (lambda < 0)
            lambda += 2 * M_PI;
        const double fl = lambda / step, fp = (phi - kBandBottom) / step;
        const int l0 = static_cast<int>(fl),
                  p0 = std::clamp(static_cast<int>(fp), 0, elevations - 2);
        const double tl = fl - l0, tp = std::clamp(fp - p0, 0.0, 1.0);
        const int la = l0 % longitudes, lb = (l0 + 1) % longitudes;
        auto b = [&](int l, int p) {
            return static_cast<double>(
                beta[static_cast<std::size_t>(l) * static_cast<std::size_t>(elevations)
                    + static_cast<std::size_t>(p)]);
        };
        return (1 - tl) * ((1 - tp) * b(la, p0) + tp * b(la, p0 + 1))
            + tl * ((1 - tp) * b(lb, p0) + tp * b(lb, p0 + 1));
    }
};

/// `seen` tells whether a point of the sphere shows in the frame (or near it): circles that
/// pass by the frame are not swept.
template <typename Seen>
Horizons sweepHorizons(
    const Terrain &terrain, V sun, double radiusPx, double pixels, const Seen &seen)
{
    Horizons hz;
    tangentBasis(sun, hz.e1, hz.e2);
    // `pixels` at the terminator; a little more on the largest discs.
    hz.step = pixels * std::max(1.0, radiusPx / 1000) / radiusPx;
    hz.longitudes = static_cast<int>(std::ceil(2 * M_PI / hz.step));
    hz.step = 2 * M_PI / hz.longitudes;
    hz.elevations = static_cast<int>(std::ceil((kBandTop + 0.04 - kBandBottom) / hz.step)) + 1;
    hz.beta.assign(
        static_cast<std::size_t>(hz.longitudes) * static_cast<std::size_t>(hz.elevations), 0.0f);
    hz.occluder.assign(hz.beta.size(), 0);
    struct Point {
        double s, w;
        int p;
    };
    std::vector<Point> hull;
    std::vector<double> sines(static_cast<std::size_t>(hz.elevations)),
        cosines(static_cast<std::size_t>(hz.elevations));
    for (int p = 0; p < hz.elevations; ++p) {
        sines[static_cast<std::size_t>(p)] = std::sin(kBandBottom + p * hz.step);
        cosines[static_cast<std::size_t>(p)] = std::cos(kBandBottom + p * hz.step);
    }
    for (int l = 0; l < hz.longitudes; ++l) {
        const double lambda = l * hz.step;
        const V m = std::cos(lambda) * hz.e1 + std::sin(lambda) * hz.e2;
        // Circles wholly behind the limb are never seen.
        const double zTop = std::hypot(sun.z, m.z);
        const double stationary = std::atan2(sun.z, m.z);
        const double top = kBandBottom + (hz.elevations - 1) * hz.step;
        double zMax = std::max(std::sin(kBandBottom) * sun.z + std::cos(kBandBottom) * m.z,
            std::sin(top) * sun.z + std::cos(top) * m.z);
        if (stationary > kBandBottom && stationary < top)
            zMax = zTop;
        if (zMax < -0.05)
            continue;
        bool shown = false;
        for (int p = 0; p < hz.elevations && !shown; p += 8)
            shown = seen(sines[static_cast<std::size_t>(p)] * sun
                + cosines[static_cast<std::size_t>(p)] * m);
        if (!shown)
            continue;
        hull.clear();
        float *row =
            &hz.beta[static_cast<std::size_t>(l) * static_cast<std::size_t>(hz.elevations)];
        for (int p = hz.elevations - 1; p >= 0; --p) {
            const double sp = sines[static_cast<std::size_t>(p)];
            const double cp = cosines[static_cast<std::size_t>(p)];
            const double r = 1 + terrain.at(sp * sun + cp * m, nullptr);
            const Point here{r * sp, r * cp, p};
            auto slope = [&](const Point &q) {
                return (q.w - here.w) / (q.s - here.s);
            };
            while (hull.size() >= 2 && slope(hull[hull.size() - 2]) >= slope(hull.back()))
                hull.pop_back();
            row[p] = hull.empty() ? -1.0f : static_cast<float>(std::atan(slope(hull.back())));
            if (!hull.empty())
                hz.occluder[static_cast<std::size_t>(l) * static_cast<std::size_t>(hz.elevations)
                    + static_cast<std::size_t>(p)] = static_cast<std::uint16_t>(hull.back().p);
            hull.push_back(here);
        }
    }
    return hz;
}

// How much of u a sea covers, 0…1: its wobbly outline with a smooth seam.
double seaCover(const Sea &sea, V u)
{
    if (dot(u, sea.c) < sea.cosReach)
        return 0;
    const double s = dot(u, sea.e1), t = dot(u, sea.e2);
    const double d = std::sqrt(s * s + t * t);
    double wobble = 1;
    if (d > 0) {
        const double c1 = s / d, s1 = t / d;
        const double cos2 = c1 * c1 - s1 * s1, sin2 = 2 * c1 * s1;
        const double cos3 = cos2 * c1 - sin2 * s1, sin3 = sin2 * c1 + cos2 * s1;
        wobble = 1 + sea.c2 * cos2 + sea.s2 * sin2 + sea.c3 * cos3 + sea.s3 * sin3;
    }
    const double q = d / (sea.rho * wobble);
    return 1 - smoothstep((q - (1 - kSeaEdge)) / (2 * kSeaEdge));
}

class Renderer {
public:
    explicit Renderer(const Scene &scene);
    Photo render();

private:
    V frame(double px, double py) const
    {
        const double dx = (px - scene.centreX) / scene.radius;
        const double dy = (py - scene.centreY) / scene.radius;
        return {cosT * dx + sinT * dy, -sinT * dx + cosT * dy, 0};
    }
    void picture(V p, double &px, double &py) const
    {
        px = scene.centreX + scene.radius * (cosT * p.x - sinT * p.y);
        py = scene.centreY + scene.radius * (sinT * p.x + cosT * p.y);
    }
    double albedo(V u) const;
    double lunarAlbedo(V u, double halo) const;
    double mapAlbedo(V u) const;
    bool hasMap() const
    {
        return scene.albedoMap && scene.albedoMap->width > 0 && scene.albedoMap->height > 1;
    }
    double terrainLight(V p, double rr) const;
    double groundLight(V u, bool withEarthshine) const;
    void placeMaria(Random &random);
    void placeLandforms(Random &random);
    void placeRange(Random &random);
    void placeRays(Random &random);
    double mareCover(V u) const;
    double reflected(double cosI, double cosE) const;
    double sunlight(double e, double beta) const;
    double unshadowed(double e) const;
    double litAmongSeen(double e, double seen) const;
    double smooth(double a, double b) const;
    double withRelief(double a, double b, const Relief &relief) const;
    bool reliefMatters(V p, double rr, const Relief &relief) const;
    double pixelLight(int i, int j, const Relief &relief) const;
    double earthshineAt(int i, int j) const;
    Light linearLight() const;
    Photo develop(const Light &light) const;
    void placeSeas(Random &random);
    void placeCraters(Random &random);
    void placeStars(Random &random);
    void addMountain(const Mountain &m);
    void boxFeature(Feature &f) const;

    Scene scene;
    double cosT, sinT;
    V sun;
    std::vector<Sea> seas;
    std::vector<Feature> features;
    std::vector<Star> stars;
    double tint[3] = {1, 1, 1};
    double skyTint[3] = {1, 1, 1};
    /// The lunar-Lambert weight at the scene's phase, and the Sun's angular radius in radians.
    double lunarL = 0;
    double phase = 0;
    double sunAlpha = 0;
    /// The map's level of an albedo of 1.
    double mapHighlands = 1;
    std::vector<Sea> maria;
    Terrain terrain;
    std::vector<RaySystem> rays;
    Horizons horizons, sightlines;
    ValueNoise coarseNoise, fineNoise;
};

Renderer::Renderer(const Scene &s)
    : scene(s)
    , cosT(std::cos(s.theta))
    , sinT(std::sin(s.theta))
    , sun(unit(toV(s.sun)))
    , lunarL(lunarLambertL(std::acos(std::clamp(sun.z, -1.0, 1.0)) * 180 / M_PI))
    , phase(std::acos(std::clamp(sun.z, -1.0, 1.0)))
    , sunAlpha(std::max(0.0, s.sunRadius) * M_PI / 180)
{
    // One stream per kind of thing, so that adding stars does not move the seas.
    const std::uint64_t seed = static_cast<std::uint64_t>(s.seed) * 4;
    Random seaRandom(seed + 0);
    Random craterRandom(seed + 1);
    Random starRandom(seed + 2);
    Random tintRandom(seed + 3);
    placeSeas(seaRandom);
    placeCraters(craterRandom);
    for (const Mountain &m : s.mountains)
        addMountain(m);
    for (Feature &f : features)
        boxFeature(f);
    placeStars(starRandom);
    if (hasMap()) {
        // The map's upper quartile, from its histogram.
        const Photo &map = *s.albedoMap;
        const auto channels = static_cast<std::size_t>(map.channels);
        std::array<std::size_t, 256> counts{};
        for (std::size_t k = 0; k < map.pixels.size(); k += channels)
            ++counts[map.pixels[k]];
        std::size_t level = 0, below = counts[0];
        while (level < 255 && below * 4 < 3 * (map.pixels.size() / channels))
            below += counts[++level];
        mapHighlands = std::max<double>(1, static_cast<double>(level));
    }
    if (s.lunarAlbedo || s.relief) {
        // Streams of their own, so that the plain scenes above stay as they were.
        const std::uint64_t face = (1ULL << 40) + static_cast<std::uint64_t>(s.seed) * 8;
        Random mareRandom(face + 0), formRandom(face + 1), rayRandom(face + 2);
        coarseNoise = ValueNoise(face + 3);
        fineNoise = ValueNoise(face + 4);
        placeMaria(mareRandom);
        placeLandforms(formRandom);
        placeRays(rayRandom);
        terrain.index();
        if (s.relief) {
            // A circle that crosses the frame is swept whole, so shadows cast from beyond the
            // edge come in; the margin covers the gaps between the points tried on it.
            const double margin = 8 + 0.1 * s.radius;
            auto seen = [&](V u) {
                double px, py;
                picture(u, px, py);
                return u.z > -0.05 && px > -margin && py > -margin && px < s.width + margin
                    && py < s.height + margin;
            };
            horizons = sweepHorizons(terrain, sun, s.radius, 1, seen);
            // The viewer's own horizons near the limb: what the relief hides there, the
            // shadows behind it first when the Sun is behind the viewer.
            sightlines = sweepHorizons(terrain, V{0, 0, 1}, s.radius, 2, seen);
        }
    }
    if (s.colour) {
        tint[0] = 1.0;
        tint[1] = tintRandom.uniform(0.93, 0.97);
        tint[2] = tintRandom.uniform(0.82, 0.90);
        skyTint[0] = 0.85;
        skyTint[1] = 0.95;
        skyTint[2] = tintRandom.uniform(1.10, 1.25);
    }
}

V randomVisiblePoint(Random &random, double minZ)
{
    for (;;) {
        const double a = random.uniform(-1, 1), b = random.uniform(-1, 1);
        const double zz = 1 - a * a - b * b;
        if (zz >= minZ * minZ)
            return {a, b, std::sqrt(zz)};
    }
}

/// A point of the visible hemisphere, evenly over its area (not over the disc's).
V uniformHemisphere(Random &random)
{
    const double z = random.uniform(), a = random.uniform(0, 2 * M_PI);
    const double s = std::sqrt(1 - z * z);
    return {s * std::cos(a), s * std::sin(a), z};
}

/// A point on the visible half of the terminator, moved off it by up to `spread` radians.
V nearTerminator(Random &random, V sun, double spread, double minZ)
{
    V e1, e2;
    tangentBasis(sun, e1, e2);
    for (int k = 0; k < 200; ++k) {
        const double phi = random.uniform(0, 2 * M_PI);
        const V onCircle = std::cos(phi) * e1 + std::sin(phi) * e2;
        const double off = random.uniform(-spread, spread);
        const V p = std::cos(off) * onCircle + std::sin(off) * sun;
        if (p.z >= minZ)
            return p;
    }
    return randomVisiblePoint(random, minZ);
}

void Renderer::placeSeas(Random &random)
{
    for (int k = 0; k < scene.seas; ++k) {
        Sea sea;
        // Half of them straddle the terminator, where they test a fit's robustness.
        sea.c =
            k % 2 == 0 ? nearTerminator(random, sun, 0.15, 0.2) : randomVisiblePoint(random, 0.1);
        tangentBasis(sea.c, sea.e1, sea.e2);
        sea.rho = random.uniform(0.08, 0.25);
        sea.albedo = random.uniform(0.55, 0.75);
        const double a2 = random.uniform(0, 0.12), a3 = random.uniform(0, 0.08);
        const double p2 = random.uniform(0, 2 * M_PI), p3 = random.uniform(0, 2 * M_PI);
        sea.c2 = a2 * std::cos(2 * p2);
        sea.s2 = a2 * std::sin(2 * p2);
        sea.c3 = a3 * std::cos(3 * p3);
        sea.s3 = a3 * std::sin(3 * p3);
        const double reach = sea.rho * (1 + 0.2) * (1 + kSeaEdge);
        sea.cosReach = std::cos(std::min(reach, M_PI / 2));
        seas.push_back(sea);
    }
}

void Renderer::placeCraters(Random &random)
{
    for (int k = 0; k < scene.craters; ++k) {
        Feature f;
        f.kind = Feature::Kind::Crater;
        f.c = nearTerminator(random, sun, 0.06, 0.15);
        tangentBasis(f.c, f.e1, f.e2);
        const double radiusKm = random.uniform(5, 30);
        f.rho = radiusKm / kMoonRadiusKm;
        f.depth = random.uniform(0.15, 0.22) * radiusKm / kMoonRadiusKm;
        f.h = random.uniform(0.03, 0.06) * radiusKm / kMoonRadiusKm;
        f.extent = f.rho * (1 + kRimApron);
        f.top = f.h;
        f.steepest = std::max(2 * f.depth / f.rho, 1.5 * f.h / (kRimApron * f.rho));
        features.push_back(f);
    }
}

void Renderer::addMountain(const Mountain &m)
{
    features.push_back(featureOf(m));
}

void Renderer::boxFeature(Feature &f) const
{
    double xmin = 1e300, xmax = -1e300, ymin = 1e300, ymax = -1e300;
    auto take = [&](V p) {
        double px, py;
        picture(p, px, py);
        xmin = std::min(xmin, px);
        xmax = std::max(xmax, px);
        ymin = std::min(ymin, py);
        ymax = std::max(ymax, py);
    };
    const int n = 24;
    for (int k = 0; k < n; ++k) {
        const double phi = 2 * M_PI * k / n;
        // A circle slightly outside the extent, so the polygon of samples holds the disc.
        const double r = f.extent * 1.06;
        const V u = unit(f.c + r * std::cos(phi) * f.e1 + r * std::sin(phi) * f.e2);
        const V raised = (1 + f.top) * u;
        take(u);
        take(raised);
        // Its shadow: where light grazing this point meets the ground, or, when it misses,
        // where it passes the sphere closest (the night begins there anyway).
        const Ray ray{raised, -1 * sun};
        const double hit = sphereHit(ray, 0);
        const double t = hit < kNoHit ? hit : std::max(0.0, dot(raised, sun));
        take(ray.at(t));
    }
    const double margin = 3 + 0.02 * std::max(xmax - xmin, ymax - ymin);
    f.x0 = static_cast<int>(std::floor(xmin - margin));
    f.x1 = static_cast<int>(std::ceil(xmax + margin));
    f.y0 = static_cast<int>(std::floor(ymin - margin));
    f.y1 = static_cast<int>(std::ceil(ymax + margin));
}

void Renderer::placeStars(Random &random)
{
    for (int k = 0; k < scene.stars; ++k) {
        Star star;
        for (int tries = 0; tries < 100; ++tries) {
            star.x = random.uniform(0, scene.width);
            star.y = random.uniform(0, scene.height);
            if (std::hypot(star.x - scene.centreX, star.y - scene.centreY)
                > scene.radius * 1.08 + 6)
                break;
        }
        star.sigma = random.uniform(0.5, 1.1);
        star.peak = random.uniform(40, 220);
        if (scene.colour) {
            const double warm = random.uniform(-0.15, 0.15);
            star.tint[0] = 1 + warm;
            star.tint[2] = 1 - warm;
        }
        const double reach = 4 * star.sigma;
        star.x0 = static_cast<int>(std::floor(star.x - reach));
        star.x1 = static_cast<int>(std::ceil(star.x + reach));
        star.y0 = static_cast<int>(std::floor(star.y - reach));
        star.y1 = static_cast<int>(std::ceil(star.y + reach));
        stars.push_back(star);
    }
}

double Renderer::albedo(V u) const
{
    if (scene.lunarAlbedo) {
        double halo = 0;
        terrain.at(u, nullptr, &halo);
        return lunarAlbedo(u, halo);
    }
    double value = 1;
    for (const Sea &sea : seas) {
        const double inside = seaCover(sea, u);
        // Where two seas overlap the darker one shows, not their product: a sea is never
        // darker than 55 % of the highlands.
        value = std::min(value, 1 - (1 - sea.albedo) * inside);
    }
    return value;
}

/// How much of u the maria cover, 0…1.
double Renderer::mareCover(V u) const
{
    double cover = 0;
    for (const Sea &sea : maria) {
        cover = std::max(cover, seaCover(sea, u));
    }
    return cover;
}

/// The albedo map's, bilinear between its pixels.
double Renderer::mapAlbedo(V u) const
{
    const Photo &map = *scene.albedoMap;
    const double c = std::cos(scene.mapTurn), s = std::sin(scene.mapTurn);
    const V north{s, -c, 0}, east{c, s, 0};
    const double lat = std::asin(std::clamp(dot(u, north), -1.0, 1.0));
    const double lon = std::atan2(dot(u, east), u.z);
    const double fx = (lon / (2 * M_PI) + 0.5) * map.width - 0.5;
    const double fy = std::clamp((0.5 - lat / M_PI) * map.height - 0.5, 0.0, map.height - 1.001);
    const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(fy);
    const double tx = fx - x0, ty = fy - y0;
    const auto at = [&](int x, int y) {
        x = (x % map.width + map.width) % map.width;
        const std::uint8_t *q =
            &map.pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(map.width)
                            + static_cast<std::size_t>(x))
                * static_cast<std::size_t>(map.channels)];
        return map.channels == 3 ? (q[0] + q[1] + q[2]) / 3.0 : q[0];
    };
    return ((1 - ty) * ((1 - tx) * at(x0, y0) + tx * at(x0 + 1, y0))
               + ty * ((1 - tx) * at(x0, y0 + 1) + tx * at(x0 + 1, y0 + 1)))
        / mapHighlands;
}

/// Mottled highlands, maria at about half their level, young craters' halos and rays; or the
/// map's.
double Renderer::lunarAlbedo(V u, double halo) const
{
    if (hasMap())
        return mapAlbedo(u);
    const double fine = fineNoise(17 * u);
    const double mottle = 1 + 0.09 * coarseNoise(6 * u) + 0.05 * fine;
    double ray = 0;
    for (const RaySystem &r : rays) {
        if (dot(u, r.c) < r.cosReach)
            continue;
        const double s = dot(u, r.e1), t = dot(u, r.e2);
        const double d = std::sqrt(s * s + t * t);
        double psi = std::atan2(t, s);
        if (psi < 0)
            psi += 2 * M_PI;
        const auto bin = std::min<std::size_t>(
            static_cast<std::size_t>(psi / (2 * M_PI) * RaySystem::kBins), RaySystem::kBins - 1);
        const double fade = std::max(0.0, 1 - d / r.reach[bin]);
        ray += r.gain[bin] * fade * std::sqrt(fade) * smoothstep((d - 1.2 * r.rho) / r.rho)
            * (0.7 + 0.3 * fine);
    }
    // Maria keep 45-60 % of the highlands' light.
    return mottle * (1 - 0.47 * mareCover(u)) * (1 + halo + ray);
}

/// Light of the rough ground at frame point p: shaded through its slope, in the shadow of
/// whatever stands towards the Sun; the limb's pixels by the part of them the disc covers.
double Renderer::terrainLight(V p, double rr) const
{
    const double r = std::sqrt(rr);
    const double cover = std::clamp((1 - r) * scene.radius + 0.5, 0.0, 1.0);
    if (cover <= 0)
        return 0;
    const double k = std::min(r, 1 - 0.5 / scene.radius) / std::max(r, 1e-12);
    const double a = p.x * k, b = p.y * k;
    V u{a, b, std::sqrt(std::max(0.0, 1 - a * a - b * b))};
    // Ground hidden behind relief nearer the viewer shows that relief instead.
    V by;
    if (u.z < std::sin(kBandTop) && sightlines.occluded(u, V{0, 0, 1}, terrain, by))
        u = by;
    return cover * groundLight(u, true);
}

/// Light of the rough ground at u (unit), with its earthshine when asked.
double Renderer::groundLight(V u, bool withEarthshine) const
{
    const double phi = std::asin(std::clamp(dot(u, sun), -1.0, 1.0));
    const double earthLight = withEarthshine ? scene.earthshine : 0;
    if (phi < kBandBottom && earthLight <= 0)
        return 0;
    V grad;
    double halo = 0;
    terrain.at(u, &grad, &halo);
    const double a0 = scene.lunarAlbedo ? lunarAlbedo(u, halo) : albedo(u);
    const double earthshine = earthLight * a0;
    if (phi < kBandBottom)
        return earthshine;
    const V n = unit(u - grad);
    const double lit = std::clamp(dot(n, sun), -1.0, 1.0);
    const double e = std::asin(lit);
    const double irradiance =
        (phi < kBandTop ? sunlight(e, horizons.lookup(u, sun)) : std::max(0.0, lit))
        * litAmongSeen(e, std::asin(std::clamp(n.z, -1.0, 1.0)));
    return scene.brightness * a0 * reflected(irradiance, n.z) + earthshine;
}

void Renderer::placeMaria(Random &random)
{
    // Like the near side's: a cluster of basins, each a few overlapping lobes.
    const V centre = randomVisiblePoint(random, 0.6);
    const int basins = 5 + static_cast<int>(random.uniform() * 3);
    for (int k = 0; k < basins; ++k) {
        V at = centre;
        for (int tries = 0; tries < 50; ++tries) {
            at = randomVisiblePoint(random, 0.05);
            if (dot(at, centre) > std::cos(0.95))
                break;
        }
        const double rho = random.uniform(0.12, 0.32);
        const int lobes = 1 + static_cast<int>(random.uniform() * 3);
        for (int l = 0; l < lobes; ++l) {
            Sea sea;
            V e1, e2;
            tangentBasis(at, e1, e2);
            const double off = l == 0 ? 0 : random.uniform(0.4, 0.8) * rho;
            const double dir = random.uniform(0, 2 * M_PI);
            sea.c = unit(at + off * (std::cos(dir) * e1 + std::sin(dir) * e2));
            tangentBasis(sea.c, sea.e1, sea.e2);
            sea.rho = rho * (l == 0 ? 1 : random.uniform(0.5, 0.85));
            const double a2 = random.uniform(0, 0.15), a3 = random.uniform(0, 0.1);
            const double p2 = random.uniform(0, 2 * M_PI), p3 = random.uniform(0, 2 * M_PI);
            sea.c2 = a2 * std::cos(2 * p2);
            sea.s2 = a2 * std::sin(2 * p2);
            sea.c3 = a3 * std::cos(3 * p3);
            sea.s3 = a3 * std::sin(3 * p3);
            sea.cosReach = std::cos(std::min(sea.rho * 1.25 * (1 + kSeaEdge), M_PI / 2));
            maria.push_back(sea);
        }
    }
}

Landform landformAt(V c, double rho)
{
    Landform f;
    f.c = c;
    tangentBasis(c, f.e1, f.e2);
    f.rho = rho;
    return f;
}

/// A crater of diameter dKm: depth and rim after Pike's fits to the Moon's craters (simple
/// bowls to 15 km, deep as a fifth of their width; wider ones shallower, flat-floored, with a
/// central peak).
void addCrater(Terrain &terrain, V c, double dKm, double halo)
{
    Landform f = landformAt(c, dKm / 2 / kMoonRadiusKm);
    const bool simple = dKm < 15;
    f.depth = (simple ? 0.196 * dKm : 1.044 * std::pow(dKm, 0.301)) / kMoonRadiusKm;
    f.h = (simple ? 0.036 * dKm : 0.236 * std::pow(dKm, 0.399)) / kMoonRadiusKm;
    f.floor = simple ? 0 : std::min(0.6, 0.2 + (dKm - 15) / 150);
    f.halo = halo;
    f.extent = f.rho * (1 + kRimApron);
    terrain.add(f);
    if (dKm > 35) {
        Landform peak = landformAt(c, 0.2 * f.rho);
        peak.crater = false;
        peak.h = 0.35 * f.depth;
        peak.extent = peak.rho;
        terrain.add(peak);
    }
}

void Renderer::placeLandforms(Random &random)
{
    // Craters of the highlands' size distribution, as many per octave of size as cover a third
    // of the hemisphere, from a few pixels wide up; the maria keep a tenth of them.
    const double kmPerPixel = kMoonRadiusKm / scene.radius;
    const double hemisphere = 2 * M_PI * kMoonRadiusKm * kMoonRadiusKm;
    for (double d = std::max(3.0, 4 * kmPerPixel); d < 250; d *= 2) {
        const double typical = 1.4 * d;
        const auto count = static_cast<int>(0.33 * hemisphere / (M_PI * 0.64 * typical * typical));
        for (int k = 0; k < count; ++k) {
            const V c = uniformHemisphere(random);
            const double dKm = d * std::pow(2.0, random.uniform());
            if (random.uniform() < 0.9 * mareCover(c))
                continue;
            const double halo =
                dKm < 25 && random.uniform() < 0.008 ? random.uniform(0.15, 0.5) : 0;
            addCrater(terrain, unit(c), dKm, halo);
        }
    }
    for (int k = 0; k < 5; ++k)
        placeRange(random);
    // Isolated peaks, and low swells that roughen the plains.
    for (int k = 0; k < 40; ++k) {
        Landform f = landformAt(uniformHemisphere(random), 0);
        f.crater = false;
        f.h = random.uniform(1, 3) / kMoonRadiusKm;
        f.rho = f.extent = f.h * random.uniform(3, 5);
        terrain.add(f);
    }
    for (int k = 0; k < 400; ++k) {
        Landform f = landformAt(uniformHemisphere(random), 0);
        f.crater = false;
        f.h = random.uniform(0.15, 0.6) / kMoonRadiusKm;
        f.rho = f.extent = random.uniform(15, 50) / kMoonRadiusKm;
        terrain.add(f);
    }
}

/// A mountain range along the shore of a mare: a chain of peaks of 1-6 km.
void Renderer::placeRange(Random &random)
{
    if (maria.empty())
        return;
    const Sea &sea =
        maria[static_cast<std::size_t>(random.uniform() * static_cast<double>(maria.size()))];
    const double start = random.uniform(0, 2 * M_PI);
    const double span = random.uniform(0.4, 1.4);
    const int peaks = 15 + static_cast<int>(random.uniform() * 30);
    for (int k = 0; k < peaks; ++k) {
        const double a = start + span * k / peaks;
        const double off = sea.rho * random.uniform(1.0, 1.2);
        const V c = unit(sea.c + off * (std::cos(a) * sea.e1 + std::sin(a) * sea.e2));
        Landform f = landformAt(c, 0);
        f.crater = false;
        f.h = random.uniform(1, 6) / kMoonRadiusKm;
        f.rho = f.extent = f.h * random.uniform(3, 5);
        terrain.add(f);
    }
}

void Renderer::placeRays(Random &random)
{
    for (int k = 0; k < 3; ++k) {
        RaySystem r;
        r.c = randomVisiblePoint(random, 0.2);
        tangentBasis(r.c, r.e1, r.e2);
        const double dKm = random.uniform(40, 90);
        r.rho = dKm / 2 / kMoonRadiusKm;
        addCrater(terrain, r.c, dKm, 0.5);
        double longest = 0;
        const int count = 25 + static_cast<int>(random.uniform() * 20);
        for (int n = 0; n < count; ++n) {
            const double dir = random.uniform(0, 2 * M_PI);
            const double width = random.uniform(0.6, 2.5) * M_PI / 180;
            const double gain = random.uniform(0.15, 0.45);
            const double reach = random.uniform(0.1, 0.6) + (n < 3 ? 0.4 : 0);
            longest = std::max(longest, reach);
            for (int b = 0; b < RaySystem::kBins; ++b) {
                double off = std::fabs(2 * M_PI * (b + 0.5) / RaySystem::kBins - dir);
                off = std::min(off, 2 * M_PI - off);
                const double g = gain * std::exp(-0.5 * off * off / (width * width));
                if (g > r.gain[static_cast<std::size_t>(b)]) {
                    r.gain[static_cast<std::size_t>(b)] = static_cast<float>(g);
                    r.reach[static_cast<std::size_t>(b)] = static_cast<float>(reach);
                }
            }
        }
        for (float &reach : r.reach)
            reach = std::max(reach, 1e-3f);
        r.cosReach = std::cos(std::min(longest, M_PI / 2));
        rays.push_back(r);
    }
}

/// Radiance of the plain sphere at frame point (a, b), 0 off the disc and on the night side.
double Renderer::smooth(double a, double b) const
{
    const double zz = 1 - a * a - b * b;
    if (zz <= 0)
        return 0;
    const V n{a, b, std::sqrt(zz)};
    const double lit = dot(n, sun);
    if (lit <= -sunAlpha)
        return 0;
    if (sunAlpha <= 0 && scene.roughness <= 0)
        return scene.brightness * albedo(n) * reflected(lit, n.z);
    // On the plain sphere the horizon of every point is its tangent plane.
    const double e = std::asin(std::min(lit, 1.0));
    return scene.brightness * albedo(n)
        * reflected(sunlight(e, -e) * litAmongSeen(e, std::asin(n.z)), n.z);
}

/// The light a ground of albedo 1 sends to the viewer when lit with irradiance cosI (the
/// cosine of the incidence for a point Sun) and seen at emission cosE.
double Renderer::reflected(double cosI, double cosE) const
{
    if (cosI <= 0)
        return 0;
    if (scene.photometry == Scene::Photometry::Lambert)
        return cosI;
    // A slope turned from the viewer is not seen; its tiny cosine would blow the first term up.
    const double e = std::max(cosE, 0.02);
    return 2 * lunarL * cosI / (cosI + e) + (1 - lunarL) * cosI;
}

/// The part of ground rough below the pixel's scale that its own relief leaves in the light of
/// a Sun e radians high: Smith's shadowing function for Gaussian slopes of the scene's RMS.
double Renderer::unshadowed(double e) const
{
    if (scene.roughness <= 0)
        return 1;
    // The Sun's disc keeps the tops lit a little below its centre's horizon.
    e = std::max(e, 0.5 * sunAlpha);
    if (e <= 0)
        return 0;
    const double nu = std::tan(e) / (std::sqrt(2.0) * std::tan(scene.roughness * M_PI / 180));
    const double tail = std::erfc(nu);
    const double lambda = 0.5 * (std::exp(-nu * nu) / (nu * std::sqrt(M_PI)) - tail);
    return (1 - 0.5 * tail) / (1 + lambda);
}

/// The part of the ground seen at elevation `seen` (radians) that its roughness leaves lit by a
/// Sun e high. Where the Sun stands near the viewer the shadows are behind what casts them and
/// hidden (the full Moon shows no relief); far from it, shadows and the hidden parts are
/// unrelated.
double Renderer::litAmongSeen(double e, double seen) const
{
    if (scene.roughness <= 0)
        return 1;
    const double lit = unshadowed(e), shown = std::max(unshadowed(seen), 1e-6);
    const double together = std::exp(-phase / (2 * std::tan(scene.roughness * M_PI / 180)));
    return ((1 - together) * lit * shown + together * std::min(lit, shown)) / shown;
}

/// Irradiance (1 for a Sun at the zenith) of ground under a Sun whose centre stands e radians
/// above it, and whose disc shows only above a horizon at beta radians from its centre.
double Renderer::sunlight(double e, double beta) const
{
    if (sunAlpha <= 0)
        return beta < 0 && e > 0 ? std::sin(e) : 0;
    if (beta <= -sunAlpha && e >= sunAlpha)
        return std::sin(e);
    if (beta >= sunAlpha || e <= -sunAlpha)
        return 0;
    // Strips of the Sun's disc across the horizon, weighted by their length.
    constexpr int n = 16;
    double sum = 0, weights = 0;
    for (int k = 0; k < n; ++k) {
        const double q = (k + 0.5) / n * 2 - 1;
        const double w = std::sqrt(1 - q * q);
        weights += w;
        const double y = q * sunAlpha;
        if (y > beta && e + y > 0)
            sum += w * std::sin(e + y);
    }
    return sum / weights;
}

double Renderer::withRelief(double a, double b, const Relief &relief) const
{
    const double outer = 1 + relief.top;
    const double rr = a * a + b * b;
    if (rr >= outer * outer)
        return 0;
    const double zTop = std::sqrt(outer * outer - rr);
    // Parallel projection: the viewer looks along −z from above the relief.
    const Ray view{{a, b, zTop}, {0, 0, -1}};
    const double t = reliefHit(relief, view, 0, 2 * zTop);
    if (t >= kNoHit)
        return 0;
    const V x = view.at(t);
    const V u = unit(x);
    V grad;
    // On the plain around a mountain the rough ground shows, and only the mountain's shadow
    // is cast exactly.
    const bool rough = scene.relief && std::fabs(reliefHeight(relief, u, grad)) < 1e-12;
    const V n = unit(u - grad);
    const double lit = dot(n, sun);
    if ((lit <= 0 && !rough) || dot(u, sun) < -0.2)
        return 0;
    const double cosE = n.z;
    // The shadow ray starts a hair above the surface so that it does not meet it at once.
    const Ray toSun{x + 1e-10 * n, sun};
    const double b2 = dot(toSun.o, sun);
    const double exit =
        -b2 + std::sqrt(std::max(0.0, b2 * b2 - dot(toSun.o, toSun.o) + outer * outer));
    if (reliefHit(relief, toSun, 0, exit, true) < kNoHit)
        return 0;
    if (rough)
        return groundLight(u, false);
    return scene.brightness * albedo(u) * reflected(lit, cosE);
}

/// False when no ray of the pixel centred on frame point p can meet the relief: not on a
/// feature, not in the shadow of one, and the viewer's line passes by them.
bool Renderer::reliefMatters(V p, double rr, const Relief &relief) const
{
    if (rr >= 1)
        return true;
    const double z = std::sqrt(1 - rr);
    const V ground{p.x, p.y, z};
    // The pixel's corners, seen on the ground: foreshortened by z towards the limb.
    const double slack = 1.5 / (scene.radius * std::max(z, 0.02));
    // The viewer's line down to a sphere below the deepest crater floor.
    const double floor = 1 - kDeepest;
    const double below = 2 - std::sqrt(std::max(0.0, floor * floor - rr));
    for (const Feature *f : relief.features) {
        double lo = 0, hi = below;
        if (bracket(*f, Ray{{p.x, p.y, 2}, {0, 0, -1}}, lo, hi, slack))
            return true;
    }
    if (dot(ground, sun) < -0.2)
        return false;
    for (const Feature *f : relief.features) {
        double lo = 0, hi = 4;
        if (bracket(*f, Ray{ground, sun}, lo, hi, slack))
            return true;
    }
    return false;
}

/// Light of pixel (i, j) before the tone curve: averaged over its area where an edge cuts it.
double Renderer::pixelLight(int i, int j, const Relief &relief) const
{
    const V p = frame(i, j);
    const double rr = p.x * p.x + p.y * p.y;
    if (scene.relief && relief.features.empty())
        return terrainLight(p, rr);
    if (!relief.features.empty() && reliefMatters(p, rr, relief)) {
        // Relief: 4 × 4 rays, each followed down to the ground and back to the Sun.
        const int n = 4;
        double sum = 0;
        for (int sy = 0; sy < n; ++sy)
            for (int sx = 0; sx < n; ++sx) {
                const V q = frame(i + (sx + 0.5) / n - 0.5, j + (sy + 0.5) / n - 0.5);
                sum += withRelief(q.x, q.y, relief);
            }
        return sum / (n * n);
    }
    const double limbBand = 1.5 / scene.radius;
    if (rr >= (1 + limbBand) * (1 + limbBand))
        return 0;
    bool mixed = std::fabs(std::sqrt(rr) - 1) < limbBand;
    if (!mixed) {
        // Cut by the terminator when the light at the centre is less than its change across
        // half a pixel's diagonal.
        const double z = std::sqrt(1 - rr);
        const double lit = p.x * sun.x + p.y * sun.y + z * sun.z;
        const double gx = sun.x - sun.z * p.x / z, gy = sun.y - sun.z * p.y / z;
        const double r = scene.radius;
        mixed = lit * lit * r * r < 0.5625 * (gx * gx + gy * gy);
    }
    if (!mixed)
        return smooth(p.x, p.y);
    // The limb or the terminator cuts the pixel: 8 × 8 samples of it.
    const int n = 8;
    double sum = 0;
    for (int sy = 0; sy < n; ++sy)
        for (int sx = 0; sx < n; ++sx) {
            const V q = frame(i + (sx + 0.5) / n - 0.5, j + (sy + 0.5) / n - 0.5);
            sum += smooth(q.x, q.y);
        }
    return sum / (n * n);
}

/// Earthshine lights the whole disc from near the viewer: evenly, as the full Moon is.
double Renderer::earthshineAt(int i, int j) const
{
    const V p = frame(i, j);
    const double r = std::sqrt(p.x * p.x + p.y * p.y);
    const double cover = std::clamp((1 - r) * scene.radius + 0.5, 0.0, 1.0);
    if (cover <= 0)
        return 0;
    const double inside = std::min(r, 1 - 0.5 / scene.radius) / std::max(r, 1e-12);
    const double a = p.x * inside, b = p.y * inside;
    return cover * scene.earthshine * albedo({a, b, std::sqrt(std::max(0.0, 1 - a * a - b * b))});
}

/// The seeing as Gaussians of standard deviation `second`, weighing `first`. A Moffat profile
/// (1 + r²/α²)^−β is a mixture of Gaussians exp(−t r²/α²) weighed by t^(β−1) e^(−t) dt, summed
/// here over a ladder of t from 0.02 (the wings) to 30 (the core).
std::vector<std::pair<double, double>> seeing(const Scene &scene)
{
    if (!(scene.blurFwhm > 0))
        return {};
    if (!(scene.moffatBeta > 0))
        return {{1.0, scene.blurFwhm / (2 * std::sqrt(2 * std::log(2.0)))}};
    const double beta = scene.moffatBeta;
    const double alpha = scene.blurFwhm / (2 * std::sqrt(std::pow(2.0, 1 / beta) - 1));
    constexpr int kSteps = 12;
    const double from = std::log(0.02), to = std::log(30.0);
    std::vector<std::pair<double, double>> parts;
    double total = 0;
    for (int k = 0; k < kSteps; ++k) {
        const double t = std::exp(from + (to - from) * (k + 0.5) / kSteps);
        const double weight = std::pow(t, beta - 1) * std::exp(-t);
        parts.emplace_back(weight, alpha / std::sqrt(2 * t));
        total += weight;
    }
    for (auto &part : parts)
        part.first /= total;
    return parts;
}

/// How far the seeing carries light, in pixels.
int seeingReach(const Scene &scene)
{
    double sigma = 0;
    for (const auto &part : seeing(scene))
        sigma = std::max(sigma, part.second);
    return static_cast<int>(std::ceil(3.5 * sigma));
}

Light Renderer::linearLight() const
{
    // The disc and the mountains' boxes, widened by the blur's reach, within the frame widened
    // as much.
    const int margin = 2
        + std::max(
            static_cast<int>(std::ceil(2 * std::max(0.0, scene.blurFwhm))), seeingReach(scene));
    double xmin = scene.centreX - scene.radius - 2, xmax = scene.centreX + scene.radius + 2;
    double ymin = scene.centreY - scene.radius - 2, ymax = scene.centreY + scene.radius + 2;
    for (const Feature &f : features) {
        xmin = std::min<double>(xmin, f.x0);
        xmax = std::max<double>(xmax, f.x1);
        ymin = std::min<double>(ymin, f.y0);
        ymax = std::max<double>(ymax, f.y1);
    }
    Light light;
    light.x0 = std::max(-margin, static_cast<int>(std::floor(xmin)) - margin);
    light.y0 = std::max(-margin, static_cast<int>(std::floor(ymin)) - margin);
    const int x1 = std::min(scene.width + margin, static_cast<int>(std::ceil(xmax)) + margin);
    const int y1 = std::min(scene.height + margin, static_cast<int>(std::ceil(ymax)) + margin);
    if (x1 <= light.x0 || y1 <= light.y0)
        return light;
    light.width = x1 - light.x0;
    light.height = y1 - light.y0;
    light.level.assign(
        static_cast<std::size_t>(light.width) * static_cast<std::size_t>(light.height), 0.0f);
    const double reach = scene.radius + 2;
    Relief relief;
    std::vector<const Feature *> rowFeatures;
    for (int j = light.y0; j < y1; ++j) {
        rowFeatures.clear();
        for (const Feature &f : features)
            if (j >= f.y0 && j <= f.y1)
                rowFeatures.push_back(&f);
        const double dy = j - scene.centreY;
        const double half = reach * reach - dy * dy > 0 ? std::sqrt(reach * reach - dy * dy) : -1;
        const double discFrom = scene.centreX - half, discTo = scene.centreX + half;
        float *row = &light.level[static_cast<std::size_t>(j - light.y0)
            * static_cast<std::size_t>(light.width)];
        for (int i = light.x0; i < x1; ++i) {
            relief.features.clear();
            relief.top = 0;
            for (const Feature *f : rowFeatures)
                if (i >= f->x0 && i <= f->x1) {
                    relief.features.push_back(f);
                    relief.top = std::max(relief.top, f->top);
                }
            if (relief.features.empty() && !(half >= 0 && i >= discFrom && i <= discTo))
                continue;
            double value = pixelLight(i, j, relief);
            // The rough ground's light holds its earthshine already.
            if (scene.earthshine > 0 && !(scene.relief && relief.features.empty()))
                value += earthshineAt(i, j);
            row[i - light.x0] = static_cast<float>(value);
        }
    }
    return light;
}

/// A Gaussian of standard deviation `sigma` over -r…r, its sum 1.
std::vector<double> gaussianKernel(double sigma, int r)
{
    std::vector<double> kernel(static_cast<std::size_t>(2 * r + 1));
    double total = 0;
    for (int k = -r; k <= r; ++k)
        total += kernel[static_cast<std::size_t>(k + r)] = std::exp(-0.5 * k * k / (sigma * sigma));
    for (double &k : kernel)
        k /= total;
    return kernel;
}

/// A Gaussian blur of standard deviation `sigma`, one axis after the other, over the box, which
/// is wide enough for no light to leave it.
void blur(Light &light, double sigma)
{
    const int r = static_cast<int>(std::ceil(3.5 * sigma));
    const std::vector<double> kernel = gaussianKernel(sigma, r);
    const int w = light.width, h = light.height;
    std::vector<float> pass(light.level.size(), 0.0f);
    auto along = [&](const std::vector<float> &from,
                     std::vector<float> &to,
                     int count,
                     int length,
                     std::size_t step,
                     std::size_t stride) {
        for (int line = 0; line < count; ++line) {
            const std::size_t base = static_cast<std::size_t>(line) * stride;
            for (int x = 0; x < length; ++x) {
                double sum = 0;
                for (int k = std::max(-r, -x); k <= std::min(r, length - 1 - x); ++k)
                    sum += kernel[static_cast<std::size_t>(k + r)]
                        * from[base + static_cast<std::size_t>(x + k) * step];
                to[base + static_cast<std::size_t>(x) * step] = static_cast<float>(sum);
            }
        }
    };
    along(light.level, pass, h, w, 1, static_cast<std::size_t>(w));
    along(pass, light.level, w, h, static_cast<std::size_t>(w), 1);
}

/// The camera: the tone curve, the sky, the stars and the grain over the whole frame.
Photo Renderer::develop(const Light &light) const
{
    Photo photo;
    photo.width = scene.width;
    photo.height = scene.height;
    photo.channels = scene.colour ? 3 : 1;
    const int channels = photo.channels;
    photo.pixels.assign(static_cast<std::size_t>(scene.width)
            * static_cast<std::size_t>(scene.height) * static_cast<std::size_t>(channels),
        0);
    const auto &gauss = gaussianTable();
    const double gammaInverse = scene.gamma > 0 ? 1 / scene.gamma : 1;
    // The tone curve tabulated over the square root of the light, where it is nearly straight,
    // so that interpolating it is exact to a thousandth of a level.
    constexpr int kToneSteps = 8192;
    const double toneTop = std::sqrt(255.0);
    std::vector<double> tone;
    if (gammaInverse != 1) {
        tone.resize(kToneSteps + 2);
        for (int k = 0; k <= kToneSteps + 1; ++k) {
            const double t = toneTop * k / kToneSteps;
            tone[static_cast<std::size_t>(k)] = 255 * std::pow(t * t / 255, gammaInverse);
        }
    }
    std::vector<const Star *> rowStars;
    // The sky's rise runs along (gx, gy), 0 at the frame's darkest corner and 1 at its brightest.
    const double towards = scene.seed * 2.39996;
    const double gx = std::cos(towards), gy = std::sin(towards);
    const double across = std::fabs(gx) * scene.width + std::fabs(gy) * scene.height;
    const auto skyAt = [&](int i, int j) {
        return scene.sky
            + scene.skyGradient
            * (0.5 + (gx * (i - 0.5 * scene.width) + gy * (j - 0.5 * scene.height)) / across);
    };
    for (int j = 0; j < scene.height; ++j) {
        rowStars.clear();
        for (const Star &s : stars)
            if (j >= s.y0 && j <= s.y1)
                rowStars.push_back(&s);
        for (int i = 0; i < scene.width; ++i) {
            const double value = light.at(i, j);
            double starLevel = 0;
            const Star *bright = nullptr;
            for (const Star *s : rowStars)
                if (i >= s->x0 && i <= s->x1) {
                    const double sx = i - s->x, sy = j - s->y;
                    starLevel +=
                        s->peak * std::exp(-(sx * sx + sy * sy) / (2 * s->sigma * s->sigma));
                    bright = s;
                }
            const std::size_t pixel =
                static_cast<std::size_t>(j) * static_cast<std::size_t>(scene.width)
                + static_cast<std::size_t>(i);
            const std::size_t at = pixel * static_cast<std::size_t>(channels);
            // One hash gives the grain of all three channels, 12 bits each.
            const std::uint64_t grain = mix(
                (static_cast<std::uint64_t>(scene.seed) << 40) ^ static_cast<std::uint64_t>(pixel));
            for (int ch = 0; ch < channels; ++ch) {
                // The sky's glow is light like the Moon's and goes through the tone curve with
                // it; it is given as the level it shows, so its light is that level decoded.
                const double skyLevel =
                    (scene.skyGradient != 0 ? skyAt(i, j) : scene.sky) * skyTint[ch];
                const double skyLight = gammaInverse != 1 && skyLevel > 0
                    ? 255 * std::pow(skyLevel / 255, 1 / gammaInverse)
                    : skyLevel;
                double level = value * tint[ch] + skyLight;
                if (gammaInverse != 1 && level > 0) {
                    const double f = std::sqrt(level) / toneTop * kToneSteps;
                    if (f >= kToneSteps) {
                        level = 255 * std::pow(level / 255, gammaInverse);
                    } else {
                        const auto k = static_cast<std::size_t>(f);
                        const double w = f - static_cast<double>(k);
                        level = tone[k] + w * (tone[k + 1] - tone[k]);
                    }
                }
                if (bright)
                    level += starLevel * bright->tint[ch];
                if (scene.noise > 0)
                    level += scene.noise * gauss[(grain >> (12 * ch)) & (kGrainBins - 1)];
                photo.pixels[at + static_cast<std::size_t>(ch)] =
                    static_cast<std::uint8_t>(std::lrint(std::clamp(level, 0.0, 255.0)));
            }
        }
    }
    return photo;
}

/// An unsharp mask over the file's levels, the frame's edge repeated past it.
void sharpen(Photo &photo, double amount, double sigma)
{
    const int r = static_cast<int>(std::ceil(3 * sigma));
    const std::vector<double> kernel = gaussianKernel(sigma, r);
    const int w = photo.width, h = photo.height, c = photo.channels;
    const auto at = [&](int i, int j, int ch) {
        return (static_cast<std::size_t>(j) * static_cast<std::size_t>(w)
                   + static_cast<std::size_t>(i))
            * static_cast<std::size_t>(c)
            + static_cast<std::size_t>(ch);
    };
    // One pass of the kernel along x or y over `from`, each sum handed to `store`.
    const auto pass = [&](const auto &from, bool alongX, const auto &store) {
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                for (int ch = 0; ch < c; ++ch) {
                    double sum = 0;
                    for (int k = -r; k <= r; ++k)
                        sum += kernel[static_cast<std::size_t>(k + r)]
                            * from[alongX ? at(std::clamp(i + k, 0, w - 1), j, ch)
                                          : at(i, std::clamp(j + k, 0, h - 1), ch)];
                    store(at(i, j, ch), sum);
                }
    };
    std::vector<float> across(photo.pixels.size());
    pass(photo.pixels, true, [&](std::size_t k, double sum) {
        across[k] = static_cast<float>(sum);
    });
    std::vector<std::uint8_t> out(photo.pixels.size());
    pass(across, false, [&](std::size_t k, double sum) {
        const double level = photo.pixels[k];
        out[k] = static_cast<std::uint8_t>(
            std::lrint(std::clamp(level + amount * (level - sum), 0.0, 255.0)));
    });
    photo.pixels = std::move(out);
}

Photo Renderer::render()
{
    Light light = linearLight();
    const auto parts = seeing(scene);
    if (parts.size() == 1 && light.width > 0) {
        blur(light, parts[0].second);
    } else if (!parts.empty() && light.width > 0) {
        std::vector<float> sum(light.level.size(), 0.0f);
        for (const auto &[weight, sigma] : parts) {
            Light part = light;
            blur(part, sigma);
            for (std::size_t k = 0; k < sum.size(); ++k)
                sum[k] += static_cast<float>(weight) * part.level[k];
        }
        light.level = std::move(sum);
    }
    Photo photo = develop(light);
    if (scene.jpegQuality > 0)
        photo = decodeJpeg(encodeJpeg(photo, scene.jpegQuality));
    if (scene.sharpen > 0)
        sharpen(photo, scene.sharpen, scene.sharpenSigma);
    return photo;
}

} // namespace

double lunarLambertL(double phaseDegrees)
{
    const double g = std::fabs(phaseDegrees);
    return std::clamp(1 + g * (-0.019 + g * (2.42e-4 + g * -1.46e-6)), 0.0, 1.0);
}

Photo render(const Scene &scene)
{
    if (scene.width <= 0 || scene.height <= 0 || !(scene.radius > 0))
        throw std::invalid_argument("synth::render: empty picture or disc");
    return Renderer(scene).render();
}

measure::MoonModel trueModel(const Scene &scene)
{
    using measure::real;
    measure::MoonModel model = modelOf(scene);
    const measure::Vec3 &sun = scene.sun;
    // Of the two ways of writing the Sun as litSign × (0, −cos B, sin B), the one with B in
    // −90…90 degrees has −litSign × cos B of the sign of sun.y.
    model.litSign = sun.y <= 0 ? 1 : -1;
    const real sign = model.litSign;
    model.b = std::atan2(sign * sun.z, -sign * sun.y) / measure::kPiOver180;
    model.bSigma = 0;
    return model;
}

measure::Vec3 sunAbove(const measure::Vec3 &place, double elevationDegrees, int litSign)
{
    using measure::real;
    const real sign = litSign < 0 ? -1 : 1;
    const real n = std::sqrt(measure::dot(place, place));
    const real py = place.y / n, pz = place.z / n;
    // place · sun = sign × (−py cos B + pz sin B) = sign × a sin(B + φ).
    const real a = std::sqrt(py * py + pz * pz);
    const real phi = std::atan2(-py, pz);
    const real target = sign * std::sin(static_cast<real>(elevationDegrees) * measure::kPiOver180);
    if (!(std::fabs(target) <= a))
        throw std::invalid_argument(
            "synth::sunAbove: no Sun across the cusp line gives that elevation");
    const real alpha = std::asin(target / a);
    auto wrap = [](real b) {
        while (b > measure::kPi)
            b -= 2 * measure::kPi;
        while (b <= -measure::kPi)
            b += 2 * measure::kPi;
        return b;
    };
    const real b1 = wrap(alpha - phi), b2 = wrap(measure::kPi - alpha - phi);
    const real half = measure::kPi / 2;
    const bool ok1 = std::fabs(b1) <= half, ok2 = std::fabs(b2) <= half;
    if (!ok1 && !ok2)
        throw std::invalid_argument(
            "synth::sunAbove: that Sun is on the other side of the cusp line");
    const real b = ok1 && (!ok2 || std::fabs(b1) <= std::fabs(b2)) ? b1 : b2;
    return {0, -sign * std::cos(b), sign * std::sin(b)};
}

measure::PicturePoint trueCusp(const Scene &scene, int n)
{
    const measure::real sign = n == 1 ? -1 : 1;
    const measure::real theta = scene.theta;
    return {scene.centreX + sign * scene.radius * std::cos(theta),
        scene.centreY + sign * scene.radius * std::sin(theta)};
}

ShadowTruth shadowOf(const Scene &scene, const Mountain &mountain)
{
    using measure::real;
    const measure::MoonModel model = modelOf(scene);
    const measure::Vec3 &b = mountain.base;
    const real bn = std::sqrt(b.x * b.x + b.y * b.y + b.z * b.z);
    const real lift = (1 + static_cast<real>(mountain.heightKm) / kMoonRadiusKm) / bn;
    const measure::Vec3 top{b.x * lift, b.y * lift, b.z * lift};
    const measure::Vec3 &s0 = scene.sun;
    const real sn = std::sqrt(s0.x * s0.x + s0.y * s0.y + s0.z * s0.z);
    const measure::Vec3 sun{s0.x / sn, s0.y / sn, s0.z / sn};

    ShadowTruth truth;
    truth.top = measure::project(model, top);
    truth.end = truth.top;
    // The light that grazes the summit goes on along −sun until it meets the ground.
    const real along = measure::dot(top, sun);
    const real lift2 = measure::dot(top, top) - 1;
    const real disc = along * along - lift2;
    if (along <= 0 || disc < 0)
        return truth;
    const measure::real t = along - std::sqrt(disc);
    const measure::Vec3 end{top.x - t * sun.x, top.y - t * sun.y, top.z - t * sun.z};
    truth.end = measure::project(model, end);
    // Seen when on the near half and no part of the mountain stands between it and the
    // viewer: that also rules out an end under the mountain's own foot, when the Sun is higher
    // than its flank is steep.
    const bool summitSeen = top.z > 0 || top.x * top.x + top.y * top.y > 1;
    const Feature feature = featureOf(mountain);
    const V ground = toV(end);
    const Ray up{ground, {0, 0, 1}};
    const double outer = 1 + feature.top;
    const double exit =
        -ground.z + std::sqrt(ground.z * ground.z - dot(ground, ground) + outer * outer);
    truth.falls = end.z > 0 && summitSeen && featureHit(feature, up, 0, exit) >= kNoHit;
    return truth;
}

// ---------------------------------------------------------------------------------------------

namespace {

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jpegFail(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError *>(info->err)->jump, 1);
}

} // namespace

std::vector<std::uint8_t> encodeJpeg(const Photo &photo, int quality)
{
    if (photo.width <= 0 || photo.height <= 0 || (photo.channels != 1 && photo.channels != 3)
        || photo.pixels.size()
            != static_cast<std::size_t>(photo.width) * static_cast<std::size_t>(photo.height)
                * static_cast<std::size_t>(photo.channels))
        throw std::invalid_argument("synth::encodeJpeg: malformed photograph");
    jpeg_compress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegFail;
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    // Nothing with a destructor lives between here and the longjmp target.
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        throw std::runtime_error("synth::encodeJpeg: libjpeg failed");
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(photo.width);
    info.image_height = static_cast<JDIMENSION>(photo.height);
    info.input_components = photo.channels;
    info.in_color_space = photo.channels == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, std::clamp(quality, 1, 100), TRUE);
    jpeg_start_compress(&info, TRUE);
    const std::size_t stride =
        static_cast<std::size_t>(photo.width) * static_cast<std::size_t>(photo.channels);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(photo.pixels.data() + info.next_scanline * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

Photo decodeJpeg(const std::vector<std::uint8_t> &bytes)
{
    Photo out;
    jpeg_decompress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegFail;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return {};
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    out.channels = info.output_components;
    out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height)
        * static_cast<std::size_t>(out.channels));
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.pixels.data()
            + static_cast<std::size_t>(info.output_scanline) * static_cast<std::size_t>(out.width)
                * static_cast<std::size_t>(out.channels);
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return out;
}

measure::MoonModel modelOf(const Scene &scene)
{
    measure::MoonModel model;
    model.centreX = scene.centreX;
    model.centreY = scene.centreY;
    model.radius = scene.radius;
    model.theta = scene.theta;
    return model;
}

measure::ImageView viewOf(const Photo &photo)
{
    return {photo.width,
        photo.height,
        static_cast<std::ptrdiff_t>(photo.width) * photo.channels,
        photo.pixels.data(),
        photo.channels == 1 ? measure::ImageView::Format::Grey8
                            : measure::ImageView::Format::Rgb24};
}

} // namespace synth
