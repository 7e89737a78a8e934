#pragma once

#include "view/picture.h"

#include <QImage>
#include <QRect>

namespace view {

/// A 24-bit bitmap. Shown transparent, every pixel of its key colour (the bottom-left pixel) is
/// left out; that mask is worked out once per change of the bitmap, never at paint time.
class BitmapPicture : public Picture {
public:
    explicit BitmapPicture(QImage image);

    [[nodiscard]] Kind kind() const override { return Kind::Bitmap; }
    [[nodiscard]] QSize naturalSize() const override;
    [[nodiscard]] std::unique_ptr<Picture> clone() const override;
    void paint(QPainter &painter, const QRect &area, bool transparent) const override;

    [[nodiscard]] const QImage &image() const { return image_; }
    /// Lets a drawing change the pixels; call changed() afterwards with the touched rectangle.
    [[nodiscard]] QImage &pixels() { return image_; }
    void changed();

private:
    QImage image_;
};

} // namespace view
