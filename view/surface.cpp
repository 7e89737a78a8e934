#include "view/surface.h"

#include "view/failures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace view {

namespace {

using i64 = long long;
// A compiler extension, spelled so that -Wpedantic knows it is meant.
__extension__ using i128 = __int128;

constexpr QRgb kWhite = 0xffffffffu;

// Figures are worked out on offsets doubled from the centre of the box, so that the centres
// of pixels are integers whatever the parity of the box: pixel x of a box left..right has the
// offset u = 2x - (left + right) + 1, and u has the parity of width + 1.

// Largest |u| of the right parity with (u / w)² + (v / h)² <= 1, or a negative number when
// the row holds no pixel centre inside the ellipse.
i64 centreHalfSpan(i64 w, i64 h, i64 v)
{
    const i64 absV = std::llabs(v);
    if (absV > h) {
        return -2;
    }
    const long double rest =
        static_cast<long double>(h - absV) * static_cast<long double>(h + absV);
    i64 m = static_cast<i64>(std::floor(static_cast<long double>(w) * std::sqrt(rest) / h));
    m = std::clamp<i64>(m, 0, w);
    // The estimate is exact but for rounding; settle it in integers wherever the products fit
    // in 128 bits, which covers every box narrower and lower than 2^31 pixels.
    if (w < (i64{1} << 31) && h < (i64{1} << 31)) {
        const i128 limit = i128{w} * w * (i128{h - absV} * (h + absV));
        const auto inside = [&](i64 u) {
            return i128{u} * u * (i128{h} * h) <= limit;
        };
        while (m < w && inside(m + 1)) {
            ++m;
        }
        while (m > 0 && !inside(m)) {
            --m;
        }
    }
    if ((m - w - 1) % 2 != 0) {
        --m;
    }
    return m;
}

// Half span of the figure's row at doubled offset v; -2 for a row outside the box.
i64 halfSpan(i64 w, i64 h, i64 v)
{
    if (std::llabs(v) > h - 1) {
        return -2;
    }
    // The row(s) through the centre reach the left and right edges of the box, and every row
    // keeps its centre pixel(s), so even a thin figure touches all four edges.
    if (std::llabs(v) <= 1) {
        return w - 1;
    }
    const i64 smallest = (w % 2 == 0) ? 1 : 0;
    return std::max(centreHalfSpan(w, h, v), smallest);
}

i64 floorDivide(i128 a, i128 d)
{
    i128 q = a / d;
    if (a % d != 0 && a < 0) {
        --q;
    }
    return static_cast<i64>(q);
}

// First i of lo..hi for which `test` holds, `test` being false then true along the range;
// hi + 1 when it never holds.
template <typename Test> i64 firstTrue(i64 lo, i64 hi, Test test)
{
    i64 a = lo;
    i64 b = hi + 1;
    while (a < b) {
        const i64 mid = a + (b - a) / 2;
        if (test(mid)) {
            b = mid;
        } else {
            a = mid + 1;
        }
    }
    return a;
}

} // namespace

Surface::Surface(QImage &bitmap)
    : bitmap_(bitmap)
    , pen_(qRgb(0, 0, 0))
{
    if (!bitmap_.isNull() && bitmap_.format() != QImage::Format_RGB32) {
        bitmap_.convertTo(QImage::Format_RGB32);
    }
}

void Surface::setPen(QRgb colour)
{
    pen_ = colour | 0xff000000u;
}

void Surface::span(int y, i64 x0, i64 x1, QRgb colour)
{
    x0 = std::max<i64>(x0, 0);
    x1 = std::min<i64>(x1, bitmap_.width() - 1);
    if (x0 > x1 || y < 0 || y >= bitmap_.height()) {
        return;
    }
    auto *line = reinterpret_cast<QRgb *>(bitmap_.scanLine(y));
    std::fill(line + x0, line + x1 + 1, colour);
    touched_ |= QRect(QPoint(static_cast<int>(x0), y), QPoint(static_cast<int>(x1), y));
    if (spans_) {
        spans_->push_back({y, static_cast<int>(x0), static_cast<int>(x1)});
    }
}

void Surface::plot(i64 x, i64 y)
{
    span(static_cast<int>(std::clamp<i64>(y, -1, bitmap_.height())), x, x, pen_);
}

void Surface::ellipse(int left, int top, int right, int bottom)
{
    const i64 w = i64{right} - left;
    const i64 h = i64{bottom} - top;
    if (w <= 0 || h <= 0 || bitmap_.isNull()) {
        return;
    }
    const i64 sumX = i64{left} + right - 1;
    const i64 sumY = i64{top} + bottom - 1;
    const auto xOf = [sumX](i64 u) {
        return (u + sumX) / 2;
    };
    const i64 smallest = (w % 2 == 0) ? 1 : 0;
    const i64 firstRow = std::max<i64>(top, 0);
    const i64 lastRow = std::min<i64>(bottom, bitmap_.height()) - 1;
    for (i64 y = firstRow; y <= lastRow; ++y) {
        const i64 v = 2 * y - sumY;
        const i64 s = halfSpan(w, h, v);
        // A pixel is inside the ring when its upper and lower neighbours are in the figure and
        // it is not at an end of its row.
        const i64 t = std::min({s - 2, halfSpan(w, h, v - 2), halfSpan(w, h, v + 2)});
        const int row = static_cast<int>(y);
        if (t < smallest) {
            span(row, xOf(-s), xOf(s), pen_);
            continue;
        }
        span(row, xOf(-s), xOf(-t) - 1, pen_);
        span(row, xOf(-t), xOf(t), kWhite);
        span(row, xOf(t) + 1, xOf(s), pen_);
    }
}

void Surface::moveTo(int x, int y)
{
    current_ = QPoint(x, y);
}

void Surface::lineTo(int x, int y)
{
    const i64 x0 = current_.x();
    const i64 y0 = current_.y();
    const i64 dx = i64{x} - x0;
    const i64 dy = i64{y} - y0;
    current_ = QPoint(x, y);
    if (bitmap_.isNull()) {
        return;
    }
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const i64 n = std::max(std::llabs(dx), std::llabs(dy));
    if (n == 0) {
        return;
    }
    const i64 a0 = xMajor ? x0 : y0;
    const i64 b0 = xMajor ? y0 : x0;
    const i64 stepA = (xMajor ? dx : dy) > 0 ? 1 : -1;
    const i64 db = xMajor ? dy : dx;
    const i64 sizeA = xMajor ? bitmap_.width() : bitmap_.height();
    const i64 sizeB = xMajor ? bitmap_.height() : bitmap_.width();
    // floor(i·db/n + 1/2): the nearest minor offset, halves towards the larger coordinate.
    const auto minorAt = [&](i64 i) {
        return b0 + floorDivide(2 * i128{i} * db + n, 2 * i128{n});
    };

    // Steps whose major coordinate lies on the bitmap, then those whose minor one does too;
    // the minor coordinate is monotonic along the line, so both ends are found by bisection.
    i64 lo = stepA > 0 ? -a0 : a0 - (sizeA - 1);
    i64 hi = stepA > 0 ? sizeA - 1 - a0 : a0;
    lo = std::max<i64>(lo, 0);
    hi = std::min<i64>(hi, n - 1);
    if (lo > hi) {
        return;
    }
    i64 first;
    i64 last;
    if (db >= 0) {
        first = firstTrue(lo, hi, [&](i64 i) { return minorAt(i) >= 0; });
        last = firstTrue(lo, hi, [&](i64 i) { return minorAt(i) > sizeB - 1; }) - 1;
    } else {
        first = firstTrue(lo, hi, [&](i64 i) { return minorAt(i) <= sizeB - 1; });
        last = firstTrue(lo, hi, [&](i64 i) { return minorAt(i) < 0; }) - 1;
    }
    for (i64 i = first; i <= last; ++i) {
        const i64 a = a0 + stepA * i;
        const i64 b = minorAt(i);
        if (xMajor) {
            plot(a, b);
        } else {
            plot(b, a);
        }
    }
}

void Surface::drawBitmap(int x, int y, const QImage &source)
{
    if (source.isNull() || bitmap_.isNull()) {
        return;
    }
    const QImage pixels = source.format() == QImage::Format_RGB32
        ? source
        : source.convertToFormat(QImage::Format_RGB32);
    // In 64 bits: the far edges of a source placed near the end of the int range overflow.
    const i64 left = std::max<i64>(x, 0);
    const i64 top = std::max<i64>(y, 0);
    const i64 right = std::min<i64>(i64{x} + pixels.width(), bitmap_.width()) - 1;
    const i64 bottom = std::min<i64>(i64{y} + pixels.height(), bitmap_.height()) - 1;
    if (left > right || top > bottom) {
        return;
    }
    for (i64 row = top; row <= bottom; ++row) {
        const auto *from = reinterpret_cast<const QRgb *>(pixels.constScanLine(int(row - y)));
        auto *to = reinterpret_cast<QRgb *>(bitmap_.scanLine(int(row)));
        std::copy(from + (left - x), from + (right - x) + 1, to + left);
    }
    const QRect target{QPoint(int(left), int(top)), QPoint(int(right), int(bottom))};
    touched_ |= target;
}

QRgb Surface::pixel(int x, int y) const
{
    return bitmap_.valid(x, y) ? bitmap_.pixel(x, y) : kWhite;
}

QImage newBitmap(int width, int height)
{
    if (width <= 0 || height <= 0) {
        return {};
    }
    QImage bitmap(width, height, QImage::Format_RGB32);
    if (bitmap.isNull()) {
        failures::fail(failures::kOutOfResources);
    }
    bitmap.fill(kWhite);
    return bitmap;
}

} // namespace view
