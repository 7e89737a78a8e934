// The bitmap reader and a paint of what it read.
#include "fuzz_common.h"
#include "view/bitmapreader.h"

#include <cstdint>
#include <cstdlib>

namespace {

// A run-length bitmap of a few bytes may declare millions of pixels (its escapes skip whole
// rows), and reading it then costs time in proportion, as it should; those inputs are left
// out so that each run stays short and the fuzzer keeps exploring.
constexpr std::int64_t kMaxPixels = 4'000'000;

std::int64_t declaredPixels(const std::uint8_t *data, std::size_t size)
{
    if (size < 26)
        return 0;
    const auto field = [data](int at) {
        return static_cast<std::int32_t>(std::uint32_t(data[at]) | std::uint32_t(data[at + 1]) << 8
            | std::uint32_t(data[at + 2]) << 16 | std::uint32_t(data[at + 3]) << 24);
    };
    return std::llabs(std::int64_t(field(18)) * field(22));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (declaredPixels(data, size) > kMaxPixels)
        return 0;
    fuzz::readAndPaint(data, size, view::readBitmap);
    return 0;
}
