#pragma once

#include "view/imagepicture.h"

#include <QByteArray>

#include <memory>

namespace view {

/// An icon, drawn with its own transparency; a view's transparent flag does not apply to it.
class IconPicture : public ImagePicture {
public:
    /// `image` is kept with its alpha channel (premultiplied, the form painting wants).
    explicit IconPicture(const QImage &image);

    [[nodiscard]] Kind kind() const override { return Kind::Icon; }
    [[nodiscard]] std::unique_ptr<Picture> clone() const override;
    [[nodiscard]] std::unique_ptr<Picture> reducedCopy(
        const QRect &part, int factor) const override;
};

/// Reads a Windows icon file from its bytes; of several images it shows the largest, with the
/// most colours among equals. Throws Failure "Icon image is not valid" for anything else.
[[nodiscard]] std::unique_ptr<Picture> readIcon(const QByteArray &data);

} // namespace view
