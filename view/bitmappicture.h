#pragma once

#include "view/picture.h"

#include <QImage>
#include <QRect>

#include <functional>

namespace view {

class Surface;

/// A 24-bit bitmap. Shown transparent, every pixel of its key colour (the bottom-left pixel) is
/// left out; that mask is worked out once per change of the bitmap, never at paint time.
class BitmapPicture : public Picture {
public:
    /// Takes the image in QImage::Format_RGB32, converting any other format to it.
    explicit BitmapPicture(QImage image);

    [[nodiscard]] Kind kind() const override { return Kind::Bitmap; }
    [[nodiscard]] QSize naturalSize() const override;
    [[nodiscard]] std::unique_ptr<Picture> clone() const override;
    void paint(QPainter &painter, const QRect &area, bool transparent) const override;

    [[nodiscard]] const QImage &image() const { return image_; }
    /// Runs `drawing` on the bitmap's surface and returns the rectangle it touched. What it
    /// drew before it threw stays drawn and counts as a change.
    QRect draw(const std::function<void(Surface &)> &drawing);

    /// The colour left out when the bitmap is shown transparent (opaque white for a null one).
    [[nodiscard]] QRgb keyColour() const;
    /// The bounding rectangle of the pixels that show when the bitmap is transparent; it may
    /// be larger than needed after drawings that only erased, never smaller. Throws Failure
    /// when memory for the transparent copy runs out.
    [[nodiscard]] QRect opaqueBounds() const;

private:
    /// Records that the pixels changed, within `dirty` only when it is given. The key colour
    /// is worked out again at the next transparent use, once per change: an opaque photograph
    /// never pays for a transparent copy of itself.
    void changed(const QRect &dirty = QRect());
    void refreshKeyed() const;
    void rebuildKeyed(const QRect &bounds, QRgb key) const;

    QImage image_;
    // The transparent rendering, derived from image_ on demand.
    mutable bool stale_ = true;
    mutable QRect pending_;
    mutable QRgb key_ = 0xffffffffu;
    mutable QRect bounds_;
    // The pixels of bounds_, premultiplied: key pixels fully transparent, the others opaque.
    mutable QImage keyed_;
};

} // namespace view
