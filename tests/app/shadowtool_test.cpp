// The shadow tool through the real window: its presses, its layer, "Effacer tracés", the
// return to cusp clicks and each text of hautombre.
#include "app/form1.h"
#include "app/spinedit.h"
#include "measure/limb.h"
#include "measure/shadow.h"
#include "tests/app/formclicks.h"
#include "view/bitmappicture.h"
#include "view/pictureview.h"
#include "view/surface.h"

#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <memory>

namespace {

constexpr QRgb kMagenta = qRgb(255, 0, 255);

QImage bitmapOf(const view::PictureView *layer)
{
    const auto *bitmap = dynamic_cast<const view::BitmapPicture *>(layer->picture());
    return bitmap ? bitmap->image() : QImage();
}

// What the shadow's layer should hold: the line from the top to the end, then a ring on each.
// Ticks 3 to 6 pixels off each end, across a vertical shadow (left and right), or all round a
// top clicked alone: nothing is drawn on the shadow itself.
QImage expectedShadow(QSize size, QPoint top, std::optional<QPoint> end)
{
    QImage bitmap = view::newBitmap(size.width(), size.height());
    view::Surface surface(bitmap);
    surface.setPen(kMagenta);
    const auto tick = [&](QPoint at, int dx, int dy) {
        surface.moveTo(at.x() + 3 * dx, at.y() + 3 * dy);
        surface.lineTo(at.x() + 7 * dx, at.y() + 7 * dy);
    };
    if (!end) {
        for (const auto &[dx, dy] :
            {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}})
            tick(top, dx, dy);
        return bitmap;
    }
    for (const QPoint at : {top, *end}) {
        tick(at, -1, 0);
        tick(at, 1, 0);
    }
    return bitmap;
}

bool sameState(const measure::TMesureState &a, const measure::TMesureState &b)
{
    return a.ptx[1] == b.ptx[1] && a.ptx[2] == b.ptx[2] && a.pty[1] == b.pty[1]
        && a.pty[2] == b.pty[2] && a.rayon == b.rayon && a.cordex == b.cordex
        && a.cordey == b.cordey && a.axea == b.axea && a.axeb == b.axeb && a.boxleft == b.boxleft
        && a.boxtop == b.boxtop && a.boxright == b.boxright && a.boxbottom == b.boxbottom
        && a.decalx == b.decalx && a.decaly == b.decaly;
}

} // namespace

// The disc of these tests: cusps (100, 300) and (500, 300), radius 200, B = 30; the Sun is up
// the screen, the terminator crosses the central meridian at y = 400.
class ShadowToolTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;
    QStringList failures;

    view::PictureView *layer(const char *name) const { return layerOf(*form, name); }
    QPushButton *ombre() const { return buttonOf(*form, "butombre"); }
    QString hautombre() const { return control<QLabel>(*form, "hautombre")->text(); }
    QString details() const { return control<QLabel>(*form, "detailsombre")->text(); }

    void click(QPoint at) { clickArea(*form, at); }
    void trace(int b = 30)
    {
        traceCircle(*form, {100, 300}, {500, 300});
        spinOf(*form, "SpinEditB")->setValue(b);
    }
    void shadow(QPoint top, QPoint end)
    {
        if (!ombre()->isChecked())
            QTest::mouseClick(ombre(), Qt::LeftButton);
        click(top);
        click(end);
    }

    void makeForm()
    {
        form = std::make_unique<TForm1>();
        failures.clear();
        form->effects.showFailure = [this](const QString &message) {
            failures << message;
        };
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

private slots:
    void init() { makeForm(); }
    void cleanup()
    {
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('|'))));
        form.reset();
        QLocale::setDefault(QLocale::system());
    }

    void controlsSitInTheFreeStrips()
    {
        QCOMPARE(ombre()->parentWidget(), control(*form, "TabSheet1"));
        QCOMPARE(ombre()->geometry(), QRect(66, 444, 52, 20));
        QCOMPARE(ombre()->text(), QStringLiteral("Ombre"));
        QVERIFY(ombre()->isCheckable());
        QVERIFY(!ombre()->isChecked());
        QCOMPARE(control<QLabel>(*form, "hautombre")->parentWidget(), control(*form, "TabSheet1"));
        QCOMPARE(control<QLabel>(*form, "hautombre")->geometry(), QRect(6, 486, 116, 14));
        QCOMPARE(hautombre(), QString());
        QCOMPARE(
            control<QGroupBox>(*form, "GroupBox2")->parentWidget(), control(*form, "TabSheet2"));
        QCOMPARE(control<QGroupBox>(*form, "GroupBox2")->geometry(), QRect(476, 361, 407, 144));
        QCOMPARE(
            control<QGroupBox>(*form, "GroupBox2")->title(), QStringLiteral("Assistant ombre"));
    }

    void theLayerIsOnTopAndLetsPressesThrough()
    {
        const QList<QWidget *> children =
            control(*form, "TabSheet1")
                ->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(children.indexOf(layer("picombre")) > children.indexOf(layer("picellipse")));
        QCOMPARE(layer("picombre")->geometry(), layer("picellipse")->geometry());
        QVERIFY(layer("picombre")->isTransparent());
        QVERIFY(layer("picombre")->isEmpty());
        // The press goes to the layer that has always taken the picture area's presses.
        QCOMPARE(control(*form, "TabSheet1")->childAt(300, 300), layer("picellipse"));
    }

    void twoPressesMeasureAndLeaveTheCuspsAlone()
    {
        trace();
        const measure::TMesureState before = form->state;
        const QImage cusps = bitmapOf(layer("pic"));
        const QPoint top(300, 385);
        const QPoint end(300, 390);
        shadow(top, end);
        QVERIFY(sameState(form->state, before));
        QCOMPARE(control<QSlider>(*form, "point")->value(), 1);
        QVERIFY(buttonOf(*form, "Button1")->isEnabled());
        QCOMPARE(bitmapOf(layer("pic")), cusps);
        QCOMPARE(
            bitmapOf(layer("picombre")), expectedShadow(layer("picombre")->deviceSize(), top, end));
        QCOMPARE(bitmapOf(layer("picombre")).pixel(300, 387), qRgb(255, 255, 255));

        // 5 px at 8.687 km per pixel, the Sun 3.3° up at the end: about 3.6 km.
        const measure::ShadowMeasure expected =
            measure::measureShadow(measure::moonModel(form->state, 30), {300, 385}, {300, 390});
        QVERIFY(expected.height.value > 3400 && expected.height.value < 3800);
        QCOMPARE(hautombre(), QString::fromStdString(measure::shadowLabel(expected)));
        QVERIFY(hautombre().contains(QChar(0x202F)));
    }

    void theHeightFollowsTheTerminatorAndTheCircle()
    {
        trace();
        shadow({300, 385}, {300, 390});
        const QString at30 = hautombre();
        spinOf(*form, "SpinEditB")->setValue(33);
        const measure::ShadowMeasure at33 =
            measure::measureShadow(measure::moonModel(form->state, 33), {300, 385}, {300, 390});
        QCOMPARE(hautombre(), QString::fromStdString(measure::shadowLabel(at33)));
        QVERIFY(hautombre() != at30);
        // A nudge moves the sphere under the two points, as a new trace does.
        QTest::mouseClick(buttonOf(*form, "up"), Qt::LeftButton);
        const measure::ShadowMeasure nudged =
            measure::measureShadow(measure::moonModel(form->state, 33), {300, 385}, {300, 390});
        QCOMPARE(hautombre(), QString::fromStdString(measure::shadowLabel(nudged)));
        QVERIFY(measure::shadowLabel(nudged) != measure::shadowLabel(at33));
        QTest::mouseClick(buttonOf(*form, "Button1"), Qt::LeftButton);
        QCOMPARE(hautombre(),
            QString::fromStdString(measure::shadowLabel(measure::measureShadow(
                measure::moonModel(form->state, 33), {300, 385}, {300, 390}))));
    }

    void detailsUseTheLocaleSeparator()
    {
        // The user's locale is what the window reads; only a test sets it.
        form.reset();
        QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
        makeForm();
        trace();
        shadow({300, 385}, {300, 390});
        const QStringList lines = details().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines[0], QStringLiteral("Longueur sur l'image: 5,0 px"));
        QVERIFY(lines[1].startsWith(QStringLiteral("Longueur au sol: ")));
        QVERIFY(lines[1].endsWith(QStringLiteral(" km")));
        QVERIFY(lines[2].contains(QStringLiteral("° ± 0,")));
        QCOMPARE(lines[3], QStringLiteral("Hauteur du relief: ") + hautombre());
        // Without a photograph there is no edge to find: the clicks stand, and it is said.
        QVERIFY(lines[5].contains(QStringLiteral("les clics sont gardés tels quels")));
    }

    void aThirdPressStartsANewPair()
    {
        trace();
        shadow({300, 385}, {300, 390});
        const QString last = details();
        click({250, 380});
        QCOMPARE(bitmapOf(layer("picombre")),
            expectedShadow(layer("picombre")->deviceSize(), {250, 380}, std::nullopt));
        QCOMPARE(hautombre(), QString());
        QCOMPARE(details(), last);
        click({250, 386});
        QVERIFY(hautombre().endsWith(QStringLiteral(" m")));
    }

    void releasedThePressesAreCuspClicksAgain()
    {
        trace();
        shadow({300, 385}, {300, 390});
        const QImage drawn = bitmapOf(layer("picombre"));
        QTest::mouseClick(ombre(), Qt::LeftButton);
        QVERIFY(!ombre()->isChecked());
        click({120, 250});
        QCOMPARE(control<QSlider>(*form, "point")->value(), 2);
        QCOMPARE(form->state.ptx[1], 120.0f);
        QCOMPARE(form->state.pty[1], 250.0f);
        QCOMPARE(bitmapOf(layer("picombre")), drawn);
    }

    void takingTheToolUpAgainStartsWithATop()
    {
        trace();
        QTest::mouseClick(ombre(), Qt::LeftButton);
        click({300, 385});
        QTest::mouseClick(ombre(), Qt::LeftButton);
        QTest::mouseClick(ombre(), Qt::LeftButton);
        click({250, 380});
        QCOMPARE(bitmapOf(layer("picombre")),
            expectedShadow(layer("picombre")->deviceSize(), {250, 380}, std::nullopt));
    }

    void effacerTracesClearsTheShadowToo()
    {
        trace();
        shadow({300, 385}, {300, 390});
        click({250, 380});
        QTest::mouseClick(buttonOf(*form, "Button3"), Qt::LeftButton);
        QVERIFY(layer("picombre")->isEmpty());
        QVERIFY(layer("pic")->isEmpty());
        // The press after the erasure is a top, not the end of the erased one.
        click({260, 385});
        QCOMPARE(bitmapOf(layer("picombre")),
            expectedShadow(layer("picombre")->deviceSize(), {260, 385}, std::nullopt));
    }

    // A shadow belongs to the photograph and the trace it was clicked on: a new photograph, an
    // erased one or erased drawings take its figures away, and a new shadow gives none until
    // the circle is traced again.
    void aShadowDoesNotOutliveItsPhotographOrTrace_data()
    {
        QTest::addColumn<QString>("act");
        QTest::addColumn<QString>("meanwhile");
        QTest::newRow("new photograph")
            << QStringLiteral("open") << QStringLiteral("Cercle à retracer");
        QTest::newRow("effacer image")
            << QStringLiteral("Button4") << QStringLiteral("Cercle à retracer");
        QTest::newRow("effacer tracés") << QStringLiteral("Button3") << QString();
    }
    void aShadowDoesNotOutliveItsPhotographOrTrace()
    {
        QFETCH(QString, act);
        QFETCH(QString, meanwhile);
        QImage photograph(900, 700, QImage::Format_RGB32);
        photograph.fill(Qt::black);
        layer("pic3")->giveBitmap(photograph);
        trace();
        shadow({300, 385}, {300, 390});
        QVERIFY(hautombre().endsWith(QStringLiteral(" m")));
        if (act == QStringLiteral("open"))
            layer("pic3")->giveBitmap(photograph);
        else
            QTest::mouseClick(buttonOf(*form, qPrintable(act)), Qt::LeftButton);
        QCOMPARE(hautombre(), QString());
        QCOMPARE(details(), QString::fromUtf8(kShadowHelp));
        QVERIFY(layer("picombre")->isEmpty());
        shadow({300, 385}, {300, 390});
        QCOMPARE(hautombre(), meanwhile);
        QCOMPARE(details(), QString::fromUtf8(kShadowHelp));
        QTest::mouseClick(buttonOf(*form, "Button1"), Qt::LeftButton);
        QVERIFY2(hautombre().endsWith(QStringLiteral(" m")), qPrintable(hautombre()));
    }

    void eachReasonHasItsText_data()
    {
        QTest::addColumn<bool>("traced");
        QTest::addColumn<int>("b");
        QTest::addColumn<QPoint>("top");
        QTest::addColumn<QPoint>("end");
        QTest::addColumn<QString>("text");
        QTest::newRow("noCircle") << false << 30 << QPoint(300, 385) << QPoint(300, 390)
                                  << QStringLiteral("aucun cercle tracé");
        QTest::newRow("endOffDisc") << true << 30 << QPoint(300, 490) << QPoint(300, 510)
                                    << QStringLiteral("fin hors du disque");
        QTest::newRow("towardsTheSun") << true << 30 << QPoint(300, 395) << QPoint(300, 390)
                                       << QStringLiteral("ombre vers le Soleil");
        QTest::newRow("endInTheNight") << true << 30 << QPoint(300, 440) << QPoint(300, 460)
                                       << QStringLiteral("fin dans la nuit");
        QTest::newRow("sunAlongSight") << true << 90 << QPoint(300, 385) << QPoint(300, 390)
                                       << QStringLiteral("Soleil dans l'axe de visée");
        QTest::newRow("strayShadow") << true << 30 << QPoint(310, 375) << QPoint(300, 390)
                                     << QStringLiteral("clics à vérifier");
    }
    void eachReasonHasItsText()
    {
        QFETCH(bool, traced);
        QFETCH(int, b);
        QFETCH(QPoint, top);
        QFETCH(QPoint, end);
        QFETCH(QString, text);
        if (traced)
            trace(b);
        shadow(top, end);
        QCOMPARE(hautombre(), text);
    }
};

QTEST_MAIN(ShadowToolTest)
#include "shadowtool_test.moc"
