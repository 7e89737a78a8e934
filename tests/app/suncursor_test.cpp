// The Sun's elevation under the cursor and "Ajuster", through the real window: moves over the
// picture area, presses, the button, SpinEditB, and the message box.
#include "app/calculator.h"
#include "app/form1.h"
#include "app/spinedit.h"
#include "tests/app/formclicks.h"
#include "tests/synth/synthmoon.h"
#include "view/jpegpicture.h"
#include "view/pictureview.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

// A photograph of the picture area's size: the Moon about (400, 330), 250 pixels across the
// radius, with its cusps on whole pixels at (150, 330) and (650, 330).
QImage moonPhotograph(double b, int litSign)
{
    synth::Scene scene;
    scene.width = 847;
    scene.height = 660;
    scene.centreX = 400;
    scene.centreY = 330;
    scene.radius = 250;
    const double radians = b * M_PI / 180;
    scene.sun = {0, -litSign * std::cos(radians), litSign * std::sin(radians)};
    const synth::Photo photo = synth::render(scene);
    QImage image(photo.width, photo.height, QImage::Format_Grayscale8);
    for (int y = 0; y < photo.height; ++y)
        std::copy_n(
            &photo.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(photo.width)],
            photo.width,
            image.scanLine(y));
    return image;
}

// "12,3° ± 0,4°" read back as its two figures.
QPair<double, double> figures(const QString &text)
{
    QString plain = text;
    plain.replace(calculator::localeDecimalSeparator(), QStringLiteral("."));
    const QStringList parts = plain.split(QStringLiteral("° ± "));
    if (parts.size() != 2)
        return {qQNaN(), qQNaN()};
    return {parts[0].toDouble(), parts[1].chopped(1).toDouble()};
}

} // namespace

class SunCursorTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TForm1> form;
    QStringList boxes;

    view::PictureView *area() const { return layerOf(*form, "picellipse"); }
    QString label() const { return control<QLabel>(*form, "soleilcurseur")->text(); }
    QString decimal(const char *text) const
    {
        return QString::fromUtf8(text).replace(
            QLatin1Char(','), calculator::localeDecimalSeparator());
    }
    void move(int x, int y) { moveOverArea(*form, QPoint(x, y)); }
    void click(int x, int y) { clickArea(*form, QPoint(x, y)); }
    void trace(QPoint cusp1, QPoint cusp2) { traceCircle(*form, cusp1, cusp2); }
    void adjust() { QTest::mouseClick(buttonOf(*form, "butajuste"), Qt::LeftButton); }

private slots:
    void init()
    {
        form = std::make_unique<TForm1>();
        boxes.clear();
        form->effects.showFailure = [](const QString &message) {
            QFAIL(qPrintable(message));
        };
        form->effects.messageBox = [this](const QString &text, const QString &caption) {
            boxes << caption + QStringLiteral(": ") + text;
        };
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    void cleanup() { form.reset(); }

    void controlsSitInTheFreeStrip()
    {
        QCOMPARE(buttonOf(*form, "butajuste")->geometry(), QRect(10, 444, 52, 20));
        QCOMPARE(buttonOf(*form, "butajuste")->text(), QStringLiteral("Ajuster"));
        QCOMPARE(control<QLabel>(*form, "soleilcurseur")->geometry(), QRect(6, 468, 116, 14));
    }

    void emptyBeforeAnyTrace()
    {
        move(200, 200);
        QCOMPARE(label(), QString());
    }

    // Without a photograph the sign is that of the drawn curves: positive on the side the
    // cyan curve moves to for positive values, above a horizontal chord.
    void movesShowTheElevationUnderThePointer_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QString>("text");
        QTest::newRow("centre, h = B") << QPoint(200, 200) << decimal("30,0° ± 0,6°");
        QTest::newRow("on the terminator") << QPoint(200, 250) << decimal("0,0° ± ");
        QTest::newRow("half-way up") << QPoint(200, 150) << decimal("60,0° ± ");
        QTest::newRow("off the disc") << QPoint(200, 305) << QStringLiteral("hors du disque");
    }
    void movesShowTheElevationUnderThePointer()
    {
        QFETCH(QPoint, at);
        QFETCH(QString, text);
        trace({100, 200}, {300, 200});
        spinOf(*form, "SpinEditB")->setValue(30);
        move(at.x(), at.y());
        QVERIFY2(label().startsWith(text), qPrintable(label()));
    }

    void leavingTheAreaEmptiesTheLabel()
    {
        trace({100, 200}, {300, 200});
        move(200, 200);
        QVERIFY(!label().isEmpty());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(area(), &leave);
        QCOMPARE(label(), QString());
    }

    void pressesStillSetCusps()
    {
        trace({100, 200}, {300, 200});
        move(150, 220);
        click(150, 220);
        QCOMPARE(control<QSlider>(*form, "point")->value(), 2);
        QCOMPARE(form->state.ptx[1], 150.0f);
        QCOMPARE(form->state.pty[1], 220.0f);
    }

    // A crescent lit below: the drawn curves put positive values above, the photograph says
    // the day is below, so the centre of the disc (on the night side) reads negative.
    void theSignFollowsThePhotographsLitSide()
    {
        layerOf(*form, "pic3")->giveBitmap(moonPhotograph(30, -1));
        trace({150, 330}, {650, 330});
        spinOf(*form, "SpinEditB")->setValue(30);
        move(400, 330);
        QVERIFY2(label().startsWith(decimal("-30,0° ± ")), qPrintable(label()));
        move(400, 500);
        QVERIFY2(figures(label()).first > 0, qPrintable(label()));
    }

    // A circle traced over one photograph says nothing of another: the label asks for a new
    // trace, which then reads the lit side of what is shown (the drawn curves' own without one).
    void aNewOrErasedPhotographAsksForANewTrace_data()
    {
        QTest::addColumn<int>("litSign");
        QTest::addColumn<bool>("erase");
        QTest::addColumn<QString>("after");
        // B was laid on the last photograph's terminator, not on this one's: approximate.
        QTest::newRow("other side lit") << 1 << false << decimal("≈ 30,0°");
        QTest::newRow("same side lit") << -1 << false << decimal("≈ -30,0°");
        QTest::newRow("erased") << -1 << true << decimal("≈ 30,0°");
    }
    void aNewOrErasedPhotographAsksForANewTrace()
    {
        QFETCH(int, litSign);
        QFETCH(bool, erase);
        QFETCH(QString, after);
        auto *pic3 = layerOf(*form, "pic3");
        pic3->giveBitmap(moonPhotograph(30, -1));
        trace({150, 330}, {650, 330});
        spinOf(*form, "SpinEditB")->setValue(30);
        move(400, 330);
        QVERIFY2(label().startsWith(decimal("-30,0° ± ")), qPrintable(label()));
        if (erase)
            QTest::mouseClick(buttonOf(*form, "Button4"), Qt::LeftButton);
        else
            pic3->giveBitmap(moonPhotograph(30, litSign));
        move(400, 330);
        QCOMPARE(label(), QStringLiteral("Cercle à retracer"));
        trace({150, 330}, {650, 330});
        move(400, 330);
        QCOMPARE(label(), after);
    }

    void effacerTracesBlanksTheLabelUntilTheNextTrace()
    {
        trace({100, 200}, {300, 200});
        spinOf(*form, "SpinEditB")->setValue(30);
        move(200, 200);
        QVERIFY(!label().isEmpty());
        QTest::mouseClick(buttonOf(*form, "Button3"), Qt::LeftButton);
        QCOMPARE(label(), QString());
        move(210, 200);
        QCOMPARE(label(), QString());
        spinOf(*form, "SpinEditB")->setValue(31);
        move(200, 200);
        QCOMPARE(label(), QString());
        QTest::mouseClick(buttonOf(*form, "Button1"), Qt::LeftButton);
        move(200, 200);
        QVERIFY2(label().startsWith(decimal("31,0° ± ")), qPrintable(label()));
    }

    // The fraction was read off a photograph: once another is opened, or it is erased, a new
    // trace goes back to SpinEditB's whole degree.
    void aNewOrErasedPhotographForgetsTheFraction_data()
    {
        QTest::addColumn<bool>("erase");
        QTest::newRow("opened") << false;
        QTest::newRow("erased") << true;
    }
    void aNewOrErasedPhotographForgetsTheFraction()
    {
        QFETCH(bool, erase);
        layerOf(*form, "pic3")->giveBitmap(moonPhotograph(-23.6, -1));
        trace({150, 330}, {650, 330});
        adjust();
        QCOMPARE(spinOf(*form, "SpinEditB")->value(), -24);
        if (erase) {
            QTest::mouseClick(buttonOf(*form, "Button4"), Qt::LeftButton);
        } else {
            QTemporaryDir dir;
            const QString file = dir.filePath(QStringLiteral("autre.bmp"));
            QVERIFY(moonPhotograph(-23.6, -1).save(file));
            form->openPicture(file);
        }
        move(400, 330);
        QCOMPARE(label(), QStringLiteral("Cercle à retracer"));
        QTest::mouseClick(buttonOf(*form, "Button1"), Qt::LeftButton);
        move(400, 330);
        QCOMPARE(label(), decimal(erase ? "≈ -24,0°" : "≈ 24,0°"));
        QCOMPARE(spinOf(*form, "SpinEditB")->value(), -24);
    }

    void ajusterSetsTheWholeDegreeAndTheLabelKeepsTheFraction()
    {
        layerOf(*form, "pic3")->giveBitmap(moonPhotograph(-23.6, 1));
        trace({150, 330}, {650, 330});
        adjust();
        QCOMPARE(boxes, QStringList());
        QCOMPARE(spinOf(*form, "SpinEditB")->value(), -24);
        move(400, 330);
        const auto [degrees, sigma] = figures(label());
        QVERIFY2(std::fabs(degrees + 23.6) <= 0.2, qPrintable(label()));
        QVERIFY2(degrees != -24.0, qPrintable(label()));
        // The relief the fit counts keeps the figure within a degree, past the spin box.
        QVERIFY2(sigma <= 1, qPrintable(label()));

        // The user's own B replaces the fraction.
        spinOf(*form, "SpinEditB")->setValue(-20);
        move(400, 330);
        QVERIFY2(label().startsWith(decimal("-20,0° ± ")), qPrintable(label()));
    }

    // Grey JPEG files decode to 236 levels of a palette, and only at their first paint: the
    // button decodes a photograph that was never shown and reads its palette's greys.
    void ajusterReadsAJpegNeverShown_data()
    {
        QTest::addColumn<bool>("colour");
        QTest::newRow("grey") << false;
        QTest::newRow("colour") << true;
    }
    void ajusterReadsAJpegNeverShown()
    {
        QFETCH(bool, colour);
        const QImage image = moonPhotograph(-23.6, 1);
        synth::Photo photo;
        photo.width = image.width();
        photo.height = image.height();
        photo.channels = colour ? 3 : 1;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                for (int k = 0; k < photo.channels; ++k)
                    photo.pixels.push_back(static_cast<std::uint8_t>(qGray(image.pixel(x, y))));
            }
        }
        const std::vector<std::uint8_t> file = synth::encodeJpeg(photo, 90);
        trace({150, 330}, {650, 330});
        auto *pic3 = layerOf(*form, "pic3");
        pic3->setPicture(view::JpegPicture::load(QByteArray(
            reinterpret_cast<const char *>(file.data()), static_cast<int>(file.size()))));
        QVERIFY(!static_cast<const view::JpegPicture *>(pic3->picture())->isDecoded());
        adjust();
        QCOMPARE(boxes, QStringList());
        QCOMPARE(spinOf(*form, "SpinEditB")->value(), -24);
    }

    void aNewTraceForgetsTheFraction()
    {
        layerOf(*form, "pic3")->giveBitmap(moonPhotograph(-23.6, 1));
        trace({150, 330}, {650, 330});
        adjust();
        trace({150, 330}, {650, 330});
        move(400, 330);
        QVERIFY2(label().startsWith(decimal("-24,0° ± ")), qPrintable(label()));
    }

    void ajusterSaysWhyItCannotAndChangesNothing_data()
    {
        QTest::addColumn<bool>("photograph");
        QTest::addColumn<bool>("traced");
        QTest::addColumn<QString>("box");
        QTest::newRow("no photograph")
            << false << true
            << QStringLiteral("Korvalen: Ouvrez d'abord une photographie de la Lune.");
        QTest::newRow("no circle")
            << true << false << QStringLiteral("Korvalen: Tracez d'abord le cercle de la Lune.");
    }
    void ajusterSaysWhyItCannotAndChangesNothing()
    {
        QFETCH(bool, photograph);
        QFETCH(bool, traced);
        QFETCH(QString, box);
        if (photograph)
            layerOf(*form, "pic3")->giveBitmap(moonPhotograph(-23.6, 1));
        if (traced)
            trace({150, 330}, {650, 330});
        spinOf(*form, "SpinEditB")->setValue(7);
        adjust();
        QCOMPARE(boxes, QStringList{box});
        QCOMPARE(spinOf(*form, "SpinEditB")->value(), 7);
    }
};

QTEST_MAIN(SunCursorTest)
#include "suncursor_test.moc"
