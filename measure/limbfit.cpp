#include "measure/limbfit.h"

#include "measure/numeric.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

// Levels are 8-bit figures and the fit reads some tens of thousands of them many times over:
// the work is done in double, which is exact enough for them and keeps a 24-megapixel
// photograph quick. The 2 × 2 and 3 × 3 systems go through the shared solver, the thousands
// of 5 × 5 blocks of normal equations through a Cholesky factorisation of their own.

namespace measure {

namespace {

constexpr double kPiD = static_cast<double>(kPi);
// The reduced copy that finds the disc anew is about this long: large enough for a disc of
// 50 px, small enough to take a few milliseconds.
constexpr int kReducedLength = 320;
// A pixel's own width blurs an edge as a box does: its variance across any direction is 1/12.
constexpr double kPixelVariance = 1.0 / 12;
// Tukey's constant: 95 % efficiency on Gaussian residuals.
constexpr double kTukey = 4.685;

struct Point {
    double x;
    double y;
};

// A point of the limb found along a ray, with the fall of the level across it.
struct Crossing {
    Point point;
    double drop;
};

// ---------------------------------------------------------------------------------------------
// Robust circle

struct CircleFit {
    Disc disc;
    std::vector<double> weights;
    double scale = 0;
    bool ok = false;
};

template <std::size_t N>
std::optional<std::array<double, N>> solveSmall(
    const std::array<std::array<double, N>, N> &m, const std::array<double, N> &v)
{
    std::array<std::array<real, N>, N> a{};
    std::array<real, N> b{};
    for (std::size_t r = 0; r < N; ++r) {
        b[r] = v[r];
        for (std::size_t c = 0; c < N; ++c)
            a[r][c] = m[r][c];
    }
    const auto x = solveLinear<N>(a, b);
    if (!x)
        return std::nullopt;
    std::array<double, N> out{};
    for (std::size_t r = 0; r < N; ++r)
        out[r] = static_cast<double>((*x)[r]);
    return out;
}

template <std::size_t N>
std::optional<std::array<std::array<double, N>, N>> inverseOf(
    const std::array<std::array<double, N>, N> &m)
{
    std::array<std::array<double, N>, N> out{};
    for (std::size_t c = 0; c < N; ++c) {
        std::array<double, N> unit{};
        unit[c] = 1;
        const auto column = solveSmall<N>(m, unit);
        if (!column)
            return std::nullopt;
        for (std::size_t r = 0; r < N; ++r)
            out[r][c] = (*column)[r];
    }
    return out;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

double quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return 0;
    const auto at =
        values.begin() + static_cast<std::ptrdiff_t>(q * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

// The Jacobian of the distance residual |p − c| − R over (cx, cy, R).
std::array<double, 3> circleJacobian(const Point &p, const Disc &d, double &residual)
{
    const double dx = p.x - d.x, dy = p.y - d.y;
    const double r = std::max(1e-9, std::hypot(dx, dy));
    residual = r - d.radius;
    return {-dx / r, -dy / r, -1};
}

// Geometric least squares with Tukey's weights, their scale from the median deviation: the
// ends of the terminator, craters on the limb and stars get no weight, and a short arc (a
// crescent) is not biased as an algebraic fit would be.
CircleFit robustCircle(const std::vector<Point> &points, Disc disc, double minimumScale)
{
    CircleFit fit;
    fit.weights.assign(points.size(), 1.0);
    std::vector<double> residuals(points.size());
    for (int iteration = 0; iteration < 30; ++iteration) {
        std::vector<double> deviations(points.size());
        for (std::size_t i = 0; i < points.size(); ++i) {
            (void)circleJacobian(points[i], disc, residuals[i]);
            deviations[i] = std::fabs(residuals[i]);
        }
        fit.scale = std::max(minimumScale, 1.4826 * median(deviations));
        const double limit = kTukey * fit.scale;
        std::array<std::array<double, 3>, 3> m{};
        std::array<double, 3> v{};
        double total = 0;
        for (std::size_t i = 0; i < points.size(); ++i) {
            double residual = 0;
            const auto j = circleJacobian(points[i], disc, residual);
            const double t = residual / limit;
            const double w = std::fabs(t) < 1 ? (1 - t * t) * (1 - t * t) : 0;
            fit.weights[i] = w;
            total += w;
            for (std::size_t r = 0; r < 3; ++r) {
                for (std::size_t c = 0; c < 3; ++c)
                    m[r][c] += w * j[r] * j[c];
                v[r] -= w * j[r] * residual;
            }
        }
        const auto step = total >= 6 ? solveSmall<3>(m, v) : std::nullopt;
        if (!step)
            return fit;
        disc = {disc.x + (*step)[0], disc.y + (*step)[1], disc.radius + (*step)[2]};
        if (!std::isfinite(disc.x) || !(disc.radius > 0))
            return fit;
        if (std::fabs((*step)[0]) + std::fabs((*step)[1]) + std::fabs((*step)[2]) < 1e-5)
            break;
    }
    fit.disc = disc;
    fit.ok = true;
    return fit;
}

// A deterministic generator: the same picture always gives the same disc.
using Random = Xorshift;

std::optional<Disc> circleThrough(const Point &a, const Point &b, const Point &c)
{
    const double bx = b.x - a.x, by = b.y - a.y, cx = c.x - a.x, cy = c.y - a.y;
    const double d = 2 * (bx * cy - by * cx);
    if (std::fabs(d) < 1e-9)
        return std::nullopt;
    const double b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
    const double ox = (cy * b2 - by * c2) / d, oy = (bx * c2 - cx * b2) / d;
    return Disc{a.x + ox, a.y + oy, std::hypot(ox, oy)};
}

// The circle through the most of the strongest edge, among circles through three crossings
// that a start off by half a radius and a sixth of it allows: on a gibbous Moon half the rays
// end on the terminator, which a least-squares start would average with the limb.
std::optional<Disc> consensusCircle(const std::vector<Crossing> &crossings, const Disc &start)
{
    if (crossings.size() < 8)
        return std::nullopt;
    const double tolerance = std::max(1.0, 0.015 * start.radius);
    Random random;
    std::optional<Disc> best;
    double bestScore = 0;
    for (int trial = 0; trial < 500; ++trial) {
        const auto disc = circleThrough(crossings[random.below(crossings.size())].point,
            crossings[random.below(crossings.size())].point,
            crossings[random.below(crossings.size())].point);
        if (!disc || disc->radius < 0.6 * start.radius || disc->radius > 1.6 * start.radius
            || std::hypot(disc->x - start.x, disc->y - start.y) > 0.8 * start.radius)
            continue;
        double score = 0;
        for (const Crossing &c : crossings)
            if (std::fabs(std::hypot(c.point.x - disc->x, c.point.y - disc->y) - disc->radius)
                < tolerance)
                score += c.drop;
        if (score > bestScore) {
            bestScore = score;
            best = disc;
        }
    }
    return best;
}

// ---------------------------------------------------------------------------------------------
// Edges along rays

// Along the ray at `angle` from the centre, within `band` of the radius: where the level falls
// fastest going out, to a fraction of a step. Three parallel rays are averaged against grain;
// off the picture there is no sample, so a disc cut by the frame keeps the rays that show.
std::optional<Crossing> rayCrossing(
    const ImageView &image, const Disc &disc, double angle, double band, double step)
{
    const double ux = std::cos(angle), uy = std::sin(angle);
    const int count = static_cast<int>(2 * band / step) + 1;
    if (count < 9)
        return std::nullopt;
    std::vector<double> profile(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
        const double rho = std::max(0.0, disc.radius - band + k * step);
        double sum = 0;
        for (int t = -1; t <= 1; ++t)
            sum += sampleLevel(image, disc.x + rho * ux - t * uy, disc.y + rho * uy + t * ux);
        profile[static_cast<std::size_t>(k)] = sum / 3;
    }
    std::vector<double> drop(profile.size(), std::nan(""));
    int best = -1;
    for (std::size_t k = 2; k + 2 < profile.size(); ++k) {
        drop[k] = profile[k - 2] - profile[k + 2];
        if (drop[k] > 0 && (best < 0 || drop[k] > drop[static_cast<std::size_t>(best)]))
            best = static_cast<int>(k);
    }
    if (best < 3 || best + 3 >= count)
        return std::nullopt;
    const auto at = static_cast<std::size_t>(best);
    const double a = drop[at - 1], b = drop[at], c = drop[at + 1];
    if (!std::isfinite(a) || !std::isfinite(c))
        return std::nullopt;
    const double curvature = a - 2 * b + c;
    const double offset = curvature < 0 ? std::clamp(0.5 * (a - c) / curvature, -0.5, 0.5) : 0;
    const double rho = disc.radius - band + (best + offset) * step;
    return Crossing{{disc.x + rho * ux, disc.y + rho * uy}, b};
}

// The crossings of `rays` rays whose fall is a fair part of the strong ones: the lit limb, not
// the grain of the night side.
std::vector<Crossing> strongCrossings(
    const ImageView &image, const Disc &disc, int rays, double band, double step)
{
    std::vector<Crossing> crossings;
    for (int i = 0; i < rays; ++i)
        if (auto c = rayCrossing(image, disc, 2 * kPiD * i / rays, band, step))
            crossings.push_back(*c);
    std::vector<double> drops;
    for (const Crossing &c : crossings)
        drops.push_back(c.drop);
    const double strong = quantile(drops, 0.9);
    std::vector<Crossing> kept;
    for (const Crossing &c : crossings)
        if (c.drop >= 0.35 * strong)
            kept.push_back(c);
    return kept;
}

std::vector<Point> pointsOf(const std::vector<Crossing> &crossings)
{
    std::vector<Point> points;
    for (const Crossing &c : crossings)
        points.push_back(c.point);
    return points;
}

// ---------------------------------------------------------------------------------------------
// The disc found anew on a reduced copy

struct Reduced {
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
    int x = 0;
    int y = 0;
    int factor = 1;

    [[nodiscard]] ImageView view() const
    {
        return {width, height, width, pixels.data(), ImageView::Format::Grey8};
    }
    // Pixel i of the copy averages the photograph's pixels x + i·factor … + factor − 1.
    [[nodiscard]] Disc toPhoto(const Disc &d) const
    {
        const double half = (factor - 1) / 2.0;
        return {x + d.x * factor + half, y + d.y * factor + half, d.radius * factor};
    }
    [[nodiscard]] Disc fromPhoto(const Disc &d) const
    {
        const double half = (factor - 1) / 2.0;
        return {(d.x - x - half) / factor, (d.y - y - half) / factor, d.radius / factor};
    }
};

// The square of two start radii about the start centre, reduced to some hundreds of pixels by
// averaging a few pixels of each block: the true limb lies inside it when the start is off by
// half a radius and a sixth of it.
Reduced reducedCopy(const ImageView &image, const Disc &start)
{
    Reduced r;
    const double reach = 2.0 * start.radius;
    r.x = std::clamp(static_cast<int>(std::floor(start.x - reach)), 0, image.width - 1);
    r.y = std::clamp(static_cast<int>(std::floor(start.y - reach)), 0, image.height - 1);
    const int right = std::clamp(static_cast<int>(std::ceil(start.x + reach)), r.x, image.width);
    const int bottom = std::clamp(static_cast<int>(std::ceil(start.y + reach)), r.y, image.height);
    const int longest = std::max(right - r.x, bottom - r.y);
    r.factor = std::max(1, (longest + kReducedLength - 1) / kReducedLength);
    const int f = r.factor;
    r.width = (right - r.x) / f;
    r.height = (bottom - r.y) / f;
    if (r.width < 16 || r.height < 16)
        return r;
    // Up to 3 × 3 pixels of each block, spread over it.
    const int n = std::min(f, 3);
    r.pixels.resize(static_cast<std::size_t>(r.width) * static_cast<std::size_t>(r.height));
    for (int j = 0; j < r.height; ++j)
        for (int i = 0; i < r.width; ++i) {
            double sum = 0;
            for (int b = 0; b < n; ++b)
                for (int a = 0; a < n; ++a)
                    sum += image.level(r.x + i * f + (2 * a + 1) * f / (2 * n),
                        r.y + j * f + (2 * b + 1) * f / (2 * n));
            r.pixels[static_cast<std::size_t>(j) * static_cast<std::size_t>(r.width)
                + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(std::lround(sum / (n * n)));
        }
    return r;
}

// Candidates for the disc in the photograph's pixels: the disc found on the reduced copy
// alone, and the limb nearest to the start disc.
std::vector<Disc> candidates(const ImageView &image, const Disc &start)
{
    std::vector<Disc> found;
    const Reduced copy = reducedCopy(image, start);
    if (copy.pixels.empty())
        return found;
    const GreyPixels grey{copy.pixels.data(), copy.width, copy.height, copy.width};
    if (const auto disc = findDisc(grey))
        found.push_back(copy.toPhoto(*disc));
    const Disc small = copy.fromPhoto(start);
    const auto crossings = strongCrossings(copy.view(), small, 240, 0.7 * small.radius, 0.5);
    if (const auto seed = consensusCircle(crossings, small)) {
        const CircleFit fit = robustCircle(pointsOf(crossings), *seed, 0.5);
        if (fit.ok)
            found.push_back(copy.toPhoto(fit.disc));
    }
    return found;
}

struct Coarse {
    Disc disc;
    double score = 0;
};

// A candidate refined on the photograph itself, first in a band as wide as its own error,
// then in a narrow one; scored by the fall of the edges that agree with it.
std::optional<Coarse> refined(const ImageView &image, Disc disc, double band)
{
    const int rays = std::clamp(static_cast<int>(disc.radius * 2 * kPiD / 6), 120, 240);
    Coarse result;
    for (const double width : {band, std::max(4.0, band / 6)}) {
        const auto crossings = strongCrossings(image, disc, rays, width, width > 20 ? 1.0 : 0.5);
        if (crossings.size() < 12)
            return std::nullopt;
        const CircleFit fit = robustCircle(pointsOf(crossings), disc, 0.2);
        if (!fit.ok || std::hypot(fit.disc.x - disc.x, fit.disc.y - disc.y) > 1.5 * width
            || std::fabs(fit.disc.radius - disc.radius) > 1.5 * width)
            return std::nullopt;
        disc = fit.disc;
        result.score = 0;
        for (std::size_t i = 0; i < crossings.size(); ++i)
            result.score += fit.weights[i] * crossings[i].drop;
    }
    result.disc = disc;
    return result;
}

std::optional<Disc> coarseDisc(const ImageView &image, const Disc &start)
{
    const double factor = std::max(1.0, 4 * start.radius / kReducedLength);
    std::optional<Coarse> best;
    std::optional<Disc> previous;
    for (const Disc &candidate : candidates(image, start)) {
        // Two candidates that agree are one.
        if (candidate.radius < 0.5 * kMinimumLimbRadius
            || (previous
                && std::hypot(candidate.x - previous->x, candidate.y - previous->y)
                        + std::fabs(candidate.radius - previous->radius)
                    < 0.02 * candidate.radius))
            continue;
        previous = candidate;
        const auto c = refined(image, candidate, 3 * factor + 0.03 * candidate.radius);
        if (c && (!best || c->score > best->score))
            best = c;
    }
    if (!best)
        return std::nullopt;
    return best->disc;
}

// ---------------------------------------------------------------------------------------------
// The camera's model of a profile across the limb
//
// The light is a step at the limb, blurred in linear light by a Gaussian, then encoded by the
// tone curve T(L) = 255 (L / 255)^e, e = 1/γ, and clipped at 255. The limb is where the step
// is, half-way in light, not half-way in levels: with γ = 2.2 the two are 0.8 σ apart. Inside,
// a sphere's light near its limb is a series in the cosine of emission, which grows as the
// square root of the depth: the step carries a √depth term and a linear one (a lunar limb stays
// bright to the edge, a crescent's fades inwards, a gibbous limb brightens). A profile's
// unknowns are its limb distance r, its encoded sky S and limb level D and those two terms;
// the blur and the tone curve are the photograph's.

constexpr std::size_t kOwn = 5;
using Own = std::array<double, kOwn>;
// The photograph's unknowns: the blur and e.
constexpr std::size_t kShared = 2;
using SharedVector = std::array<double, kShared>;

struct Sample {
    double rho;
    double level;
};

struct Profile {
    double ux = 0;
    double uy = 0;
    std::size_t first = 0;
    std::size_t count = 0;
    /// r, S, D, slope per pixel and √ term per √pixel inside, relative to the limb's light.
    Own p{};
    bool active = true;
    /// Root mean square of the residuals at the solution.
    double misfit = 0;
    /// How r moves with the camera's unknowns at the solution.
    SharedVector sensitivity{};
};

struct Camera {
    /// Standard deviation of the seeing's blur in pixels, the pixel's own width apart.
    double sigma = 0.8;
    double e = 1 / 2.2;
};

// R(u) = ∫₀^∞ √s φ(u − s) ds and its derivative: a light growing as √depth inside an edge,
// blurred by a unit Gaussian. Tabulated once; s = t² makes both integrands smooth.
class RootEdge {
public:
    static const RootEdge &instance()
    {
        static const RootEdge table;
        return table;
    }
    void at(double u, double &f, double &df) const
    {
        if (u <= kFrom) {
            f = df = 0;
            return;
        }
        if (u >= kTo) {
            const double root = std::sqrt(u), inverse = 1 / (u * u);
            f = root * (1 - inverse / 8);
            df = (1 + 3 * inverse / 8) / (2 * root);
            return;
        }
        const double x = (u - kFrom) / kStep;
        const auto i = static_cast<std::size_t>(x);
        const double t = x - static_cast<double>(i);
        // Hermite between the nodes for R, whose derivative is tabulated too.
        const double h00 = (1 + 2 * t) * (1 - t) * (1 - t), h10 = t * (1 - t) * (1 - t);
        const double h01 = t * t * (3 - 2 * t), h11 = t * t * (t - 1);
        f = h00 * m_f[i] + h10 * kStep * m_df[i] + h01 * m_f[i + 1] + h11 * kStep * m_df[i + 1];
        df = m_df[i] * (1 - t) + m_df[i + 1] * t;
    }

private:
    static constexpr double kFrom = -8, kTo = 40, kStep = 1.0 / 32;
    RootEdge()
    {
        const auto nodes = static_cast<std::size_t>((kTo - kFrom) / kStep) + 2;
        for (std::size_t i = 0; i < nodes; ++i) {
            const double u = kFrom + kStep * static_cast<double>(i);
            const double end = std::sqrt(std::max(0.0, u) + 10);
            constexpr int n = 256;
            double f = 0, df = 0;
            for (int k = 0; k <= n; ++k) {
                const double t = end * k / n;
                const double w = (k == 0 || k == n ? 1 : k % 2 ? 4 : 2) * end / (3 * n);
                const double g =
                    0.39894228040143267794 * std::exp(-0.5 * (u - t * t) * (u - t * t));
                f += w * 2 * t * t * g;
                df += w * g;
            }
            m_f.push_back(f);
            m_df.push_back(df);
        }
    }
    std::vector<double> m_f;
    std::vector<double> m_df;
};

struct Derivatives {
    double v = 0;
    /// ∂v over the profile's own unknowns, then σ and e.
    std::array<double, kOwn + kShared> d{};
};

// T⁻¹ of an encoded level, as a light on the 0…255 scale, and its derivatives.
struct Light {
    double value;
    double perLevel;
    double perE;
};

Light lightOf(double level, double e)
{
    const double q = std::max(0.05, level) / 255;
    const double value = 255 * std::pow(q, 1 / e);
    return {value, value / (e * std::max(0.05, level)), -value * std::log(q) / (e * e)};
}

constexpr double kRootHalf = 0.70710678118654752440;
constexpr double kInvRoot2Pi = 0.39894228040143267794;

// A unit step at 0 blurred by a Gaussian of σ, then averaged over a pixel: the pixel projects
// on the profile's direction (ux, uy) as the sum of two uniform widths |ux| and |uy|, so the
// average is a second difference of the step's second integral
// Ψ₂(x) = σ² ((u² + 1) Φ(u) + u φ(u)) / 2, u = x / σ. A blur under a pixel is not Gaussian
// once the pixel is counted, and reading γ from its shape needs the true one.
struct Step {
    double value;
    double perD;
    double perSigma;
};

// From this blur on, the pixel's variance added to the blur's is off by under a thousandth of
// the step, at a quarter of the cost.
constexpr double kGaussianPixel = 1.2;

Step pixelStep(double d, double sigma, double wide, double narrow)
{
    Step step{0, 0, 0};
    const double offsets[4] = {
        (wide + narrow) / 2, (wide - narrow) / 2, -(wide - narrow) / 2, -(wide + narrow) / 2};
    const double signs[4] = {1, -1, -1, 1};
    const bool thin = narrow < 1e-3;
    for (std::size_t i = 0; i < 4; ++i) {
        if (thin && (i == 1 || i == 2))
            continue;
        const double x = d + (thin ? (i == 0 ? wide / 2 : -wide / 2) : offsets[i]);
        const double u = x / sigma;
        const double big = 0.5 * std::erfc(-u * kRootHalf);
        const double small = kInvRoot2Pi * std::exp(-0.5 * u * u);
        const double once = sigma * (u * big + small);
        if (thin) {
            // Ψ₁ differenced once over the wide width alone.
            const double sign = i == 0 ? 1 : -1;
            step.value += sign * once;
            step.perD += sign * big;
            step.perSigma += sign * small;
        } else {
            step.value += signs[i] * sigma * sigma * ((u * u + 1) * big + u * small) / 2;
            step.perD += signs[i] * once;
            step.perSigma += signs[i] * sigma * big;
        }
    }
    const double area = thin ? wide : wide * narrow;
    return {step.value / area, step.perD / area, step.perSigma / area};
}

Derivatives modelAt(double rho,
    const Own &p,
    const Camera &camera,
    const Light &sky,
    const Light &limb,
    const std::array<double, 2> &pixel)
{
    const double sigma = camera.sigma, e = camera.e;
    const double d = p[0] - rho;
    // The light's slopes inside are small corrections: a Gaussian with the pixel's variance
    // added blurs them closely enough.
    const double wide = std::sqrt(sigma * sigma + kPixelVariance), rootWide = std::sqrt(wide);
    const double u = d / wide, perWide = sigma / wide;
    const double big = 0.5 * std::erfc(-u * kRootHalf);
    const double small = kInvRoot2Pi * std::exp(-0.5 * u * u);
    const Step step = sigma >= kGaussianPixel ? Step{big, small / wide, -u * small / wide * perWide}
                                              : pixelStep(d, sigma, pixel[0], pixel[1]);
    double root = 0, rootSlope = 0;
    RootEdge::instance().at(u, root, rootSlope);
    const double edge = step.value + p[3] * (d * big + wide * small) + p[4] * rootWide * root;
    const double contrast = limb.value - sky.value;
    const double x = std::max(1e-6, sky.value + contrast * edge);
    const double logX = std::log(x / 255);
    Derivatives out;
    out.v = 255 * std::exp(e * logX);
    if (out.v >= 255 || out.v <= 0) {
        out.v = std::clamp(out.v, 0.0, 255.0);
        return out;
    }
    const double perX = e * out.v / x, perEdge = perX * contrast;
    out.d[0] = perEdge * (step.perD + p[3] * big + p[4] * rootSlope / rootWide);
    out.d[1] = perX * (1 - edge) * sky.perLevel;
    out.d[2] = perX * edge * limb.perLevel;
    out.d[3] = perEdge * (d * big + wide * small);
    out.d[4] = perEdge * rootWide * root;
    out.d[5] = perEdge
        * (step.perSigma + perWide * (p[3] * small + p[4] * (root / 2 - u * rootSlope) / rootWide));
    out.d[6] = out.v * logX + perX * ((1 - edge) * sky.perE + edge * limb.perE);
    return out;
}

template <std::size_t N> using Square = std::array<std::array<double, N>, N>;

// The normal equations of all profiles at once: a block per profile, its coupling to the two
// shared unknowns and its share of their gradient, and the shared block.
struct Normal {
    std::vector<Square<kOwn>> a;
    std::vector<std::array<SharedVector, kOwn>> b;
    std::vector<Own> g;
    std::vector<SharedVector> h;
    /// Each profile's mean squared residual.
    std::vector<double> misfit;
    Square<kShared> c{};
    /// The priors' pull on the camera.
    SharedVector prior{};
    double cost = 0;
    std::size_t samples = 0;
};

void addSample(Normal &n, std::size_t k, const Derivatives &m, double residual)
{
    auto &a = n.a[k];
    auto &b = n.b[k];
    for (std::size_t r = 0; r < kOwn; ++r) {
        n.g[k][r] += m.d[r] * residual;
        for (std::size_t c = 0; c <= r; ++c)
            a[r][c] += m.d[r] * m.d[c];
        for (std::size_t c = 0; c < kShared; ++c)
            b[r][c] += m.d[r] * m.d[kOwn + c];
    }
    for (std::size_t r = 0; r < kShared; ++r) {
        n.h[k][r] += m.d[kOwn + r] * residual;
        for (std::size_t c = 0; c < kShared; ++c)
            n.c[r][c] += m.d[kOwn + r] * m.d[kOwn + c];
    }
}

// Most cameras encode with γ near 2.2; a linear file is the other common case. Where the
// profiles cannot tell (a blur under a pixel leaves no shape to read γ from), e keeps to this
// prior; elsewhere the data outweigh it.
constexpr double kPriorE = 1 / 2.2;
constexpr double kPriorESigma = 0.2;
constexpr double kPriorSlopeSigma = 0.02;

Normal normalEquations(const std::vector<Profile> &profiles,
    const std::vector<Sample> &samples,
    const Camera &camera,
    double grain)
{
    Normal n;
    n.a.resize(profiles.size());
    n.b.resize(profiles.size());
    n.g.resize(profiles.size());
    n.h.resize(profiles.size());
    n.misfit.resize(profiles.size());
    for (std::size_t k = 0; k < profiles.size(); ++k) {
        const Profile &profile = profiles[k];
        if (!profile.active)
            continue;
        const Light sky = lightOf(profile.p[1], camera.e), limb = lightOf(profile.p[2], camera.e);
        const std::array<double, 2> pixel{std::max(std::fabs(profile.ux), std::fabs(profile.uy)),
            std::min(std::fabs(profile.ux), std::fabs(profile.uy))};
        for (std::size_t i = profile.first; i < profile.first + profile.count; ++i) {
            const Derivatives m = modelAt(samples[i].rho, profile.p, camera, sky, limb, pixel);
            // A clipped pixel says only that the light reached the top, or the bottom.
            if ((samples[i].level >= 254.5 && m.v >= 254.5)
                || (samples[i].level <= 0.5 && m.v <= 0.5))
                continue;
            const double residual = samples[i].level - m.v;
            n.cost += residual * residual;
            n.misfit[k] += residual * residual / static_cast<double>(profile.count);
            ++n.samples;
            addSample(n, k, m, residual);
        }
        // A sphere's light changes little per pixel of depth near its limb (by 1/R under
        // Lambert's law, a few per cent under the lunar one): the linear term keeps near 0
        // where the data cannot tell it from the √ term.
        const double weightSlope = grain * grain / (kPriorSlopeSigma * kPriorSlopeSigma);
        n.a[k][3][3] += weightSlope;
        n.g[k][3] -= weightSlope * profile.p[3];
        n.cost += weightSlope * profile.p[3] * profile.p[3];
        for (std::size_t r = 0; r < kOwn; ++r)
            for (std::size_t c = r + 1; c < kOwn; ++c)
                n.a[k][r][c] = n.a[k][c][r];
    }
    const double weightE = grain * grain / (kPriorESigma * kPriorESigma);
    n.c[1][1] += weightE;
    n.prior = {0, weightE * (kPriorE - camera.e)};
    n.cost += weightE * (camera.e - kPriorE) * (camera.e - kPriorE);
    return n;
}

// Normal equations are symmetric and positive: Cholesky in double solves the thousands of
// small blocks of a fit quickly. False when the block is singular.
template <std::size_t N> bool cholesky(Square<N> &a)
{
    for (std::size_t j = 0; j < N; ++j) {
        double diagonal = a[j][j];
        for (std::size_t k = 0; k < j; ++k)
            diagonal -= a[j][k] * a[j][k];
        if (!(diagonal > 1e-12 * std::max(1.0, a[j][j])))
            return false;
        a[j][j] = std::sqrt(diagonal);
        for (std::size_t i = j + 1; i < N; ++i) {
            double s = a[i][j];
            for (std::size_t k = 0; k < j; ++k)
                s -= a[i][k] * a[j][k];
            a[i][j] = s / a[j][j];
        }
    }
    return true;
}

template <std::size_t N>
std::array<double, N> choleskySolve(const Square<N> &l, std::array<double, N> b)
{
    for (std::size_t i = 0; i < N; ++i) {
        for (std::size_t k = 0; k < i; ++k)
            b[i] -= l[i][k] * b[k];
        b[i] /= l[i][i];
    }
    for (std::size_t i = N; i-- > 0;) {
        for (std::size_t k = i + 1; k < N; ++k)
            b[i] -= l[k][i] * b[k];
        b[i] /= l[i][i];
    }
    return b;
}

// A profile's block solved against its gradient and its two coupling columns.
struct Eliminated {
    Own ag{};
    std::array<Own, kShared> ab{};
    bool ok = false;
};

Eliminated eliminate(const Normal &n, std::size_t k, double damping)
{
    Eliminated out;
    Square<kOwn> l = n.a[k];
    for (std::size_t i = 0; i < kOwn; ++i)
        l[i][i] = l[i][i] * (1 + damping) + 1e-9;
    if (!cholesky(l))
        return out;
    out.ag = choleskySolve(l, n.g[k]);
    for (std::size_t c = 0; c < kShared; ++c) {
        Own column{};
        for (std::size_t r = 0; r < kOwn; ++r)
            column[r] = n.b[k][r][c];
        out.ab[c] = choleskySolve(l, column);
    }
    out.ok = true;
    return out;
}

// The shared block once every profile's own unknowns are eliminated (its Schur complement),
// and the matching right-hand side.
struct Shared {
    Square<kShared> m{};
    SharedVector v{};
};

// What profile k adds to the shared gradient once its own unknowns are eliminated.
SharedVector sharedScore(const Normal &n, std::size_t k, const Eliminated &part)
{
    SharedVector score = n.h[k];
    for (std::size_t r = 0; r < kShared; ++r)
        for (std::size_t i = 0; i < kOwn; ++i)
            score[r] -= n.b[k][i][r] * part.ag[i];
    return score;
}

Shared schur(const Normal &n,
    const std::vector<Profile> &profiles,
    const std::vector<Eliminated> &parts,
    double damping)
{
    Shared s;
    for (std::size_t r = 0; r < kShared; ++r) {
        s.v[r] = n.prior[r];
        for (std::size_t c = 0; c < kShared; ++c)
            s.m[r][c] = n.c[r][c] * (r == c ? 1 + damping : 1);
    }
    for (std::size_t k = 0; k < profiles.size(); ++k) {
        if (!profiles[k].active || !parts[k].ok)
            continue;
        const auto score = sharedScore(n, k, parts[k]);
        for (std::size_t r = 0; r < kShared; ++r) {
            s.v[r] += score[r];
            for (std::size_t i = 0; i < kOwn; ++i)
                for (std::size_t c = 0; c < kShared; ++c)
                    s.m[r][c] -= n.b[k][i][r] * parts[k].ab[c][i];
        }
    }
    return s;
}

// A covariance counted by blocks of neighbouring profiles (`inverse` · Σ sᵦ sᵦᵀ · `inverse`,
// sᵦ the block's score), each deviation raised where needed to what independent profiles
// with the residuals' variance would give; scaling rows and columns alike keeps it a
// covariance.
template <std::size_t N>
Square<N> blockCovariance(
    const Square<N> &inverse, const Square<N> &scores, std::size_t blocks, double variance)
{
    Square<N> out{};
    for (std::size_t r = 0; r < N; ++r)
        for (std::size_t c = 0; c < N; ++c)
            for (std::size_t i = 0; i < N; ++i)
                for (std::size_t j = 0; j < N; ++j)
                    out[r][c] += inverse[r][i] * scores[i][j] * inverse[j][c];
    const double g = static_cast<double>(blocks);
    const double small = g > 1 ? g / (g - 1) : 1;
    std::array<double, N> raise{};
    for (std::size_t r = 0; r < N; ++r)
        raise[r] = std::sqrt(
            std::max(1.0, variance * inverse[r][r] / std::max(1e-300, small * out[r][r])));
    for (std::size_t r = 0; r < N; ++r)
        for (std::size_t c = 0; c < N; ++c)
            out[r][c] *= small * raise[r] * raise[c];
    return out;
}

// Profiles per block: neighbours share pixels, JPEG blocks and the relief of the limb, and
// the model's own error changes slowly along the limb with the light inside it; eight blocks
// over the arc see both.
std::size_t blockSize(std::size_t profiles)
{
    return std::max<std::size_t>(3, profiles / 8);
}

struct Photometry {
    std::vector<Profile> profiles;
    std::vector<Sample> samples;
    Camera camera;
    Square<kShared> cameraCovariance{};
    /// The grain of the levels, which weighs the priors against the data.
    double grain = 1;
};

void clampProfile(Own &p)
{
    p[1] = std::clamp(p[1], 0.05, 250.0);
    // Above 255 a limb level stands for light the camera clipped.
    p[2] = std::clamp(p[2], p[1] + 1, 2000.0);
    p[3] = std::clamp(p[3], -0.3, 0.3);
    p[4] = std::clamp(p[4], -1.5, 1.5);
}

// One damped Gauss–Newton step on every unknown; the trial replaces the current state when it
// lowers the squared residuals. False once it no longer does.
bool improve(Photometry &ph, Normal &n, double &damping)
{
    std::vector<Eliminated> parts(ph.profiles.size());
    for (std::size_t k = 0; k < ph.profiles.size(); ++k)
        if (ph.profiles[k].active)
            parts[k] = eliminate(n, k, damping);
    const Shared shared = schur(n, ph.profiles, parts, damping);
    const auto dg = solveSmall<kShared>(shared.m, shared.v);
    if (!dg)
        return false;
    std::vector<Profile> trial = ph.profiles;
    for (std::size_t k = 0; k < trial.size(); ++k) {
        if (!trial[k].active || !parts[k].ok)
            continue;
        for (std::size_t i = 0; i < kOwn; ++i)
            trial[k].p[i] +=
                parts[k].ag[i] - parts[k].ab[0][i] * (*dg)[0] - parts[k].ab[1][i] * (*dg)[1];
        clampProfile(trial[k].p);
    }
    const Camera camera{std::clamp(ph.camera.sigma + (*dg)[0], 0.1, 25.0),
        std::clamp(ph.camera.e + (*dg)[1], 0.2, 1.6)};
    Normal next = normalEquations(trial, ph.samples, camera, ph.grain);
    if (!(next.cost < n.cost)) {
        damping *= 4;
        return damping < 1e6;
    }
    // Converged when the squares hardly fall, or fall a little while the camera stays put.
    const double fall = (n.cost - next.cost) / n.cost;
    const bool still = std::fabs(camera.sigma - ph.camera.sigma) < 2e-3 * camera.sigma
        && std::fabs(camera.e - ph.camera.e) < 5e-4;
    const bool moved = fall > 1e-4 && !(still && fall < 1e-3);
    ph.profiles.swap(trial);
    ph.camera = camera;
    n = std::move(next);
    damping = std::max(1e-6, damping / 3);
    return moved;
}

// The camera's covariance from the scatter of the profiles' scores, by blocks of neighbours.
void cameraCovariance(Photometry &ph, const Normal &n)
{
    std::vector<Eliminated> parts(ph.profiles.size());
    std::size_t unknowns = kShared, active = 0;
    for (std::size_t k = 0; k < ph.profiles.size(); ++k) {
        if (!ph.profiles[k].active)
            continue;
        parts[k] = eliminate(n, k, 0);
        for (std::size_t c = 0; c < kShared; ++c)
            ph.profiles[k].sensitivity[c] = -parts[k].ab[c][0];
        unknowns += kOwn;
        ++active;
    }
    const Shared s = schur(n, ph.profiles, parts, 0);
    const auto inverse = inverseOf<kShared>(s.m);
    if (!inverse || n.samples <= unknowns + 8)
        return;
    Square<kShared> scores{};
    SharedVector block{};
    std::size_t inBlock = 0, blocks = 0;
    const std::size_t size = blockSize(active);
    for (std::size_t k = 0; k < ph.profiles.size(); ++k) {
        if (!ph.profiles[k].active || !parts[k].ok)
            continue;
        const auto score = sharedScore(n, k, parts[k]);
        for (std::size_t r = 0; r < kShared; ++r)
            block[r] += score[r];
        if (++inBlock == size) {
            for (std::size_t r = 0; r < kShared; ++r)
                for (std::size_t c = 0; c < kShared; ++c)
                    scores[r][c] += block[r] * block[c];
            block = {};
            inBlock = 0;
            ++blocks;
        }
    }
    const double variance = n.cost / static_cast<double>(n.samples - unknowns);
    ph.cameraCovariance = blockCovariance<kShared>(*inverse, scores, blocks, variance);
    // A tone curve is a power law only to some per cent (a linear toe, a shoulder).
    ph.cameraCovariance[1][1] += 0.05 * ph.camera.e * 0.05 * ph.camera.e;
}

// The camera, and each profile's limb, levels and inner light, by least squares on the levels.
void fitPhotometry(Photometry &ph, int iterations)
{
    double damping = 1e-3;
    Normal n = normalEquations(ph.profiles, ph.samples, ph.camera, ph.grain);
    for (int iteration = 0; iteration < iterations && improve(ph, n, damping); ++iteration) { }
    for (std::size_t k = 0; k < ph.profiles.size(); ++k)
        ph.profiles[k].misfit = std::sqrt(n.misfit[k]);
    cameraCovariance(ph, n);
}

// The pixels whose centres lie within `half` of the ray and `band` of the radius, with their
// exact distance to the centre: no interpolation blurs the edge or bends its levels.
void strip(const ImageView &image,
    const Disc &disc,
    double ux,
    double uy,
    double band,
    std::vector<Sample> &out)
{
    constexpr double half = 0.75;
    const bool alongX = std::fabs(ux) >= std::fabs(uy);
    const double major = alongX ? ux : uy, minor = alongX ? uy : ux;
    const double c0 = alongX ? disc.x : disc.y, c1 = alongX ? disc.y : disc.x;
    const double from = c0 + (disc.radius - band) * major, to = c0 + (disc.radius + band) * major;
    const double across = half / std::fabs(major);
    for (int i = static_cast<int>(std::ceil(std::min(from, to)));
         i <= static_cast<int>(std::floor(std::max(from, to)));
         ++i) {
        const double middle = c1 + (i - c0) / major * minor;
        for (int j = static_cast<int>(std::ceil(middle - across));
             j <= static_cast<int>(std::floor(middle + across));
             ++j) {
            const int x = alongX ? i : j, y = alongX ? j : i;
            if (x < 0 || y < 0 || x >= image.width || y >= image.height)
                continue;
            const double dx = x - disc.x, dy = y - disc.y;
            const double rho = std::hypot(dx, dy);
            if (std::fabs(-dx * uy + dy * ux) <= half && std::fabs(rho - disc.radius) <= band)
                out.push_back({rho, image.level(x, y)});
        }
    }
}

// Drops the pixels of a profile beyond the depth where the light inside the limb falls below
// half-way to the sky: a terminator close to the limb (a thin crescent, the ends of the horns)
// is no part of the limb's edge. The profile's pixels end up sorted outwards. False when the
// lit band left is too narrow to tell the limb's step from the terminator's fall.
bool trimInside(Profile &profile, std::vector<Sample> &samples, double radius, double sigma)
{
    const auto begin = samples.begin() + static_cast<std::ptrdiff_t>(profile.first);
    const auto end = begin + static_cast<std::ptrdiff_t>(profile.count);
    std::sort(begin, end, [](const Sample &a, const Sample &b) { return a.rho < b.rho; });
    constexpr std::size_t kBins = 64;
    std::array<double, kBins> sum{}, count{};
    std::vector<double> outside;
    for (auto i = begin; i != end; ++i) {
        const double depth = radius - i->rho;
        if (depth < -3)
            outside.push_back(i->level);
        else if (depth >= 0 && depth < kBins)
            sum[static_cast<std::size_t>(depth)] += i->level,
                ++count[static_cast<std::size_t>(depth)];
    }
    const auto mean = [&](std::size_t b) {
        return count[b] > 0 ? sum[b] / count[b] : std::nan("");
    };
    const auto reach = std::min<std::size_t>(kBins, static_cast<std::size_t>(3 * sigma + 3));
    double peak = -1;
    std::size_t at = 0;
    for (std::size_t b = 0; b < reach; ++b)
        if (mean(b) > peak)
            peak = mean(b), at = b;
    const double sky = median(outside);
    const double half = sky + 0.2 * (peak - sky);
    for (std::size_t b = at; b < kBins; ++b) {
        if (!(mean(b) < half))
            continue;
        const double deepest = static_cast<double>(b);
        const auto kept =
            std::find_if(begin, end, [&](const Sample &s) { return radius - s.rho < deepest; });
        const auto dropped = static_cast<std::size_t>(kept - begin);
        profile.first += dropped;
        profile.count -= dropped;
        return deepest >= 3 * sigma + 4;
    }
    return true;
}

// A profile's sky and limb levels from the pixels well outside and well inside the limb; none
// when the frame or the photograph leaves too few on either side.
bool startProfile(Profile &profile, const std::vector<Sample> &samples, double radius)
{
    std::vector<double> outside, inside;
    for (std::size_t i = profile.first; i < profile.first + profile.count; ++i) {
        const double d = samples[i].rho - radius;
        if (d > 3)
            outside.push_back(samples[i].level);
        else if (d < -2 && d > -9)
            inside.push_back(samples[i].level);
    }
    if (outside.size() < 4 || inside.size() < 4)
        return false;
    profile.p = {radius, median(outside), median(inside), 0};
    clampProfile(profile.p);
    return true;
}

// The grain of the sky beside a profile: the median deviation of its pixels outside the limb.
double skyGrain(const Profile &profile, const std::vector<Sample> &samples, double radius)
{
    std::vector<double> deviations;
    for (std::size_t i = profile.first; i < profile.first + profile.count; ++i)
        if (samples[i].rho - radius > 3)
            deviations.push_back(std::fabs(samples[i].level - profile.p[1]));
    return 1.4826 * median(deviations);
}

// Profiles across the limb of `disc` at `angles` evenly spaced directions, those of `keep`
// only, and of them those whose step is a fair part of the strongest: the lit limb.
Photometry gatherProfiles(const ImageView &image,
    const Disc &disc,
    double band,
    const std::vector<bool> &keep,
    const Camera &camera)
{
    Photometry ph;
    ph.camera = camera;
    const std::size_t angles = keep.size();
    std::vector<double> contrasts, grains;
    for (std::size_t k = 0; k < angles; ++k) {
        Profile profile;
        const double angle = 2 * kPiD * static_cast<double>(k) / static_cast<double>(angles);
        profile.ux = std::cos(angle);
        profile.uy = std::sin(angle);
        profile.first = ph.samples.size();
        if (keep[k])
            strip(image, disc, profile.ux, profile.uy, band, ph.samples);
        profile.count = ph.samples.size() - profile.first;
        profile.active = keep[k] && trimInside(profile, ph.samples, disc.radius, camera.sigma)
            && startProfile(profile, ph.samples, disc.radius);
        if (profile.active) {
            contrasts.push_back(profile.p[2] - profile.p[1]);
            grains.push_back(skyGrain(profile, ph.samples, disc.radius));
        }
        ph.profiles.push_back(profile);
    }
    // Levels are whole numbers: their rounding alone is a grain of 0.3.
    const double grain = std::max(0.3, median(grains));
    ph.grain = grain;
    const double strong = std::max(6.0, 0.35 * quantile(contrasts, 0.9));
    for (Profile &profile : ph.profiles)
        profile.active = profile.active && profile.p[2] - profile.p[1] >= strong;
    return ph;
}

std::size_t activeCount(const std::vector<Profile> &profiles)
{
    return static_cast<std::size_t>(
        std::count_if(profiles.begin(), profiles.end(), [](const Profile &p) { return p.active; }));
}

// ---------------------------------------------------------------------------------------------
// The circle on the profiles' limbs and what it is worth

struct LimbPoints {
    std::vector<Point> points;
    std::vector<std::size_t> profile;
};

LimbPoints limbPoints(const Photometry &ph, const Disc &from, double band)
{
    LimbPoints out;
    for (std::size_t k = 0; k < ph.profiles.size(); ++k) {
        const Profile &p = ph.profiles[k];
        if (!p.active || std::fabs(p.p[0] - from.radius) > band - 1)
            continue;
        out.points.push_back({from.x + p.p[0] * p.ux, from.y + p.p[0] * p.uy});
        out.profile.push_back(k);
    }
    return out;
}

using Matrix3 = Square<3>;

// The covariance of (x, y, R). Neighbouring profiles share their errors (relief on the limb,
// JPEG blocks, a crater's rim), so the scatter is counted by blocks of them, never below what
// independent profiles would give; then the uncertainty of the camera and the relief's outward
// push, which move every limb point alike and so show in no residual.
Matrix3 discCovariance(const LimbPoints &limb, const CircleFit &circle, const Photometry &ph)
{
    Matrix3 normal{}, blocks{};
    std::array<double, 3> block{}, shift{}, alongX{}, alongY{};
    SharedVector sensitivity{};
    double squares = 0, weights = 0;
    std::size_t inBlock = 0, blockCount = 0;
    const std::size_t size = blockSize(limb.points.size());
    for (std::size_t i = 0; i < limb.points.size(); ++i) {
        double residual = 0;
        const auto j = circleJacobian(limb.points[i], circle.disc, residual);
        const double w = circle.weights[i];
        for (std::size_t r = 0; r < 3; ++r) {
            for (std::size_t c = 0; c < 3; ++c)
                normal[r][c] += w * j[r] * j[c];
            block[r] += w * j[r] * residual;
            shift[r] -= w * j[r];
            alongX[r] -= w * j[r] * (limb.points[i].x - circle.disc.x) / circle.disc.radius;
            alongY[r] -= w * j[r] * (limb.points[i].y - circle.disc.y) / circle.disc.radius;
        }
        squares += w * residual * residual;
        weights += w;
        for (std::size_t c = 0; c < kShared; ++c)
            sensitivity[c] += w * ph.profiles[limb.profile[i]].sensitivity[c];
        if (++inBlock == size) {
            for (std::size_t r = 0; r < 3; ++r)
                for (std::size_t c = 0; c < 3; ++c)
                    blocks[r][c] += block[r] * block[c];
            block = {};
            inBlock = 0;
            ++blockCount;
        }
    }
    const auto inverse = inverseOf<3>(normal);
    if (!inverse || weights <= 3 || blockCount < 2)
        return {};
    const double variance = squares / (weights - 3);
    Matrix3 out = blockCovariance<3>(*inverse, blocks, blockCount, variance);
    // What a shift of the limb points, `pattern` being the normal equations' right side for a
    // pixel of it, does to (x, y, R); added to the covariance with the shift's variance.
    const auto addShift = [&](const std::array<double, 3> &pattern, double shiftVariance) {
        std::array<double, 3> moved{};
        for (std::size_t r = 0; r < 3; ++r)
            for (std::size_t c = 0; c < 3; ++c)
                moved[r] += (*inverse)[r][c] * pattern[c];
        for (std::size_t r = 0; r < 3; ++r)
            for (std::size_t c = 0; c < 3; ++c)
                out[r][c] += moved[r] * moved[c] * shiftVariance;
    };
    // The lit limb is relief seen edge-on: peaks standing out of the mean sphere soften the
    // step outwards, so that its half-light point lies outside the sphere by a part of the
    // step's width, alike all along the limb. Half the blur's σ, as one standard deviation.
    double common = 0.25 * ph.camera.sigma * ph.camera.sigma;
    for (std::size_t r = 0; r < kShared; ++r)
        for (std::size_t c = 0; c < kShared; ++c)
            common +=
                sensitivity[r] * ph.cameraCovariance[r][c] * sensitivity[c] / (weights * weights);
    addShift(shift, common);
    // Nor is the push the same all along the limb (rough highlands at one end, a sea at the
    // other): its parts in the cosine and the sine of the position angle move the centre. Some
    // eight stretches of the limb pushed independently, each by as much as the mean push, give
    // those parts half of it: a quarter of the blur's σ, as one standard deviation, each.
    const double tilted = 0.0625 * ph.camera.sigma * ph.camera.sigma;
    addShift(alongX, tilted);
    addShift(alongY, tilted);
    return out;
}

// The arc the kept profiles cover: the circle less its widest gap.
void limbArc(const LimbPoints &limb, const CircleFit &circle, LimbFit &fit)
{
    std::vector<double> angles;
    for (std::size_t i = 0; i < limb.points.size(); ++i)
        if (circle.weights[i] > 0)
            angles.push_back(
                std::atan2(limb.points[i].y - circle.disc.y, limb.points[i].x - circle.disc.x));
    if (angles.empty())
        return;
    std::sort(angles.begin(), angles.end());
    double gap = angles.front() + 2 * kPiD - angles.back();
    fit.arcFrom = angles.front();
    fit.arcTo = angles.back();
    for (std::size_t i = 1; i < angles.size(); ++i)
        if (angles[i] - angles[i - 1] > gap) {
            gap = angles[i] - angles[i - 1];
            fit.arcFrom = angles[i];
            fit.arcTo = angles[i - 1];
        }
}

void describeCamera(const Photometry &ph, LimbFit &fit)
{
    fit.blurSigma = ph.camera.sigma;
    fit.blurSigmaError = std::sqrt(std::max(0.0, ph.cameraCovariance[0][0]));
    fit.gamma = 1 / ph.camera.e;
    fit.gammaError = std::sqrt(std::max(0.0, ph.cameraCovariance[1][1])) * fit.gamma * fit.gamma;
    std::vector<double> sky, limb;
    for (const Profile &p : ph.profiles)
        if (p.active) {
            sky.push_back(p.p[1]);
            limb.push_back(std::min(255.0, p.p[2]));
        }
    fit.skyLevel = median(sky);
    fit.limbLevel = median(limb);
}

struct Pass {
    /// The disc the profiles run out from, and how far they reach about its radius.
    Disc origin;
    double band = 0;
    Photometry photometry;
    LimbPoints limb;
    CircleFit circle;
};

std::optional<Pass> gatherPass(const ImageView &image,
    const Disc &origin,
    double band,
    const std::vector<bool> &keep,
    const Camera &camera)
{
    Pass pass{origin, band, gatherProfiles(image, origin, band, keep, camera), {}, {}};
    if (activeCount(pass.photometry.profiles) < 12)
        return std::nullopt;
    return pass;
}

// The camera and the profiles' limbs fitted, then the circle on those limbs.
bool settle(Pass &pass, int iterations)
{
    fitPhotometry(pass.photometry, iterations);
    pass.limb = limbPoints(pass.photometry, pass.origin, pass.band);
    if (pass.limb.points.size() < 12)
        return false;
    pass.circle = robustCircle(pass.limb.points, pass.origin, 0.02);
    const Disc &d = pass.circle.disc;
    return pass.circle.ok && std::hypot(d.x - pass.origin.x, d.y - pass.origin.y) < pass.band
        && std::fabs(d.radius - pass.origin.radius) < pass.band;
}

// How much the light inside the limb changes, relative to the limb's, across the blurred
// step and a few pixels beyond.
double innerChange(const Profile &profile, const Camera &camera)
{
    const double depth = 3 * camera.sigma + 3;
    return std::fabs(profile.p[3] * depth + profile.p[4] * std::sqrt(depth));
}

// The profiles the circle kept; profiles off it once stay out (the ends of the terminator,
// stars, a crater on the limb), so that they pull neither the camera nor the circle.
std::vector<bool> keptProfiles(const Pass &pass)
{
    const auto &profiles = pass.photometry.profiles;
    std::vector<double> misfits, changes;
    for (const std::size_t k : pass.limb.profile) {
        misfits.push_back(profiles[k].misfit);
        changes.push_back(innerChange(profiles[k], pass.photometry.camera));
    }
    // A profile the model fits much worse than the others is not a clean edge either, nor one
    // whose light inside changes much more than the others' (a limb fading into the
    // terminator, a bright rim beside it): its inner terms cannot follow it there and its
    // edge is read off by up to a blur's width.
    const double limit = 2.5 * median(misfits);
    const double steep = std::max(0.33, 2 * median(changes));
    std::vector<bool> keep(profiles.size(), false);
    for (std::size_t i = 0; i < pass.limb.profile.size(); ++i)
        keep[pass.limb.profile[i]] = pass.circle.weights[i] > 0
            && profiles[pass.limb.profile[i]].misfit <= limit && changes[i] <= steep;
    return keep;
}

// The fit from the coarse disc: all profiles once, then those on the limb alone, gathered
// anew when the blur asks for a wider band or the centre moved.
std::optional<Pass> limbPass(const ImageView &image, const Disc &coarse)
{
    // About one profile per six pixels of limb: neighbours then share no pixel.
    const auto angles =
        static_cast<std::size_t>(std::clamp(coarse.radius * 2 * kPiD / 6, 96.0, 240.0));
    auto pass = gatherPass(image, coarse, 10, std::vector<bool>(angles, true), Camera{});
    // The first fit only sorts the profiles and sizes the band: a rough camera will do.
    if (!pass || !settle(*pass, 8))
        return std::nullopt;
    const std::vector<bool> keep = keptProfiles(*pass);
    const double band = std::clamp(5 * pass->photometry.camera.sigma + 4.5, 8.0, 40.0);
    const Disc &moved = pass->circle.disc;
    if (band > pass->band + 1
        || std::hypot(moved.x - coarse.x, moved.y - coarse.y)
                + std::fabs(moved.radius - coarse.radius)
            > 2) {
        auto again = gatherPass(image, moved, band, keep, pass->photometry.camera);
        if (!again || !settle(*again, 30))
            return std::nullopt;
        return again;
    }
    for (std::size_t k = 0; k < keep.size(); ++k)
        pass->photometry.profiles[k].active = pass->photometry.profiles[k].active && keep[k];
    if (!settle(*pass, 30))
        return std::nullopt;
    return pass;
}

} // namespace

LimbFit fitLimb(const ImageView &image, const Disc &start)
{
    LimbFit fit;
    if (image.empty() || !(start.radius > 0) || !std::isfinite(start.x) || !std::isfinite(start.y))
        return fit;
    const auto coarse = coarseDisc(image, start);
    if (!coarse || coarse->radius < kMinimumLimbRadius) {
        if ((coarse ? coarse->radius : start.radius) < kMinimumLimbRadius)
            fit.outcome = LimbFit::Outcome::TooSmall;
        return fit;
    }
    const auto pass = limbPass(image, *coarse);
    if (!pass)
        return fit;
    fit.outcome = LimbFit::Outcome::Fitted;
    fit.centreX = pass->circle.disc.x;
    fit.centreY = pass->circle.disc.y;
    fit.radius = pass->circle.disc.radius;
    fit.covariance = discCovariance(pass->limb, pass->circle, pass->photometry);
    fit.profiles = static_cast<int>(std::count_if(
        pass->circle.weights.begin(), pass->circle.weights.end(), [](double w) { return w > 0; }));
    limbArc(pass->limb, pass->circle, fit);
    describeCamera(pass->photometry, fit);
    return fit;
}

} // namespace measure
