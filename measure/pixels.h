#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace measure {

/// Pixels of a photograph as decoded, read-only: rows from top to bottom, `stride` bytes apart.
/// The picture that lent them keeps them alive.
struct ImageView {
    enum class Format {
        Grey8,
        /// Three colour bytes in any order.
        Rgb24,
        /// Three colour bytes in any order, then one that is not a colour (Qt's RGB32).
        Rgb32,
    };
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    const std::uint8_t *pixels = nullptr;
    Format format = Format::Grey8;

    [[nodiscard]] bool empty() const { return !pixels || width <= 0 || height <= 0; }
    [[nodiscard]] int bytesPerPixel() const
    {
        return format == Format::Grey8 ? 1 : format == Format::Rgb24 ? 3 : 4;
    }
    /// The level (0…255) of pixel (i, j): the grey byte, or the mean of the colour bytes.
    [[nodiscard]] double level(int i, int j) const
    {
        const std::uint8_t *p = pixels + j * stride + i * bytesPerPixel();
        if (format == Format::Grey8)
            return p[0];
        return (p[0] + p[1] + p[2]) * (1.0 / 3);
    }
};

/// The level at any point of the picture, between pixel centres by bilinear interpolation;
/// pixel (i, j) is the point (i, j). NaN off the picture.
[[nodiscard]] inline double sampleLevel(const ImageView &image, double x, double y)
{
    if (!(x >= 0 && y >= 0 && x <= image.width - 1 && y <= image.height - 1))
        return std::nan("");
    const int i = std::min(static_cast<int>(x), image.width > 1 ? image.width - 2 : 0);
    const int j = std::min(static_cast<int>(y), image.height > 1 ? image.height - 2 : 0);
    const double fx = x - i;
    const double fy = y - j;
    const int i1 = std::min(i + 1, image.width - 1);
    const int j1 = std::min(j + 1, image.height - 1);
    const double top = image.level(i, j) * (1 - fx) + image.level(i1, j) * fx;
    const double bottom = image.level(i, j1) * (1 - fx) + image.level(i1, j1) * fx;
    return top * (1 - fy) + bottom * fy;
}

} // namespace measure
