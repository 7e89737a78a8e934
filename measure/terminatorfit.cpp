#include "measure/terminatorfit.h"

#include "measure/elevation.h"
#include "measure/lightcurve.h"
#include "measure/limbfit.h"
#include "measure/numeric.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace measure {

namespace {

// Levels of the photograph are 8-bit figures averaged over a few pixels: they are read and
// summed in double, which is exact enough for them and keeps a 24-megapixel photograph quick.
// The geometry and the fit of B stay in real.
constexpr double kNoLevel = std::numeric_limits<double>::quiet_NaN();

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

// The photograph's level (0…255, the mean of the colour bytes) at any point, by the one sampler
// of measure, with the sky's slope taken out; NaN off the picture. The sky's glow rises towards
// the horizon and in twilight: across a large disc it may change by as much as a thin crescent
// stands above it, and one side of the disc would pass for the lit one. Its slope is read as a
// plane on two rings just outside the limb, sector by sector, and the levels inside are read as if
// the sky held its level at the disc's centre everywhere.
class Levels {
public:
    Levels(const ImageView &image, const Frame &f)
        : image_(image)
        , cx_(f.cx)
        , cy_(f.cy)
    {
        skySlope(f);
    }

    double at(double x, double y) const { return raw(x, y) - slope(x, y); }
    double raw(double x, double y) const { return sampleLevel(image_, x, y); }
    // How far the sky at (x, y) stands above its level at the disc's centre.
    double slope(double x, double y) const { return gx_ * (x - cx_) + gy_ * (y - cy_); }

private:
    void skySlope(const Frame &f);

    const ImageView &image_;
    double cx_ = 0, cy_ = 0;
    double gx_ = 0, gy_ = 0;
};

void Levels::skySlope(const Frame &f)
{
    // Sectors of two rings, each one's median: stars and a clipped frame's edge leave it alone.
    constexpr int kSectors = 32, kPerSector = 24;
    const double radii[2] = {f.r * 1.06 + 3, f.r * 1.1 + 6};
    std::vector<std::array<double, 3>> points; // angle's cosine and sine, median level
    std::vector<double> sector;
    for (int k = 0; k < kSectors; ++k) {
        sector.clear();
        for (const double radius : radii)
            for (int i = 0; i < kPerSector; ++i) {
                const double angle =
                    2 * static_cast<double>(kPi) * (k + (i + 0.5) / kPerSector) / kSectors;
                const double v =
                    raw(f.cx + radius * std::cos(angle), f.cy + radius * std::sin(angle));
                if (!std::isnan(v))
                    sector.push_back(v);
            }
        if (sector.size() < kPerSector)
            continue;
        const double middle = 2 * static_cast<double>(kPi) * (k + 0.5) / kSectors;
        points.push_back({std::cos(middle), std::sin(middle), quantile(sector, 0.5)});
    }
    const auto plane = [](const std::vector<std::array<double, 3>> &pts) {
        std::array<std::array<real, 3>, 3> a{};
        std::array<real, 3> b{};
        for (const auto &p : pts) {
            const real row[3] = {1, p[0], p[1]};
            for (std::size_t i = 0; i < 3; ++i) {
                for (std::size_t j = 0; j < 3; ++j)
                    a[i][j] += row[i] * row[j];
                b[i] += row[i] * p[2];
            }
        }
        return solveLinear<3>(a, b);
    };
    // A disc the frame cuts leaves too little of the ring to tell a slope from the glow of the
    // lit limb: the sky is then taken as even, as it is over most photographs.
    if (points.size() < kSectors * 3 / 4)
        return;
    auto fitted = plane(points);
    if (!fitted)
        return;
    // Sectors that a bright neighbour or a lit limb's glow lifts well off the plane are left out
    // of a second fit.
    std::vector<double> deviation;
    for (const auto &p : points)
        deviation.push_back(std::fabs(
            p[2] - static_cast<double>((*fitted)[0] + (*fitted)[1] * p[0] + (*fitted)[2] * p[1])));
    const double limit = 1 + 3 * 1.4826 * quantile(deviation, 0.5);
    std::vector<std::array<double, 3>> kept;
    for (std::size_t k = 0; k < points.size(); ++k)
        if (deviation[k] <= limit)
            kept.push_back(points[k]);
    if (kept.size() < kSectors * 3 / 4 || !(fitted = plane(kept)))
        return;
    const double ring = (radii[0] + radii[1]) / 2;
    gx_ = static_cast<double>((*fitted)[1]) / ring;
    gy_ = static_cast<double>((*fitted)[2]) / ring;
}

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

// The light of the photograph in the camera's linear units (0…255 for a white level): each
// pixel's level decoded through the camera's tone curve, level^gamma. The edge is fitted in
// light, where the ramp rises as the reflectance law says; through a display curve its foot
// would rise steeply and the edge would come out on the night side.
class Light {
public:
    Light(const ImageView &image, double gamma)
        : image_(image)
    {
        // Indexed by the sum of the colour bytes, or three times the grey one.
        for (std::size_t sum = 0; sum < decoded_.size(); ++sum)
            decoded_[sum] = 255 * std::pow(static_cast<double>(sum) / 765, gamma);
    }

    // The light of the pixel nearest (x, y); NaN off the picture.
    double at(double x, double y) const
    {
        if (!(x > -0.5 && y > -0.5 && x < image_.width - 0.5 && y < image_.height - 0.5))
            return kNoLevel;
        const auto i = static_cast<long>(x + 0.5), j = static_cast<long>(y + 0.5);
        const std::uint8_t *p = image_.pixels + j * image_.stride + i * image_.bytesPerPixel();
        return decoded_[image_.format == ImageView::Format::Grey8
                ? 3u * p[0]
                : static_cast<std::size_t>(p[0] + p[1] + p[2])];
    }

private:
    const ImageView &image_;
    std::array<double, 766> decoded_{};
};

// Half the length of the terminator, in pixels, over which a line's light is averaged: a crater's
// shadow or a lit peak takes a small part of it, so that the line sees the mean light of the
// rough ground rather than the one feature it happens to cross.
constexpr int kBandHalf = 15;

// The light along a line, as `sampleProfile` places its samples, each the mean over a band of
// rows along the cusp line whose samples are shifted across so that they keep their distance
// to the terminator of sin B `sinB`; `half` rows on either side.
Profile bandProfile(
    const Light &light, const Frame &f, double a, double sinB, double s0, int count, int half)
{
    Profile p;
    p.a = a;
    p.rho = std::sqrt(1 - a * a);
    p.s0 = s0;
    p.level.assign(static_cast<std::size_t>(std::max(0, count)), 0);
    std::vector<int> seen(p.level.size(), 0);
    int rows = 0;
    // Every other row: the band is there to average the relief, which neighbouring rows share.
    const int stride = half > 2 ? 2 : 1;
    for (int j = -half; j <= half; j += stride) {
        const double aj = a + j / f.r;
        if (std::fabs(aj) >= 1)
            continue;
        ++rows;
        const double shift = (std::sqrt(1 - aj * aj) - p.rho) * sinB * f.r;
        const double bx = f.cx + aj * f.r * f.ux + (s0 + shift) * f.vx;
        const double by = f.cy + aj * f.r * f.uy + (s0 + shift) * f.vy;
        for (std::size_t k = 0; k < p.level.size(); ++k) {
            const double v =
                light.at(bx + static_cast<double>(k) * f.vx, by + static_cast<double>(k) * f.vy);
            if (!std::isnan(v)) {
                p.level[k] += v;
                ++seen[k];
            }
        }
    }
    // A sample seen by fewer than half the rows lies off the picture.
    for (std::size_t k = 0; k < p.level.size(); ++k)
        p.level[k] = 2 * seen[k] > rows ? p.level[k] / seen[k] : kNoLevel;
    return p;
}

// The whole chord at a glance: a few hundred samples, whatever the radius.
Profile chordProfile(const Levels &levels, const Frame &f, double a)
{
    const double step = std::max(1.0, std::floor(f.r / 200));
    const int half = static_cast<int>(std::floor(std::sqrt(1 - a * a) * f.r / step));
    return sampleProfile(levels, f, a, -half * step, step, 2 * half + 1);
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

Glance glance(const Profile &p, double sky, double threshold, double radius)
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
    // A disc cut by the frame leaves part of a line off the picture: what is left may still
    // show the edge.
    if (n < 2 * (near + 2) || valid < (n - 2 * margin) * 0.4)
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
        // A terminator parts the night from a day standing well above it. Earthshine bright
        // enough to reach the threshold, its seas below and its highlands above, parts nothing:
        // the light on either side of its crossings is the same.
        std::vector<double> day, night;
        for (int j = near; j < n - near; ++j) {
            const double v = smooth[static_cast<std::size_t>(j)];
            if (!std::isnan(v))
                ((edge - j) * step > 0 ? night : day).push_back(v);
        }
        if (!night.empty() && quantile(day, 0.5) - quantile(night, 0.5) < threshold - sky)
            return g;
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
    // `blur` is the seeing's standard deviation in pixels, modelled when the window reaches a
    // limb: there the lit ground ends within a few pixels of the terminator, on a thin crescent
    // or a nearly full Moon, and the blur mixes the two edges. The sky past the limb gets its
    // own level, since the earthshine lights the night but not the sky.
    // Without `square` the ramp is K μ alone.
    WindowFit(const Profile &p, double r, int litSign, double weight, double blur, bool square)
        : rho_(p.rho)
        , sign_(litSign)
        , weight_(weight)
        , square_(square)
    {
        for (std::size_t k = 0; k < p.level.size(); ++k) {
            const double v = p.s(k) / r;
            v_.push_back(v);
            z_.push_back(std::sqrt(std::max(0.0, p.rho * p.rho - v * v)));
            outside_.push_back(std::fabs(v) >= p.rho);
            level_.push_back(p.level[k]);
            if (!std::isnan(p.level[k])) {
                sumI_ += p.level[k];
                sumII_ += p.level[k] * p.level[k];
                ++count_;
                sky_ += outside_.back();
                skyI_ += outside_.back() ? p.level[k] : 0;
            }
        }
        if (sky_ > 0 && blur > 0.3) {
            const int half = static_cast<int>(std::ceil(3 * blur));
            for (int k = -half; k <= half; ++k)
                kernel_.push_back(std::exp(-0.5 * k * k / (blur * blur)));
        }
    }

    std::size_t size() const { return count_; }

    // The residual sum of squares at t; infinite when the lit side comes out darker. The ramp
    // is K μ + Q μ²: the square term takes up an albedo that changes along the window (a sea
    // that ends a little way into the day), so that only the foot of the ramp places the edge.
    double residual(double t) const
    {
        const double sinB = std::clamp(t / rho_, -1.0, 1.0);
        const double cosB = std::sqrt(1 - sinB * sinB);
        // The normal equations of (c, K, Q) and, with sky past the limb, of its own level.
        // Only the lit side of t, and with blur a few pixels about it, adds to the sums of the
        // ramp; the rest adds to the constant terms known beforehand.
        const auto split =
            static_cast<std::size_t>(std::lower_bound(v_.begin(), v_.end(), t) - v_.begin());
        const std::size_t halfKernel = kernel_.size() / 2;
        const std::size_t from = sign_ > 0 ? 0 : split - std::min(split, halfKernel);
        const std::size_t to = std::min(v_.size(), (sign_ > 0 ? split : v_.size()) + halfKernel);
        const auto lightAt = [&](std::size_t k) {
            return outside_[k] ? 0.0
                               : reflected(sign_ * (-v_[k] * cosB + z_[k] * sinB), z_[k], weight_);
        };
        double s[4][4] = {}, sy[4] = {};
        if (kernel_.empty()) {
            // The window's hot loop, in double; the few sums are solved in real. Past the limb
            // the ramp is 0 and adds nothing.
            double s1 = 0, s2 = 0, s3 = 0, s4 = 0, si1 = 0, si2 = 0;
            for (std::size_t k = from; k < to; ++k) {
                if (std::isnan(level_[k]) || outside_[k])
                    continue;
                const double mu = lightAt(k), mu2 = mu * mu;
                s1 += mu;
                s2 += mu2;
                s3 += mu2 * mu;
                s4 += mu2 * mu2;
                si1 += mu * level_[k];
                si2 += mu2 * level_[k];
            }
            s[0][1] = s[1][0] = s1;
            s[0][2] = s[2][0] = s[1][1] = s2;
            s[1][2] = s[2][1] = s3;
            s[2][2] = s4;
            sy[1] = si1;
            sy[2] = si2;
        } else {
            std::vector<double> &mu = scratch_[0], &mu2 = scratch_[1];
            const std::size_t lo = from - std::min(from, halfKernel);
            const std::size_t hi = std::min(v_.size(), to + halfKernel);
            mu.resize(hi - lo);
            mu2.resize(hi - lo);
            for (std::size_t k = lo; k < hi; ++k) {
                mu[k - lo] = lightAt(k);
                mu2[k - lo] = mu[k - lo] * mu[k - lo];
            }
            blurred(mu);
            blurred(mu2);
            for (std::size_t k = from; k < to; ++k)
                if (!std::isnan(level_[k]))
                    accumulate(s, sy, mu[k - lo], outside_[k], level_[k], mu2[k - lo]);
        }
        // The constant terms over the whole window.
        s[0][0] = static_cast<double>(count_);
        s[0][3] = s[3][0] = s[3][3] = static_cast<double>(sky_);
        sy[0] = sumI_;
        sy[3] = skyI_;
        std::array<std::array<real, 4>, 4> a{};
        std::array<real, 4> y{};
        for (std::size_t i = 0; i < 4; ++i) {
            y[i] = sy[i];
            for (std::size_t j = 0; j < 4; ++j)
                a[i][j] = s[i][j];
        }
        if (sky_ == 0)
            a[3][3] = 1;
        if (!square_) {
            for (std::size_t i = 0; i < 4; ++i)
                a[2][i] = a[i][2] = 0;
            a[2][2] = 1;
            y[2] = 0;
        }
        const std::optional<std::array<real, 4>> beta = solveLinear<4>(a, y);
        if (!beta)
            return std::numeric_limits<double>::infinity();
        // The lit side must come out brighter than the night on the whole.
        if (!((*beta)[1] * a[0][1] + (*beta)[2] * a[0][2] > 0))
            return std::numeric_limits<double>::infinity();
        real explained = 0;
        for (std::size_t i = 0; i < 4; ++i)
            explained += (*beta)[i] * y[i];
        return sumII_ - static_cast<double>(explained);
    }

private:
    // One sample's share of the normal equations over (1, μ, μ², past the limb); μ² comes
    // blurred on its own, since the blur of a square is not the square of the blur.
    static void accumulate(
        double (&s)[4][4], double (&sy)[4], double mu, bool outside, double level, double mu2)
    {
        const double f[4] = {1, mu, mu2, outside ? 1.0 : 0.0};
        for (std::size_t i = 0; i < 4; ++i) {
            sy[i] += f[i] * level;
            for (std::size_t j = 0; j < 4; ++j)
                s[i][j] += f[i] * f[j];
        }
    }

    // The light as the seeing spreads it, when it is modelled; past the window's ends the
    // kernel keeps only what it covers.
    void blurred(std::vector<double> &light) const
    {
        if (kernel_.empty())
            return;
        const int half = static_cast<int>(kernel_.size() / 2);
        const int n = static_cast<int>(light.size());
        std::vector<double> &out = blurredScratch_;
        out.assign(light.size(), 0);
        for (int k = 0; k < n; ++k) {
            double sum = 0, weight = 0;
            for (int j = std::max(0, k - half); j <= std::min(n - 1, k + half); ++j) {
                const double w = kernel_[static_cast<std::size_t>(j - k + half)];
                sum += w * light[static_cast<std::size_t>(j)];
                weight += w;
            }
            out[static_cast<std::size_t>(k)] = sum / weight;
        }
        light.swap(out);
    }

    double rho_;
    int sign_;
    double weight_;
    bool square_;
    std::vector<double> v_, z_, level_, kernel_;
    std::vector<bool> outside_;
    // Room for the light along the window and its blur, kept between the fit's evaluations.
    mutable std::array<std::vector<double>, 2> scratch_;
    mutable std::vector<double> blurredScratch_;
    std::size_t count_ = 0;
    std::size_t sky_ = 0;
    double sumI_ = 0, sumII_ = 0, skyI_ = 0;
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

// Whether the terminator at `edge` (radii across) on a line of half-length rho lies within a
// few blur widths of the limb: the limb's own blur is not part of the ramp, unless the edge lies
// there; then the blur is modelled, and the window takes in the sky past the limb.
bool nearLimb(double rho, double edge, double blur, double r)
{
    return rho - std::fabs(edge) < (4 * blur + 12) / r;
}

// The edge of one line inside [lo, hi] (radii across) from its band of light sampled at every
// pixel, or none when the best place is at an end of the window or the window is too thin to
// tell.
std::optional<double> refineEdge(const Profile &band,
    double r,
    double edge,
    double lo,
    double hi,
    int litSign,
    double weight,
    double blur,
    double precision,
    bool square,
    int steps)
{
    const double rho = band.rho;
    const double limit = rho - 3 / r;
    const bool limb = nearLimb(rho, edge, blur, r) && (lo < -limit || hi > limit);
    const double from = std::max(lo, limb ? -rho + 1 / r : -limit);
    const double to = std::min(hi, limb ? rho - 1 / r : limit);
    if (!(to - from > (limb ? 2 : 8) / r))
        return std::nullopt;
    const double reach = limb ? rho + (3 * blur + 3) / r : limit;
    const double first = std::max(std::ceil(std::max(lo, -reach) * r), band.s0);
    const double last =
        std::min(std::floor(std::min(hi, reach) * r), band.s(band.level.size()) - 1);
    if (!(last > first))
        return std::nullopt;
    Profile p = band;
    p.s0 = first;
    const auto skip = static_cast<std::ptrdiff_t>(first - band.s0);
    p.level.assign(band.level.begin() + skip,
        band.level.begin() + skip + static_cast<std::ptrdiff_t>(last - first) + 1);
    const WindowFit fit(p, r, litSign, weight, limb ? blur : 0, square);
    if (fit.size() < 8)
        return std::nullopt;

    // A coarse scan in `steps` finds the valley, a golden-section search its bottom.
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
    return goldenMinimum(fit, from + (best - 1) * step, from + (best + 1) * step, precision / r)
        .first;
}

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

// A line's levels pixel by pixel from each limb inwards, as deep as the looks below need: what
// the glance over the whole chord misses, the night of a nearly full Moon or the light of a thin
// crescent, a few pixels wide against the limb.
struct LimbEnds {
    double a = 0;
    /// From the limb at −v, then from the one at +v.
    std::array<std::vector<double>, 2> level;
};

// The ends of the line at `a`, `reach` radii deep from each limb.
LimbEnds limbEnds(const Levels &levels, const Frame &f, double a, double reach)
{
    const double half = std::sqrt(1 - a * a) * f.r;
    const int depth = std::min(std::max(16, static_cast<int>(f.r * reach)), static_cast<int>(half));
    LimbEnds ends;
    ends.a = a;
    for (std::size_t end = 0; end < 2; ++end) {
        const double side = end == 0 ? -1.0 : 1.0;
        ends.level[end] = sampleProfile(levels, f, a, side * half, -side, depth).level;
    }
    return ends;
}

// The brightest level of a line near either limb.
double brightest(const LimbEnds &ends)
{
    double best = kNoLevel;
    for (const std::vector<double> &level : ends.level)
        for (const double v : level)
            if (!std::isnan(v) && (std::isnan(best) || v > best))
                best = v;
    return best;
}

// What the ends of a line say: a lit limb shows light from the limb on; the night shows the lit
// ground only some pixels in, or not at all. The earthshine that lights the night of a thin
// crescent reaches a fifth of the crescent's level through a display curve: only what stands
// above 40 % of the line's brightest counts as lit, so that the earthshine's edge against the
// sky does not pass for the lit limb of a nearly full Moon.
//
// Earthshine may light the night as high as that: a photograph exposed for it shows a crescent
// only twice as bright. `overNight` then sets the threshold as far above the night's own level,
// read as the dimmer of the two ends' medians (the crescent is a small part of its end).
Glance limbGlance(
    const LimbEnds &ends, const Frame &f, double sky, double threshold, bool overNight = false)
{
    const double top = brightest(ends);
    if (!std::isnan(top))
        threshold = std::max(threshold, sky + 0.4 * (top - sky));
    if (overNight && !std::isnan(top)) {
        double night = top;
        for (const std::vector<double> &level : ends.level) {
            // Past the limb's blur.
            std::vector<double> inner;
            for (std::size_t j = 3; j < level.size(); ++j)
                if (!std::isnan(level[j]))
                    inner.push_back(level[j]);
            if (!inner.empty())
                night = std::min(night, quantile(inner, 0.5));
        }
        threshold = std::max(threshold, night + 0.4 * (top - night));
    }
    const double rho = std::sqrt(1 - ends.a * ends.a);
    // Pixels from each limb to the first lit ones, none within the depth looked at; and where
    // the light that starts at a limb gives way to the night.
    int from[2] = {-1, -1}, runEnd[2] = {-1, -1};
    for (std::size_t end = 0; end < 2; ++end) {
        const std::vector<double> &level = ends.level[end];
        const int n = static_cast<int>(level.size());
        const auto bright = [&](int j) {
            return level[static_cast<std::size_t>(j)] > threshold;
        };
        // Two lit pixels in a row, so that one bright grain does not count.
        for (int j = 0; j + 1 < n && from[end] < 0; ++j)
            if (bright(j) && bright(j + 1))
                from[end] = j;
        if (from[end] == 0 || from[end] == 1)
            for (int j = from[end]; j < n && runEnd[end] < 0; ++j)
                if (!bright(j))
                    runEnd[end] = j;
    }
    Glance g;
    const bool startLit = from[0] == 0 || from[0] == 1, endLit = from[1] == 0 || from[1] == 1;
    if (startLit == endLit)
        return g;
    const int litEnd = startLit ? 0 : 1, darkEnd = 1 - litEnd;
    g.litSign = startLit ? 1 : -1;
    if (from[darkEnd] >= 3) {
        // A nearly full Moon: the night is the dark band against the other limb.
        g.kind = Glance::Kind::Edge;
        g.t = (darkEnd == 0 ? -1 : 1) * (rho - from[darkEnd] / f.r);
    } else if (from[darkEnd] < 0 && runEnd[litEnd] > 0) {
        // A thin crescent: the light ends a few pixels from its limb.
        g.kind = Glance::Kind::Edge;
        g.t = (litEnd == 0 ? -1 : 1) * (rho - runEnd[litEnd] / f.r);
    }
    return g;
}

// What a first look along every line tells: the side lit and a rough B, or why there is no
// terminator to fit.
struct FirstLook {
    FitOutcome outcome = FitOutcome::NotAMoon;
    std::vector<Profile> profiles;
    int litSign = 1;
    int edges = 0;
    real sinB = 0;
};

// The sines of B at which the lines lit on `litSign`'s side find their edge.
std::vector<double> edgeSines(
    const std::vector<Glance> &glances, const std::vector<Profile> &profiles, int litSign)
{
    std::vector<double> sines;
    for (std::size_t k = 0; k < glances.size(); ++k)
        if (glances[k].kind == Glance::Kind::Edge && glances[k].litSign == litSign)
            sines.push_back(glances[k].t / profiles[k].rho);
    return sines;
}

// How widely edges scatter across the disc: the spread between the quartiles of their sines of
// B. A terminator's edges lie on one curve, within a few tenths on rough ground; crossings of a
// threshold by the night's own light lie anywhere.
constexpr double kScattered = 0.5;

double spread(const std::vector<double> &sines)
{
    return sines.empty() ? 0 : quantile(sines, 0.75) - quantile(sines, 0.25);
}

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
    // A thin crescent is a few pixels wide, lost in the chords' samples: each line's brightest
    // pixel near its limbs finds it, and the earthshine does not pass for daylight.
    std::vector<double> bright;
    for (const Profile &p : look.profiles)
        bright.push_back(brightest(limbEnds(levels, f, p.a, 0.1)));
    const double lit = std::max(quantile(inside, 0.995), quantile(bright, 0.5));
    if (std::isnan(sky) || std::isnan(lit) || lit - sky < 12)
        return look;

    // The side lit, and a rough edge somewhat inside the day, line by line.
    const double threshold = sky + 0.25 * (lit - sky);
    std::vector<Glance> glances;
    int votes[2] = {0, 0};
    int full = 0, dark = 0;
    for (const Profile &p : look.profiles) {
        glances.push_back(glance(p, sky, threshold, f.r));
        const Glance &g = glances.back();
        full += g.kind == Glance::Kind::Full;
        dark += g.kind == Glance::Kind::Dark;
        if (g.kind == Glance::Kind::Edge)
            ++votes[g.litSign > 0 ? 0 : 1];
    }
    look.edges = votes[0] + votes[1];
    // So many lines at least must show the edge.
    const int enough = std::max(6, count / 6);
    if (look.edges < enough) {
        // Nearly full, or a thin crescent: the terminator lies within a few pixels of a limb.
        // Through a linear camera the light of a nearly full Moon rises slowly from its night:
        // the ends are read twice as deep.
        std::vector<LimbEnds> ends;
        for (const Profile &p : look.profiles)
            ends.push_back(limbEnds(levels, f, p.a, 0.2));
        for (const bool overNight : {false, true}) {
            votes[0] = votes[1] = 0;
            for (std::size_t k = 0; k < look.profiles.size(); ++k) {
                glances[k] = limbGlance(ends[k], f, sky, threshold, overNight);
                if (glances[k].kind == Glance::Kind::Edge)
                    ++votes[glances[k].litSign > 0 ? 0 : 1];
            }
            look.edges = votes[0] + votes[1];
            const int side = votes[0] >= votes[1] ? 1 : -1;
            if (look.edges >= enough
                && spread(edgeSines(glances, look.profiles, side)) <= kScattered)
                break;
        }
    }
    if (look.edges < enough) {
        if (full >= count / 2 && dark < count / 10)
            look.outcome = FitOutcome::FullMoon;
        return look;
    }
    look.litSign = votes[0] >= votes[1] ? 1 : -1;
    const std::vector<double> rough = edgeSines(glances, look.profiles, look.litSign);
    if (std::min(votes[0], votes[1]) > look.edges / 5 || spread(rough) > kScattered)
        return look;
    look.sinB = quantile(rough, 0.5);
    look.outcome = FitOutcome::Found;
    return look;
}

// How far into the day the windows of the later rounds reach, in radians of the Sun's
// elevation; and the longer windows that tell how much the answer leans on the ramp's shape.
constexpr double kDayWindow = 3 * static_cast<double>(kPi) / 180;
constexpr double kWideWindow = 8 * static_cast<double>(kPi) / 180;

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

// How a round reads each line: how far its window reaches into the day, in radians of the
// Sun's elevation, and whether the ramp has its square term.
struct Reading {
    double dayWindow = kDayWindow;
    bool square = true;
};

// The edges of one round in windows about `curve`, one set for each reading, on every `every`th
// line; each line's band of light is sampled once for them all.
std::vector<std::vector<EdgePoint>> roundEdges(const Light &light,
    const Frame &f,
    const FirstLook &look,
    const Curve &curve,
    double blur,
    int round,
    const std::vector<Reading> &readings,
    std::size_t every = 1)
{
    // The rough edges lie up to a quarter of the lit level inside the day: the first round
    // looks mostly towards the night. The later windows reach as far into the night, past the
    // light of the highest peaks, so that the fit sees the night's own level and the whole
    // foot of the ramp. On the day side they stop at the same Sun's elevation on every phase,
    // where the ground's own shadows still darken the ramp's foot: the ramp's square term
    // follows that foot, but not over a window long enough for the shadows to give way to the
    // bare law (across the terminator the elevation's sine changes by 1 / cos B per radius).
    const double cosB = std::cos(static_cast<double>(degreesToRadians(curve.b)));
    const double night = round == 0 ? 0.35 : 0.15 + 4 / f.r;
    std::vector<double> day;
    for (const Reading &reading : readings)
        day.push_back(round == 0 ? 0.12 : std::sin(reading.dayWindow) * cosB + 6 / f.r);
    const double longest = *std::max_element(day.begin(), day.end());
    // Only the last round needs the edge to a small fraction of a pixel; the first looks at a
    // few rows of each line, the later ones at the band.
    const double precision = round == 2 ? 0.02 : 0.25;
    const double weight = lunarWeight(static_cast<double>(curve.phase()));
    const double sinB = std::sin(static_cast<double>(degreesToRadians(curve.b)));
    std::vector<std::vector<EdgePoint>> found(readings.size());
    for (std::size_t n = 0; n < look.profiles.size(); n += every) {
        const Profile &line = look.profiles[n];
        const double predicted = curve.across(line.rho);
        // Towards the night is towards +v when the −v side is lit.
        const double towardsNight = curve.litSign > 0 ? 1 : -1;
        const double reach = line.rho + (3 * blur + 3) / f.r;
        const double lo = std::max(predicted - (towardsNight > 0 ? longest : night), -reach);
        const double hi = std::min(predicted + (towardsNight > 0 ? night : longest), reach);
        const double first = std::ceil(lo * f.r), last = std::floor(hi * f.r);
        if (!(last > first))
            continue;
        // Rows aligned on the terminator drift off the limb towards the cusps: within a pixel
        // where the terminator nears the limb, whose edge the fit models.
        const double drift = std::fabs(line.a) / line.rho * (1 - std::fabs(sinB));
        const int half = round == 0 ? 1
            : nearLimb(line.rho, predicted, blur, f.r) && drift * kBandHalf > 1
            ? std::max(1, static_cast<int>(1 / drift))
            : kBandHalf;
        const Profile band =
            bandProfile(light, f, line.a, sinB, first, static_cast<int>(last - first) + 1, half);
        // The other readings are compared with the first: every third line is enough, to a
        // tenth of a pixel.
        for (std::size_t k = 0; k < (n % 3 == 0 ? readings.size() : 1); ++k) {
            const double wlo = predicted - (towardsNight > 0 ? day[k] : night);
            const double whi = predicted + (towardsNight > 0 ? night : day[k]);
            const auto t = refineEdge(band,
                f.r,
                predicted,
                wlo,
                whi,
                curve.litSign,
                weight,
                blur,
                k == 0 ? precision : std::max(precision, 0.1),
                readings[k].square,
                k == 0 ? 32 : 16);
            if (t)
                found[k].push_back({static_cast<real>(line.a), static_cast<real>(*t)});
        }
    }
    return found;
}

// The edges of `all` on the lines where `some` has one; both in the order of the lines.
std::vector<EdgePoint> onLinesOf(
    const std::vector<EdgePoint> &all, const std::vector<EdgePoint> &some)
{
    std::vector<EdgePoint> kept;
    auto next = some.begin();
    for (const EdgePoint &e : all) {
        while (next != some.end() && next->along < e.along)
            ++next;
        if (next != some.end() && next->along == e.along)
            kept.push_back(e);
    }
    return kept;
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

// Beyond a degree of uncertainty (one standard deviation) the terminator's tilt is not read.
constexpr real kLooseTilt = kPi / 180;

TerminatorFit fitTerminator(const ImageView &image, const MoonModel &disc, double blur)
{
    if (!image.pixels || image.width < 2 || image.height < 2)
        return refused(FitOutcome::NoPhotograph);
    if (!(disc.radius > 0))
        return refused(FitOutcome::NoCircle);
    if (disc.radius < 40)
        return refused(FitOutcome::DiscTooSmall);
    const Levels levels(image, Frame(disc));
    MoonModel frame = disc;
    const FirstLook look = firstLook(levels, Frame(frame));
    if (look.outcome != FitOutcome::Found)
        return refused(look.outcome);

    Curve curve{arcsineDegrees(look.sinB), look.litSign};
    // Each round seeks the edges about the curve the last one fitted, and turns the cusp line
    // to it; the windows narrow after the first. Near full Moon and on a thin crescent the
    // terminator hugs the limb and says little of the cusp line's tilt: the clicked one stays.
    std::optional<LightCurve> fit;
    std::vector<EdgePoint> found;
    bool turned = true;
    real heldTilt = 0;
    // The grain's floor of the edges' scatter, in radii.
    const real minScale = 0.05L / disc.radius;
    // The first round fits the levels as they are, which places the terminator well enough to
    // read the camera's tone on the lit ground; the later ones fit the light. The last also
    // reads each line with a longer window and without the ramp's square term: how far B moves
    // then tells how much it leans on the shape of the ramp's foot, which the fit follows only
    // in part.
    std::optional<double> slope;
    std::optional<real> tone;
    std::optional<Light> light;
    std::vector<std::vector<EdgePoint>> readings;
    for (int round = 0; round < 3; ++round) {
        if (round == 0) {
            light.emplace(image, 1.0);
        } else if (round == 1) {
            MoonModel seen = frame;
            seen.b = curve.b;
            seen.litSign = curve.litSign;
            slope = toneSlope(image, seen, blur);
            tone = gammaOfSlope(slope);
            light.emplace(image, static_cast<double>(tone.value_or(kDisplayGamma)));
        }
        std::vector<Reading> ways{Reading{}};
        if (round == 2)
            ways = {Reading{}, Reading{kWideWindow, true}, Reading{kDayWindow, false}};
        // The middle round only moves the windows for the last: every other line is enough.
        readings = roundEdges(*light,
            Frame(frame),
            look,
            curve,
            blur,
            round,
            ways,
            round == 1 && look.profiles.size() >= 48 ? 2 : 1);
        found = readings[0];
        fit = fitLightCurve(found, curve.litSign, curve.b, minScale, turned);
        if (fit && turned && std::sqrt(fit->covariance[1][1]) > kLooseTilt) {
            // What the terminator says of the tilt still bounds the clicked one: its variance,
            // and how far the clicks lie from what it reads.
            const real offset = frame.theta + fit->turn - disc.theta;
            heldTilt = fit->covariance[1][1] + offset * offset;
            turned = false;
            frame.theta = disc.theta;
            fit = fitLightCurve(found, curve.litSign, curve.b, minScale, false);
        }
        if (!fit)
            return refused(FitOutcome::NotAMoon);
        frame.theta += fit->turn;
        curve = {fit->b, fit->litSign};
    }
    // A terminator is one curve: most lines agree on it. Edges of a pattern agree on nothing.
    if (fit->inliers < std::max(8, look.edges / 3)
        || 2 * fit->inliers < static_cast<int>(found.size()))
        return refused(FitOutcome::NotAMoon);
    // Under 4 pixels of night (or of day) across the middle of the disc, there is nothing left
    // to fit.
    const real sine = std::sin(degreesToRadians(fit->b));
    if (disc.radius * (1 - std::fabs(sine)) < 4)
        return refused(fit->litSign * sine > 0 ? FitOutcome::FullMoon : FitOutcome::NotAMoon);
    TerminatorFit result = resultOf(*fit, frame);
    result.gamma = tone;
    // The other readings against the main one: the ramp's foot is shaped by the photometry, the
    // ground's roughness and its shadows, which the fit follows only in part, and how far B moves
    // with the reading (the last round's cusp line held) is counted in its variance, at the level
    // of the ± shown. Where the tilt is read off the terminator, it moves with the reading as
    // well: a foot shaped otherwise at one end of the terminator than at the other turns it.
    const auto refit = [&](const std::vector<EdgePoint> &edges, bool turn) {
        return fitLightCurve(edges, fit->litSign, fit->b, minScale, turn);
    };
    real moved = 0, turnedBy = 0;
    for (std::size_t k = 1; k < readings.size(); ++k) {
        const std::vector<EdgePoint> same = onLinesOf(readings[0], readings[k]);
        const auto main = refit(same, false);
        const auto other = refit(readings[k], false);
        if (main && other)
            moved += (other->b - main->b) * (other->b - main->b);
        const auto mainTurned = turned ? refit(same, true) : std::nullopt;
        const auto otherTurned = turned ? refit(readings[k], true) : std::nullopt;
        if (mainTurned && otherTurned)
            turnedBy +=
                (otherTurned->turn - mainTurned->turn) * (otherTurned->turn - mainTurned->turn);
    }
    result.foot = std::sqrt(moved) / kShownPerSigma;
    result.footTilt = std::sqrt(turnedBy) / kShownPerSigma;
    // A slope read near the split leaves the tone in doubt: every third line is read once more
    // through the other curve, and how far B moves then, against the main reading of the same
    // lines, counts in its variance as one standard deviation, so that the ± holds whichever
    // tone the camera had. The tilt's is left alone: the other tone moves the edge alike all
    // along the terminator, and what it turns on a third of the lines is their scatter, which
    // the tilt's variance counts already. The slope is read again on the terminator found,
    // which places the lit ground better than the first round did: either reading near the
    // split is doubt enough.
    MoonModel fitted = frame;
    fitted.b = fit->b;
    fitted.litSign = fit->litSign;
    const auto nearSplit = [](std::optional<double> s) {
        return s && std::fabs(std::log(*s / kToneSplit)) < std::log(kToneDoubt);
    };
    if (slope && (nearSplit(slope) || nearSplit(toneSlope(image, fitted, blur)))) {
        const Light other(image, *tone > 1 ? 1.0 : static_cast<double>(kDisplayGamma));
        const std::vector<EdgePoint> retold =
            roundEdges(other, Frame(frame), look, curve, blur, 2, {Reading{}}, 3)[0];
        const auto main = refit(onLinesOf(readings[0], retold), false);
        const auto otherTone = refit(retold, false);
        if (main && otherTone)
            result.toneMoved = otherTone->b - main->b;
    }
    // Within a few blur widths of the limb the whole lit (or night) part is foot and blur: the
    // terminator's place across is known to about the blur's width, whatever the lines say.
    if (nearLimb(1, static_cast<double>(sine), blur, static_cast<double>(disc.radius)))
        result.limbBound = radiansToDegrees(static_cast<real>(kFwhmPerSigma * blur)
            / (disc.radius * std::cos(degreesToRadians(fit->b))));
    const real toneB = result.toneMoved.value_or(0);
    result.covariance[0][0] +=
        result.foot * result.foot + result.limbBound * result.limbBound + toneB * toneB;
    result.bSigma = kShownPerSigma * std::sqrt(result.covariance[0][0]);
    if (turned) {
        result.covariance[1][1] += result.footTilt * result.footTilt;
    } else {
        result.covariance[0][1] = result.covariance[1][0] = 0;
        result.covariance[1][1] = heldTilt;
    }
    result.tiltFitted = turned;
    return result;
}

namespace {

// Sums for the least squares of y on x.
struct LineSums {
    double n = 0, x = 0, y = 0, xx = 0, xy = 0;

    void add(double u, double v)
    {
        n += 1;
        x += u;
        y += v;
        xx += u * u;
        xy += u * v;
    }
};

// The tone's slope of log level against log light where the Sun stands high enough for the
// ground's own shadows to be mostly gone (above 20 degrees), read within each cell of the disc
// alone, where the albedo is nearly even: the median of the cells' slopes, each weighted by how
// far the light changes across it, so that a sea, wherever it lies, and the cells its shore
// crosses weigh on nothing. `full` is a cell's count of samples; none with too few cells or
// where the light hardly changes across them.
std::optional<double> slopeWithinCells(const std::vector<LineSums> &cells, double full)
{
    std::vector<std::pair<double, double>> slopes; // each cell's, and its weight
    double sxx = 0, samples = 0;
    for (const LineSums &c : cells) {
        const double cxx = c.xx - c.x * c.x / c.n;
        if (c.n < full / 2 || !(cxx > 0))
            continue;
        slopes.push_back({(c.xy - c.x * c.y / c.n) / cxx, cxx});
        sxx += cxx;
        samples += c.n;
    }
    // Near full Moon the light changes by under 2 % across a cell, and the ground's texture
    // decides.
    if (slopes.size() < 8 || !(sxx > 0.02 * 0.02 * samples))
        return std::nullopt;
    std::sort(slopes.begin(), slopes.end());
    double sum = 0;
    for (const auto &[slope, weight] : slopes)
        if ((sum += weight) >= sxx / 2)
            return slope;
    return slopes.back().first;
}

} // namespace

// Under a Sun more than 11 degrees high the ground's own shadows are mostly gone and the light is
// the lunar-Lambert law's times the albedo. The levels above the sky then rise as that light to
// the power 1 / gamma: a display curve reads 0.4 to 0.7 (steeper on rougher ground), a linear
// camera 1 to 1.5; they are told apart at 0.8. The power is read within cells of the disc, where
// the Sun stands above 20 degrees (slopeWithinCells); failing that (a crescent, a nearly full
// Moon), across the whole lit ground, where the medians of many pixels at each light leave the
// albedo out unless a sea lies where the Sun is high. The ground is read up to the limb's blur,
// so that on a large disc a crescent whose Sun stands 30 degrees high at most still tells.
std::optional<double> toneSlope(const ImageView &image, const MoonModel &model, double blur)
{
    if (!image.pixels || image.width < 2 || image.height < 2 || !(model.radius > 0))
        return std::nullopt;
    const Frame f(model);
    const Levels levels(image, f);
    std::vector<Profile> chords;
    for (int k = 0; k < 24; ++k)
        chords.push_back(chordProfile(levels, f, -0.9 + 1.8 * (k + 0.5) / 24));
    const double sky = skyLevel(levels, f, chords);
    const double b = static_cast<double>(degreesToRadians(model.b));
    const double cosB = std::cos(b), sinB = std::sin(b);
    const double weight =
        lunarWeight(static_cast<double>(radiansToDegrees(std::acos(model.litSign * std::sin(b)))));
    // Radii from the centre within which the limb's blur leaves the levels alone.
    const double inside = std::max(0.0, 1 - (3 * blur + 2) / f.r);
    // A pixel apart on discs under 160 pixels, where a crescent's lit ground is a few thousand
    // pixels; 160 across larger ones.
    const int grid = f.r < 160 ? std::max(160, static_cast<int>(2 * f.r)) : 160;
    constexpr std::size_t kBins = 24;
    constexpr double kBeyond = 1e9;
    std::vector<std::pair<double, double>> samples;
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    // Each sample's cell, cells being a tenth of the radius wide; none (-1) where the Sun stands
    // under 20 degrees.
    constexpr int kCellsAcross = 20;
    std::vector<int> cellOf;
    for (int i = 0; i < grid; ++i) {
        for (int j = 0; j < grid; ++j) {
            const double u = -1 + 2 * (i + 0.5) / grid, v = -1 + 2 * (j + 0.5) / grid;
            const double zz = 1 - u * u - v * v;
            if (zz < 0.01 || u * u + v * v > inside * inside)
                continue;
            const double z = std::sqrt(zz);
            const double mu = model.litSign * (-v * cosB + z * sinB);
            if (mu < 0.2)
                continue;
            const double x = f.cx + f.r * (u * f.ux + v * f.vx);
            const double y = f.cy + f.r * (u * f.uy + v * f.vy);
            const double raw = levels.raw(x, y);
            if (std::isnan(raw))
                continue;
            const double level = raw - levels.slope(x, y);
            const double light = std::log(reflected(mu, z, weight));
            // Clipped or sunk levels still count in the medians, beyond every level read, so
            // that a median stays right while under half of its bin is lost.
            const bool clipped = raw >= 250, sunk = level - sky < 4;
            samples.push_back({light, clipped ? kBeyond : sunk ? -kBeyond : std::log(level - sky)});
            cellOf.push_back(
                mu < 0.35 ? -1 : i * kCellsAcross / grid * kCellsAcross + j * kCellsAcross / grid);
            lo = std::min(lo, light);
            hi = std::max(hi, light);
        }
    }
    // Where the highlights clip, what is left of a cell is its darker ground, whose slope is
    // flattened; and keeping only the cells that clip nowhere would keep those whose brighter
    // end happens to be darker. So the cells are kept by their light alone: below the first
    // light at which more than 1 % of the ground clips.
    // The samples' levels by bins of light, for both that and the whole-disc reading below.
    std::vector<std::vector<double>> bins(kBins);
    if (hi > lo)
        for (const auto &[light, level] : samples) {
            const auto k = static_cast<std::size_t>((light - lo) / (hi - lo) * kBins);
            bins[std::min(k, kBins - 1)].push_back(level);
        }
    double clipFrom = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < kBins; ++k) {
        const auto clipped = std::count_if(
            bins[k].begin(), bins[k].end(), [](double level) { return level >= kBeyond; });
        if (bins[k].size() >= 20
            && static_cast<double>(clipped) > 0.01 * static_cast<double>(bins[k].size())) {
            clipFrom = lo + static_cast<double>(k) * (hi - lo) / kBins;
            break;
        }
    }
    std::vector<LineSums> cells(static_cast<std::size_t>(kCellsAcross * kCellsAcross));
    std::vector<bool> reachesClip(cells.size(), false);
    for (std::size_t n = 0; n < samples.size(); ++n)
        if (cellOf[n] >= 0 && samples[n].first >= clipFrom)
            reachesClip[static_cast<std::size_t>(cellOf[n])] = true;
    for (std::size_t n = 0; n < samples.size(); ++n) {
        const auto &[light, level] = samples[n];
        if (cellOf[n] >= 0 && !reachesClip[static_cast<std::size_t>(cellOf[n])]
            && std::fabs(level) < kBeyond)
            cells[static_cast<std::size_t>(cellOf[n])].add(light, level);
    }
    if (const auto within = slopeWithinCells(cells, grid * grid / (kCellsAcross * kCellsAcross)))
        return within;
    // The light must span a factor of two at least.
    if (samples.size() < 200 || hi - lo < std::log(2.0))
        return std::nullopt;
    double sx = 0, sy = 0, sxx = 0, sxy = 0, n = 0;
    for (std::size_t k = 0; k < kBins; ++k) {
        if (bins[k].size() < 20)
            continue;
        const double x = lo + (static_cast<double>(k) + 0.5) * (hi - lo) / kBins;
        const double y = quantile(bins[k], 0.5);
        if (std::fabs(y) >= kBeyond)
            continue;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
        ++n;
    }
    if (n < 4)
        return std::nullopt;
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

std::optional<real> gammaOfSlope(std::optional<double> slope)
{
    if (!slope)
        return std::nullopt;
    return *slope < kToneSplit ? kDisplayGamma : 1.0L;
}

std::optional<real> cameraGamma(const ImageView &image, const MoonModel &model, double blur)
{
    return gammaOfSlope(toneSlope(image, model, blur));
}

std::optional<int> litSide(const ImageView &image, const MoonModel &model)
{
    if (!image.pixels || image.width < 2 || image.height < 2 || !(model.radius > 0))
        return std::nullopt;
    const Frame f(model);
    const Levels levels(image, f);
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
