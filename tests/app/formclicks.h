#pragma once
// What a user does with the mouse on the window, for the Qt Test programs (the benchmarks
// build their own events and do without QTest).

#include "tests/app/formtest.h"

#include <QPoint>
#include <QTest>

/// A press and release at `at` on the picture area, where the window takes them.
inline void clickArea(const QObject &form, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mousePress(layerOf(form, "picellipse"), button, {}, at);
    QTest::mouseRelease(layerOf(form, "picellipse"), button, {}, at);
}

/// Both cusps clicked, then "Traçage des lignes".
inline void traceCircle(const QObject &form, QPoint cusp1, QPoint cusp2)
{
    clickArea(form, cusp1);
    clickArea(form, cusp2);
    QTest::mouseClick(buttonOf(form, "Button1"), Qt::LeftButton);
}
