#pragma once
// What a user does with the mouse on the window, for the Qt Test programs (the benchmarks
// build their own events and do without QTest).

#include "tests/app/formtest.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPoint>
#include <QTest>

/// A press and release at `at` on the picture area, where the window takes them.
inline void clickArea(const QObject &form, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mousePress(layerOf(form, "picellipse"), button, {}, at);
    QTest::mouseRelease(layerOf(form, "picellipse"), button, {}, at);
}

/// The pointer moved to `at` over the picture area. Sent straight to the area: QTest::mouseMove
/// sends nothing when the pointer is already at that place, as it may be from an earlier test.
inline void moveOverArea(const QObject &form, QPoint at)
{
    QWidget *area = layerOf(form, "picellipse");
    QMouseEvent event(
        QEvent::MouseMove, at, area->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(area, &event);
}

/// Both cusps clicked, then "Traçage des lignes".
inline void traceCircle(const QObject &form, QPoint cusp1, QPoint cusp2)
{
    clickArea(form, cusp1);
    clickArea(form, cusp2);
    QTest::mouseClick(buttonOf(form, "Button1"), Qt::LeftButton);
}
