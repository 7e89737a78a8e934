#include "measure/terminatorfit.h"

#include "measure/numeric.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace measure {

namespace {

// Levels are 8-bit figures: they are read and summed in double, which is exact enough for them
// and keeps a 24-megapixel photograph quick. The results go back to real.
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPiD = 3.14159265358979323846;

double median(std::vector<double> values)
{
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }),
        values.end());
    if (values.empty())
        return kNaN;
    const auto mid = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), mid, values.end());
    return *mid;
}

// The disc fixed by the caller, in picture pixels.
struct Disc {
    double cx = 0;
    double cy = 0;
    double r = 0;
};

// The Sun is found as (θ, ψ): θ the tilt of the cusp line, ψ the Sun's angle in the plane
// square to it, from the sub-viewer side (ψ = B for litSign = 1, B + 180° for −1), so that one
// continuous angle covers both lit sides and a fit can cross from one to the other.
struct Sun {
    double theta = 0;
    double psi = 0;

    // The Sun in the picture's frame (x right, y down, z towards the viewer): μ = cos i at a
    // surface point is its dot product with the point's unit vector.
    std::array<double, 3> vector() const
    {
        const double c = std::cos(theta), s = std::sin(theta);
        return {std::cos(psi) * s, -std::cos(psi) * c, std::sin(psi)};
    }
};

// ---------------------------------------------------------------------------------------------
// A first look: the Sun that splits the disc most cleanly into a bright and a dark part.

struct Point {
    double dx = 0; // picture offsets from the centre, radii
    double dy = 0;
    double z = 0;
    double level = 0;
};

// Rings closer together towards the limb, where a thin crescent or the night of a gibbous Moon
// lies, so that a sliver a few pixels wide still holds samples.
std::vector<Point> ringPoints(const ImageView &image, const Disc &d)
{
    std::vector<Point> points;
    constexpr int kAround = 256;
    for (double inside = 1.5; inside < d.r * 0.97; inside = inside * 1.35 + 1) {
        const double rho = 1 - inside / d.r;
        for (int k = 0; k < kAround; ++k) {
            const double a = 2 * kPiD * (k + 0.5 * (static_cast<int>(inside) % 2)) / kAround;
            Point p{rho * std::cos(a), rho * std::sin(a), std::sqrt(1 - rho * rho), 0};
            p.level = sampleLevel(image, d.cx + d.r * p.dx, d.cy + d.r * p.dy);
            if (!std::isnan(p.level))
                points.push_back(p);
        }
    }
    return points;
}

struct Split {
    Sun sun;
    double score = -1; // between-class variance over the total
    double lit = 0; // mean levels of the two parts
    double dark = 0;
};

Split split(const std::vector<Point> &points, const Sun &sun, double total, double variance)
{
    const auto s = sun.vector();
    double n1 = 0, sum1 = 0;
    for (const Point &p : points) {
        if (s[0] * p.dx + s[1] * p.dy + s[2] * p.z > 0) {
            n1 += 1;
            sum1 += p.level;
        }
    }
    Split out;
    out.sun = sun;
    const double n = static_cast<double>(points.size());
    if (n1 < 1 || n1 > n - 1)
        return out;
    out.lit = sum1 / n1;
    out.dark = (total - sum1) / (n - n1);
    if (out.lit <= out.dark)
        return out;
    out.score = n1 * (n - n1) * (out.lit - out.dark) * (out.lit - out.dark) / (n * n * variance);
    return out;
}

// A grid over ψ all round and θ about the clicked tilt, then a finer grid about the best.
Split firstLook(const std::vector<Point> &points, double theta0)
{
    double total = 0, squares = 0;
    for (const Point &p : points) {
        total += p.level;
        squares += p.level * p.level;
    }
    const double n = static_cast<double>(points.size());
    const double variance = std::max(1e-9, squares / n - (total / n) * (total / n));
    const double degree = kPiD / 180;
    Split best;
    const auto scan = [&](Sun centre, double psiStep, int psiCount, double thetaStep, int thetaCount) {
        Split found = best;
        for (int i = -thetaCount; i <= thetaCount; ++i)
            for (int j = -psiCount; j <= psiCount; ++j) {
                const Split s = split(points,
                    {centre.theta + i * thetaStep * degree, centre.psi + j * psiStep * degree},
                    total,
                    variance);
                if (s.score > found.score)
                    found = s;
            }
        best = found;
    };
    scan({theta0, 0}, 2, 90, 4, 6);
    scan(best.sun, 0.5, 4, 1, 4);
    scan(best.sun, 0.125, 4, 0.25, 4);
    return best;
}

// ---------------------------------------------------------------------------------------------
// The forward model of the levels across the terminator.

// One sample of the photograph near the terminator, with what the model needs of it that does
// not depend on the Sun.
struct Sample {
    double x = 0; // on the picture, pixels
    double y = 0;
    double dx = 0; // picture offsets from the centre, radii, at most just inside the limb
    double dy = 0;
    double z = 0;
    double mask = 1; // share of the blurred disc: 1 inside, ½ on the limb, 0 in the sky
    double lin = 0; // the level brought back to light, minus the sky
    double level = 0;
};

// The samples of one line square to the terminator.
struct Line {
    std::size_t from = 0;
    std::size_t to = 0;
    // The line is x = x0 + t (ux, uy) pixels; its samples are at t = t0, t0 + step, …
    double x0 = 0, y0 = 0, ux = 0, uy = 0, t0 = 0, step = 1;
    // The limb is near enough for its blur and the terminator's to mix: the light along the
    // line is then blurred as the camera blurs it, on a fine grid, instead of in closed form.
    bool nearLimb = false;
};

struct Problem {
    Disc disc;
    Camera camera;
    double blur = 1; // pixels
    double gamma = 1;
    double black = 0;
    double floorLin = 1; // weights are taken no steeper than at this light
    double skyLin = 0; // the sky's light, taken off every sample
    std::vector<Sample> samples;
    std::vector<Line> lines;
    std::vector<double> weight; // robust weight of each sample, 0 for an outlier
    // Neighbouring lines see much the same ground: each line's glow and albedo are drawn
    // towards the median of all lines, loosely (a sea is half as bright as the highlands), so
    // that a line whose lit or dark part is too thin to tell its albedo from the terminator's
    // place borrows it from the others.
    std::array<double, 3> mean{}; // of the glow, the albedo and the ramp's bend
    std::array<double, 3> prior{}; // the weight each line's figure is drawn towards it with
};

struct Params {
    double theta = 0;
    double psi = 0;
    double q = 0.01; // relief's spread of μ, the width the terminator has beyond the blur
    double blur = 1; // the camera's blur, pixels: the limb helper's figure, refined
};

double toLight(const Problem &pb, double level)
{
    const double v = std::max(0.0, level - pb.black) / 255;
    return 255 * std::pow(v, pb.gamma);
}

// d(light)/d(level) at a light, no steeper than at the floor: the levels' noise is even, so a
// residual in light counts as that residual divided by this slope.
double slope(const Problem &pb, double light)
{
    const double l = std::max(light, pb.floorLin) / 255;
    return pb.gamma * std::pow(l, (pb.gamma - 1) / pb.gamma);
}

// McEwen's lunar-Lambert mixing factor as a function of the phase angle in degrees; past the
// range of its cubic the Moon scatters as Lambert's law says.
double lunarLambertL(double phaseDegrees)
{
    const double a = phaseDegrees;
    return std::clamp(1 - 0.019 * a + 0.000242 * a * a - 0.00000146 * a * a * a, 0.0, 1.0);
}

// Φ(x) and the blurred ramp σ(xΦ(x) + φ(x)): the mean of max(0, μ + e) for e of spread σ.
double ramp(double mu, double sigma)
{
    const double x = mu / sigma;
    if (x > 8)
        return mu;
    if (x < -8)
        return 0;
    const double cdf = 0.5 * std::erfc(-x / std::sqrt(2.0));
    const double pdf = std::exp(-0.5 * x * x) / std::sqrt(2 * kPiD);
    return sigma * (x * cdf + pdf);
}

// The light the model puts on a sample, for a unit albedo: the blurred ramp of μ through the
// lunar-Lambert photometry. The blur of the seeing acts in pixels, so in μ it is the blur times
// the slope of μ on the picture; the relief spreads μ itself.
double shape(const Problem &pb, const std::array<double, 3> &sun, double lambert, const Params &p, const Sample &s)
{
    const double mu = sun[0] * s.dx + sun[1] * s.dy + sun[2] * s.z;
    const double z = std::max(s.z, 0.05);
    const double gx = sun[0] - sun[2] * s.dx / z;
    const double gy = sun[1] - sun[2] * s.dy / z;
    const double perPixel = std::sqrt(gx * gx + gy * gy) / pb.disc.r;
    const double width = std::sqrt(p.blur * p.blur * perPixel * perPixel + p.q * p.q + 1e-12);
    const double m = ramp(mu, width);
    return m * (2 * lambert / (m + z) + 1 - lambert);
}

// Solves a x = b for a symmetric 3 × 3 system by Cramer's rule; false when it is singular.
bool solve3(const double a[3][3], const double b[3], std::array<double, 3> &x)
{
    const auto det3 = [](const double m[3][3]) {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1])
            - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0])
            + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    };
    const double det = det3(a);
    if (!(std::fabs(det) > 1e-14 * std::fabs(a[0][0] * a[1][1] * a[2][2])))
        return false;
    for (int j = 0; j < 3; ++j) {
        double m[3][3];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                m[r][c] = c == j ? b[r] : a[r][c];
        x[static_cast<std::size_t>(j)] = det3(m) / det;
    }
    return true;
}

// The model's light along a line that meets the limb: lunar-Lambert light spread by the
// relief, nothing beyond the limb, then the camera's blur across the line, on a grid a third
// of the blur fine. Both edges run square to the line there, so a blur along it is the blur.
void blurredAlong(const Problem &pb,
    const Line &line,
    const std::array<double, 3> &sun,
    double lambert,
    const Params &p,
    std::vector<double> &f,
    std::vector<double> &mask)
{
    const Disc &d = pb.disc;
    // Near the limb of a thin phase the light climbs to its peak at the very edge and falls to
    // nothing there: a tenth of a pixel keeps the grid's own error below what is measured.
    const double h = std::min({line.step, p.blur / 3, 0.1});
    const double reach = 4 * p.blur;
    const double from = line.t0 - reach;
    const double to = line.t0 + line.step * static_cast<double>(line.to - line.from - 1) + reach;
    const auto n = static_cast<std::size_t>(std::ceil((to - from) / h)) + 1;
    std::vector<double> light(n, 0.0), inside(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = from + h * static_cast<double>(i);
        const double dx = (line.x0 + t * line.ux - d.cx) / d.r;
        const double dy = (line.y0 + t * line.uy - d.cy) / d.r;
        const double zz = 1 - dx * dx - dy * dy;
        if (zz <= 0)
            continue;
        const double z = std::sqrt(zz);
        inside[i] = 1;
        const double m = ramp(sun[0] * dx + sun[1] * dy + sun[2] * z, p.q + 1e-6);
        light[i] = m * (2 * lambert / (m + std::max(z, 1e-3)) + 1 - lambert);
    }
    const int half = static_cast<int>(std::ceil(reach / h));
    std::vector<double> kernel(static_cast<std::size_t>(2 * half + 1));
    for (std::size_t k = line.from; k < line.to; ++k) {
        const double at = (line.t0 + line.step * static_cast<double>(k - line.from) - from) / h;
        const auto centre = static_cast<long>(std::lround(at));
        // The kernel is laid at the grid point nearest the sample, shifted by the remainder.
        const double shift = (at - static_cast<double>(centre)) * h;
        double sum = 0;
        for (int j = -half; j <= half; ++j) {
            const double x = (j * h - shift) / p.blur;
            sum += kernel[static_cast<std::size_t>(j + half)] = std::exp(-0.5 * x * x);
        }
        double acc = 0, share = 0;
        for (int j = -half; j <= half; ++j) {
            const long i = centre + j;
            if (i >= 0 && i < static_cast<long>(n)) {
                acc += kernel[static_cast<std::size_t>(j + half)] * light[static_cast<std::size_t>(i)];
                share += kernel[static_cast<std::size_t>(j + half)] * inside[static_cast<std::size_t>(i)];
            }
        }
        f.push_back(acc / sum);
        mask.push_back(share / sum);
    }
}

// Residuals (in levels, weighted) of every sample for the Sun and spread of `p`, each line's
// sky-glow and albedo solved by weighted least squares; `light` gets the model's light.
void residuals(const Problem &pb,
    const Params &p,
    std::vector<double> &out,
    std::vector<double> *light = nullptr,
    std::vector<std::array<double, 3>> *unknowns = nullptr)
{
    const auto sun = Sun{p.theta, p.psi}.vector();
    const double phase = std::acos(std::clamp(sun[2], -1.0, 1.0)) * 180 / kPiD;
    const double lambert = lunarLambertL(phase);
    out.assign(pb.samples.size() + 3 * pb.lines.size(), 0);
    if (light)
        light->assign(pb.samples.size(), 0);
    if (unknowns)
        unknowns->clear();
    std::vector<double> f, mask;
    for (std::size_t l = 0; l < pb.lines.size(); ++l) {
        const Line &line = pb.lines[l];
        f.clear();
        mask.clear();
        if (line.nearLimb)
            blurredAlong(pb, line, sun, lambert, p, f, mask);
        // Columns: the glow over the disc, the light of the ramp and its square, which takes up
        // a photometry that bends the ramp otherwise than assumed and an albedo that changes
        // along the line, so that the foot of the ramp alone places the terminator.
        double a[3][3] = {}, b[3] = {};
        for (std::size_t k = line.from; k < line.to; ++k) {
            const Sample &s = pb.samples[k];
            if (!line.nearLimb) {
                f.push_back(s.mask * shape(pb, sun, lambert, p, s));
                mask.push_back(s.mask);
            }
            const double w = pb.weight[k];
            const double fk = f[k - line.from];
            const double col[3] = {mask[k - line.from], fk, fk * fk};
            for (int i = 0; i < 3; ++i) {
                b[i] += w * col[i] * s.lin;
                for (int j = 0; j < 3; ++j)
                    a[i][j] += w * col[i] * col[j];
            }
        }
        for (int i = 0; i < 3; ++i) {
            a[i][i] += pb.prior[i];
            b[i] += pb.prior[i] * pb.mean[i];
        }
        std::array<double, 3> x{};
        if (!solve3(a, b, x) || !(x[1] > 0))
            x = {pb.mean[0], 0, 0};
        if (unknowns)
            unknowns->push_back(x);
        for (std::size_t i = 0; i < 3; ++i)
            out[pb.samples.size() + 3 * l + i] = std::sqrt(pb.prior[i]) * (x[i] - pb.mean[i]);
        for (std::size_t k = line.from; k < line.to; ++k) {
            const Sample &s = pb.samples[k];
            const double fk = f[k - line.from];
            const double model = mask[k - line.from] * x[0] + x[1] * fk + x[2] * fk * fk;
            out[k] = std::sqrt(pb.weight[k]) * (s.lin - model);
            if (light)
                (*light)[k] = model;
        }
    }
}

double sumOfSquares(const std::vector<double> &e)
{
    double sum = 0;
    for (double v : e)
        sum += v * v;
    return sum;
}

constexpr int kParams = 4;
using Vec = std::array<double, kParams>;
using Mat = std::array<Vec, kParams>;

double &param(Params &p, int i)
{
    return i == 0 ? p.theta : i == 1 ? p.psi : i == 2 ? p.q : p.blur;
}

// The residuals and their derivatives by the three nonlinear parameters, by forward
// differences of the projected residuals (the per-line unknowns solved anew at each step).
void jacobian(const Problem &pb, const Params &p, std::vector<double> &e, std::vector<Vec> &jac)
{
    residuals(pb, p, e);
    jac.assign(e.size(), Vec{});
    const Vec step{1e-5, 1e-5, 1e-5, 1e-4};
    std::vector<double> moved;
    for (int i = 0; i < kParams; ++i) {
        Params q = p;
        param(q, i) += step[static_cast<std::size_t>(i)];
        residuals(pb, q, moved);
        for (std::size_t k = 0; k < e.size(); ++k)
            jac[k][static_cast<std::size_t>(i)] = (moved[k] - e[k]) / step[static_cast<std::size_t>(i)];
    }
}

Mat normalMatrix(const std::vector<Vec> &jac)
{
    Mat h{};
    for (const Vec &row : jac)
        for (std::size_t i = 0; i < kParams; ++i)
            for (std::size_t j = 0; j < kParams; ++j)
                h[i][j] += row[i] * row[j];
    return h;
}

std::optional<Vec> solveSmall(const Mat &a, const Vec &b)
{
    std::array<std::array<real, kParams>, kParams> m{};
    std::array<real, kParams> v{};
    for (std::size_t i = 0; i < kParams; ++i) {
        v[i] = b[i];
        for (std::size_t j = 0; j < kParams; ++j)
            m[i][j] = a[i][j];
    }
    const auto x = solveLinear<kParams>(m, v);
    if (!x)
        return std::nullopt;
    Vec out{};
    for (std::size_t i = 0; i < kParams; ++i)
        out[i] = static_cast<double>((*x)[i]);
    return out;
}

// Levenberg–Marquardt on the three parameters with the weights held.
Params levenbergMarquardt(const Problem &pb, Params p, int iterations)
{
    std::vector<double> e, trial;
    std::vector<Vec> jac;
    double lambda = 1e-3;
    for (int it = 0; it < iterations; ++it) {
        jacobian(pb, p, e, jac);
        const double cost = sumOfSquares(e);
        const Mat h = normalMatrix(jac);
        Vec g{};
        for (std::size_t k = 0; k < e.size(); ++k)
            for (std::size_t i = 0; i < kParams; ++i)
                g[i] -= jac[k][i] * e[k];
        bool improved = false;
        for (int tries = 0; tries < 8 && !improved; ++tries) {
            Mat a = h;
            for (std::size_t i = 0; i < kParams; ++i)
                a[i][i] += lambda * (h[i][i] + 1e-12);
            const auto delta = solveSmall(a, g);
            if (!delta)
                break;
            Params next = p;
            for (int i = 0; i < kParams; ++i)
                param(next, i) += (*delta)[static_cast<std::size_t>(i)];
            next.q = std::fabs(next.q);
            next.blur = std::clamp(std::fabs(next.blur), 0.2, 50.0);
            residuals(pb, next, trial);
            if (sumOfSquares(trial) < cost) {
                improved = true;
                const bool settled = std::fabs((*delta)[1]) < 1e-7 && std::fabs((*delta)[0]) < 1e-7;
                p = next;
                lambda = std::max(1e-7, lambda / 4);
                if (settled)
                    return p;
            } else {
                lambda *= 8;
            }
        }
        if (!improved)
            break;
    }
    return p;
}

// Tukey's biweight of every sample, from the residuals in levels: relief that casts a shadow
// into the day or lifts a peak into the night, and a sea's border, get no weight.
void reweigh(Problem &pb, const Params &p, bool robust = true)
{
    std::fill(pb.weight.begin(), pb.weight.end(), 1.0);
    pb.prior = {0, 0, 0};
    pb.mean = {0, 0, 0};
    std::vector<double> light, e;
    std::vector<std::array<double, 3>> unknowns;
    residuals(pb, p, e, &light, &unknowns);
    for (std::size_t i = 0; i < 3; ++i) {
        std::vector<double> figures;
        for (const auto &u : unknowns)
            figures.push_back(u[i]);
        pb.mean[i] = median(figures);
    }
    std::vector<double> levels(light.size());
    for (std::size_t k = 0; k < light.size(); ++k) {
        const double sl = slope(pb, light[k] + pb.skyLin);
        levels[k] = e[k] / sl;
        pb.weight[k] = 1 / (sl * sl);
    }
    std::vector<double> absolute(levels.size());
    std::transform(levels.begin(), levels.end(), absolute.begin(), [](double v) { return std::fabs(v); });
    const double scale = std::max(0.3, 1.4826 * median(absolute));
    constexpr double kTukey = 4.685;
    for (std::size_t k = 0; robust && k < levels.size(); ++k) {
        const double u = levels[k] / (kTukey * scale);
        pb.weight[k] *= std::fabs(u) < 1 ? (1 - u * u) * (1 - u * u) : 0;
    }
    // A sea is about half as bright as the highlands; the glow is earthshine, which follows the
    // albedo; the bend may change the ramp by a third at a tenth of the Sun's height.
    const double albedo = std::fabs(pb.mean[1]) + 1e-9;
    const std::array<double, 3> spread{std::max(0.5 * std::fabs(pb.mean[0]), 0.005 * albedo) + 1e-9,
        0.3 * albedo,
        3 * albedo + 0.5 * std::fabs(pb.mean[2])};
    for (std::size_t i = 0; i < 3; ++i)
        pb.prior[i] = (scale / spread[i]) * (scale / spread[i]);
}

// ---------------------------------------------------------------------------------------------
// Sampling lines square to a predicted terminator.

struct Window {
    double night = 0.06; // how far into the night and into the day, in μ
    double day = 0.12;
};

double skyLevel(const ImageView &image, const Disc &d, double blur)
{
    constexpr int kRing = 1024;
    std::vector<double> ring;
    const double radius = d.r + 4 * blur + 4;
    for (int k = 0; k < kRing; ++k) {
        const double a = 2 * kPiD * k / kRing;
        ring.push_back(sampleLevel(image, d.cx + radius * std::cos(a), d.cy + radius * std::sin(a)));
    }
    const auto known = std::count_if(ring.begin(), ring.end(), [](double v) { return !std::isnan(v); });
    return known >= 64 ? median(ring) : kNaN;
}

// Where a sample lies on the sphere of the disc `d`; false when it is too far beyond the limb
// for any of the disc's light to reach it.
bool placeSample(const Disc &d, double blur, Sample &s)
{
    const double px = (s.x - d.cx), py = (s.y - d.cy);
    const double rho = std::hypot(px, py) / d.r;
    const double outside = (rho - 1) * d.r; // pixels beyond the limb
    s.mask = 0.5 * std::erfc(outside / (blur * std::sqrt(2.0)));
    // Light beyond the limb comes from the ground just inside it.
    const double inner = std::min(rho, 1 - 0.5 / d.r);
    s.dx = px / d.r * (inner / std::max(rho, 1e-12));
    s.dy = py / d.r * (inner / std::max(rho, 1e-12));
    s.z = std::sqrt(std::max(0.0, 1 - inner * inner));
    return outside <= 3 * blur + 2;
}

// A sample at picture offsets (dx, dy) pixels from the centre, levels averaged over three
// points along the terminator so that the grain counts less.
bool makeSample(const ImageView &image, const Problem &pb, double x, double y, double tx, double ty, Sample &s)
{
    const Disc &d = pb.disc;
    const double l0 = sampleLevel(image, x, y);
    const double l1 = sampleLevel(image, x - tx, y - ty);
    const double l2 = sampleLevel(image, x + tx, y + ty);
    if (std::isnan(l0) || std::isnan(l1) || std::isnan(l2))
        return false;
    s.level = (l0 + l1 + l2) / 3;
    // Clipped highlights say nothing of the light.
    if (std::max({l0, l1, l2}) >= 254.5)
        return false;
    s.x = x;
    s.y = y;
    if (!placeSample(d, pb.blur, s))
        return false;
    s.lin = toLight(pb, s.level);
    return true;
}

// Lines square to the terminator of `p`, evenly spread along it short of the cusps, each from
// `w.night` into the night to `w.day` into the day.
void sampleLines(const ImageView &image, Problem &pb, const Params &p, const Window &w, double skyLin)
{
    pb.samples.clear();
    pb.lines.clear();
    const Disc &d = pb.disc;
    const auto sun = Sun{p.theta, p.psi}.vector();
    const double c = std::cos(p.theta), s = std::sin(p.theta);
    // The terminator is cos φ X + sin φ W, X along the cusp line, W square to it and the Sun.
    const double wy = std::cos(p.psi) >= 0 ? std::sin(p.psi) : -std::sin(p.psi);
    constexpr int kLines = 72;
    for (int k = 0; k < kLines; ++k) {
        const double phi = kPiD * (0.06 + 0.88 * (k + 0.5) / kLines);
        const double u = std::cos(phi), v = std::sin(phi) * wy;
        const double px = d.cx + d.r * (u * c - v * s), py = d.cy + d.r * (u * s + v * c);
        const double zt = std::sqrt(std::max(0.0, 1 - u * u - v * v));
        const double zc = std::max(zt, 0.05);
        const double dxr = (px - d.cx) / d.r, dyr = (py - d.cy) / d.r;
        double gx = sun[0] - sun[2] * dxr / zc, gy = sun[1] - sun[2] * dyr / zc;
        const double g = std::hypot(gx, gy) / d.r; // μ per pixel
        gx /= g * d.r;
        gy /= g * d.r;
        const double spread = std::sqrt(p.blur * p.blur + (p.q / g) * (p.q / g));
        const double toNight = std::min(w.night / g + 3 * spread + 3, 2 * d.r);
        const double toDay = std::min(w.day / g + 3 * spread + 4, 2 * d.r);
        const double step = std::max(1.0, (toNight + toDay) / 128);
        Line line{pb.samples.size(), 0, px, py, gx, gy, 0, step, false};
        bool started = false;
        for (double t = -toNight; t <= toDay; t += step) {
            Sample sample;
            if (makeSample(image, pb, px + t * gx, py + t * gy, -gy, gx, sample)) {
                sample.lin -= skyLin;
                line.nearLimb = line.nearLimb || sample.z * sample.z * d.r < 8 * pb.blur + 6;
                pb.samples.push_back(sample);
                if (!started)
                    line.t0 = t;
                started = true;
            } else if (started) {
                break;
            }
        }
        line.to = pb.samples.size();
        if (line.to - line.from >= 6)
            pb.lines.push_back(line);
        else
            pb.samples.resize(line.from);
    }
    pb.weight.assign(pb.samples.size(), 1.0);
}

// ---------------------------------------------------------------------------------------------
// Uncertainty.

Mat inverse(const Mat &h)
{
    Mat out{};
    for (std::size_t j = 0; j < kParams; ++j) {
        Vec unit{};
        unit[j] = 1;
        const auto x = solveSmall(h, unit);
        if (!x)
            return Mat{};
        for (std::size_t i = 0; i < kParams; ++i)
            out[i][j] = (*x)[i];
    }
    return out;
}

// The covariance of (θ, ψ, q). Neighbouring lines share their errors (a sea, a crater, relief
// the model does not hold move them together), so besides the grain's figure, the scatter of
// the scores of blocks of neighbouring lines is used, H⁻¹ (Σ g_b g_bᵀ) H⁻¹, whichever says more.
Mat covariance(const Problem &pb, const Params &p)
{
    std::vector<double> e;
    std::vector<Vec> jac;
    jacobian(pb, p, e, jac);
    const Mat hinv = inverse(normalMatrix(jac));
    double used = 0;
    for (double w : pb.weight)
        used += w > 0;
    const double dof = std::max(1.0, used - kParams - 3.0 * static_cast<double>(pb.lines.size()));
    const double s2 = sumOfSquares(e) / dof;
    constexpr std::size_t kBlocks = 12;
    Mat meat{};
    const std::size_t n = pb.lines.size();
    for (std::size_t b = 0; b < kBlocks; ++b) {
        Vec score{};
        for (std::size_t l = n * b / kBlocks; l < n * (b + 1) / kBlocks; ++l) {
            const std::size_t prior = pb.samples.size() + 3 * l;
            for (std::size_t k : {prior, prior + 1, prior + 2})
                for (std::size_t i = 0; i < kParams; ++i)
                    score[i] += jac[k][i] * e[k];
            for (std::size_t k = pb.lines[l].from; k < pb.lines[l].to; ++k)
                for (std::size_t i = 0; i < kParams; ++i)
                    score[i] += jac[k][i] * e[k];
        }
        for (std::size_t i = 0; i < kParams; ++i)
            for (std::size_t j = 0; j < kParams; ++j)
                meat[i][j] += score[i] * score[j] * kBlocks / (kBlocks - 1.0);
    }
    Mat blocks{}, grain{};
    for (std::size_t i = 0; i < kParams; ++i)
        for (std::size_t j = 0; j < kParams; ++j) {
            grain[i][j] = s2 * hinv[i][j];
            for (std::size_t a = 0; a < kParams; ++a)
                for (std::size_t c = 0; c < kParams; ++c)
                    blocks[i][j] += hinv[i][a] * meat[a][c] * hinv[c][j];
        }
    return blocks[1][1] > grain[1][1] ? blocks : grain;
}

// How the fitted tilt and Sun move with the disc they were fitted in: d(θ, ψ)/d(cx, cy, r),
// refitting the same samples in a disc moved by half a pixel each way.
std::array<std::array<double, 3>, 2> discSensitivity(const Problem &pb, const Params &p)
{
    std::array<std::array<double, 3>, 2> out{};
    constexpr double kStep = 0.5;
    for (std::size_t i = 0; i < 3; ++i) {
        Params ends[2];
        for (int side = 0; side < 2; ++side) {
            Problem moved = pb;
            double &v = i == 0 ? moved.disc.cx : i == 1 ? moved.disc.cy : moved.disc.r;
            v += side == 0 ? kStep : -kStep;
            for (Sample &sample : moved.samples)
                (void)placeSample(moved.disc, p.blur, sample);
            ends[side] = levenbergMarquardt(moved, p, 6);
        }
        out[0][i] = (ends[0].theta - ends[1].theta) / (2 * kStep);
        out[1][i] = (ends[0].psi - ends[1].psi) / (2 * kStep);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------

// Rounds of sampling about the current terminator, reweighing and refitting.
Params refine(const ImageView &image, Problem &pb, Params p, double skyLin)
{
    const Window wide{0.15, 0.2};
    const Window narrow{0.06, 0.12};
    for (int round = 0; round < 3; ++round) {
        sampleLines(image, pb, p, round == 0 ? wide : narrow, skyLin);
        if (pb.lines.size() < 8)
            return p;
        for (int pass = 0; pass < 3; ++pass) {
            // The first look may be a few pixels off: the terminator's own samples would look
            // like outliers to it, so the first fit weighs every sample.
            reweigh(pb, p, round > 0 || pass > 0);
            p = levenbergMarquardt(pb, p, 12);
        }
    }
    reweigh(pb, p);
    return p;
}

// The robust scale of the residuals in levels: how well a tone curve explains the photograph.
double residualScale(const Problem &pb, const Params &p)
{
    std::vector<double> e, light;
    Problem plain = pb;
    std::fill(plain.weight.begin(), plain.weight.end(), 1.0);
    residuals(plain, p, e, &light);
    e.resize(light.size());
    for (std::size_t k = 0; k < e.size(); ++k)
        e[k] = std::fabs(e[k] / slope(pb, light[k] + pb.skyLin));
    return median(e);
}

TerminatorFit refusal(FitOutcome outcome)
{
    TerminatorFit fit;
    fit.outcome = outcome;
    return fit;
}

double wrapAngle(double a)
{
    return std::remainder(a, 2 * kPiD);
}

TerminatorFit resultOf(const Problem &pb, const Params &p, const Mat &cov)
{
    const auto byDisc = discSensitivity(pb, p);
    TerminatorFit fit;
    fit.outcome = FitOutcome::Found;
    const double psi = wrapAngle(p.psi);
    fit.litSign = std::cos(psi) >= 0 ? 1 : -1;
    const double b = fit.litSign > 0 ? psi : wrapAngle(psi + kPiD);
    fit.b = static_cast<real>(b * 180 / kPiD);
    fit.theta = static_cast<real>(wrapAngle(p.theta));
    // The ± shown is twice the standard uncertainty.
    constexpr double kCoverage = 4;
    const double toDegrees = 180 / kPiD;
    fit.varTheta = static_cast<real>(kCoverage * cov[0][0]);
    fit.varB = static_cast<real>(kCoverage * cov[1][1] * toDegrees * toDegrees);
    fit.covThetaB = static_cast<real>(kCoverage * cov[0][1] * toDegrees);
    fit.bSigma = std::sqrt(fit.varB);
    for (std::size_t i = 0; i < 3; ++i) {
        fit.thetaByDisc[i] = static_cast<real>(byDisc[0][i]);
        fit.bByDisc[i] = static_cast<real>(byDisc[1][i] * toDegrees);
    }
    fit.lines = static_cast<int>(pb.lines.size());
    fit.gamma = static_cast<real>(pb.gamma);
    fit.roughness = static_cast<real>(p.q);
    fit.blurPx = static_cast<real>(p.blur);
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
    return "";
}

TerminatorFit fitTerminator(const ImageView &image, const MoonModel &disc, const Camera &camera)
{
    if (image.empty() || image.width < 2 || image.height < 2)
        return refusal(FitOutcome::NoPhotograph);
    if (!(disc.radius > 0) || !std::isfinite(disc.radius))
        return refusal(FitOutcome::NoCircle);
    if (disc.radius < kSmallestRadius)
        return refusal(FitOutcome::DiscTooSmall);

    Problem pb;
    pb.disc = {static_cast<double>(disc.centreX), static_cast<double>(disc.centreY), static_cast<double>(disc.radius)};
    pb.camera = camera;
    const double seeing = camera.blurPx > 0 ? static_cast<double>(camera.blurPx) : 1.0;
    pb.blur = seeing;
    pb.black = static_cast<double>(camera.black);

    const std::vector<Point> points = ringPoints(image, pb.disc);
    if (points.size() < 64)
        return refusal(FitOutcome::NotAMoon);
    const Split first = firstLook(points, static_cast<double>(disc.theta));
    const double sky = skyLevel(image, pb.disc, pb.blur);
    const double dark = std::isnan(sky) ? first.dark : std::min(sky, first.dark);
    // No clear split into a bright and a dark part shaped by a terminator: a disc bright all
    // over against its sky is a full Moon; stripes, chequers or an even grey are no Moon.
    if (first.score < 0.3 || first.lit - dark < 12) {
        std::vector<double> levels;
        for (const Point &p : points)
            levels.push_back(p.level);
        const double typical = median(levels);
        const bool bright = !std::isnan(sky) && typical - sky > 12;
        return refusal(bright && first.dark - sky > 0.3 * (typical - sky) ? FitOutcome::FullMoon
                                                                          : FitOutcome::NotAMoon);
    }

    const std::vector<double> gammas = camera.gamma > 0 ? std::vector<double>{static_cast<double>(camera.gamma)}
                                                        : std::vector<double>{1.0, 1.6, 2.2, 2.8};
    Params best;
    double bestScale = std::numeric_limits<double>::infinity();
    Problem chosen;
    for (double gamma : gammas) {
        Problem trial = pb;
        trial.gamma = gamma;
        const double skyLin = toLight(trial, std::isnan(sky) ? dark : sky);
        trial.skyLin = skyLin;
        trial.floorLin = std::max(1e-3, 0.05 * (toLight(trial, first.lit) - skyLin));
        const Params p = refine(image, trial, Params{first.sun.theta, first.sun.psi, 0.01, trial.blur}, skyLin);
        if (trial.lines.size() < 8)
            continue;
        const double scale = residualScale(trial, p);
        if (scale < bestScale) {
            bestScale = scale;
            best = p;
            chosen = std::move(trial);
        }
    }
    if (!(bestScale < std::numeric_limits<double>::infinity()))
        return refusal(FitOutcome::NotAMoon);

    // Both parts must be a few pixels wide across the middle of the disc.
    const double sinPsi = std::sin(best.psi);
    const double nightPx = pb.disc.r * (1 - sinPsi);
    const double litPx = pb.disc.r * (1 + sinPsi);
    constexpr double kThinnest = 4;
    if (nightPx < kThinnest)
        return refusal(FitOutcome::FullMoon);
    if (litPx < kThinnest)
        return refusal(FitOutcome::NotAMoon);
    if (std::getenv("TFDEBUG")) {
        std::vector<double> e, light;
        residuals(chosen, best, e, &light);
        const Line &line = chosen.lines[chosen.lines.size() / 2];
        for (std::size_t k = line.from; k < line.to; ++k)
            std::fprintf(stderr, "%6.2f %8.3f %8.3f %6.3f %6.3f\n", line.t0 + line.step * static_cast<double>(k - line.from), chosen.samples[k].lin, light[k], chosen.weight[k], chosen.samples[k].z);
        Params truth = best;
        truth.psi = std::atof(std::getenv("TFDEBUG")) * kPiD / 180;
        residuals(chosen, truth, e, &light);
        for (std::size_t k = line.from; k < line.to; ++k)
            std::fprintf(stderr, "T %6.2f %8.3f %8.3f\n", line.t0 + line.step * static_cast<double>(k - line.from), chosen.samples[k].lin, light[k]);
        std::fprintf(stderr, "cost fit %g truth %g\n", sumOfSquares(e), 0.0);
        residuals(chosen, best, e, &light);
        std::fprintf(stderr, "cost fit %g\n", sumOfSquares(e));
    }
    return resultOf(chosen, best, covariance(chosen, best));
}

std::optional<int> litSide(const ImageView &image, const MoonModel &model)
{
    if (image.empty() || image.width < 2 || image.height < 2 || !(model.radius > 0))
        return std::nullopt;
    const Disc d{static_cast<double>(model.centreX), static_cast<double>(model.centreY), static_cast<double>(model.radius)};
    const double ux = static_cast<double>(std::cos(model.theta)), uy = static_cast<double>(std::sin(model.theta));
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
            const double level = sampleLevel(image, d.cx + d.r * (u * ux - v * uy), d.cy + d.r * (u * uy + v * ux));
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
