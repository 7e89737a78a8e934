#pragma once

#include "view/picture.h"

#include <QImage>

namespace view {

/// A played metafile: its strokes on a transparent image of the metafile's natural size. The
/// records are played once, when the file is read; painting only draws that image.
class MetafilePicture : public Picture {
public:
    explicit MetafilePicture(QImage image);

    [[nodiscard]] Kind kind() const override { return Kind::Metafile; }
    [[nodiscard]] QSize naturalSize() const override { return image_.size(); }
    [[nodiscard]] std::unique_ptr<Picture> clone() const override;
    /// A metafile paints only its strokes; `transparent` does not apply to it.
    void paint(QPainter &painter, const QRect &area, bool transparent) const override;

    [[nodiscard]] const QImage &image() const { return image_; }

private:
    QImage image_;
};

} // namespace view
