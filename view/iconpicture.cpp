#include "view/iconpicture.h"

#include "metafile/littleendian.h"
#include "view/boxreduce.h"
#include "view/failures.h"
#include "view/qtdecoding.h"

#include <cstdint>

namespace view {

namespace {

using metafile::littleEndian;

constexpr int kDirectoryHeaderSize = 6;
constexpr int kEntrySize = 16;
constexpr int kIconType = 1;

[[noreturn]] void notValid()
{
    failures::fail(failures::kInvalidIcon);
}

// Index of the image to show: the largest, the one with the most colours among equals. Checks
// on the way that the directory is an icon's and that every image lies inside the file.
int chooseImage(const QByteArray &data)
{
    if (data.size() < kDirectoryHeaderSize || littleEndian(data, 0, 2) != 0
        || littleEndian(data, 2, 2) != kIconType)
        notValid();
    const int count = static_cast<int>(littleEndian(data, 4, 2));
    if (count == 0 || data.size() < kDirectoryHeaderSize + qsizetype(count) * kEntrySize)
        notValid();
    int best = -1;
    std::uint32_t bestArea = 0, bestBits = 0;
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = kDirectoryHeaderSize + qsizetype(i) * kEntrySize;
        // A width or height byte of 0 stands for 256.
        const std::uint32_t width =
            littleEndian(data, entry, 1) ? littleEndian(data, entry, 1) : 256;
        const std::uint32_t height =
            littleEndian(data, entry + 1, 1) ? littleEndian(data, entry + 1, 1) : 256;
        const std::uint32_t bits = littleEndian(data, entry + 6, 2);
        const std::uint32_t bytes = littleEndian(data, entry + 8, 4);
        const std::uint32_t offset = littleEndian(data, entry + 12, 4);
        if (bytes == 0 || offset > data.size() || bytes > data.size() - offset)
            notValid();
        const std::uint32_t area = width * height;
        if (best < 0 || area > bestArea || (area == bestArea && bits > bestBits)) {
            best = i;
            bestArea = area;
            bestBits = bits;
        }
    }
    return best;
}

} // namespace

IconPicture::IconPicture(const QImage &image)
    : ImagePicture(image.convertToFormat(QImage::Format_ARGB32_Premultiplied))
{ }

std::unique_ptr<Picture> IconPicture::clone() const
{
    return std::make_unique<IconPicture>(*this);
}

std::unique_ptr<Picture> IconPicture::reducedCopy(const QRect &part, int factor) const
{
    return std::make_unique<IconPicture>(boxReduced(image(), part, factor));
}

std::unique_ptr<Picture> readIcon(const QByteArray &data)
{
    const QImage image = decodeWithQt(data, "ico", chooseImage(data));
    if (image.isNull())
        notValid();
    return std::make_unique<IconPicture>(image);
}

} // namespace view
