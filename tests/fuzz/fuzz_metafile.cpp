// Feeds arbitrary bytes to the metafile player: every input must end in a picture or in the
// failure "Metafile is not valid", never in a crash, a hang or a runaway allocation. Text needs
// the font database, hence the application that fuzz_common.h makes.
#include "fuzz_common.h"
#include "view/metafilepicture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Small pictures keep each run fast; the limits themselves are exercised all the same.
    const view::PlayLimits limits{2048, 1 << 20};
    try {
        (void)view::readMetafile(
            QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)), limits);
    } catch (const measure::Failure &) { }
    return 0;
}
