#include "view/moonframing.h"

#include "view/bitmappicture.h"
#include "view/boxreduce.h"
#include "view/iconpicture.h"
#include "view/jpegpicture.h"
#include "view/metafilepicture.h"

#include <algorithm>

namespace view {

namespace {

// The small copy is at least this long: a Moon of 3 % of the short side is then still some
// ten pixels across, and the whole search takes a few milliseconds.
constexpr int kSmallLength = 400;
// Below this radius in the larger copy its limb is refined at full size.
constexpr double kHalfSizeRadius = 200;

measure::GreyPixels pixelsOf(const QImage &grey)
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

QImage greyReduced(const QImage &grey, int factor)
{
    if (factor == 1)
        return grey;
    QImage out(reducedLength(grey.width(), factor),
        reducedLength(grey.height(), factor),
        QImage::Format_Grayscale8);
    if (out.isNull())
        return {};
    BoxReducer reducer(1, grey.width(), factor);
    for (int y = 0; y < grey.height(); ++y) {
        reducer.add(grey.constScanLine(y));
        if ((y + 1) % factor == 0 || y + 1 == grey.height())
            reducer.take(out.scanLine(y / factor));
    }
    return out;
}

std::optional<measure::Disc> findOnJpeg(const JpegPicture &jpeg)
{
    const QRect whole(QPoint(0, 0), jpeg.fileSize());
    const int scale = copyScale(whole.size(), {8, 4, 2});
    const QImage small = jpeg.greyCopy(whole, scale);
    const std::optional<measure::Disc> coarse = measure::findDisc(pixelsOf(small));
    if (!coarse)
        return std::nullopt;
    const measure::Disc found{
        toFile(coarse->x, 0, scale), toFile(coarse->y, 0, scale), coarse->radius * scale};

    // The limb again on a copy of the disc's square at half or full size.
    const int fine = found.radius >= kHalfSizeRadius && scale > 1 ? 2 : 1;
    const double band = 3.0 * scale + 0.03 * found.radius;
    const double reach = found.radius + band + 2 * fine;
    QRect square(static_cast<int>(found.x - reach),
        static_cast<int>(found.y - reach),
        static_cast<int>(2 * reach) + 1,
        static_cast<int>(2 * reach) + 1);
    square &= whole;
    square.setTopLeft(QPoint(square.x() / fine * fine, square.y() / fine * fine));
    const QImage large = jpeg.greyCopy(square, fine);
    if (large.isNull())
        return found;
    const measure::Disc guess{
        toCopy(found.x, square.x(), fine), toCopy(found.y, square.y(), fine), found.radius / fine};
    const measure::Disc refined = measure::refineDisc(pixelsOf(large), guess, band / fine);
    return measure::Disc{toFile(refined.x, square.x(), fine),
        toFile(refined.y, square.y(), fine),
        refined.radius * fine};
}

const QImage *pixelsOfPicture(const Picture &picture)
{
    if (const auto *bitmap = dynamic_cast<const BitmapPicture *>(&picture))
        return &bitmap->image();
    if (const auto *image = dynamic_cast<const ImagePicture *>(&picture))
        return &image->image();
    return nullptr;
}

} // namespace

std::optional<measure::Disc> findMoon(const Picture &picture)
{
    if (const auto *jpeg = dynamic_cast<const JpegPicture *>(&picture))
        return findOnJpeg(*jpeg);
    const QImage *image = pixelsOfPicture(picture);
    if (!image || image->isNull())
        return std::nullopt;
    const QImage grey = image->convertToFormat(QImage::Format_Grayscale8);
    const int scale = copyScale(grey.size(), {8, 4, 2});
    const QImage small = greyReduced(grey, scale);
    const std::optional<measure::Disc> coarse = measure::findDisc(pixelsOf(small));
    if (!coarse)
        return std::nullopt;
    const measure::Disc guess{
        toFile(coarse->x, 0, scale), toFile(coarse->y, 0, scale), coarse->radius * scale};
    return measure::refineDisc(pixelsOf(grey), guess, 3.0 * scale + 0.03 * guess.radius);
}

std::unique_ptr<Picture> reducedPicture(const Picture &picture, const QRect &part, int factor)
{
    if (const auto *jpeg = dynamic_cast<const JpegPicture *>(&picture))
        return jpeg->reduced(part, factor);
    const QImage *image = pixelsOfPicture(picture);
    if (!image)
        return picture.clone();
    QImage reduced = boxReduced(*image, part, factor);
    switch (picture.kind()) {
    case Picture::Kind::Icon:
        return std::make_unique<IconPicture>(reduced);
    case Picture::Kind::Metafile:
        return std::make_unique<MetafilePicture>(std::move(reduced));
    case Picture::Kind::Bitmap:
    case Picture::Kind::Jpeg:
        break;
    }
    return std::make_unique<BitmapPicture>(std::move(reduced));
}

} // namespace view
