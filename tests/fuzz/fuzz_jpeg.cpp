// The JPEG picture: the header at load, then the decode and a paint; and a part of it reduced,
// a grey copy and the search for a disc, as opening with "Cadrer sur la Lune" does; and the
// date and place of its EXIF block, which are read whatever the picture's size.
#include "fuzz_common.h"
#include "view/exifreader.h"
#include "view/jpegpicture.h"
#include "view/moonframing.h"

#include <cstdint>

namespace {

// Decoding time grows with the declared size, whatever the input's length; larger pictures
// only have their header read, so that each run stays short and the fuzzer keeps exploring.
constexpr qint64 kMaxDecodedPixels = 4'000'000;

unsigned lastByte(const QByteArray &bytes, int fromEnd)
{
    return bytes.size() >= fromEnd ? static_cast<unsigned char>(bytes[bytes.size() - fromEnd]) : 0u;
}

// A part and a factor drawn from the input's last bytes, so that the fuzzer steers them too.
QRect partOf(const QByteArray &bytes, const QSize &size)
{
    const auto byte = [&bytes](int fromEnd) {
        return lastByte(bytes, fromEnd);
    };
    const int x = static_cast<int>(byte(1) * std::uint64_t(size.width()) / 256);
    const int y = static_cast<int>(byte(2) * std::uint64_t(size.height()) / 256);
    return QRect(x,
        y,
        1 + static_cast<int>(byte(3)) * size.width() / 128,
        1 + static_cast<int>(byte(4)) * size.height() / 128);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::readAndPaint(data, size, [](const QByteArray &bytes) {
        (void)view::readExif(bytes);
        auto picture = view::JpegPicture::load(bytes);
        const QSize natural = picture->naturalSize();
        if (qint64(natural.width()) * natural.height() > kMaxDecodedPixels)
            return std::unique_ptr<view::JpegPicture>();
        (void)picture->prepare();
        (void)picture->prepare();
        const QRect part = partOf(bytes, natural);
        const int factor = 1 + static_cast<int>(lastByte(bytes, 5) % 9);
        (void)picture->greyCopy(part, 1 << (factor % 4));
        (void)view::findMoon(*picture);
        auto reduced = picture->reduced(part, factor);
        (void)reduced->prepare();
        return reduced;
    });
    return 0;
}
