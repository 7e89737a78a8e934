#pragma once

#include "view/picture.h"

#include <QImage>

namespace view {

/// A picture that is one image ready to draw, shown with its own transparency: a view's
/// transparent flag does not apply to it.
class ImagePicture : public Picture {
public:
    [[nodiscard]] QSize naturalSize() const override { return image_.size(); }
    void paint(QPainter &painter, const QRect &area, bool transparent) const override;
    [[nodiscard]] QImage measuredImage() const override;

    [[nodiscard]] const QImage &image() const { return image_; }

protected:
    explicit ImagePicture(QImage image)
        : image_(std::move(image))
    { }

private:
    QImage image_;
};

} // namespace view
