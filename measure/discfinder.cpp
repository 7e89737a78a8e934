#include "measure/discfinder.h"

#include "measure/numeric.h"
#include "measure/real.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

// The search works in double, not in the extended format of the measurement: it runs over
// hundreds of thousands of pixels in a few milliseconds, and its results are rounded to whole
// pixels of a frame before anything is measured on them.

namespace measure {

namespace {

// The disc is found in double: pixel levels need no more, and a large photograph stays quick.
constexpr double kPiD = static_cast<double>(kPi);

struct Edge {
    float x;
    float y;
    float ux; // unit gradient, pointing to the brighter side
    float uy;
    float magnitude;
};

// Sobel magnitudes below this are grain, whatever the picture: a step of five levels.
constexpr float kMinimumEdge = 20.0f;
// Beyond this many edge points the threshold rises, so that the search stays fast on a
// picture full of texture.
constexpr std::size_t kMaxEdges = 12000;
constexpr int kTrials = 600;
// A limb pixel's gradient points to the centre within this angle.
const double kCosInward = std::cos(35.0 * kPiD / 180.0);
constexpr int kArcBins = 72;
// At least this much of the circle must show as limb: a thin crescent shows half of it.
constexpr int kMinArcBins = 20;
// Limb pixels along the arcs that show, per pixel of their length (about one for a clean edge).
constexpr double kMinDensity = 0.4;

std::uint8_t at(const GreyPixels &p, int x, int y)
{
    return p.data[static_cast<std::ptrdiff_t>(y) * p.stride + x];
}

// Edge points: Sobel gradients that are local maxima across the edge and stand out from the
// picture's own contrast.
std::vector<Edge> edgePoints(const GreyPixels &p)
{
    const int w = p.width;
    const int h = p.height;
    std::vector<float> gx(std::size_t(w) * std::size_t(h), 0.0f);
    std::vector<float> gy(gx.size(), 0.0f);
    std::vector<float> magnitude(gx.size(), 0.0f);
    std::array<std::uint32_t, 2048> histogram{};
    for (int y = 1; y + 1 < h; ++y) {
        for (int x = 1; x + 1 < w; ++x) {
            const int a = at(p, x - 1, y - 1), b = at(p, x, y - 1), c = at(p, x + 1, y - 1);
            const int d = at(p, x - 1, y), f = at(p, x + 1, y);
            const int g = at(p, x - 1, y + 1), k = at(p, x, y + 1), l = at(p, x + 1, y + 1);
            const float sx = static_cast<float>((c + 2 * f + l) - (a + 2 * d + g));
            const float sy = static_cast<float>((g + 2 * k + l) - (a + 2 * b + c));
            const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
            gx[i] = sx;
            gy[i] = sy;
            magnitude[i] = std::sqrt(sx * sx + sy * sy);
            ++histogram[std::min<std::size_t>(histogram.size() - 1, std::size_t(magnitude[i]))];
        }
    }
    // A third of the contrast of the strongest thousandth of the picture's edges.
    const std::uint64_t pixels = std::uint64_t(w) * std::uint64_t(h);
    std::uint64_t above = 0;
    std::size_t strong = histogram.size() - 1;
    while (strong > 0 && above + histogram[strong] < pixels / 1000 + 1)
        above += histogram[strong--];
    float threshold = std::max(kMinimumEdge, static_cast<float>(strong) / 3.0f);

    std::vector<Edge> edges;
    for (;;) {
        edges.clear();
        for (int y = 2; y + 2 < h && edges.size() <= kMaxEdges; ++y) {
            for (int x = 2; x + 2 < w; ++x) {
                const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
                const float m = magnitude[i];
                if (m < threshold)
                    continue;
                // The neighbours across the edge, along the gradient rounded to 45°.
                const int dx =
                    std::abs(gx[i]) * 2.4142f < std::abs(gy[i]) ? 0 : (gx[i] > 0 ? 1 : -1);
                const int dy =
                    std::abs(gy[i]) * 2.4142f < std::abs(gx[i]) ? 0 : (gy[i] > 0 ? 1 : -1);
                // Unsigned wrap-around gives i ± step exactly; the border keeps both in range.
                const auto step = static_cast<std::size_t>(std::ptrdiff_t(dy) * w + dx);
                if (m < magnitude[i + step] || m <= magnitude[i - step])
                    continue;
                edges.push_back({float(x), float(y), gx[i] / m, gy[i] / m, m});
            }
        }
        if (edges.size() <= kMaxEdges)
            return edges;
        threshold *= 1.25f;
    }
}

// The circle through three points; false when they are (nearly) in a line.
bool circleThrough(const Edge &a, const Edge &b, const Edge &c, Disc &disc)
{
    const double bx = b.x - a.x, by = b.y - a.y, cx = c.x - a.x, cy = c.y - a.y;
    const double d = 2 * (bx * cy - by * cx);
    if (std::abs(d) < 1e-6)
        return false;
    const double b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
    const double ox = (cy * b2 - by * c2) / d, oy = (bx * c2 - cx * b2) / d;
    disc = {a.x + ox, a.y + oy, std::sqrt(ox * ox + oy * oy)};
    return true;
}

bool isLimb(const Edge &e, const Disc &disc, double tolerance)
{
    const double dx = disc.x - e.x, dy = disc.y - e.y;
    const double distance = std::sqrt(dx * dx + dy * dy);
    if (std::abs(distance - disc.radius) > tolerance || distance == 0)
        return false;
    // Brighter inside: a crescent's terminator has the sky side of its gradient towards the
    // centre, so it never counts.
    return (dx * e.ux + dy * e.uy) >= kCosInward * distance;
}

double tolerance(const Disc &disc)
{
    return std::max(1.5, 0.02 * disc.radius);
}

struct Point {
    double x;
    double y;
};

// Least squares on the distances to the circle (Gauss–Newton from `disc`); the algebraic fit
// is biased on a short arc, which a crescent is.
Disc fitCircle(const std::vector<Point> &points, Disc disc)
{
    for (int iteration = 0; iteration < 12; ++iteration) {
        // The normal equations JᵀJ · step = −Jᵀr of the distances' residuals.
        std::array<std::array<real, 3>, 3> normal{};
        std::array<real, 3> rhs{};
        for (const Point &p : points) {
            const double dx = p.x - disc.x, dy = p.y - disc.y;
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d == 0)
                continue;
            const std::array<real, 3> j{-dx / d, -dy / d, -1};
            const real residual = d - disc.radius;
            for (std::size_t r = 0; r < 3; ++r) {
                for (std::size_t c = 0; c < 3; ++c)
                    normal[r][c] += j[r] * j[c];
                rhs[r] -= j[r] * residual;
            }
        }
        const std::optional<std::array<real, 3>> solved = solveLinear<3>(normal, rhs);
        if (!solved)
            break;
        const double step[3] = {static_cast<double>((*solved)[0]),
            static_cast<double>((*solved)[1]),
            static_cast<double>((*solved)[2])};
        disc = {disc.x + step[0], disc.y + step[1], disc.radius + step[2]};
        if (std::abs(step[0]) + std::abs(step[1]) + std::abs(step[2]) < 1e-4)
            break;
    }
    return disc;
}

std::vector<Point> limbPoints(const std::vector<Edge> &edges, const Disc &disc)
{
    std::vector<Point> points;
    const double tol = tolerance(disc);
    for (const Edge &e : edges)
        if (isLimb(e, disc, tol))
            points.push_back({e.x, e.y});
    return points;
}

int arcBins(const std::vector<Point> &points, const Disc &disc)
{
    std::array<bool, kArcBins> seen{};
    for (const Point &p : points) {
        const double angle = std::atan2(p.y - disc.y, p.x - disc.x) + kPiD;
        const int bin = std::min(kArcBins - 1, static_cast<int>(angle / (2 * kPiD) * kArcBins));
        seen[static_cast<std::size_t>(bin)] = true;
    }
    return static_cast<int>(std::count(seen.begin(), seen.end(), true));
}

// A deterministic generator: the same picture always gives the same disc.
using Random = Xorshift;

double bilinear(const GreyPixels &p, double x, double y)
{
    const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    const double fx = x - x0, fy = y - y0;
    const double top = at(p, x0, y0) * (1 - fx) + at(p, x0 + 1, y0) * fx;
    const double bottom = at(p, x0, y0 + 1) * (1 - fx) + at(p, x0 + 1, y0 + 1) * fx;
    return top * (1 - fy) + bottom * fy;
}

struct Crossing {
    Point point;
    double drop;
};

// Along the ray at `angle` from the centre, within `band` of the radius: where the brightness
// falls fastest going out, to a fraction of a pixel. Three parallel rays are averaged against
// the grain.
std::optional<Crossing> limbCrossing(
    const GreyPixels &p, const Disc &disc, double angle, double band)
{
    constexpr double kStep = 0.5;
    const double ux = std::cos(angle), uy = std::sin(angle);
    const int samples = static_cast<int>(2 * band / kStep) + 1;
    if (samples < 5)
        return std::nullopt;
    std::vector<double> profile(static_cast<std::size_t>(samples));
    for (int k = 0; k < samples; ++k) {
        const double rho = disc.radius - band + k * kStep;
        double sum = 0;
        for (int t = -1; t <= 1; ++t) {
            const double x = disc.x + rho * ux - t * uy, y = disc.y + rho * uy + t * ux;
            if (x < 0 || y < 0 || x > p.width - 2 || y > p.height - 2)
                return std::nullopt;
            sum += bilinear(p, x, y);
        }
        profile[std::size_t(k)] = sum / 3;
    }
    int best = -1;
    double bestDrop = 0;
    std::vector<double> drop(profile.size(), 0.0);
    for (int k = 2; k + 2 < samples; ++k) {
        drop[std::size_t(k)] = profile[std::size_t(k - 2)] - profile[std::size_t(k + 2)];
        if (drop[std::size_t(k)] > bestDrop) {
            bestDrop = drop[std::size_t(k)];
            best = k;
        }
    }
    if (best < 3 || best + 3 >= samples)
        return std::nullopt;
    const double a = drop[std::size_t(best - 1)], b = drop[std::size_t(best)],
                 c = drop[std::size_t(best + 1)];
    const double curvature = a - 2 * b + c;
    const double offset = curvature < 0 ? 0.5 * (a - c) / curvature : 0;
    const double rho = disc.radius - band + (best + std::clamp(offset, -0.5, 0.5)) * kStep;
    return Crossing{{disc.x + rho * ux, disc.y + rho * uy}, bestDrop};
}

} // namespace

std::optional<Disc> findDisc(const GreyPixels &picture)
{
    if (!picture.data || picture.width < 16 || picture.height < 16)
        return std::nullopt;
    const std::vector<Edge> edges = edgePoints(picture);
    if (edges.size() < 3)
        return std::nullopt;
    const double smallest = 0.03 * std::min(picture.width, picture.height);
    const double largest = std::max(picture.width, picture.height);

    Random random;
    Disc best;
    double bestScore = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        const Edge &a = edges[random.below(edges.size())];
        const Edge &b = edges[random.below(edges.size())];
        const Edge &c = edges[random.below(edges.size())];
        Disc disc;
        if (!circleThrough(a, b, c, disc) || disc.radius < smallest || disc.radius > largest)
            continue;
        const double tol = tolerance(disc);
        if (!isLimb(a, disc, tol) || !isLimb(b, disc, tol) || !isLimb(c, disc, tol))
            continue;
        double score = 0;
        for (const Edge &e : edges)
            if (isLimb(e, disc, tol))
                score += e.magnitude;
        if (score > bestScore) {
            bestScore = score;
            best = disc;
        }
    }
    if (bestScore == 0)
        return std::nullopt;

    std::vector<Point> points;
    for (int round = 0; round < 4; ++round) {
        points = limbPoints(edges, best);
        if (points.size() < 8)
            return std::nullopt;
        best = fitCircle(points, best);
    }
    points = limbPoints(edges, best);
    const int bins = arcBins(points, best);
    const double arcLength = best.radius * 2 * kPiD * bins / kArcBins;
    if (bins < kMinArcBins || static_cast<double>(points.size()) < kMinDensity * arcLength
        || best.radius < smallest)
        return std::nullopt;
    return best;
}

Disc refineDisc(const GreyPixels &picture, const Disc &guess, double band)
{
    if (!picture.data || picture.width < 4 || picture.height < 4 || guess.radius <= 0)
        return guess;
    Disc disc = guess;
    // A wide band first, where the guess may be off by a few pixels; then a narrow one about
    // the first fit, which leaves out the terminator near the cusps.
    for (const double width : {band, std::max(3.0, band / 4)}) {
        const int rays = std::clamp(static_cast<int>(disc.radius * 2 * kPiD / 2), 90, 1440);
        std::vector<Crossing> crossings;
        for (int i = 0; i < rays; ++i)
            if (auto crossing = limbCrossing(picture, disc, 2 * kPiD * i / rays, width))
                crossings.push_back(*crossing);
        if (crossings.size() < 16)
            return disc;
        // The lit limb is the strong edge; the unlit one gives no drop but the grain's.
        std::vector<double> drops;
        for (const Crossing &c : crossings)
            drops.push_back(c.drop);
        std::nth_element(drops.begin(), drops.begin() + long(drops.size() * 9 / 10), drops.end());
        const double strong = drops[drops.size() * 9 / 10];
        std::vector<Point> points;
        for (const Crossing &c : crossings)
            if (c.drop >= 0.4 * strong)
                points.push_back(c.point);
        if (points.size() < 16)
            return disc;
        Disc fitted = fitCircle(points, disc);
        // Points off the circle by more than three deviations go: craters on the limb, the
        // ends of the terminator.
        for (int round = 0; round < 3; ++round) {
            std::vector<double> residuals;
            for (const Point &p : points)
                residuals.push_back(
                    std::abs(std::hypot(p.x - fitted.x, p.y - fitted.y) - fitted.radius));
            std::vector<double> sorted = residuals;
            std::nth_element(
                sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
            const double limit = std::max(0.5, 3 * 1.4826 * sorted[sorted.size() / 2]);
            std::vector<Point> kept;
            for (std::size_t i = 0; i < points.size(); ++i)
                if (residuals[i] <= limit)
                    kept.push_back(points[i]);
            if (kept.size() < 16)
                break;
            points.swap(kept);
            fitted = fitCircle(points, fitted);
        }
        if (!std::isfinite(fitted.x) || !std::isfinite(fitted.y) || !(fitted.radius > 0)
            || std::hypot(fitted.x - disc.x, fitted.y - disc.y) > width
            || std::abs(fitted.radius - disc.radius) > width)
            return disc;
        disc = fitted;
    }
    return disc;
}

Framing frameDisc(
    const Disc &disc, int pictureWidth, int pictureHeight, int visibleWidth, int visibleHeight)
{
    // A tenth of the diameter on each side: 1.2 radii from the centre.
    const double reach = 1.2 * disc.radius;
    const int left = std::max(0, static_cast<int>(std::floor(disc.x - reach)));
    const int top = std::max(0, static_cast<int>(std::floor(disc.y - reach)));
    const int right = std::min(pictureWidth, static_cast<int>(std::ceil(disc.x + reach)) + 1);
    const int bottom = std::min(pictureHeight, static_cast<int>(std::ceil(disc.y + reach)) + 1);
    Framing framing{left, top, std::max(0, right - left), std::max(0, bottom - top), 1};
    const auto fits = [&](int x, int y, int factor) {
        return (right - x + factor - 1) / factor <= std::max(1, visibleWidth)
            && (bottom - y + factor - 1) / factor <= std::max(1, visibleHeight);
    };
    while (!fits(left, top, framing.factor))
        ++framing.factor;
    // A part that starts on a multiple of the factor lets a JPEG be reduced by its inverse
    // transform rather than by averaging; taken only when it still fits at the same factor.
    const int f = framing.factor;
    const int alignedLeft = left / f * f, alignedTop = top / f * f;
    if (f > 1 && fits(alignedLeft, alignedTop, f)) {
        framing.x = alignedLeft;
        framing.y = alignedTop;
        framing.width = right - alignedLeft;
        framing.height = bottom - alignedTop;
    }
    return framing;
}

} // namespace measure
