#pragma once

#include "metafile/metafile.h"
#include "view/imagepicture.h"

#include <QByteArray>

#include <memory>

namespace view {

using metafile::PlayLimits;

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
    [[nodiscard]] std::unique_ptr<Picture> reducedCopy(
        const QRect &part, int factor) const override;
};

/// Reads an enhanced or a placeable Windows metafile from the whole file's bytes.
/// Throws Failure "Metafile is not valid" for anything else.
[[nodiscard]] std::unique_ptr<Picture> readMetafile(
    const QByteArray &data, const PlayLimits &limits = {});

} // namespace view
