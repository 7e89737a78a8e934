#include "view/bitmappicture.h"

#include "view/boxreduce.h"
#include "view/failures.h"
#include "view/surface.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace view {

namespace {

// Colours are compared without the alpha byte, which means nothing in a 24-bit bitmap.
constexpr QRgb kColourMask = 0x00ffffffu;
constexpr QRgb kWhite = 0xffffffffu;

// Merges, in runs sorted by row and column, those that overlap or touch.
template <typename Run> void mergeSorted(std::vector<Run> &runs)
{
    std::size_t kept = 0;
    for (const Run &run : runs) {
        if (kept > 0 && runs[kept - 1].y == run.y && run.left <= runs[kept - 1].right + 1) {
            runs[kept - 1].right = std::max(runs[kept - 1].right, run.right);
        } else {
            runs[kept++] = run;
        }
    }
    runs.resize(kept);
}

// Sorts runs by row, then column, and merges those that overlap or touch. The sort runs on
// one integer key per run: rows and columns are never negative and fit in 32 bits each.
template <typename Run> void normalise(std::vector<Run> &runs)
{
    std::vector<std::pair<quint64, int>> keyed;
    keyed.reserve(runs.size());
    for (const Run &run : runs) {
        keyed.emplace_back((quint64(quint32(run.y)) << 32) | quint32(run.left), run.right);
    }
    std::sort(keyed.begin(), keyed.end());
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        runs[i] = {int(keyed[i].first >> 32), int(quint32(keyed[i].first)), keyed[i].second};
    }
    mergeSorted(runs);
}

// The pixels of two run lists as a region of cells of 4 rows by 8 columns, each cell that
// holds one of their pixels. Cut finer, a curve makes a rectangle per row, and the region
// operations of the repaint (united, translated, intersected with every widget it crosses)
// then cost more than painting the few pixels a cell adds. The cells, sorted by band and
// column, are the banded form that QRegion takes as it is.
template <typename Run> QRegion cellsOf(const std::vector<Run> &a, const std::vector<Run> &b)
{
    constexpr int kRows = BitmapPicture::kCellRows;
    constexpr int kColumns = BitmapPicture::kCellColumns;
    std::vector<Run> cells;
    cells.reserve(a.size() + b.size());
    for (const std::vector<Run> *list : {&a, &b}) {
        for (const Run &run : *list) {
            cells.push_back({run.y / kRows, run.left / kColumns, run.right / kColumns});
        }
    }
    normalise(cells);
    std::vector<QRect> rects;
    rects.reserve(cells.size());
    for (const Run &cell : cells) {
        rects.emplace_back(
            cell.left * kColumns, cell.y * kRows, (cell.right - cell.left + 1) * kColumns, kRows);
    }
    QRegion region;
    region.setRects(rects.data(), static_cast<int>(rects.size()));
    return region;
}

bool sameColour(QRgb a, QRgb b)
{
    return ((a ^ b) & kColourMask) == 0;
}

// The bounding rectangle of the pixels of `area` whose colour differs from `key`. Rows of key
// pixels alone are the rule in a drawing layer, so they are passed over with memcmp against a
// row of the key before any pixel is looked at.
QRect boundsOfOthers(const QImage &image, QRect area, QRgb key)
{
    area &= image.rect();
    if (area.isEmpty()) {
        return {};
    }
    const std::vector<QRgb> keyRow(static_cast<std::size_t>(area.width()), key | ~kColourMask);
    const std::size_t rowBytes = keyRow.size() * sizeof(QRgb);
    int left = area.right() + 1;
    int right = area.left() - 1;
    int top = -1;
    int bottom = -1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y)) + area.left();
        if (std::memcmp(line, keyRow.data(), rowBytes) == 0) {
            continue;
        }
        const int n = area.width();
        int first = 0;
        while (first < n && sameColour(line[first], key)) {
            ++first;
        }
        if (first == n) {
            continue;
        }
        int last = n - 1;
        while (sameColour(line[last], key)) {
            --last;
        }
        left = std::min(left, area.left() + first);
        right = std::max(right, area.left() + last);
        if (top < 0) {
            top = y;
        }
        bottom = y;
    }
    if (top < 0) {
        return {};
    }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

BitmapPicture::BitmapPicture(QImage image)
    : image_(std::move(image))
{
    if (!image_.isNull() && image_.format() != QImage::Format_RGB32) {
        image_.convertTo(QImage::Format_RGB32);
        if (image_.isNull()) {
            failures::fail(failures::kOutOfResources);
        }
    }
}

std::unique_ptr<BitmapPicture> BitmapPicture::polyline(
    QSize size, QRgb colour, const std::vector<QPoint> &points)
{
    auto picture = std::make_unique<BitmapPicture>(newBitmap(size.width(), size.height()));
    picture->drawPolyline(colour, points);
    return picture;
}

QRegion BitmapPicture::redrawPolyline(QRgb colour, const std::vector<QPoint> &points)
{
    if (!ink_) {
        image_.fill(kWhite);
        drawPolyline(colour, points);
        return QRegion(image_.rect());
    }
    // The old curve is wiped back to white: the rest of the bitmap is white already, so the
    // result is the fresh white bitmap that polyline() would start from.
    const std::vector<Run> erased = std::move(ink_->runs);
    for (const Run &run : erased) {
        auto *line = reinterpret_cast<QRgb *>(image_.scanLine(run.y));
        std::fill(line + run.left, line + run.right + 1, kWhite);
    }
    drawPolyline(colour, points);
    return cellsOf(erased, ink_->runs);
}

void BitmapPicture::drawPolyline(QRgb colour, const std::vector<QPoint> &points)
{
    std::vector<Surface::Span> spans;
    Surface surface(image_);
    surface.setPen(colour);
    surface.recordSpans(&spans);
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i == 0) {
            surface.moveTo(points[i].x(), points[i].y());
        } else {
            surface.lineTo(points[i].x(), points[i].y());
        }
    }
    Ink ink{colour | ~kColourMask, {}, surface.touched()};
    ink.runs.reserve(spans.size());
    for (const Surface::Span &span : spans) {
        ink.runs.push_back({span.y, span.x0, span.x1});
    }
    normalise(ink.runs);
    ink_ = std::move(ink);
    // The keyed copy is only made if the key stops being white; until then it is not needed.
    stale_ = true;
    pending_ = QRect();
    keyed_ = QImage();
    bounds_ = QRect();
}

bool BitmapPicture::inkShowsAlone() const
{
    return ink_ && sameColour(keyColour(), kWhite);
}

void BitmapPicture::paintInk(QPainter &painter, const QRect &area) const
{
    const std::vector<Run> &runs = ink_->runs;
    auto run = std::lower_bound(
        runs.begin(), runs.end(), area.top(), [](const Run &r, int y) { return r.y < y; });
    std::vector<QRect> rects;
    for (; run != runs.end() && run->y <= area.bottom(); ++run) {
        const int left = std::max(run->left, area.left());
        const int right = std::min(run->right, area.right());
        if (left <= right) {
            rects.emplace_back(left, run->y, right - left + 1, 1);
        }
    }
    if (rects.empty()) {
        return;
    }
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgb(ink_->colour));
    painter.drawRects(rects.data(), static_cast<int>(rects.size()));
    painter.restore();
}

QSize BitmapPicture::naturalSize() const
{
    return image_.size();
}

std::unique_ptr<Picture> BitmapPicture::clone() const
{
    // The copy shares the pixels and the mask until either side changes them.
    return std::make_unique<BitmapPicture>(*this);
}

std::unique_ptr<Picture> BitmapPicture::reducedCopy(const QRect &part, int factor) const
{
    return std::make_unique<BitmapPicture>(boxReduced(image_, part, factor));
}

void BitmapPicture::paint(QPainter &painter, const QRect &area, bool transparent) const
{
    if (!transparent) {
        const QRect shown = area & image_.rect();
        if (!shown.isEmpty()) {
            painter.drawImage(shown.topLeft(), image_, shown);
        }
        return;
    }
    if (inkShowsAlone()) {
        paintInk(painter, area);
        return;
    }
    refreshKeyed();
    const QRect shown = area & bounds_;
    if (!shown.isEmpty()) {
        painter.drawImage(shown.topLeft(), keyed_, shown.translated(-bounds_.topLeft()));
    }
}

QRect BitmapPicture::draw(const std::function<void(Surface &)> &drawing)
{
    if (ink_) {
        // Drawn on, the bitmap is no longer known to be a polyline on white.
        ink_.reset();
        stale_ = true;
    }
    Surface surface(image_);
    try {
        drawing(surface);
    } catch (...) {
        changed(surface.touched());
        throw;
    }
    changed(surface.touched());
    return surface.touched();
}

void BitmapPicture::changed(const QRect &dirty)
{
    if (dirty.isNull()) {
        stale_ = true;
    } else {
        pending_ |= dirty;
    }
}

QRgb BitmapPicture::keyColour() const
{
    return image_.isNull() ? 0xffffffffu : image_.pixel(0, image_.height() - 1) | ~kColourMask;
}

QRect BitmapPicture::opaqueBounds() const
{
    if (inkShowsAlone()) {
        return ink_->bounds;
    }
    refreshKeyed();
    return bounds_;
}

void BitmapPicture::refreshKeyed() const
{
    const QRgb key = keyColour();
    if (image_.isNull()) {
        keyed_ = QImage();
        bounds_ = QRect();
    } else if (stale_ || key != key_) {
        rebuildKeyed(boundsOfOthers(image_, image_.rect(), key), key);
    } else if (const QRect area = pending_ & image_.rect(); !area.isEmpty()) {
        // Pixels outside `area` kept their colour, so the bounds can only grow by what is new;
        // an erasure leaves them a little large, which costs a few pixels of painting at most.
        const QRect grown = bounds_ | boundsOfOthers(image_, area, key);
        if (grown != bounds_) {
            rebuildKeyed(grown, key);
        } else {
            const QRect inside = area & bounds_;
            for (int y = inside.top(); y <= inside.bottom(); ++y) {
                const auto *from = reinterpret_cast<const QRgb *>(image_.constScanLine(y));
                auto *to =
                    reinterpret_cast<QRgb *>(keyed_.scanLine(y - bounds_.top())) - bounds_.left();
                for (int x = inside.left(); x <= inside.right(); ++x) {
                    to[x] = sameColour(from[x], key) ? 0u : (from[x] | ~kColourMask);
                }
            }
        }
    }
    key_ = key;
    stale_ = false;
    pending_ = QRect();
}

void BitmapPicture::rebuildKeyed(const QRect &bounds, QRgb key) const
{
    // Built aside first, so that a failure leaves the bitmap as it was shown.
    QImage keyed;
    if (!bounds.isEmpty()) {
        keyed = QImage(bounds.size(), QImage::Format_ARGB32_Premultiplied);
        if (keyed.isNull()) {
            failures::fail(failures::kOutOfResources);
        }
        for (int y = 0; y < bounds.height(); ++y) {
            const auto *from =
                reinterpret_cast<const QRgb *>(image_.constScanLine(bounds.top() + y))
                + bounds.left();
            auto *to = reinterpret_cast<QRgb *>(keyed.scanLine(y));
            for (int x = 0; x < bounds.width(); ++x) {
                to[x] = sameColour(from[x], key) ? 0u : (from[x] | ~kColourMask);
            }
        }
    }
    keyed_ = std::move(keyed);
    bounds_ = bounds;
}

} // namespace view
