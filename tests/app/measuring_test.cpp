// Drives the real main window: presses on the picture area, buttons, spin boxes; reads the
// state, the texts and the pixels of the layers.
#include "app/form1.h"
#include "app/spinedit.h"
#include "app/widgets.h"
#include "measure/limb.h"
#include "tests/app/formclicks.h"
#include "view/bitmappicture.h"
#include "view/pictureview.h"
#include "view/surface.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr QRgb kYellow = qRgb(255, 255, 0);
constexpr QRgb kGreen = qRgb(0, 128, 0);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kCyan = qRgb(0, 255, 255);

QImage bitmapOf(const view::PictureView *layer)
{
    const auto *bitmap = dynamic_cast<const view::BitmapPicture *>(layer->picture());
    return bitmap ? bitmap->image() : QImage();
}

QRgb pixelOf(const view::PictureView *layer, int x, int y)
{
    return bitmapOf(layer).pixel(x, y);
}

/// The pixels of a layer that are not white, by colour, each list in row order.
using Ink = QMap<QRgb, QList<QPoint>>;

Ink inkOf(const QImage &layer)
{
    Ink ink;
    for (int y = 0; y < layer.height(); ++y) {
        for (int x = 0; x < layer.width(); ++x) {
            const QRgb colour = layer.pixel(x, y);
            if (colour != qRgb(255, 255, 255))
                ink[colour] << QPoint(x, y);
        }
    }
    return ink;
}

/// The yellow ring of a cusp marker at (x, y): the 4 × 4 box from (x - 2, y - 2), its
/// corners left out.
QList<QPoint> ring(int x, int y)
{
    QList<QPoint> pixels;
    for (const QPoint offset : {QPoint(1, 0),
             QPoint(2, 0),
             QPoint(0, 1),
             QPoint(3, 1),
             QPoint(0, 2),
             QPoint(3, 2),
             QPoint(1, 3),
             QPoint(2, 3)})
        pixels << QPoint(x - 2, y - 2) + offset;
    return pixels;
}

/// A pixel set in row order as its size and an FNV-1a hash of the offsets from `origin`:
/// large outlines are pinned this way instead of by hundreds of points.
QPair<int, quint64> signature(const QList<QPoint> &pixels, QPoint origin)
{
    quint64 hash = 14695981039346656037ull;
    for (const QPoint p : pixels) {
        for (const int v : {p.x() - origin.x(), p.y() - origin.y()}) {
            hash ^= static_cast<unsigned>(v);
            hash *= 1099511628211ull;
        }
    }
    return {int(pixels.size()), hash};
}

/// The limb circle in a box of 200 × 200 pixels (radius 100), from the box's top-left corner.
const QPair<int, quint64> kLimbCircle200{564, 0xd496002368a00b71ull};

} // namespace

class MeasuringTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;
    QStringList failures;

    void click(int x, int y, Qt::MouseButton button = Qt::LeftButton)
    {
        clickArea(*form, QPoint(x, y), button);
    }
    void trace(QPoint cusp1, QPoint cusp2) { traceCircle(*form, cusp1, cusp2); }

private slots:
    void init()
    {
        form = std::make_unique<TForm1>();
        failures.clear();
        form->effects.showFailure = [this](const QString &message) {
            failures << message;
        };
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    void cleanup() { form.reset(); }

    void startsIdle()
    {
        QVERIFY(!buttonOf(*form, "Button1")->isEnabled());
        QCOMPARE(editOf(*form, "label1")->text(), QString());
        QCOMPARE(control<QSlider>(*form, "point")->value(), 1);
        for (auto *layer : {layerOf(*form, "pic3"),
                 layerOf(*form, "pic"),
                 layerOf(*form, "picmesure"),
                 layerOf(*form, "picellipse")})
            QVERIFY(layer->isEmpty());
        QCOMPARE(form->state.rayon, 0);
    }

    void firstClickMarksTheCuspAndAwaitsTheSecond_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("left") << Qt::LeftButton;
        QTest::newRow("right") << Qt::RightButton;
        QTest::newRow("middle") << Qt::MiddleButton;
    }
    void firstClickMarksTheCuspAndAwaitsTheSecond()
    {
        QFETCH(Qt::MouseButton, button);
        click(100, 200, button);
        QCOMPARE(control<QSlider>(*form, "point")->value(), 2);
        QVERIFY(!buttonOf(*form, "Button1")->isEnabled());
        QCOMPARE(form->state.ptx[1], 100.0f);
        QCOMPARE(form->state.pty[1], 200.0f);
        QCOMPARE(bitmapOf(layerOf(*form, "pic")).size(), layerOf(*form, "pic")->deviceSize());
        QCOMPARE(inkOf(bitmapOf(layerOf(*form, "pic"))), (Ink{{kYellow, ring(100, 200)}}));
        QCOMPARE(pixelOf(layerOf(*form, "pic"), 98, 200), kYellow);
    }

    void secondClickCompletesThePairLeftToRight()
    {
        click(100, 200);
        click(50, 230);
        QCOMPARE(control<QSlider>(*form, "point")->value(), 1);
        QVERIFY(buttonOf(*form, "Button1")->isEnabled());
        QCOMPARE(form->state.ptx[1], 50.0f);
        QCOMPARE(form->state.pty[1], 230.0f);
        QCOMPARE(form->state.ptx[2], 100.0f);
        QCOMPARE(form->state.pty[2], 200.0f);
        QCOMPARE(inkOf(bitmapOf(layerOf(*form, "pic"))),
            (Ink{{kYellow, ring(100, 200) + ring(50, 230)}}));
    }

    void aDoubleClickIsTwoCuspClicks()
    {
        const QPoint at(150, 160);
        QMouseEvent press(QEvent::MouseButtonPress,
            at,
            layerOf(*form, "picellipse")->mapToGlobal(at),
            Qt::LeftButton,
            Qt::LeftButton,
            {});
        QMouseEvent release(QEvent::MouseButtonRelease,
            at,
            layerOf(*form, "picellipse")->mapToGlobal(at),
            Qt::LeftButton,
            {},
            {});
        QMouseEvent second(QEvent::MouseButtonDblClick,
            at,
            layerOf(*form, "picellipse")->mapToGlobal(at),
            Qt::LeftButton,
            Qt::LeftButton,
            {});
        QApplication::sendEvent(layerOf(*form, "picellipse"), &press);
        QApplication::sendEvent(layerOf(*form, "picellipse"), &release);
        QApplication::sendEvent(layerOf(*form, "picellipse"), &second);
        QApplication::sendEvent(layerOf(*form, "picellipse"), &release);
        QCOMPARE(control<QSlider>(*form, "point")->value(), 1);
        QVERIFY(buttonOf(*form, "Button1")->isEnabled());
        QCOMPARE(form->state.ptx[1], form->state.ptx[2]);
        QCOMPARE(form->state.pty[2], 160.0f);
    }

    void aNewPairClearsTheMarkersAndTheCircle()
    {
        trace({100, 200}, {300, 200});
        click(400, 400);
        QCOMPARE(inkOf(bitmapOf(layerOf(*form, "pic"))), (Ink{{kYellow, ring(400, 400)}}));
        QVERIFY(!layerOf(*form, "picellipse")->isEmpty()); // the curves stay
        QVERIFY(buttonOf(*form, "Button1")->isEnabled());
    }

    void traceDrawsTheLimbCircleOverTheMarkers()
    {
        trace({100, 200}, {300, 200});
        QCOMPARE(editOf(*form, "label1")->text(), QStringLiteral("100 px"));
        QCOMPARE(form->state.rayon, 100);
        QCOMPARE(form->state.cordex, 200);
        QCOMPARE(form->state.cordey, 0);
        QCOMPARE(measure::limbBox(form->state), (measure::Box{100, 100, 300, 300}));
        // The circle's white inside wipes the inner halves of the markers.
        const Ink ink = inkOf(bitmapOf(layerOf(*form, "pic")));
        QCOMPARE(ink.keys(), (QList<QRgb>{kGreen, kYellow}));
        QCOMPARE(ink[kYellow],
            (QList<QPoint>{{99, 198},
                {300, 198},
                {98, 199},
                {301, 199},
                {98, 200},
                {301, 200},
                {99, 201},
                {300, 201}}));
        QCOMPARE(signature(ink[kGreen], {100, 100}), kLimbCircle200);
        QCOMPARE(pixelOf(layerOf(*form, "pic"), 200, 100), kGreen);
        QCOMPARE(pixelOf(layerOf(*form, "pic"), 100, 200), kGreen);
        QVERIFY(failures.isEmpty());
    }

    void curvesFollowTheSpinBoxes()
    {
        trace({100, 200}, {300, 200});
        // B = 0, h = 0: both curves are the cusp line.
        QCOMPARE(pixelOf(layerOf(*form, "picellipse"), 200, 200), kRed);
        QCOMPARE(pixelOf(layerOf(*form, "picmesure"), 200, 200), kCyan);
        spinOf(*form, "SpinEditB")->setValue(30);
        QCOMPARE(form->state.axea, 100.0f);
        QCOMPARE(form->state.axeb, 50.0f);
        for (QPoint p : {QPoint(300, 200), QPoint(271, 235), QPoint(200, 250), QPoint(129, 235)})
            QCOMPARE(pixelOf(layerOf(*form, "picellipse"), p.x(), p.y()), kRed);
        QCOMPARE(pixelOf(layerOf(*form, "picellipse"), 200, 200), qRgb(255, 255, 255));
        spinOf(*form, "spinmes")->setValue(30);
        QCOMPARE(editOf(*form, "LabeledEdit2")->text(), QStringLiteral("30"));
        for (QPoint p : {QPoint(287, 157), QPoint(200, 200), QPoint(113, 157), QPoint(200, 113)})
            QCOMPARE(pixelOf(layerOf(*form, "picmesure"), p.x(), p.y()), kCyan);
        QVERIFY(failures.isEmpty());
    }

    void theElevationTextIsCopiedBeforeTheCurveIsRedrawn()
    {
        trace({100, 200}, {300, 200});
        spinOf(*form, "spinmes")->setValue(30);
        const QImage curve = bitmapOf(layerOf(*form, "picmesure"));
        // A failing redraw still finds the copy made: semi-axes of 0 make 0 / 0.
        form->state.axea = 0.0f;
        spinOf(*form, "spinmes")->setValue(-12);
        QCOMPARE(failures, QStringList{QStringLiteral("Invalid floating point operation.")});
        QCOMPARE(editOf(*form, "LabeledEdit2")->text(), QStringLiteral("-12"));
        QCOMPARE(bitmapOf(layerOf(*form, "picmesure")), curve);
        // An emptied box reads as -90 but its text itself is copied.
        spinOf(*form, "SpinEditB")->setValue(30);
        spinOf(*form, "spinmes")->setText(QString());
        QCOMPARE(editOf(*form, "LabeledEdit2")->text(), QString());
        QCOMPARE(failures.size(), 1);
    }

    void spinChangesBeforeAnyTraceDrawNothing()
    {
        spinOf(*form, "SpinEditB")->setValue(30);
        spinOf(*form, "spinmes")->setValue(20);
        QVERIFY(layerOf(*form, "picellipse")->isEmpty());
        QVERIFY(layerOf(*form, "picmesure")->isEmpty());
        QCOMPARE(editOf(*form, "LabeledEdit2")->text(), QString());
        QVERIFY(failures.isEmpty());
    }

    void nudgesMoveOnlyTheCircle()
    {
        trace({100, 200}, {300, 200});
        spinOf(*form, "SpinEditB")->setValue(30);
        const QImage terminator = bitmapOf(layerOf(*form, "picellipse"));
        const QImage curve = bitmapOf(layerOf(*form, "picmesure"));
        for (int i = 0; i < 3; ++i)
            QTest::mouseClick(buttonOf(*form, "up"), Qt::LeftButton);
        QTest::mouseClick(buttonOf(*form, "left"), Qt::LeftButton);
        QCOMPARE(form->state.decaly, -3);
        QCOMPARE(form->state.decalx, -1);
        const Ink ink = inkOf(bitmapOf(layerOf(*form, "pic")));
        QCOMPARE(ink.keys(), QList<QRgb>{kGreen}); // the markers are gone
        QCOMPARE(signature(ink[kGreen], {99, 97}), kLimbCircle200);
        QCOMPARE(bitmapOf(layerOf(*form, "picellipse")), terminator);
        QCOMPARE(bitmapOf(layerOf(*form, "picmesure")), curve);
        // The next change of the terminator's position brings the curves to the circle.
        spinOf(*form, "SpinEditB")->setValue(31);
        spinOf(*form, "SpinEditB")->setValue(30);
        QCOMPARE(pixelOf(layerOf(*form, "picellipse"), 199, 247), kRed);
        QCOMPARE(pixelOf(layerOf(*form, "picellipse"), 200, 250), qRgb(255, 255, 255));
    }

    void degenerateCuspsReportTheirFailure_data()
    {
        QTest::addColumn<QPoint>("cusp2");
        QTest::addColumn<int>("rayon");
        QTest::addColumn<QString>("message");
        QTest::newRow("one pixel below")
            << QPoint(200, 101) << 0 << QStringLiteral("Floating point division by zero.");
        QTest::newRow("one pixel right")
            << QPoint(201, 100) << 0 << QStringLiteral("Invalid floating point operation.");
        QTest::newRow("same point")
            << QPoint(200, 100) << 0 << QStringLiteral("Invalid floating point operation.");
    }
    void degenerateCuspsReportTheirFailure()
    {
        QFETCH(QPoint, cusp2);
        QFETCH(int, rayon);
        QFETCH(QString, message);
        trace({200, 100}, cusp2);
        QCOMPARE(failures, QStringList{message});
        QCOMPARE(form->state.rayon, rayon);
        QCOMPARE(editOf(*form, "label1")->text(), QStringLiteral("%1 px").arg(rayon));
        QVERIFY(layerOf(*form, "picellipse")->isEmpty());
        QVERIFY(layerOf(*form, "picmesure")->isEmpty());
        QVERIFY(!layerOf(*form, "pic")->isEmpty()); // what the trace did before the failure stays
        spinOf(*form, "SpinEditB")->setValue(10);
        spinOf(*form, "spinmes")->setValue(10);
        QCOMPARE(failures.size(), 1); // a radius of 0 makes the spin boxes do nothing
        QVERIFY(layerOf(*form, "picellipse")->isEmpty());
        QVERIFY(layerOf(*form, "picmesure")->isEmpty());
        QCOMPARE(editOf(*form, "LabeledEdit2")->text(), QString());
        // The window goes on: a sound pair traces normally.
        failures.clear();
        trace({100, 200}, {300, 200});
        QVERIFY(failures.isEmpty());
        QVERIFY(!layerOf(*form, "picellipse")->isEmpty());
    }

    void aVerticalChordOfFivePixelsTracesBothCurves()
    {
        // The half-length 2.5 goes to the even radius 2, one pixel short of the chord: the
        // cusp line is still taken as vertical instead of failing on an arcsine above 1.
        trace({200, 100}, {200, 105});
        QVERIFY(failures.isEmpty());
        QCOMPARE(form->state.rayon, 2);
        QVERIFY(!layerOf(*form, "picellipse")->isEmpty());
        QVERIFY(!layerOf(*form, "picmesure")->isEmpty());
    }

    void eraseButtonsClearTheirLayersOnly()
    {
        layerOf(*form, "pic3")->giveBitmap(view::newBitmap(50, 50));
        trace({100, 200}, {300, 200});
        const measure::TMesureState before = form->state;
        QTest::mouseClick(buttonOf(*form, "Button3"), Qt::LeftButton);
        QVERIFY(layerOf(*form, "pic")->isEmpty());
        QVERIFY(layerOf(*form, "picellipse")->isEmpty());
        QVERIFY(layerOf(*form, "picmesure")->isEmpty());
        QVERIFY(!layerOf(*form, "pic3")->isEmpty());
        QCOMPARE(editOf(*form, "label1")->text(), QStringLiteral("100 px"));
        QCOMPARE(form->state.rayon, before.rayon);
        spinOf(*form, "SpinEditB")->setValue(5); // the state survives: the curves come back
        QVERIFY(!layerOf(*form, "picellipse")->isEmpty());
        QTest::mouseClick(buttonOf(*form, "Button4"), Qt::LeftButton);
        QVERIFY(layerOf(*form, "pic3")->isEmpty());
        QVERIFY(!layerOf(*form, "picellipse")->isEmpty());
    }

    void openingGoesThroughTheChooser()
    {
        int asked = 0;
        form->effects.choosePicture = [&]() -> std::optional<QString> {
            ++asked;
            return std::nullopt;
        };
        layerOf(*form, "pic3")->giveBitmap(view::newBitmap(20, 20));
        QTest::mouseClick(buttonOf(*form, "Button2"), Qt::LeftButton);
        QCOMPARE(asked, 1);
        QVERIFY(!layerOf(*form, "pic3")->isEmpty());
        form->effects.choosePicture = [] {
            return std::optional<QString>(QStringLiteral("/nonexistent/moon.bmp"));
        };
        QTest::mouseClick(buttonOf(*form, "Button2"), Qt::LeftButton);
        QCOMPARE(failures.size(), 1);
        QCOMPARE(layerOf(*form, "pic3")->picture()->naturalSize(),
            QSize(20, 20)); // the old picture stays
        QTemporaryDir folder;
        const QString moon = folder.filePath(QStringLiteral("lune.BMP"));
        QImage photograph(64, 48, QImage::Format_RGB888);
        photograph.fill(qRgb(40, 40, 40));
        QVERIFY(photograph.save(moon, "BMP"));
        form->effects.choosePicture = [&] {
            return std::optional<QString>(moon);
        };
        QTest::mouseClick(buttonOf(*form, "Button2"), Qt::LeftButton);
        QCOMPARE(failures.size(), 1);
        QCOMPARE(layerOf(*form, "pic3")->picture()->naturalSize(), QSize(64, 48));
    }

    void whiteIsTransparentAndLayersStackInOrder()
    {
        trace({100, 200}, {300, 200});
        spinOf(*form, "SpinEditB")->setValue(30);
        spinOf(*form, "spinmes")->setValue(0);
        const QImage window = form->grab().toImage();
        auto at = [&](int x, int y) {
            const QPoint p =
                control<QWidget>(*form, "TabSheet1")->mapTo(form.get(), QPoint(128 + x, y));
            return window.pixel(p);
        };
        const QRgb background = at(-8, 5); // a bare spot of the page left of the area
        QCOMPARE(at(200, 100), kGreen); // the circle under two white layers
        QCOMPARE(at(200, 250), kRed); // the terminator above the curve it covers
        QCOMPARE(at(200, 150), kCyan);
        QCOMPARE(at(200, 180), background); // the white fill does not show
    }

    void aMarkOnTheBottomLeftPixelTurnsTheLayersWhiteOpaque()
    {
        // The bottom row lies in the strip below the page's visible edge; a press there still
        // reaches the view.
        const int bottom = layerOf(*form, "pic")->deviceSize().height() - 1;
        click(2, bottom);
        QCOMPARE(pixelOf(layerOf(*form, "pic"), 0, bottom), kYellow);
        auto at = [this](int x, int y) {
            const QImage window = form->grab().toImage();
            return window.pixel(
                control<QWidget>(*form, "TabSheet1")->mapTo(form.get(), QPoint(128 + x, y)));
        };
        QCOMPARE(at(500, 300), qRgb(255, 255, 255));
        QTest::mouseClick(buttonOf(*form, "Button3"), Qt::LeftButton);
        QCOMPARE(at(500, 300), at(-8, 5));
    }

    void picturesAreaFollowsThePage()
    {
        const QSize before = control<QWidget>(*form, "TabSheet1")->size();
        form->resize(form->width() + 250, form->height() + 120);
        QTest::qWait(0);
        const QSize page = control<QWidget>(*form, "TabSheet1")->size();
        QCOMPARE(page, before + QSize(250, 120));
        for (auto *layer : {layerOf(*form, "pic3"),
                 layerOf(*form, "pic"),
                 layerOf(*form, "picmesure"),
                 layerOf(*form, "picellipse")})
            QCOMPARE(layer->geometry(), QRect(128, 0, page.width() - 99, page.height() + 5));
        trace({100, 200}, {300, 200});
        QCOMPARE(bitmapOf(layerOf(*form, "picellipse")).size(),
            layerOf(*form, "picellipse")->deviceSize());
        QCOMPARE(buttonOf(*form, "Button2")->geometry(), QRect(16, 17, 92, 37));
    }
};

QTEST_MAIN(MeasuringTest)
#include "measuring_test.moc"
