#include "view/boxreduce.h"

#include <algorithm>

namespace view {

BoxReducer::BoxReducer(int channels, int inputWidth, int factor)
    : channels_(channels)
    , inputWidth_(inputWidth)
    , factor_(factor)
    , outputWidth_(reducedLength(inputWidth, factor))
    , sums_(static_cast<std::size_t>(outputWidth_) * static_cast<std::size_t>(channels), 0)
{ }

void BoxReducer::add(const std::uint8_t *row)
{
    std::uint32_t *sum = sums_.data();
    for (int x = 0; x < inputWidth_; x += factor_, sum += channels_) {
        const int end = std::min(inputWidth_, x + factor_);
        for (int i = x; i < end; ++i)
            for (int c = 0; c < channels_; ++c)
                sum[c] += row[i * channels_ + c];
    }
    ++rows_;
}

void BoxReducer::take(std::uint8_t *out)
{
    const std::uint32_t *sum = sums_.data();
    for (int x = 0; x < inputWidth_; x += factor_, sum += channels_) {
        const std::uint32_t count =
            static_cast<std::uint32_t>(std::min(factor_, inputWidth_ - x) * std::max(rows_, 1));
        for (int c = 0; c < channels_; ++c)
            *out++ = static_cast<std::uint8_t>((sum[c] + count / 2) / count);
    }
    std::fill(sums_.begin(), sums_.end(), 0u);
    rows_ = 0;
}

QImage boxReduced(const QImage &image, const QRect &part, int factor)
{
    const QRect shown = part & image.rect();
    if (shown.isEmpty() || factor < 1)
        return {};
    const QImage::Format format =
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    // Only the rows of the part are converted, so a large picture is never copied whole.
    const QImage source = image.copy(shown).convertToFormat(format);
    QImage out(reducedLength(shown.width(), factor), reducedLength(shown.height(), factor), format);
    if (source.isNull() || out.isNull())
        return {};
    BoxReducer reducer(4, shown.width(), factor);
    for (int y = 0; y < shown.height(); ++y) {
        reducer.add(source.constScanLine(y));
        if ((y + 1) % factor == 0 || y + 1 == shown.height())
            reducer.take(out.scanLine(y / factor));
    }
    return out;
}

} // namespace view
