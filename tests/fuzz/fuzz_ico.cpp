// The icon reader and a paint of what it read.
#include "fuzz_common.h"
#include "view/iconpicture.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::readAndPaint(data, size, view::readIcon);
    return 0;
}
