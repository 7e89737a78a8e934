// The JPEG picture: the header at load, then the decode and a paint.
#include "fuzz_common.h"
#include "view/jpegpicture.h"

#include <cstdint>

namespace {

// Decoding time grows with the declared size, whatever the input's length; larger pictures
// only have their header read, so that each run stays short and the fuzzer keeps exploring.
constexpr qint64 kMaxDecodedPixels = 4'000'000;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::readAndPaint(data, size, [](const QByteArray &bytes) {
        auto picture = view::JpegPicture::load(bytes);
        const QSize natural = picture->naturalSize();
        if (qint64(natural.width()) * natural.height() > kMaxDecodedPixels)
            return std::unique_ptr<view::JpegPicture>();
        (void)picture->prepare();
        (void)picture->prepare();
        return picture;
    });
    return 0;
}
