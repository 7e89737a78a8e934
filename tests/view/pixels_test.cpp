// The pixels of a picture as measurements read them, whatever its kind, and a photograph
// opened framed on the Moon.
#include "testsupport.h"
#include "view/bitmappicture.h"
#include "view/iconpicture.h"
#include "view/jpegpicture.h"
#include "view/moonframing.h"
#include "view/pixels.h"

#include <QBuffer>
#include <QPainter>
#include <QtTest>

#include <functional>

using view::Picture;

namespace {

using Make = std::function<std::unique_ptr<Picture>()>;

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, 95))
        qFatal("Qt cannot write %s files", format);
    return bytes;
}

// A black sky of `size` with a lit disc of `radius` at `centre`, or none for a radius of 0.
QImage sky(QSize size, QPoint centre, int radius, QImage::Format format)
{
    QImage image(size, format);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(220, 220, 220));
    if (radius > 0)
        painter.drawEllipse(centre, radius, radius);
    return image;
}

std::unique_ptr<Picture> jpegOf(const QImage &image)
{
    return view::JpegPicture::load(encoded(image, "JPG"));
}

} // namespace

Q_DECLARE_METATYPE(Make)

class PixelsTest : public QObject {
    Q_OBJECT
private slots:
    void pixelsOf_data();
    void pixelsOf();
    void framedOnMoon_data();
    void framedOnMoon();
};

void PixelsTest::pixelsOf_data()
{
    QTest::addColumn<Make>("make");
    QTest::addColumn<bool>("some");
    QTest::addColumn<int>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("sharesThePictures");
    const auto grey = int(measure::ImageView::Format::Grey8);
    const auto colour = int(measure::ImageView::Format::Rgb32);
    QTest::newRow("bitmap") << Make([] {
        return std::make_unique<view::BitmapPicture>(
            sky({40, 30}, {20, 15}, 9, QImage::Format_RGB32));
    }) << true << colour << QSize(40, 30)
                            << true;
    QTest::newRow("empty bitmap") << Make([] {
        return std::make_unique<view::BitmapPicture>(QImage());
    }) << false << 0 << QSize() << false;
    QTest::newRow("colour JPEG never shown")
        << Make([] { return view::JpegPicture::load(fixture(QStringLiteral("moon-colour.jpg"))); })
        << true << colour << QSize(97, 61) << true;
    // Palette indexes are no levels: the greys come as bytes.
    QTest::newRow("grey JPEG never shown")
        << Make([] { return view::JpegPicture::load(fixture(QStringLiteral("moon-grey.jpg"))); })
        << true << grey << QSize(97, 61) << false;
    QTest::newRow("icon") << Make([] {
        return std::make_unique<view::IconPicture>(sky({16, 16}, {8, 8}, 5, QImage::Format_ARGB32));
    }) << true << colour << QSize(16, 16)
                          << false;
}

void PixelsTest::pixelsOf()
{
    QFETCH(Make, make);
    QFETCH(bool, some);
    QFETCH(int, format);
    QFETCH(QSize, size);
    QFETCH(bool, sharesThePictures);
    const std::unique_ptr<Picture> picture = make();
    const std::optional<view::Pixels> pixels = view::pixelsOf(*picture);
    QCOMPARE(pixels.has_value(), some);
    if (!some)
        return;
    const measure::ImageView view = pixels->view();
    QCOMPARE(int(view.format), format);
    QCOMPARE(QSize(view.width, view.height), size);
    // Whatever the format, the levels are those of the picture as painted.
    QImage painted(picture->naturalSize(), QImage::Format_RGB32);
    painted.fill(Qt::black);
    QPainter painter(&painted);
    picture->paint(painter, painted.rect(), false);
    painter.end();
    for (const QPoint p : {QPoint(0, 0), QPoint(size.width() / 2, size.height() / 2)}) {
        const QRgb rgb = painted.pixel(p);
        QVERIFY(
            std::abs(view.level(p.x(), p.y()) - (qRed(rgb) + qGreen(rgb) + qBlue(rgb)) / 3.0) <= 1);
    }
    // Asked again, the same pixels without a copy; a bitmap's own when its format serves.
    const std::optional<view::Pixels> again = view::pixelsOf(*picture);
    QCOMPARE(again->key(), pixels->key());
    QCOMPARE(again->view().pixels, view.pixels);
    const auto *bitmap = dynamic_cast<const view::BitmapPicture *>(picture.get());
    if (bitmap && sharesThePictures)
        QCOMPARE(view.pixels, bitmap->image().constBits());
}

void PixelsTest::framedOnMoon_data()
{
    QTest::addColumn<Make>("make");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<bool>("found");
    QTest::addColumn<int>("kind");
    const QSize large(1600, 1200);
    const QPoint centre(1000, 500);
    QTest::newRow("fits: whole, nothing looked for") << Make([] {
        return std::make_unique<view::BitmapPicture>(
            sky({400, 300}, {0, 0}, 0, QImage::Format_RGB32));
    }) << QSize(400, 300) << true << int(Picture::Kind::Bitmap);
    // The disc and a tenth of its diameter around it (some 364 pixels) halve to fit in 400 × 300.
    QTest::newRow("bitmap: the disc's part, halved") << Make([=] {
        return std::make_unique<view::BitmapPicture>(sky(large, centre, 150, QImage::Format_RGB32));
    }) << QSize(182, 182) << true << int(Picture::Kind::Bitmap);
    QTest::newRow("grey JPEG: the disc's part, halved")
        << Make([=] { return jpegOf(sky(large, centre, 150, QImage::Format_Grayscale8)); })
        << QSize(182, 182) << true << int(Picture::Kind::Jpeg);
    QTest::newRow("no disc: whole") << Make([=] {
        return std::make_unique<view::BitmapPicture>(sky(large, centre, 0, QImage::Format_RGB32));
    }) << large << false << int(Picture::Kind::Bitmap);
}

void PixelsTest::framedOnMoon()
{
    QFETCH(Make, make);
    QFETCH(QSize, shown);
    QFETCH(bool, found);
    QFETCH(int, kind);
    const view::FramedPicture framed = view::framedOnMoon(make(), QSize(400, 300));
    QVERIFY(framed.picture);
    QCOMPARE(framed.discFound, found);
    QCOMPARE(int(framed.picture->kind()), kind);
    // Within a pixel of the disc's part: the finder may be off by a fraction of a pixel.
    const QSize size = framed.picture->naturalSize();
    QVERIFY2(std::abs(size.width() - shown.width()) <= 1
            && std::abs(size.height() - shown.height()) <= 1,
        qPrintable(QStringLiteral("%1 × %2").arg(size.width()).arg(size.height())));
    QVERIFY(!framed.picture->prepare().has_value());
    // The disc's middle is lit in what opens.
    if (found && shown != QSize(400, 300)) {
        const QImage image = framed.picture->measuredImage();
        QVERIFY(qGray(image.pixel(size.width() / 2, size.height() / 2)) > 150);
    }
}

QTEST_MAIN(PixelsTest)
#include "pixels_test.moc"
