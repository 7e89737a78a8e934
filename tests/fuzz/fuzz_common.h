// Shared by the reader fuzz targets: the application object Qt's image plugins need, and a
// paint of whatever picture came out, so that drawing is exercised as well as reading.
#pragma once

#include "view/picture.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

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

} // namespace fuzz
