#include "measure/lightcurve.h"

#include "measure/numeric.h"

#include <algorithm>
#include <cmath>

namespace measure {

namespace {

using Vector = std::array<real, 2>;
using Matrix = std::array<std::array<real, 2>, 2>;

// Tukey's biweight constant, somewhat below the usual 4.685: the edges a sea or a crater bends
// are many and bent alike, and cutting them off sooner helps more than the grain's extra
// weight costs.
constexpr real kTukey = 3.5L;
constexpr std::size_t kBlocks = 8;

// One edge against the terminator of B `b` (radians) and cusp line turned by `turn`: its
// distance across the cusp line in radii and the gradient of that distance over (b, turn).
struct Residual {
    real distance = 0;
    Vector gradient{};
};

Residual residualOf(const EdgePoint &e, real b, real turn, int litSign)
{
    const real cb = std::cos(b), sb = std::sin(b);
    const real ct = std::cos(turn), st = std::sin(turn);
    const real l = litSign;
    const real z = std::sqrt(std::max(real(1e-6), 1 - e.along * e.along - e.across * e.across));
    // The Sun in the points' frame: the frame turned by `turn` sees it at l (0, −cos B, sin B).
    const std::array<real, 3> sun{l * cb * st, -l * cb * ct, l * sb};
    const std::array<real, 3> byB{-l * sb * st, l * sb * ct, l * cb};
    const std::array<real, 3> byTurn{l * cb * ct, l * cb * st, 0};
    const std::array<real, 3> p{e.along, e.across, z};
    const auto dot = [&p](const std::array<real, 3> &v) {
        return v[0] * p[0] + v[1] * p[1] + v[2] * p[2];
    };
    // How fast the elevation's sine changes across the line at the point: it turns a gap in
    // elevation into a distance.
    const real rate = std::max(std::fabs(sun[1] - sun[2] * e.across / z), real(1e-3));
    return {dot(sun) / rate, {dot(byB) / rate, dot(byTurn) / rate}};
}

real median(std::vector<real> values)
{
    if (values.empty())
        return 0;
    const auto mid = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), mid, values.end());
    return *mid;
}

struct Weighted {
    std::vector<Residual> residuals;
    std::vector<real> weights;
    real scale = 0;
};

Weighted weigh(const std::vector<EdgePoint> &edges, real b, real turn, int litSign, real minScale)
{
    Weighted w;
    std::vector<real> sizes;
    for (const EdgePoint &e : edges) {
        w.residuals.push_back(residualOf(e, b, turn, litSign));
        sizes.push_back(std::fabs(w.residuals.back().distance));
    }
    w.scale = std::max(minScale, 1.4826L * median(sizes));
    for (const Residual &r : w.residuals) {
        const real u = r.distance / (kTukey * w.scale);
        w.weights.push_back(std::fabs(u) < 1 ? (1 - u * u) * (1 - u * u) : 0);
    }
    return w;
}

// The normal equations of the weighted residuals from `from` to `to`; a cusp line held fixed
// leaves them as the identity on its row and column.
void accumulate(
    const Weighted &w, std::size_t from, std::size_t to, bool turn, Matrix &a, Vector &g)
{
    for (std::size_t k = from; k < to; ++k) {
        const Residual &r = w.residuals[k];
        for (std::size_t i = 0; i < 2; ++i) {
            g[i] += w.weights[k] * r.gradient[i] * r.distance;
            for (std::size_t j = 0; j < 2; ++j)
                a[i][j] += w.weights[k] * r.gradient[i] * r.gradient[j];
        }
    }
    if (!turn) {
        a[0][1] = a[1][0] = g[1] = 0;
        a[1][1] = 1;
    }
}

std::optional<Matrix> inverse(const Matrix &m)
{
    const real det = m[0][0] * m[1][1] - m[0][1] * m[1][0];
    if (!(std::fabs(det) > 1e-30L))
        return std::nullopt;
    return Matrix{{{m[1][1] / det, -m[0][1] / det}, {-m[1][0] / det, m[0][0] / det}}};
}

// The variance of an M-estimate, scale² A⁻¹ (Σ ψ(u)² J Jᵀ) A⁻¹ with A = Σ ψ'(u) J Jᵀ: the
// residual variance of the kept edges alone would understate it.
std::optional<Matrix> lineCovariance(const Weighted &w, bool turn)
{
    Matrix a{}, meat{};
    for (const Residual &r : w.residuals) {
        const real u = r.distance / w.scale;
        const real q = (u / kTukey) * (u / kTukey);
        if (q >= 1)
            continue;
        const real psi = u * (1 - q) * (1 - q);
        const real dpsi = (1 - q) * (1 - 5 * q);
        for (std::size_t i = 0; i < 2; ++i)
            for (std::size_t j = 0; j < 2; ++j) {
                a[i][j] += dpsi * r.gradient[i] * r.gradient[j];
                meat[i][j] += psi * psi * r.gradient[i] * r.gradient[j];
            }
    }
    if (!turn) {
        a[0][1] = a[1][0] = meat[0][1] = meat[1][0] = meat[1][1] = 0;
        a[1][1] = 1;
    }
    const auto bread = inverse(a);
    if (!bread)
        return std::nullopt;
    Matrix c{};
    for (std::size_t i = 0; i < 2; ++i)
        for (std::size_t j = 0; j < 2; ++j)
            for (std::size_t k = 0; k < 2; ++k)
                for (std::size_t l = 0; l < 2; ++l)
                    c[i][j] += w.scale * w.scale * (*bread)[i][k] * meat[k][l] * (*bread)[j][l];
    return c;
}

// A sea or a crater moves the edges of neighbouring lines together, so the scatter of single
// lines understates the error. Leaving out one block of neighbouring lines at a time and
// watching the answer move (the jackknife) sees those shared errors.
Matrix blockCovariance(const Weighted &w, const Matrix &a, const Vector &g, bool turn)
{
    std::array<Vector, kBlocks> shifts{};
    std::size_t count = 0;
    const std::size_t n = w.residuals.size();
    for (std::size_t b = 0; b < kBlocks; ++b) {
        Matrix ab{};
        Vector gb{};
        accumulate(w, n * b / kBlocks, n * (b + 1) / kBlocks, true, ab, gb);
        Matrix rest = a;
        Vector restG = g;
        for (std::size_t i = 0; i < 2; ++i) {
            restG[i] -= turn || i == 0 ? gb[i] : 0;
            for (std::size_t j = 0; j < 2; ++j)
                rest[i][j] -= turn || (i == 0 && j == 0) ? ab[i][j] : 0;
        }
        const auto step = solveLinear<2>(rest, restG);
        if (step)
            shifts[count++] = *step;
    }
    Matrix c{};
    if (count < 3)
        return c;
    Vector mean{};
    for (std::size_t k = 0; k < count; ++k)
        for (std::size_t i = 0; i < 2; ++i)
            mean[i] += shifts[k][i] / static_cast<real>(count);
    const real factor = static_cast<real>(count - 1) / static_cast<real>(count);
    for (std::size_t k = 0; k < count; ++k)
        for (std::size_t i = 0; i < 2; ++i)
            for (std::size_t j = 0; j < 2; ++j)
                c[i][j] += factor * (shifts[k][i] - mean[i]) * (shifts[k][j] - mean[j]);
    return c;
}

} // namespace

std::optional<LightCurve> fitLightCurve(
    const std::vector<EdgePoint> &edges, int litSign, real startB, real minScale, bool turn)
{
    if (edges.size() < 8)
        return std::nullopt;
    real b = degreesToRadians(startB), angle = 0;
    Weighted w;
    real last = 1, lastB = 1, lastTurn = 1;
    for (int round = 0; round < 60 && last > 1e-10L; ++round) {
        w = weigh(edges, b, angle, litSign, minScale);
        Matrix a{};
        Vector g{};
        accumulate(w, 0, edges.size(), turn, a, g);
        const auto step = solveLinear<2>(a, g);
        if (!step)
            return std::nullopt;
        b = std::clamp(b - (*step)[0], -kPi / 2 + 1e-6L, kPi / 2 - 1e-6L);
        angle -= (*step)[1];
        lastB = std::fabs((*step)[0]);
        lastTurn = std::fabs((*step)[1]);
        last = lastB + lastTurn;
    }
    if (std::fabs(angle) > kPi / 3)
        return std::nullopt;
    w = weigh(edges, b, angle, litSign, minScale);
    Matrix a{};
    Vector g{};
    accumulate(w, 0, edges.size(), turn, a, g);
    const auto lines = lineCovariance(w, turn);
    if (!lines)
        return std::nullopt;
    // Reweighting may swing between two sets of kept edges a hair apart (on a sharpened
    // photograph, by a hundredth of a degree): a swing far inside the fit's own uncertainty is
    // settled too. A fit that still wanders found no one curve.
    const bool settled = last < 1e-5L
        || (lastB < 0.1L * std::sqrt((*lines)[0][0])
            && lastTurn <= 0.1L * std::sqrt((*lines)[1][1]));
    if (!settled)
        return std::nullopt;
    const Matrix blocks = blockCovariance(w, a, g, turn);

    LightCurve curve;
    curve.b = radiansToDegrees(b);
    curve.litSign = litSign;
    curve.turn = angle;
    // Each is taken from the larger of the two, keeping the correlation of the one B's comes
    // from: a shared error may show between blocks for B and not for the turn, or the other
    // way round.
    const bool byBlocks = blocks[0][0] > (*lines)[0][0];
    curve.covariance = byBlocks ? blocks : *lines;
    const real otherTurn = byBlocks ? (*lines)[1][1] : blocks[1][1];
    if (otherTurn > curve.covariance[1][1]) {
        const real widen =
            curve.covariance[1][1] > 0 ? std::sqrt(otherTurn / curve.covariance[1][1]) : 0;
        curve.covariance[0][1] *= widen;
        curve.covariance[1][0] *= widen;
        curve.covariance[1][1] = otherTurn;
    }
    const real toDegrees = radiansToDegrees(1);
    curve.covariance[0][0] *= toDegrees * toDegrees;
    curve.covariance[0][1] *= toDegrees;
    curve.covariance[1][0] *= toDegrees;
    curve.scale = w.scale;
    for (const real weight : w.weights)
        curve.inliers += weight > 0;
    return curve;
}

} // namespace measure
