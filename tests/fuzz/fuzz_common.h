// Shared by the fuzz targets: the application object Qt's image plugins and fonts need, and for
// the readers a paint of whatever picture came out, so that drawing is exercised as well as
// reading. Each target is a single source file, which includes this once.
#pragma once

#include "measure/real.h"
#include "view/picture.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace fuzz {

// libFuzzer calls LLVMFuzzerInitialize; the replay driver makes its own application.
inline void makeApplication(int *argc, char ***argv)
{
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(*argc, *argv);
}

inline void paintSmall(const view::Picture &picture)
{
    QImage target(64, 64, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    picture.paint(painter, target.rect(), true);
}

// Reads the input with `read` and paints the picture it makes, if any; a reader's failure is
// one of the outcomes expected of arbitrary bytes.
template <typename Read> void readAndPaint(const std::uint8_t *data, std::size_t size, Read read)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        const auto picture = read(bytes);
        if (picture)
            paintSmall(*picture);
    } catch (const measure::Failure &) { }
}

} // namespace fuzz

// LeakSanitizer reads these before the first input. The font library keeps caches of the
// faces it has matched (the metafile player's text asks for them) that are never freed, and
// libFuzzer's leak check after an input would stop the run on them. Only system libraries are
// named here: a leak anywhere in our own code is still a finding.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n"
           "leak:libfreetype.so\n";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::makeApplication(argc, argv);
    return 0;
}
