#include "view/bitmappicture.h"

#include "view/failures.h"
#include "view/surface.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace view {

namespace {

// Colours are compared without the alpha byte, which means nothing in a 24-bit bitmap.
constexpr QRgb kColourMask = 0x00ffffffu;

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

QSize BitmapPicture::naturalSize() const
{
    return image_.size();
}

std::unique_ptr<Picture> BitmapPicture::clone() const
{
    // The copy shares the pixels and the mask until either side changes them.
    return std::make_unique<BitmapPicture>(*this);
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
    refreshKeyed();
    const QRect shown = area & bounds_;
    if (!shown.isEmpty()) {
        painter.drawImage(shown.topLeft(), keyed_, shown.translated(-bounds_.topLeft()));
    }
}

QRect BitmapPicture::draw(const std::function<void(Surface &)> &drawing)
{
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
