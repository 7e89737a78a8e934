#include "measure/terminatorfit.h"

#include "measure/elevation.h"
#include "measure/lightcurve.h"
#include "measure/numeric.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace measure {

namespace {

// Levels of the photograph are 8-bit figures averaged over a few pixels: they are read and
// summed in double, which is exact enough for them and keeps a 24-megapixel photograph quick.
// The geometry and the fit of B stay in real.
constexpr double kNoLevel = std::numeric_limits<double>::quiet_NaN();

// The photograph's level (0…255, the mean of the colour bytes) at any point, by the one sampler
// of measure; NaN off the picture.
class Levels {
public:
    explicit Levels(const ImageView &image)
        : image_(image)
    { }

    double at(double x, double y) const { return sampleLevel(image_, x, y); }

private:
    const ImageView &image_;
};

// A disc in picture pixels with the unit vectors along (u) and across (v) the cusp line.
struct Frame {
    double cx = 0;
    double cy = 0;
    double r = 0;
    double ux = 1, uy = 0;
    double vx = 0, vy = 1;

    explicit Frame(const MoonModel &disc)
        : cx(static_cast<double>(disc.centreX))
        , cy(static_cast<double>(disc.centreY))
        , r(static_cast<double>(disc.radius))
        , ux(static_cast<double>(std::cos(disc.theta)))
        , uy(static_cast<double>(std::sin(disc.theta)))
        , vx(-uy)
        , vy(ux)
    { }
};

// Levels along a line across the disc at `a` radii along the cusp line, at every `step`
// pixels of s, the distance across in pixels from the cusp line; each is the mean of three
// points across the line's width so that the grain counts less.
struct Profile {
    double a = 0;
    double rho = 0; // half-length of the chord, in radii
    double s0 = 0; // s of the first sample
    double step = 1;
    std::vector<double> level;

    double s(std::size_t k) const { return s0 + step * static_cast<double>(k); }
};

// The samples at s = s0, s0 + step, … up to `count` of them.
Profile sampleProfile(
    const Levels &levels, const Frame &f, double a, double s0, double step, int count)
{
    Profile p;
    p.a = a;
    p.rho = std::sqrt(1 - a * a);
    p.s0 = s0;
    p.step = step;
    p.level.resize(static_cast<std::size_t>(std::max(0, count)));
    const double bx = f.cx + a * f.r * f.ux;
    const double by = f.cy + a * f.r * f.uy;
    for (std::size_t k = 0; k < p.level.size(); ++k) {
        const double x = bx + p.s(k) * f.vx;
        const double y = by + p.s(k) * f.vy;
        const double sum =
            levels.at(x - f.ux, y - f.uy) + levels.at(x, y) + levels.at(x + f.ux, y + f.uy);
        p.level[k] = sum / 3;
    }
    return p;
}

// The whole chord at a glance: a few hundred samples, whatever the radius.
Profile chordProfile(const Levels &levels, const Frame &f, double a)
{
    const double step = std::max(1.0, std::floor(f.r / 200));
    const int half = static_cast<int>(std::floor(std::sqrt(1 - a * a) * f.r / step));
    return sampleProfile(levels, f, a, -half * step, step, 2 * half + 1);
}

double quantile(std::vector<double> values, double q)
{
    values.erase(
        std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }),
        values.end());
    if (values.empty())
        return kNoLevel;
    const auto k = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
}

// The sky's level, from a ring just outside the limb; when the disc fills the picture, the
// darkest levels inside it stand in for it.
double skyLevel(const Levels &levels, const Frame &f, const std::vector<Profile> &profiles)
{
    constexpr int kRing = 1024;
    std::vector<double> ring;
    ring.reserve(kRing);
    const double radius = f.r * 1.06 + 3;
    for (int k = 0; k < kRing; ++k) {
        const double angle = 2 * static_cast<double>(kPi) * k / kRing;
        ring.push_back(levels.at(f.cx + radius * std::cos(angle), f.cy + radius * std::sin(angle)));
    }
    const double sky = quantile(ring, 0.5);
    if (std::count_if(ring.begin(), ring.end(), [](double v) { return !std::isnan(v); }) >= 64)
        return sky;
    std::vector<double> inside;
    for (const Profile &p : profiles)
        inside.insert(inside.end(), p.level.begin(), p.level.end());
    return quantile(inside, 0.02);
}

// A running mean over 2 half + 1 samples; a window with more than half its samples off the
// picture has no level.
std::vector<double> boxSmoothed(const std::vector<double> &level, int half)
{
    const int n = static_cast<int>(level.size());
    std::vector<double> sum(level.size() + 1, 0);
    std::vector<int> count(level.size() + 1, 0);
    for (int k = 0; k < n; ++k) {
        const double v = level[static_cast<std::size_t>(k)];
        const bool known = !std::isnan(v);
        sum[static_cast<std::size_t>(k) + 1] = sum[static_cast<std::size_t>(k)] + (known ? v : 0);
        count[static_cast<std::size_t>(k) + 1] = count[static_cast<std::size_t>(k)] + known;
    }
    std::vector<double> out(level.size(), kNoLevel);
    for (int k = 0; k < n; ++k) {
        const auto lo = static_cast<std::size_t>(std::max(0, k - half));
        const auto hi = static_cast<std::size_t>(std::min(n, k + half + 1));
        const int c = count[hi] - count[lo];
        if (c > half)
            out[static_cast<std::size_t>(k)] = (sum[hi] - sum[lo]) / c;
    }
    return out;
}

// What a line says at a glance, from its smoothed levels against a threshold between the sky
// and the lit ground: which limb the light touches and where the lit part gives way to night.
struct Glance {
    enum class Kind {
        Dark,
        Full,
        Edge,
        Unclear,
    };
    Kind kind = Kind::Unclear;
    int litSign = 0;
    double t = 0; // the edge, in radii across the cusp line
};

Glance glance(const Profile &p, double threshold, double radius)
{
    // Lengths below are in samples of the chord's profile.
    const double r = radius / p.step;
    const std::vector<double> smooth = boxSmoothed(p.level, std::max(1, static_cast<int>(r / 100)));
    const int n = static_cast<int>(smooth.size());
    const int margin = std::min(n / 4, static_cast<int>(r * 0.03) + 3);
    // Counted short of the limbs, where a full Moon darkens too.
    int valid = 0;
    int lit = 0;
    for (int k = margin; k < n - margin; ++k) {
        valid += !std::isnan(smooth[static_cast<std::size_t>(k)]);
        lit += smooth[static_cast<std::size_t>(k)] > threshold;
    }
    Glance g;
    const int near = std::max(2, static_cast<int>(r * 0.005) + 1);
    if (n < 2 * (near + 2) || valid < (n - 2 * margin) * 0.8)
        return g;
    const auto isLit = [&](int k) {
        return smooth[static_cast<std::size_t>(k)] > threshold;
    };
    // The light touches a limb when it shows within the outer twelfth of the chord: a thin
    // crescent is lit only there, and dimly so.
    const int zone = std::max(near + 1, n / 12);
    bool startLit = false, endLit = false;
    for (int k = near; k <= zone; ++k) {
        startLit = startLit || isLit(k);
        endLit = endLit || isLit(n - 1 - k);
    }
    if (lit == 0 && std::none_of(smooth.begin() + near, smooth.end() - near, [&](double v) {
            return v > threshold;
        }))
        g.kind = Glance::Kind::Dark;
    else if (startLit && endLit && lit >= valid * 0.97)
        g.kind = Glance::Kind::Full;
    else if (startLit != endLit) {
        // The edge is the lit sample nearest the dark limb that starts a lit run a few pixels
        // long: a sunlit peak in the night is shorter, a sea in the day does not matter.
        const int run = std::max(3, static_cast<int>(r / 60));
        const int step = startLit ? -1 : 1;
        int k = startLit ? n - 1 - near : near;
        int count = 0;
        for (; k >= 0 && k < n; k += step) {
            count = isLit(k) ? count + 1 : 0;
            if (count >= run)
                break;
        }
        if (k < 0 || k >= n)
            return g;
        const int edge = k - step * (run - 1);
        g.kind = Glance::Kind::Edge;
        g.litSign = startLit ? 1 : -1;
        g.t = p.s(static_cast<std::size_t>(edge)) / radius;
    }
    return g;
}

// McEwen's lunar-Lambert weight L(g) = 1 − 0.019 g + 2.42e−4 g² − 1.46e−6 g³ for a phase
// angle g in degrees (McEwen, LPSC XXVII, 1996), within 0…1: the Moon reflects
// A [2 L cos i / (cos i + cos e) + (1 − L) cos i], as bright at the limb as at the centre when
// full, like Lambert's law past a phase of about 105 degrees.
double lunarWeight(double phaseDegrees)
{
    const double g = phaseDegrees;
    return std::clamp(1 - 0.019 * g + 2.42e-4 * g * g - 1.46e-6 * g * g * g, 0.0, 1.0);
}

// The light of the ground under a Sun of sine μ, seen at cos e = z, for L = lunarWeight(g).
double reflected(double mu, double z, double weight)
{
    if (!(mu > 0))
        return 0;
    return 2 * weight * mu / (mu + std::max(z, 1e-3)) + (1 - weight) * mu;
}

// Least squares of the light of a window on sky + K P + Q P², P the light a sphere of even
// albedo reflects (reflected()) when its terminator crosses the line at t: there μ = litSign
// (−v cos B' + z sin B') with sin B' = t / ρ. The model is exact for such a sphere, so the fit
// has no bias from the curvature of the brightness ramp, which grows with the width of the
// window; the square term takes up an albedo that changes along the window (a sea that ends a
// little way into the day), so that only the foot of the ramp places the edge.
class WindowFit {
public:
    WindowFit(const Profile &p, double r, int litSign, double weight)
        : rho_(p.rho)
        , sign_(litSign)
        , weight_(weight)
    {
        for (std::size_t k = 0; k < p.level.size(); ++k) {
            const double level = p.level[k];
            if (std::isnan(level))
                continue;
            const double v = p.s(k) / r;
            v_.push_back(v);
            z_.push_back(std::sqrt(std::max(0.0, p.rho * p.rho - v * v)));
            level_.push_back(level);
        }
        for (double level : level_) {
            sumI_ += level;
            sumII_ += level * level;
        }
    }

    std::size_t size() const { return level_.size(); }

    // The residual sum of squares at t; infinite when the lit side comes out darker. The ramp
    // is K μ + Q μ²: the square term takes up an albedo that changes along the window (a sea
    // that ends a little way into the day), so that only the foot of the ramp places the edge.
    double residual(double t) const
    {
        const double sinB = std::clamp(t / rho_, -1.0, 1.0);
        const double cosB = std::sqrt(1 - sinB * sinB);
        double s1 = 0, s2 = 0, s3 = 0, s4 = 0, si1 = 0, si2 = 0;
        for (std::size_t k = 0; k < level_.size(); ++k) {
            double mu = reflected(sign_ * (-v_[k] * cosB + z_[k] * sinB), z_[k], weight_);
            if (mu > 0) {
                const double mu2 = mu * mu;
                s1 += mu;
                s2 += mu2;
                s3 += mu2 * mu;
                s4 += mu2 * mu2;
                si1 += mu * level_[k];
                si2 += mu2 * level_[k];
            }
        }
        const double n = static_cast<double>(level_.size());
        // The normal equations of (c, K, Q).
        const std::optional<std::array<real, 3>> solved =
            solveLinear<3>({{{n, s1, s2}, {s1, s2, s3}, {s2, s3, s4}}}, {sumI_, si1, si2});
        if (!solved)
            return std::numeric_limits<double>::infinity();
        const double beta[3] = {static_cast<double>((*solved)[0]),
            static_cast<double>((*solved)[1]),
            static_cast<double>((*solved)[2])};
        const double y[3] = {sumI_, si1, si2};
        // The lit side must come out brighter than the night on the whole.
        if (!(beta[1] * s1 + beta[2] * s2 > 0))
            return std::numeric_limits<double>::infinity();
        return sumII_ - beta[0] * y[0] - beta[1] * y[1] - beta[2] * y[2];
    }

private:
    double rho_;
    int sign_;
    double weight_;
    std::vector<double> v_, z_, level_;
    double sumI_ = 0, sumII_ = 0;
};

// The bottom of the residual's valley between `left` and `right`, to `tolerance`, by a
// golden-section search; and the residual there.
std::pair<double, double> goldenMinimum(
    const WindowFit &fit, double left, double right, double tolerance)
{
    const double g = (std::sqrt(5.0) - 1) / 2;
    double x1 = right - g * (right - left), x2 = left + g * (right - left);
    double f1 = fit.residual(x1), f2 = fit.residual(x2);
    while (right - left > tolerance) {
        if (f1 < f2) {
            right = x2;
            x2 = x1;
            f2 = f1;
            x1 = right - g * (right - left);
            f1 = fit.residual(x1);
        } else {
            left = x1;
            x1 = x2;
            f1 = f2;
            x2 = left + g * (right - left);
            f2 = fit.residual(x2);
        }
    }
    return {(left + right) / 2, std::min(f1, f2)};
}

// The edge of one line inside [lo, hi] (radii across), or none when the best place is at an
// end of the window or the window is too thin to tell.
std::optional<double> refineEdge(const Levels &levels,
    const Frame &f,
    double a,
    double lo,
    double hi,
    int litSign,
    double weight,
    double precision,
    double *residual = nullptr)
{
    const double r = f.r;
    const double rho = std::sqrt(1 - a * a);
    const double margin = 3 / r; // the limb's own blur is not part of the ramp
    const double limit = rho - margin;
    const double from = std::max(lo, -limit);
    const double to = std::min(hi, limit);
    if (!(to - from > 8 / r))
        return std::nullopt;
    const double first = std::ceil(from * r);
    const Profile p =
        sampleProfile(levels, f, a, first, 1, static_cast<int>(std::floor(to * r) - first) + 1);
    const WindowFit fit(p, r, litSign, weight);
    if (fit.size() < 8)
        return std::nullopt;

    // A coarse scan finds the valley, a golden-section search its bottom.
    const int steps = 32;
    const double step = (to - from) / steps;
    int best = 0;
    double bestResidual = std::numeric_limits<double>::infinity();
    for (int k = 0; k <= steps; ++k) {
        const double e = fit.residual(from + k * step);
        if (e < bestResidual) {
            bestResidual = e;
            best = k;
        }
    }
    if (best == 0 || best == steps)
        return std::nullopt;
    const auto [edge, least] =
        goldenMinimum(fit, from + (best - 1) * step, from + (best + 1) * step, precision / r);
    if (residual)
        *residual = least / static_cast<double>(fit.size());
    return edge;
}

struct Edge {
    real a;
    real rho;
    real t;
};

TerminatorFit refused(FitOutcome outcome)
{
    TerminatorFit fit;
    fit.outcome = outcome;
    return fit;
}

} // namespace

const char *outcomeText(FitOutcome outcome)
{
    switch (outcome) {
    case FitOutcome::Found:
        return "";
    case FitOutcome::NoPhotograph:
        return kNoPhotograph;
    case FitOutcome::NoCircle:
        return kNoCircle;
    case FitOutcome::DiscTooSmall:
        return kDiscTooSmall;
    case FitOutcome::FullMoon:
        return kFullMoon;
    case FitOutcome::NotAMoon:
        return kNotAMoon;
    }
    return kNotAMoon;
}

namespace {

// What a first look along every line tells: the side lit and a rough B, or why there is no
// terminator to fit.
struct FirstLook {
    FitOutcome outcome = FitOutcome::NotAMoon;
    std::vector<Profile> profiles;
    int litSign = 1;
    int edges = 0;
    real sinB = 0;
};

FirstLook firstLook(const Levels &levels, const Frame &f)
{
    FirstLook look;
    // Lines a few pixels apart, short of the cusps, where the terminator runs along the line.
    const int count = std::clamp(static_cast<int>(f.r), 24, 160);
    look.profiles.reserve(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k)
        look.profiles.push_back(chordProfile(levels, f, -0.9 + 1.8 * (k + 0.5) / count));

    const double sky = skyLevel(levels, f, look.profiles);
    std::vector<double> inside;
    for (const Profile &p : look.profiles)
        inside.insert(inside.end(), p.level.begin(), p.level.end());
    const double lit = quantile(inside, 0.995);
    if (std::isnan(sky) || std::isnan(lit) || lit - sky < 12)
        return look;

    // The side lit, and a rough edge somewhat inside the day, line by line.
    const double threshold = sky + 0.25 * (lit - sky);
    std::vector<Glance> glances;
    int votes[2] = {0, 0};
    int full = 0, dark = 0;
    for (const Profile &p : look.profiles) {
        glances.push_back(glance(p, threshold, f.r));
        const Glance &g = glances.back();
        full += g.kind == Glance::Kind::Full;
        dark += g.kind == Glance::Kind::Dark;
        if (g.kind == Glance::Kind::Edge)
            ++votes[g.litSign > 0 ? 0 : 1];
    }
    look.edges = votes[0] + votes[1];
    if (look.edges < std::max(6, count / 6)) {
        if (full >= count / 2 && dark < count / 10)
            look.outcome = FitOutcome::FullMoon;
        return look;
    }
    look.litSign = votes[0] >= votes[1] ? 1 : -1;
    if (std::min(votes[0], votes[1]) > look.edges / 5)
        return look;
    std::vector<double> rough;
    for (std::size_t k = 0; k < look.profiles.size(); ++k) {
        if (glances[k].kind == Glance::Kind::Edge && glances[k].litSign == look.litSign)
            rough.push_back(glances[k].t / look.profiles[k].rho);
    }
    look.sinB = quantile(rough, 0.5);
    look.outcome = FitOutcome::Found;
    return look;
}

// The terminator the edges are sought about.
struct Curve {
    real b = 0; // degrees
    int litSign = 1;

    // The phase angle in degrees: the Sun's height over the disc's plane is litSign sin B.
    real phase() const
    {
        return radiansToDegrees(std::acos(litSign * std::sin(degreesToRadians(b))));
    }

    // Across the cusp line (radii) where a line of half-length rho meets the terminator.
    double across(double rho) const
    {
        return static_cast<double>(static_cast<real>(rho) * std::sin(degreesToRadians(b)));
    }
};

// The edges of one round in a window about `curve`.
std::vector<Edge> roundEdges(
    const Levels &levels, const Frame &f, const FirstLook &look, const Curve &curve, int round)
{
    // The rough edges lie up to a quarter of the lit level inside the day: the first round
    // looks mostly towards the night. The later windows reach as far into the night, past the
    // light of the highest peaks, so that the fit sees the night's own level and the whole
    // foot of the ramp; on the day side they stop a few degrees of elevation in, before the
    // albedo has changed much.
    const double night = round == 0 ? 0.35 : 0.3 + 4 / f.r;
    const double day = round == 0 ? 0.12 : 0.08 + 6 / f.r;
    // Only the last round needs the edge to a small fraction of a pixel.
    const double precision = round == 2 ? 0.005 : 0.25;
    const double weight = lunarWeight(static_cast<double>(curve.phase()));
    std::vector<Edge> found;
    for (const Profile &p : look.profiles) {
        const double predicted = curve.across(p.rho);
        // Towards the night is towards +v when the −v side is lit.
        const double lo = predicted - (curve.litSign > 0 ? day : night);
        const double hi = predicted + (curve.litSign > 0 ? night : day);
        const auto t = refineEdge(levels, f, p.a, lo, hi, curve.litSign, weight, precision);
        if (t)
            found.push_back(
                {static_cast<real>(p.a), static_cast<real>(p.rho), static_cast<real>(*t)});
    }
    return found;
}

// B, the tilt and their uncertainties from the terminator through the edges. The cusp line is
// kept within -90..90 degrees, cusp 1 on the left: turning it half a turn swaps the side lit.
//
// The edges are where the light fades out, and the relief moves that place off the terminator:
// peaks catch the light beyond it, shadows darken the day short of it, by amounts that depend
// on the Sun's elevation and so are shared by the whole terminator, which no scatter between
// lines can see. The same relief scatters the single lines' edges, by `scale`: the shared shift
// is taken as half of that scatter, in degrees of elevation, and joins B's variance.
TerminatorFit resultOf(const LightCurve &fit, const MoonModel &frame)
{
    TerminatorFit result;
    result.outcome = FitOutcome::Found;
    result.b = fit.b;
    result.litSign = fit.litSign;
    result.theta = std::remainder(frame.theta, kPi);
    if (std::fabs(std::remainder(frame.theta - result.theta, 2 * kPi)) > 1)
        result.litSign = -result.litSign;
    // Across the terminator the elevation's sine changes by 1 / cos B per radius.
    result.relief = radiansToDegrees(fit.scale / std::cos(degreesToRadians(fit.b))) / 2;
    result.covariance = fit.covariance;
    result.covariance[0][0] += result.relief * result.relief;
    result.bSigma = kShownPerSigma * std::sqrt(result.covariance[0][0]);
    result.lines = fit.inliers;
    return result;
}

} // namespace

TerminatorFit fitTerminator(const ImageView &image, const MoonModel &disc)
{
    if (!image.pixels || image.width < 2 || image.height < 2)
        return refused(FitOutcome::NoPhotograph);
    if (!(disc.radius > 0))
        return refused(FitOutcome::NoCircle);
    if (disc.radius < 40)
        return refused(FitOutcome::DiscTooSmall);
    const Levels levels(image);
    MoonModel frame = disc;
    const FirstLook look = firstLook(levels, Frame(frame));
    if (look.outcome != FitOutcome::Found)
        return refused(look.outcome);

    Curve curve{arcsineDegrees(look.sinB), look.litSign};
    // Each round seeks the edges about the curve the last one fitted, and turns the cusp line
    // to it; the windows narrow after the first.
    std::optional<LightCurve> fit;
    std::vector<Edge> found;
    for (int round = 0; round < 4; ++round) {
        found = roundEdges(levels, Frame(frame), look, curve, std::min(round, 2));
        std::vector<EdgePoint> points;
        for (const Edge &e : found)
            points.push_back({e.a, e.t});
        fit = fitLightCurve(points, curve.litSign, curve.b, 0.05L / disc.radius);
        if (!fit)
            return refused(FitOutcome::NotAMoon);
        frame.theta += fit->turn;
        curve = {fit->b, fit->litSign};
    }
    // A terminator is one curve: most lines agree on it. Edges of a pattern agree on nothing.
    if (fit->inliers < std::max(8, look.edges / 3)
        || 2 * fit->inliers < static_cast<int>(found.size()))
        return refused(FitOutcome::NotAMoon);
    if (std::fabs(fit->b) > 84)
        return refused(FitOutcome::FullMoon);
    return resultOf(*fit, frame);
}

std::optional<int> litSide(const ImageView &image, const MoonModel &model)
{
    if (!image.pixels || image.width < 2 || image.height < 2 || !(model.radius > 0))
        return std::nullopt;
    const Levels levels(image);
    const Frame f(model);
    const real b = degreesToRadians(model.b);
    const double cosB = static_cast<double>(std::cos(b));
    const double sinB = static_cast<double>(std::sin(b));
    // Mean levels of the two sides of the drawn terminator, on a grid over the disc, leaving
    // out a band about the terminator and the limb where a misplaced curve would mix them.
    constexpr int kGrid = 64;
    double sum[2] = {0, 0};
    int n[2] = {0, 0};
    for (int i = 0; i < kGrid; ++i) {
        for (int j = 0; j < kGrid; ++j) {
            const double u = -1 + 2 * (i + 0.5) / kGrid;
            const double v = -1 + 2 * (j + 0.5) / kGrid;
            const double zz = 1 - u * u - v * v;
            if (zz < 0.05)
                continue;
            const double mu = -v * cosB + std::sqrt(zz) * sinB;
            if (std::fabs(mu) < 0.1)
                continue;
            const double level =
                levels.at(f.cx + f.r * (u * f.ux + v * f.vx), f.cy + f.r * (u * f.uy + v * f.vy));
            if (std::isnan(level))
                continue;
            const int side = mu > 0 ? 0 : 1;
            sum[side] += level;
            ++n[side];
        }
    }
    if (n[0] < 20 || n[1] < 20)
        return std::nullopt;
    const double plus = sum[0] / n[0];
    const double minus = sum[1] / n[1];
    if (std::fabs(plus - minus) < std::max(8.0, 0.25 * std::max(plus, minus)))
        return std::nullopt;
    return plus > minus ? 1 : -1;
}

} // namespace measure
