// The icon reader and a paint of what it read.
#include "fuzz_common.h"
#include "measure/real.h"
#include "view/iconpicture.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::makeApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        const auto picture = view::readIcon(bytes);
        fuzz::paintSmall(*picture);
    } catch (const measure::Failure &) { }
    return 0;
}
