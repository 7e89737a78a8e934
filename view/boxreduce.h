#pragma once

#include <QImage>
#include <QRect>

#include <cstdint>
#include <vector>

namespace view {

/// Sums rows of 1- or 4-byte pixels into blocks of `factor` × `factor` and hands out their
/// means, one reduced row at a time; blocks cut by the right or bottom edge average the pixels
/// they have. Memory: one reduced row of sums, whatever the picture's size.
class BoxReducer {
public:
    BoxReducer(int channels, int inputWidth, int factor);

    [[nodiscard]] int outputWidth() const { return outputWidth_; }
    /// Adds one input row of inputWidth pixels.
    void add(const std::uint8_t *row);
    /// Writes the means of the rows added since the last call and starts a new block row.
    void take(std::uint8_t *out);

private:
    int channels_;
    int inputWidth_;
    int factor_;
    int outputWidth_;
    int rows_ = 0;
    std::vector<std::uint32_t> sums_;
};

/// `part` of `image` (clipped to it), every `factor` × `factor` block as one pixel, their mean;
/// in Format_RGB32 or Format_ARGB32_Premultiplied (alpha kept), after converting other formats.
[[nodiscard]] QImage boxReduced(const QImage &image, const QRect &part, int factor);

/// Output size of `length` pixels reduced by `factor`, a cut block counting as one.
[[nodiscard]] constexpr int reducedLength(int length, int factor)
{
    return (length + factor - 1) / factor;
}

} // namespace view
