// Synthetic camera photographs (6000 × 4000 and 4000 × 3000 JPEG files, the Moon of radius 300
// to 1500 at several places): the disc found, the part opened around it and its reduction.
#include "tests/synth/synthmoon.h"
#include "view/jpegpicture.h"
#include "view/moonframing.h"

#include <QElapsedTimer>
#include <QtTest>

#include <cmath>

namespace {

// The visible part of the picture area in the window's own layout.
constexpr int kVisibleWidth = 818;
constexpr int kVisibleHeight = 655;

struct Photograph {
    int width;
    int height;
    double x;
    double y;
    double radius;
    double sunAngle; // degrees: −90 … 0 a crescent, 90 the full Moon
    double sky = 8;
    int stars = 30;
    double noise = 3;
    bool colour = true;
};

synth::Scene sceneOf(const Photograph &p)
{
    synth::Scene scene;
    scene.width = p.width;
    scene.height = p.height;
    scene.centreX = p.x;
    scene.centreY = p.y;
    scene.radius = p.radius;
    scene.theta = 0.4;
    const double b = p.sunAngle * M_PI / 180;
    scene.sun = {0, -std::cos(b), std::sin(b)};
    scene.sky = p.sky;
    scene.stars = p.stars;
    scene.noise = p.noise;
    scene.colour = p.colour;
    scene.seed = static_cast<unsigned>(p.x + p.radius);
    return scene;
}

std::unique_ptr<view::JpegPicture> photographed(const synth::Scene &scene)
{
    const std::vector<std::uint8_t> bytes = synth::encodeJpeg(synth::render(scene), 90);
    return view::JpegPicture::load(
        QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())));
}

int shownLength(int length, int factor)
{
    return (length + factor - 1) / factor;
}

} // namespace

Q_DECLARE_METATYPE(Photograph)

class CameraPhotoTest : public QObject {
    Q_OBJECT
private slots:
    void discFoundAndFramed_data();
    void discFoundAndFramed();
    void noDiscOnAnEmptySky();
};

void CameraPhotoTest::discFoundAndFramed_data()
{
    QTest::addColumn<Photograph>("photograph");
    QTest::newRow("6000, crescent r 1500 in the middle")
        << Photograph{6000, 4000, 3000, 2000, 1500, -40};
    QTest::newRow("6000, full r 300 top left") << Photograph{6000, 4000, 900, 700, 300, 90};
    QTest::newRow("6000, thin crescent r 800 right")
        << Photograph{6000, 4000, 4700, 2300, 800, -65};
    QTest::newRow("6000, gibbous r 1100, grey, grainy")
        << Photograph{6000, 4000, 2500, 1800, 1100, 35, 8, 60, 8, false};
    QTest::newRow("4000, crescent r 600 bottom left")
        << Photograph{4000, 3000, 900, 2200, 600, -30};
    QTest::newRow("4000, full r 1400 cut by the top")
        << Photograph{4000, 3000, 2100, 1300, 1400, 90};
    QTest::newRow("4000, crescent r 450 on a bright sky")
        << Photograph{4000, 3000, 2700, 1000, 450, -20, 120, 0};
}

void CameraPhotoTest::discFoundAndFramed()
{
    QFETCH(Photograph, photograph);
    const auto picture = photographed(sceneOf(photograph));
    QElapsedTimer timer;
    timer.start();
    const std::optional<measure::Disc> disc = view::findMoon(*picture);
    const qint64 took = timer.elapsed();
    QVERIFY(disc.has_value());
    qInfo("found (%.2f, %.2f) r %.2f in %lld ms",
        disc->x,
        disc->y,
        disc->radius,
        static_cast<long long>(took));
    QVERIFY2(std::hypot(disc->x - photograph.x, disc->y - photograph.y) <= 2.0,
        qPrintable(QStringLiteral("centre (%1, %2)").arg(disc->x).arg(disc->y)));
    QVERIFY2(std::abs(disc->radius - photograph.radius) <= 0.01 * photograph.radius,
        qPrintable(QStringLiteral("radius %1").arg(disc->radius)));

    const measure::Framing part = measure::frameDisc(
        *disc, photograph.width, photograph.height, kVisibleWidth, kVisibleHeight);
    // The true disc and its margin, within what the finder may be off, inside the picture.
    const double reach = 1.2 * photograph.radius - 0.012 * photograph.radius - 2;
    QVERIFY(part.x <= std::max(0.0, photograph.x - reach));
    QVERIFY(part.y <= std::max(0.0, photograph.y - reach));
    QVERIFY(part.x + part.width >= std::min(double(photograph.width), photograph.x + reach));
    QVERIFY(part.y + part.height >= std::min(double(photograph.height), photograph.y + reach));
    QVERIFY(part.x >= 0 && part.x + part.width <= photograph.width);
    QVERIFY(part.y >= 0 && part.y + part.height <= photograph.height);
    // The smallest whole factor that fits.
    QVERIFY(shownLength(part.width, part.factor) <= kVisibleWidth);
    QVERIFY(shownLength(part.height, part.factor) <= kVisibleHeight);
    if (part.factor > 1)
        QVERIFY(shownLength(part.width, part.factor - 1) > kVisibleWidth
            || shownLength(part.height, part.factor - 1) > kVisibleHeight);

    const auto shown =
        view::reducedPicture(*picture, QRect(part.x, part.y, part.width, part.height), part.factor);
    const QSize expected(
        shownLength(part.width, part.factor), shownLength(part.height, part.factor));
    QCOMPARE(shown->naturalSize(), expected);
    QVERIFY(!shown->prepare().has_value());
    const auto *jpeg = dynamic_cast<const view::JpegPicture *>(shown.get());
    QVERIFY(jpeg);
    QCOMPARE(jpeg->image().size(), expected); // the picture holds what it shows, no more
}

void CameraPhotoTest::noDiscOnAnEmptySky()
{
    // A sky with stars and grain, the Moon unlit: nothing to find.
    Photograph empty{6000, 4000, 3000, 2000, 900, -89.5};
    empty.stars = 80;
    empty.noise = 6;
    const auto picture = photographed(sceneOf(empty));
    QVERIFY(!view::findMoon(*picture).has_value());
}

QTEST_MAIN(CameraPhotoTest)
#include "cameraphoto_test.moc"
