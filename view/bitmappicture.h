#pragma once

#include "view/picture.h"

#include <QImage>
#include <QRect>

namespace view {

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
    /// Lets a drawing change the pixels; call changed() afterwards with the touched rectangle.
    [[nodiscard]] QImage &pixels() { return image_; }
    /// Works the key colour out again after the pixels changed, within `dirty` only when it
    /// is given and the key pixel kept its colour. Throws Failure when memory runs out.
    void changed(const QRect &dirty = QRect());

    /// The colour left out when the bitmap is shown transparent (opaque white for a null one).
    [[nodiscard]] QRgb keyColour() const { return key_; }
    /// The bounding rectangle of the pixels that show when the bitmap is transparent; it may
    /// be larger than needed after drawings that only erased, never smaller.
    [[nodiscard]] QRect opaqueBounds() const { return bounds_; }

private:
    void rebuildKeyed(const QRect &bounds);

    QImage image_;
    QRgb key_ = 0xffffffffu;
    QRect bounds_;
    // The pixels of bounds_, premultiplied: key pixels fully transparent, the others opaque.
    QImage keyed_;
};

} // namespace view
