#pragma once

#include "view/imagepicture.h"

namespace view {

/// A played metafile: its strokes on a transparent image of the metafile's natural size. The
/// records are played once, when the file is read; painting only draws that image, so a
/// metafile paints only its strokes.
class MetafilePicture : public ImagePicture {
public:
    explicit MetafilePicture(QImage image)
        : ImagePicture(std::move(image))
    { }

    [[nodiscard]] Kind kind() const override { return Kind::Metafile; }
    [[nodiscard]] std::unique_ptr<Picture> clone() const override;
};

} // namespace view
