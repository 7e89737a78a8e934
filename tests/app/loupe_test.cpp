// The loupe through the real window: it shows the photograph and the drawings exactly as the
// layers hold them, magnified, and stays out of the way of the pointer and of the presses.
#include "app/form1.h"
#include "tests/app/formclicks.h"
#include "view/loupe.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

#include <memory>

class LoupeTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TForm1> form;
    view::Loupe *loupe() const { return control<view::Loupe>(*form, "loupe"); }
    void move(QPoint at) { moveOverArea(*form, at); }

private slots:
    void init()
    {
        form = std::make_unique<TForm1>();
        form->effects.showFailure = [](const QString &message) {
            QFAIL(qPrintable(message));
        };
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    void cleanup() { form.reset(); }

    void showsTheLayersPixelForPixel_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("wheel");
        QTest::addColumn<int>("magnification");
        QTest::newRow("on the limb circle, x4") << QPoint(100, 200) << 0 << 4;
        QTest::newRow("on the terminator, x8") << QPoint(200, 250) << 1 << 8;
        QTest::newRow("x16 at most") << QPoint(150, 240) << 5 << 16;
        QTest::newRow("x4 at least") << QPoint(3, 3) << -3 << 4;
    }
    void showsTheLayersPixelForPixel()
    {
        QFETCH(QPoint, at);
        QFETCH(int, wheel);
        QFETCH(int, magnification);
        QImage photograph(600, 500, QImage::Format_RGB32);
        for (int y = 0; y < photograph.height(); ++y)
            for (int x = 0; x < photograph.width(); ++x)
                photograph.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
        layerOf(*form, "pic3")->giveBitmap(photograph);
        traceCircle(*form, {100, 200}, {300, 200});
        spinOf(*form, "SpinEditB")->setValue(50);
        QTest::mouseClick(buttonOf(*form, "butloupe"), Qt::LeftButton);
        move(at);
        QVERIFY(loupe()->isVisible());
        for (int k = 0; k < std::abs(wheel); ++k) {
            QWheelEvent event(QPointF(at),
                layerOf(*form, "picellipse")->mapToGlobal(QPointF(at)),
                {},
                {0, wheel > 0 ? 120 : -120},
                Qt::NoButton,
                {},
                Qt::NoScrollPhase,
                false);
            QApplication::sendEvent(layerOf(*form, "picellipse"), &event);
        }
        QCOMPARE(loupe()->magnification(), magnification);
        QCOMPARE(loupe()->pixel(), at);

        // The area as the screen shows it, pixel for pixel, against the middles of the loupe's
        // squares; the cross-hair's arms and frame are left out.
        const QImage screen = layerOf(*form, "picellipse")
                                  ->parentWidget()
                                  ->grab(layerOf(*form, "picellipse")->geometry())
                                  .toImage();
        const QImage &shown = loupe()->image();
        const int half = loupe()->half();
        QCOMPARE(shown.width(), (2 * half + 1) * magnification);
        int compared = 0;
        for (int dy = -half; dy <= half; ++dy) {
            for (int dx = -half; dx <= half; ++dx) {
                const QPoint p = at + QPoint(dx, dy);
                if (dx == 0 || dy == 0 || (std::abs(dx) == 1 && std::abs(dy) == 1)
                    || !screen.rect().contains(p))
                    continue;
                const QPoint middle((dx + half) * magnification + magnification / 2,
                    (dy + half) * magnification + magnification / 2);
                QCOMPARE(shown.pixel(middle), screen.pixel(p));
                ++compared;
            }
        }
        QVERIFY(compared > 0);
        // The pointed pixel is left bare inside its frame.
        const QPoint middle(half * magnification + 1, half * magnification + 1);
        QCOMPARE(shown.pixel(middle + QPoint(magnification / 2 - 1, 0)), screen.pixel(at));
        // The loupe never covers the pointer.
        const QPoint pointer = layerOf(*form, "picellipse")->mapTo(loupe()->parentWidget(), at);
        QVERIFY(!loupe()->geometry().contains(pointer));
    }

    void pressesGoThroughAndTheToggleHidesIt()
    {
        QTest::mouseClick(buttonOf(*form, "butloupe"), Qt::LeftButton);
        move({200, 200});
        QVERIFY(loupe()->isVisible());
        clickArea(*form, loupe()->geometry().center() - layerOf(*form, "picellipse")->pos());
        QCOMPARE(form->state.ptx[1],
            float(loupe()->geometry().center().x() - layerOf(*form, "picellipse")->pos().x()));
        QTest::mouseClick(buttonOf(*form, "butloupe"), Qt::LeftButton);
        QVERIFY(!loupe()->isVisible());
        move({210, 200});
        QVERIFY(!loupe()->isVisible());
    }
};

QTEST_MAIN(LoupeTest)
#include "loupe_test.moc"
