#include "measure/shadowfind.h"

#include "measure/numeric.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

namespace measure {

namespace {

// Near either end of a shadow the photograph shows the apex of a dark region bounded by two
// straight edges: the tip of a cone's shadow, the end of a ridge's (two edges in line), the
// summit where the lit flank meets the dark one. Where the edges cross is the point sought;
// with a blur, the level at that point is not the half-way level, and a narrow tip loses its
// last pixels altogether, so the whole apex is fitted instead of reading a threshold. The fit
// runs in linear light: the blur acts on light, the tone curve only afterwards.
//
// Parameters: the apex, the half-angles of the dark region on either side of its axis (its
// axis lies along the Sun's direction on the picture; projection makes the two sides differ),
// the blur, the penumbra (given: the Sun's disc spreads the end of a shadow along its length
// over a pixel or more under a low Sun), the black point, the level of the lit ground and its slope
// along and across the axis (a lit flank is shaded by its own curvature; the ground beside it is
// not as bright).
enum Param : std::size_t {
    kApexX,
    kApexY,
    kHalf1,
    kHalf2,
    kBlur,
    kPenumbra,
    kBlack,
    kScale,
    kSlopeAlong,
    kSlopeAcross,
    kParams
};
using Params = std::array<real, kParams>;
using Matrix = std::array<std::array<real, kParams>, kParams>;

struct Pixel {
    real x = 0;
    real y = 0;
    real level = 0;
};

struct Problem {
    std::vector<Pixel> pixels;
    /// Unit vector along the axis of the dark region, pointing into it.
    real axisX = 0;
    real axisY = 0;
    real inverseGamma = 1;
    /// The line the apex is expected on, and how strongly: a straight edge (a ridge's end)
    /// says nothing about where along it the apex lies, so the line through the click holds it.
    PicturePoint line;
    real lineWeight = 0;
    /// The click, which holds the apex loosely along the axis too, so that a fit on a faint
    /// edge cannot wander off to another.
    PicturePoint click;
    real clickWeight = 0;
    bool blurFixed = false;
    /// The shadow's own level, when the shadow shows it: a narrow tip never reaches it.
    bool blackFixed = false;
    /// The penumbra is fitted up to this, from the geometry's figure; 0 at a summit, which has
    /// none.
    real penumbraMax = 0;
};

struct Fit {
    Params p{};
    real rms = 0;
    real varX = 0;
    real varXY = 0;
    real varY = 0;
};

// The window's edge: wide enough for the blur and both edges, short of the shadow's other end.
constexpr real kMinWindowPx = 2.5L;
constexpr real kMaxWindowPx = 8;
// The click that the photograph does not confirm within this distance stands.
constexpr real kMaxShiftPx = 3.5L;
// How far a click may be from the line the apex lies on, and from the apex along the axis, in
// px (one standard deviation).
constexpr real kLineSigmaPx = 1.5L;
constexpr real kClickSigmaPx = 2.5L;
// A summit is sought on the line through the end found: a tenth of a pixel off it, at most.
constexpr real kOnLineSigmaPx = 0.1L;
// An edge fainter than this many times the grain is not one the fit can be trusted on.
constexpr real kMinContrastToNoise = 6;
constexpr real kMinContrastLevels = 5;
// What the model leaves out (the flank's own shading, edges not quite straight, a pixel that
// is a box and not a Gaussian) moves the apex by about a tenth of a pixel and of the blur.
constexpr real kModelErrorPx = 0.15L;
constexpr real kModelErrorPerBlur = 0.1L;
constexpr real kModelErrorPerPenumbra = 0.2L;
// No edge of a shadow's tip or of a lit flank runs closer than this to the Sun's direction
// (a tip of 8° on either side is a flank barely steeper than the Sun is high, seen
// foreshortened); narrower, the fit would take a lateral edge for the apex and slide along it.
constexpr real kNarrowest = 8 * kPiOver180;
// Levels at or above this are clipped and say nothing about the light.
constexpr real kClipped = 254.5L;

// The model of the light runs in double: it is a model to a thousandth, and the fit's inner
// loop evaluates it some hundred thousand times per end.
double normalCdf(double z)
{
    return 0.5 * std::erfc(-z / std::sqrt(2.0));
}

// The blurred step along the axis: a Gaussian of the seeing, and the penumbra as a uniform
// spread of ±half (the Sun's disc seen edge-on, of the same variance).
double smearedStep(double x, double sigma, double half)
{
    if (half < 1e-3)
        return normalCdf(x / sigma);
    auto g = [sigma](double u) {
        return u * normalCdf(u / sigma)
            + sigma * std::exp(-u * u / (2 * sigma * sigma)) / std::sqrt(2 * M_PI);
    };
    return (g(x + half) - g(x - half)) / (2 * half);
}

// The share of a pixel's light that the dark region takes after the blur: the Gaussian's
// share of the wedge, integrated across the axis by Simpson's rule.
real darkShare(real x, real y, real cot1, real cot2, real sigma, real penumbra)
{
    constexpr int kSteps = 24;
    const auto s = static_cast<double>(sigma);
    const auto half = static_cast<double>(penumbra);
    const auto c1 = static_cast<double>(cot1);
    const auto c2 = static_cast<double>(cot2);
    const double reach = 4.5 * s;
    const double step = 2 * reach / kSteps;
    double sum = 0;
    double weights = 0;
    for (int k = 0; k <= kSteps; ++k) {
        const double eta = -reach + k * step;
        const double t = static_cast<double>(y) + eta;
        const double edge = t >= 0 ? t * c1 : -t * c2;
        const double simpson = k == 0 || k == kSteps ? 1 : (k % 2 ? 4 : 2);
        const double w = simpson * std::exp(-eta * eta / (2 * s * s));
        sum += w * smearedStep(static_cast<double>(x) - edge, s, half);
        weights += w;
    }
    return static_cast<real>(sum / weights);
}

std::vector<real> residuals(const Problem &problem, const Params &p)
{
    const real cot1 = std::cos(p[kHalf1]) / std::sin(p[kHalf1]);
    const real cot2 = std::cos(p[kHalf2]) / std::sin(p[kHalf2]);
    const real nx = -problem.axisY;
    const real ny = problem.axisX;
    std::vector<real> out;
    out.reserve(problem.pixels.size() + 1);
    for (const Pixel &px : problem.pixels) {
        const real rx = px.x - p[kApexX];
        const real ry = px.y - p[kApexY];
        const real along = rx * problem.axisX + ry * problem.axisY;
        const real across = rx * nx + ry * ny;
        const real lit = (1 - darkShare(along, across, cot1, cot2, p[kBlur], p[kPenumbra]))
            * (1 + p[kSlopeAlong] * along + p[kSlopeAcross] * across);
        out.push_back(p[kBlack] + p[kScale] * std::pow(std::max<real>(lit, 0), problem.inverseGamma)
            - px.level);
    }
    const real off = (p[kApexX] - problem.line.x) * nx + (p[kApexY] - problem.line.y) * ny;
    out.push_back(problem.lineWeight * off);
    const real ahead = (p[kApexX] - problem.click.x) * problem.axisX
        + (p[kApexY] - problem.click.y) * problem.axisY;
    out.push_back(problem.clickWeight * ahead);
    return out;
}

real sumOfSquares(const std::vector<real> &r)
{
    real s = 0;
    for (const real v : r)
        s += v * v;
    return s;
}

void keepInRange(Params &p, real penumbraMax)
{
    p[kPenumbra] = std::clamp<real>(p[kPenumbra], 0, penumbraMax);
    p[kHalf1] = std::clamp<real>(p[kHalf1], kNarrowest, kPi - kNarrowest);
    p[kHalf2] = std::clamp<real>(p[kHalf2], kNarrowest, kPi - kNarrowest);
    p[kBlur] = std::clamp<real>(p[kBlur], 0.3L, 6);
    p[kScale] = std::max<real>(p[kScale], 1);
    p[kSlopeAlong] = std::clamp<real>(p[kSlopeAlong], -0.3L, 0.3L);
    p[kSlopeAcross] = std::clamp<real>(p[kSlopeAcross], -0.3L, 0.3L);
}

// JᵀJ and Jᵀr by central differences; a fixed parameter keeps a unit row so it never moves.
void normalEquations(const Problem &problem, const Params &p, Matrix &jtj, Params &jtr)
{
    static constexpr Params kStep{
        1e-3L, 1e-3L, 1e-3L, 1e-3L, 1e-3L, 1e-3L, 1e-2L, 1e-2L, 1e-4L, 1e-4L};
    const std::vector<real> r0 = residuals(problem, p);
    std::array<std::vector<real>, kParams> columns;
    for (std::size_t i = 0; i < kParams; ++i) {
        if ((i == kBlur && problem.blurFixed) || (i == kBlack && problem.blackFixed)
            || (i == kPenumbra && !(problem.penumbraMax > 0)))
            continue;
        Params up = p;
        Params down = p;
        up[i] += kStep[i];
        down[i] -= kStep[i];
        const std::vector<real> hi = residuals(problem, up);
        const std::vector<real> lo = residuals(problem, down);
        columns[i].resize(r0.size());
        for (std::size_t k = 0; k < r0.size(); ++k)
            columns[i][k] = (hi[k] - lo[k]) / (2 * kStep[i]);
    }
    for (std::size_t i = 0; i < kParams; ++i) {
        jtr[i] = 0;
        for (std::size_t j = 0; j < kParams; ++j)
            jtj[i][j] = i == j ? 1 : 0;
        if (columns[i].empty())
            continue;
        for (std::size_t j = 0; j < kParams; ++j) {
            if (columns[j].empty())
                continue;
            real s = 0;
            for (std::size_t k = 0; k < r0.size(); ++k)
                s += columns[i][k] * columns[j][k];
            jtj[i][j] = s;
        }
        for (std::size_t k = 0; k < r0.size(); ++k)
            jtr[i] += columns[i][k] * r0[k];
    }
}

real largestDiagonal(const Matrix &m)
{
    real largest = 0;
    for (std::size_t i = 0; i < kParams; ++i)
        largest = std::max(largest, m[i][i]);
    return largest;
}

// The fit at `p` with the covariance of its apex: the inverse of JᵀJ scaled by the residuals,
// so that a model that fits badly says so in its uncertainty.
std::optional<Fit> finished(const Problem &problem, const Params &p)
{
    Matrix jtj{};
    Params jtr{};
    normalEquations(problem, p, jtj, jtr);
    const real ridge = 1e-9L * largestDiagonal(jtj);
    for (std::size_t i = 0; i < kParams; ++i)
        jtj[i][i] += ridge;
    const auto colX = solveLinear<kParams>(jtj, Params{1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const auto colY = solveLinear<kParams>(jtj, Params{0, 1, 0, 0, 0, 0, 0, 0, 0, 0});
    const auto count = static_cast<real>(problem.pixels.size());
    const real freedom = count - kParams + (problem.penumbraMax > 0 ? 0 : 1)
        + (problem.blurFixed ? 1 : 0) + (problem.blackFixed ? 1 : 0);
    if (!colX || !colY || !(freedom > 0))
        return std::nullopt;
    Fit fit;
    fit.p = p;
    const std::vector<real> r = residuals(problem, p);
    const real priors = r[r.size() - 1] * r[r.size() - 1] + r[r.size() - 2] * r[r.size() - 2];
    fit.rms = std::sqrt(std::max<real>(sumOfSquares(r) - priors, 0) / freedom);
    const real s2 = fit.rms * fit.rms;
    fit.varX = s2 * (*colX)[kApexX];
    fit.varXY = s2 * (*colX)[kApexY];
    fit.varY = s2 * (*colY)[kApexY];
    return fit;
}

// Levenberg–Marquardt from `p`.
std::optional<Fit> leastSquares(const Problem &problem, Params p)
{
    keepInRange(p, problem.penumbraMax);
    real cost = sumOfSquares(residuals(problem, p));
    real lambda = 1e-3L;
    Matrix jtj{};
    Params jtr{};
    bool moved = true;
    for (int iteration = 0; iteration < 40 && lambda < 1e8L; ++iteration) {
        // A rejected step leaves the parameters, and so the normal equations, as they were.
        if (moved)
            normalEquations(problem, p, jtj, jtr);
        moved = false;
        Matrix damped = jtj;
        Params rhs{};
        // A parameter the window says nothing about (the slope across a narrow tip, a
        // half-angle whose edge lies outside) still gets a little damping, never a zero pivot.
        const real floor = lambda * 1e-6L * largestDiagonal(jtj);
        for (std::size_t i = 0; i < kParams; ++i) {
            damped[i][i] = damped[i][i] * (1 + lambda) + floor;
            rhs[i] = -jtr[i];
        }
        const auto delta = solveLinear<kParams>(damped, rhs);
        if (!delta)
            return std::nullopt;
        Params next = p;
        for (std::size_t i = 0; i < kParams; ++i)
            next[i] += (*delta)[i];
        keepInRange(next, problem.penumbraMax);
        const real nextCost = sumOfSquares(residuals(problem, next));
        if (!(nextCost < cost)) {
            lambda *= 4;
            continue;
        }
        const real step = std::hypot((*delta)[kApexX], (*delta)[kApexY]);
        p = next;
        cost = nextCost;
        moved = true;
        lambda = std::max<real>(lambda / 3, 1e-7L);
        if (step < 1e-4L)
            break;
    }
    return finished(problem, p);
}

std::vector<Pixel> windowPixels(const ImageView &image, PicturePoint centre, real radius)
{
    std::vector<Pixel> out;
    const int i0 = static_cast<int>(std::floor(centre.x - radius));
    const int j0 = static_cast<int>(std::floor(centre.y - radius));
    const int i1 = static_cast<int>(std::ceil(centre.x + radius));
    const int j1 = static_cast<int>(std::ceil(centre.y + radius));
    if (i0 < 0 || j0 < 0 || i1 >= image.width || j1 >= image.height)
        return out;
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i) {
            const real level = image.level(i, j);
            if (std::hypot(i - centre.x, j - centre.y) <= radius && level < kClipped)
                out.push_back({static_cast<real>(i), static_cast<real>(j), level});
        }
    return out;
}

// The first guess: the apex at `at` between two half-planes (a straight edge), the darkest and
// brightest pixels for the black point and the light.
Params startAt(const Problem &problem, PicturePoint at, real blur)
{
    real darkest = 255;
    real brightest = 0;
    for (const Pixel &px : problem.pixels) {
        darkest = std::min(darkest, px.level);
        brightest = std::max(brightest, px.level);
    }
    return {at.x, at.y, kPi / 2, kPi / 2, blur, 0, darkest, brightest - darkest, 0, 0};
}

struct EdgeSearch {
    PicturePoint click;
    /// Into the dark region, unit.
    real axisX = 0;
    real axisY = 0;
    /// A point of the line along the axis on which the apex is expected, and how far off it.
    PicturePoint line;
    real lineSigmaPx = kLineSigmaPx;
    real windowPx = kMaxWindowPx;
    std::optional<real> black;
    /// Half the spread of the Sun's disc along the axis, px.
    real penumbraPx = 0;
};

// Fits the apex on the window about `centre`, from each of `starts`, keeping the best.
std::optional<Fit> fitWindow(const ImageView &image,
    const EdgeSearch &search,
    const CameraResponse &camera,
    PicturePoint centre,
    const std::vector<Params> &starts,
    real noise)
{
    Problem problem;
    problem.pixels = windowPixels(image, centre, search.windowPx);
    if (problem.pixels.size() < 12)
        return std::nullopt;
    problem.axisX = search.axisX;
    problem.axisY = search.axisY;
    problem.inverseGamma = camera.gamma > 0 ? 1 / camera.gamma : 1;
    problem.line = search.line;
    problem.lineWeight = noise / search.lineSigmaPx;
    problem.click = search.click;
    problem.clickWeight = noise / kClickSigmaPx;
    problem.blurFixed = camera.blurSigmaPx > 0;
    problem.blackFixed = search.black.has_value();
    // The figure from the geometry is that of a plain sphere; the ground's own slope and the
    // curvature under a grazing Sun change it by as much.
    problem.penumbraMax = 2 * search.penumbraPx;
    std::optional<Fit> best;
    real bestRms = 0;
    for (Params start : starts) {
        if (start[kScale] <= 0)
            start = startAt(problem, {start[kApexX], start[kApexY]}, start[kBlur]);
        if (search.black)
            start[kBlack] = *search.black;
        start[kPenumbra] = search.penumbraPx;
        const std::optional<Fit> fit = leastSquares(problem, start);
        if (fit && (!best || fit->rms < bestRms)) {
            best = fit;
            bestRms = fit->rms;
        }
    }
    return best;
}

// The apex's variance along the axis: across it, a straight edge leaves the apex to the line.
real alongVariance(const Fit &fit, const EdgeSearch &search)
{
    return search.axisX * search.axisX * fit.varX + 2 * search.axisX * search.axisY * fit.varXY
        + search.axisY * search.axisY * fit.varY;
}

RefinedPoint findApex(
    const ImageView &image, const EdgeSearch &search, const CameraResponse &camera)
{
    RefinedPoint out;
    out.point = search.click;
    const real blur = camera.blurSigmaPx > 0 ? camera.blurSigmaPx : 1;
    if (windowPixels(image, search.click, search.windowPx + kMaxShiftPx).empty()) {
        out.outcome = EdgeOutcome::OffPicture;
        return out;
    }
    // Three starts along the axis, since a click may be a pixel and a half from the edge;
    // then once more on a window centred where the first fit put the apex.
    std::vector<Params> starts;
    for (const real shift : {-1.5L, 0.0L, 1.5L})
        starts.push_back(Params{search.click.x + shift * search.axisX,
            search.click.y + shift * search.axisY,
            0,
            0,
            blur,
            search.penumbraPx,
            0,
            0,
            0,
            0});
    const std::optional<Fit> first = fitWindow(image, search, camera, search.click, starts, 2);
    if (!first)
        return out;
    const PicturePoint moved{first->p[kApexX], first->p[kApexY]};
    const std::optional<Fit> fit =
        fitWindow(image, search, camera, moved, {first->p}, std::max<real>(first->rms, 0.5L));
    if (!fit)
        return out;
    const PicturePoint apex{fit->p[kApexX], fit->p[kApexY]};
    const real contrast = fit->p[kScale];
    const bool clear = contrast >= kMinContrastLevels && contrast >= kMinContrastToNoise * fit->rms
        && std::hypot(apex.x - search.click.x, apex.y - search.click.y) <= kMaxShiftPx
        && alongVariance(*fit, search) < 1;
    if (!clear)
        return out;
    // The penumbra's shape (a uniform spread for the Sun's disc, a plain sphere for the
    // ground) is known to about a fifth of its size.
    const real model = kModelErrorPx + kModelErrorPerBlur * fit->p[kBlur]
        + kModelErrorPerPenumbra * search.penumbraPx;
    out.outcome = EdgeOutcome::Found;
    out.point = apex;
    out.varX = fit->varX + model * model;
    out.varXY = fit->varXY;
    out.varY = fit->varY + model * model;
    out.blurPx = fit->p[kBlur];
    out.contrast = contrast;
    return out;
}

// The level of the shadow's darkest part: the mean of the darkest pixels along the two clicks'
// segment. None for a segment off the picture.
std::optional<real> shadowLevel(const ImageView &image, PicturePoint top, PicturePoint end)
{
    constexpr std::size_t kDarkest = 5;
    std::vector<real> levels;
    const real length = std::hypot(end.x - top.x, end.y - top.y);
    const int steps = std::max(1, static_cast<int>(std::ceil(2 * length)));
    for (int k = 0; k <= steps; ++k) {
        const real f = static_cast<real>(k) / steps;
        const double level = sampleLevel(image,
            static_cast<double>(top.x + f * (end.x - top.x)),
            static_cast<double>(top.y + f * (end.y - top.y)));
        if (!std::isnan(level))
            levels.push_back(static_cast<real>(level));
    }
    if (levels.size() < kDarkest)
        return std::nullopt;
    std::partial_sort(levels.begin(), levels.begin() + kDarkest, levels.end());
    real sum = 0;
    for (std::size_t k = 0; k < kDarkest; ++k)
        sum += levels[k];
    return sum / kDarkest;
}

// Half the spread, along the shadow, of the end of a shadow `length` px long: the Sun's disc,
// of angular radius kSunRadius, lengthens a shadow cast under an elevation e by length × kSunRadius
// / (sin e cos e) where its upper edge and shortens it as much where its lower edge grazes the
// summit; the uniform spread of the same variance is √3/2 of that.
real penumbra(const MoonModel &model, PicturePoint end, real length)
{
    constexpr real kSunRadius = 0.2666L * kPiOver180;
    const std::optional<Vec3> ground = surfacePoint(model, end.x, end.y);
    if (!ground)
        return 0;
    const real sine = dot(*ground, sunDirection(model));
    const real cosine = std::sqrt(std::max<real>(1 - sine * sine, 0));
    if (!(sine > 0.01L))
        return 0;
    return std::sqrt(3.0L) / 2 * length * kSunRadius / (sine * cosine) + 0.25L;
}

// The Sun's direction on the picture, unit: the way from the end of a shadow to its summit.
std::optional<PicturePoint> sunOnPicture(const MoonModel &model)
{
    const Vec3 sun = sunDirection(model);
    const real c = std::cos(model.theta);
    const real s = std::sin(model.theta);
    const real dx = c * sun.x - s * sun.y;
    const real dy = s * sun.x + c * sun.y;
    const real norm = std::hypot(dx, dy);
    if (!(norm > 1e-6L))
        return std::nullopt;
    return PicturePoint{dx / norm, dy / norm};
}

} // namespace

ShadowEnds findShadowEnds(const ImageView &image,
    const MoonModel &model,
    PicturePoint topClick,
    PicturePoint endClick,
    const CameraResponse &camera)
{
    ShadowEnds ends;
    ends.top.point = topClick;
    ends.end.point = endClick;
    const std::optional<PicturePoint> sun = sunOnPicture(model);
    if (image.empty()) {
        ends.top.outcome = ends.end.outcome = EdgeOutcome::OffPicture;
        return ends;
    }
    if (!sun)
        return ends;
    const real length = std::hypot(topClick.x - endClick.x, topClick.y - endClick.y);
    const real blur = camera.blurSigmaPx > 0 ? camera.blurSigmaPx : 1.2L;
    auto window = [&](real spread) {
        return std::clamp<real>(
            std::min<real>(2 + 2.5L * blur + spread, 0.45L * length), kMinWindowPx, kMaxWindowPx);
    };
    const std::optional<real> black = shadowLevel(image, topClick, endClick);
    const real spread = penumbra(model, endClick, length);
    // The end first: a shadow's tip says where its axis runs, which a summit on a broad flank
    // does not. The shadow lies towards the summit, the summit's clicked line holds the end
    // loosely (a straight end says nothing about it).
    EdgeSearch end{endClick, sun->x, sun->y, topClick, kLineSigmaPx, window(spread), black, spread};
    ends.end = findApex(image, end, camera);
    // An end square to no line through it (a ridge's, slanting) has no apex of its own: it is
    // where its edge crosses the summit's line.
    if (ends.end.outcome == EdgeOutcome::NoEdge) {
        end.lineSigmaPx = kOnLineSigmaPx;
        ends.end = findApex(image, end, camera);
    }
    // The summit on the line from the end along the Sun, where every ray that grazes it runs:
    // the dark flank lies away from the Sun.
    EdgeSearch top{topClick, -sun->x, -sun->y, ends.end.point, kOnLineSigmaPx, window(0), black};
    ends.top = findApex(image, top, camera);
    return ends;
}

namespace {

struct Gradient {
    real heightX = 0;
    real heightY = 0;
    real elevationX = 0;
    real elevationY = 0;
};

// How the height and the elevation move with one end, by central differences of the exact
// computation (one-sided where a step leaves the domain).
Gradient gradientAt(const MoonModel &model, PicturePoint top, PicturePoint end, bool moveTop)
{
    constexpr real kStep = 1e-3L;
    const ShadowErrors exact{0, 0};
    const ShadowMeasure mid = measureShadow(model, top, end, exact);
    auto partial = [&](real dx, real dy, auto value) {
        PicturePoint &moved = moveTop ? top : end;
        const PicturePoint kept = moved;
        moved = {kept.x + dx, kept.y + dy};
        const ShadowMeasure hi = measureShadow(model, top, end, exact);
        moved = {kept.x - dx, kept.y - dy};
        const ShadowMeasure lo = measureShadow(model, top, end, exact);
        moved = kept;
        const bool hiOk = hi.reason == ShadowReason::None;
        const bool loOk = lo.reason == ShadowReason::None;
        if (hiOk && loOk)
            return (value(hi) - value(lo)) / (2 * kStep);
        if (hiOk)
            return (value(hi) - value(mid)) / kStep;
        return loOk ? (value(mid) - value(lo)) / kStep : real(0);
    };
    auto height = [](const ShadowMeasure &m) {
        return m.height.value;
    };
    auto elevation = [](const ShadowMeasure &m) {
        return m.elevation.value;
    };
    return {partial(kStep, 0, height),
        partial(0, kStep, height),
        partial(kStep, 0, elevation),
        partial(0, kStep, elevation)};
}

real quadratic(real gx, real gy, const RefinedPoint &p, real clickPx)
{
    if (p.outcome != EdgeOutcome::Found)
        return (gx * gx + gy * gy) * clickPx * clickPx;
    return gx * gx * p.varX + 2 * gx * gy * p.varXY + gy * gy * p.varY;
}

} // namespace

ShadowMeasure measureRefinedShadow(
    const MoonModel &model, const ShadowEnds &ends, real circlePx, real clickPx)
{
    const PicturePoint top = ends.top.point;
    const PicturePoint end = ends.end.point;
    // The circle and B as measureShadow propagates them; the ends, each with its own
    // covariance, added to them as independent errors.
    ShadowMeasure result = measureShadow(model, top, end, ShadowErrors{0, circlePx});
    if (result.reason != ShadowReason::None)
        return result;
    const Gradient gTop = gradientAt(model, top, end, true);
    const Gradient gEnd = gradientAt(model, top, end, false);
    const real height = result.height.sigma * result.height.sigma
        + quadratic(gTop.heightX, gTop.heightY, ends.top, clickPx)
        + quadratic(gEnd.heightX, gEnd.heightY, ends.end, clickPx);
    const real elevation = result.elevation.sigma * result.elevation.sigma
        + quadratic(gTop.elevationX, gTop.elevationY, ends.top, clickPx)
        + quadratic(gEnd.elevationX, gEnd.elevationY, ends.end, clickPx);
    result.height.sigma = std::sqrt(height);
    result.elevation.sigma = std::sqrt(elevation);
    return result;
}

} // namespace measure
