// The JPEG picture: the header at load, then the decode and a paint.
#include "fuzz_common.h"
#include "measure/real.h"
#include "view/jpegpicture.h"

#include <cstdint>

namespace {

// Decoding time grows with the declared size, whatever the input's length; larger pictures
// only have their header read, so that each run stays short and the fuzzer keeps exploring.
constexpr qint64 kMaxDecodedPixels = 4'000'000;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::makeApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        auto picture = view::JpegPicture::load(bytes);
        const QSize natural = picture->naturalSize();
        if (qint64(natural.width()) * natural.height() <= kMaxDecodedPixels) {
            (void)picture->prepare();
            (void)picture->prepare();
            fuzz::paintSmall(*picture);
        }
    } catch (const measure::Failure &) { }
    return 0;
}
