// Feeds arbitrary bytes to the metafile player: every input must end in a picture or in the
// failure "Metafile is not valid", never in a crash, a hang or a runaway allocation.
#include "measure/real.h"
#include "view/metafile.h"

#include <QByteArray>
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>

namespace {

// Text needs the font database, hence an application; the replay driver brings its own.
void ensureApplication()
{
    if (QGuiApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_metafile";
    static char *argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    ensureApplication();
    // Small pictures keep each run fast; the limits themselves are exercised all the same.
    const view::PlayLimits limits{2048, 1 << 20};
    try {
        (void)view::readMetafile(
            QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)), limits);
    } catch (const measure::Failure &) { }
    return 0;
}
