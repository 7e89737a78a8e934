#pragma once

// The one way in to a picture's pixels for what measures on them (the terminator fit, the lit
// side, the disc finder): whatever the kind of file, they come as grey bytes or 32-bit colour.

#include "measure/pixels.h"
#include "view/picture.h"

#include <QImage>

#include <optional>

namespace view {

/// A picture's decoded pixels, read-only; holding them keeps them alive whatever becomes of
/// the picture.
class Pixels {
public:
    /// `image` in Format_Grayscale8 or a 32-bit colour format (as Picture::measuredImage()).
    explicit Pixels(QImage image)
        : image_(std::move(image))
    { }

    [[nodiscard]] measure::ImageView view() const;
    [[nodiscard]] const QImage &image() const { return image_; }
    /// Equal for the same pixels unchanged: a cheap test of whether what was read off them
    /// still holds.
    [[nodiscard]] qint64 key() const { return image_.cacheKey(); }

private:
    QImage image_;
};

/// The pixels of `picture` (a JPEG never shown is decoded); nothing when it has none. Calling
/// again for the same picture copies nothing.
[[nodiscard]] std::optional<Pixels> pixelsOf(const Picture &picture);

/// `image` itself when measurements read its format, else converted: a palette of greys to
/// Format_Grayscale8, anything else to Format_RGB32.
[[nodiscard]] QImage measurable(const QImage &image);

} // namespace view
