#include "view/moonframing.h"

#include "view/boxreduce.h"

#include <algorithm>

namespace view {

namespace {

// The small copy is at least this long: a Moon of 3 % of the short side is then still some
// ten pixels across, and the whole search takes a few milliseconds.
constexpr int kSmallLength = 400;
// Below this radius in the larger copy its limb is refined at full size.
constexpr double kHalfSizeRadius = 200;

measure::GreyPixels greyPixels(const QImage &grey)
{
    return {grey.constBits(), grey.width(), grey.height(), grey.bytesPerLine()};
}

// Pixel i of a copy reduced by `scale` from `origin` is the mean of the file's pixels
// origin + i·scale … origin + i·scale + scale − 1, whose middle is this.
double toFile(double copy, int origin, int scale)
{
    return origin + copy * scale + (scale - 1) / 2.0;
}

double toCopy(double file, int origin, int scale)
{
    return (file - origin - (scale - 1) / 2.0) / scale;
}

int copyScale(const QSize &size, std::initializer_list<int> scales)
{
    for (const int scale : scales)
        if (std::max(size.width(), size.height()) / scale >= kSmallLength)
            return scale;
    return 1;
}

// The limb again on a copy of the disc's square at half or full size: a JPEG decodes only
// that square, at half size for a large disc.
measure::Disc refinedOnSquare(const Picture &picture, const measure::Disc &found, int scale)
{
    const QRect whole(QPoint(0, 0), picture.naturalSize());
    const int fine = found.radius >= kHalfSizeRadius && scale > 1 ? 2 : 1;
    const double band = 3.0 * scale + 0.03 * found.radius;
    const double reach = found.radius + band + 2 * fine;
    QRect square(static_cast<int>(found.x - reach),
        static_cast<int>(found.y - reach),
        static_cast<int>(2 * reach) + 1,
        static_cast<int>(2 * reach) + 1);
    square &= whole;
    square.setTopLeft(QPoint(square.x() / fine * fine, square.y() / fine * fine));
    const QImage large = picture.greyLevels(square, fine);
    if (large.isNull())
        return found;
    const measure::Disc guess{
        toCopy(found.x, square.x(), fine), toCopy(found.y, square.y(), fine), found.radius / fine};
    const measure::Disc refined = measure::refineDisc(greyPixels(large), guess, band / fine);
    return measure::Disc{toFile(refined.x, square.x(), fine),
        toFile(refined.y, square.y(), fine),
        refined.radius * fine};
}

} // namespace

std::optional<measure::Disc> findMoon(const Picture &picture)
{
    const QRect whole(QPoint(0, 0), picture.naturalSize());
    const int scale = copyScale(whole.size(), {8, 4, 2});
    const QImage small = picture.greyLevels(whole, scale);
    if (small.isNull())
        return std::nullopt;
    const std::optional<measure::Disc> coarse = measure::findDisc(greyPixels(small));
    if (!coarse)
        return std::nullopt;
    const measure::Disc found{
        toFile(coarse->x, 0, scale), toFile(coarse->y, 0, scale), coarse->radius * scale};
    // Pixels already in memory are read at full size; a JPEG decodes only the disc's square.
    if (picture.kind() == Picture::Kind::Jpeg)
        return refinedOnSquare(picture, found, scale);
    const QImage grey = picture.greyLevels(whole, 1);
    return measure::refineDisc(greyPixels(grey), found, 3.0 * scale + 0.03 * found.radius);
}

std::unique_ptr<Picture> reducedPicture(const Picture &picture, const QRect &part, int factor)
{
    return picture.reducedCopy(part, factor);
}

FramedPicture framedOnMoon(std::unique_ptr<Picture> picture, QSize visible)
{
    const QSize size = picture->naturalSize();
    if (size.width() <= visible.width() && size.height() <= visible.height())
        return {std::move(picture), true};
    const std::optional<measure::Disc> disc = findMoon(*picture);
    if (!disc)
        return {std::move(picture), false};
    const measure::Framing part =
        measure::frameDisc(*disc, size.width(), size.height(), visible.width(), visible.height());
    if (part.width <= 0 || part.height <= 0)
        return {std::move(picture), false};
    return {
        picture->reducedCopy(QRect(part.x, part.y, part.width, part.height), part.factor), true};
}

} // namespace view
