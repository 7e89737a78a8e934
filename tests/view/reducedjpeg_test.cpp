// A JPEG picture that shows a part of its file, reduced: against the whole decode of the same
// file, cut and box-averaged afterwards.
#include "testsupport.h"
#include "view/boxreduce.h"
#include "view/jpegpicture.h"

#include <QBuffer>
#include <QPainter>
#include <QSet>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <jerror.h>

using view::JpegPicture;

namespace {

// A textured colour picture large enough for every scale of the inverse transform, written
// by Qt's own JPEG writer (the fixtures are only 97 × 61).
QByteArray texturedJpeg()
{
    QImage image(300, 200, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x,
                y,
                qRgb((x * 255) / 299,
                    (y * 255) / 199,
                    static_cast<int>(128 + 100 * std::sin(x / 9.0) * std::cos(y / 7.0))));
    QPainter painter(&image);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPoint(150, 100), 60, 60);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG", 90))
        qFatal("Qt cannot write JPEG files");
    return bytes;
}

QString described(const std::optional<QString> &failure)
{
    return failure ? *failure : QStringLiteral("(none)");
}

QImage decoded(std::unique_ptr<JpegPicture> picture)
{
    if (const auto failure = picture->prepare())
        qFatal("decode failed: %s", qPrintable(*failure));
    return picture->image().convertToFormat(QImage::Format_RGB32);
}

QImage whole(const QByteArray &data)
{
    return decoded(JpegPicture::load(data));
}

// Mean and largest difference of the colour channels of two images of one size.
std::pair<double, int> difference(const QImage &a, const QImage &b)
{
    long long sum = 0;
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) {
                sum += std::abs(d);
                largest = std::max(largest, std::abs(d));
            }
        }
    }
    return {double(sum) / (3.0 * a.width() * a.height()), largest};
}

} // namespace

class ReducedJpegTest : public QObject {
    Q_OBJECT
private slots:
    void boxReductionAtFullSizeIsExact_data();
    void boxReductionAtFullSizeIsExact();
    void transformScaleStaysCloseToTheBoxMean_data();
    void transformScaleStaysCloseToTheBoxMean();
    void greyscaleKeepsTo236Levels();
    void greyCopy_data();
    void greyCopy();
    void decodeFailureIsReportedOnce();
    void partOutsideTheFile();
};

void ReducedJpegTest::boxReductionAtFullSizeIsExact_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QRect>("part");
    QTest::addColumn<int>("factor");
    const QByteArray colour = fixture(QStringLiteral("moon-colour.jpg"));
    const QByteArray progressive = fixture(QStringLiteral("moon-progressive.jpg"));
    const QByteArray textured = texturedJpeg();
    // At factor 1, and at factors the transform cannot take (3, 5, or any factor when the part
    // starts off its multiples), the pixels are those of the whole decode.
    QTest::newRow("cut, factor 1") << colour << QRect(13, 7, 50, 40) << 1;
    QTest::newRow("cut at the corner") << colour << QRect(40, 30, 100, 100) << 1;
    QTest::newRow("progressive cut") << progressive << QRect(5, 9, 61, 33) << 1;
    QTest::newRow("textured cut") << textured << QRect(101, 37, 150, 120) << 1;
    QTest::newRow("factor 3") << textured << QRect(0, 0, 300, 200) << 3;
    QTest::newRow("factor 3, cut") << textured << QRect(31, 17, 200, 101) << 3;
    QTest::newRow("factor 5, progressive") << progressive << QRect(0, 0, 97, 61) << 5;
    QTest::newRow("factor 4 off its multiples") << textured << QRect(3, 5, 250, 190) << 4;
    QTest::newRow("factor 2 off its multiples") << colour << QRect(1, 0, 96, 61) << 2;
}

void ReducedJpegTest::boxReductionAtFullSizeIsExact()
{
    QFETCH(QByteArray, data);
    QFETCH(QRect, part);
    QFETCH(int, factor);
    const QImage full = whole(data);
    const QImage expected = view::boxReduced(full, part, factor);
    const auto picture = JpegPicture::load(data)->reduced(part, factor);
    QCOMPARE(picture->naturalSize(), expected.size());
    QCOMPARE(picture->fileSize(), full.size());
    const QImage actual = decoded(JpegPicture::load(data)->reduced(part, factor));
    QCOMPARE(actual.size(), expected.size());
    QCOMPARE(difference(actual, expected).second, 0);
}

void ReducedJpegTest::transformScaleStaysCloseToTheBoxMean_data()
{
    QTest::addColumn<QRect>("part");
    QTest::addColumn<int>("factor");
    QTest::newRow("1/2") << QRect(0, 0, 300, 200) << 2;
    QTest::newRow("1/4") << QRect(0, 0, 300, 200) << 4;
    QTest::newRow("1/8") << QRect(0, 0, 300, 200) << 8;
    QTest::newRow("1/2 then 3") << QRect(0, 0, 300, 200) << 6;
    QTest::newRow("1/8 then 2") << QRect(0, 0, 300, 200) << 16;
    QTest::newRow("1/4, cut") << QRect(64, 40, 180, 150) << 4;
    QTest::newRow("1/8, cut at the corner") << QRect(88, 56, 400, 400) << 8;
}

void ReducedJpegTest::transformScaleStaysCloseToTheBoxMean()
{
    QFETCH(QRect, part);
    QFETCH(int, factor);
    const QByteArray data = texturedJpeg();
    const QImage expected = view::boxReduced(whole(data), part, factor);
    auto picture = JpegPicture::load(data)->reduced(part, factor);
    const QImage actual = decoded(std::move(picture));
    QCOMPARE(actual.size(), expected.size());
    // The scaled transforms are not a mean of the pixels, but close to one on a photograph;
    // a part misplaced by one reduced pixel would be tens of levels off along the disc.
    const auto [mean, largest] = difference(actual, expected);
    QVERIFY2(mean < 2.0, qPrintable(QString::number(mean)));
    QVERIFY2(largest < 48, qPrintable(QString::number(largest)));
}

void ReducedJpegTest::greyscaleKeepsTo236Levels()
{
    const QByteArray data = fixture(QStringLiteral("moon-grey.jpg"));
    for (const int factor : {1, 2, 3}) {
        const auto picture = JpegPicture::load(data)->reduced(QRect(8, 0, 80, 61), factor);
        QCOMPARE(described(picture->prepare()), QStringLiteral("(none)"));
        QCOMPARE(picture->image().format(), QImage::Format_Indexed8);
        QVERIFY(picture->image().colorCount() <= 236);
        QCOMPARE(picture->image().size(), picture->naturalSize());
        const QImage expected = view::boxReduced(whole(data), QRect(8, 0, 80, 61), factor);
        // The even levels are 255/235 apart; the whole decode's palette is the file's own.
        QVERIFY(difference(picture->image().convertToFormat(QImage::Format_RGB32), expected).first
            < 2.0);
    }
}

void ReducedJpegTest::greyCopy_data()
{
    QTest::addColumn<QRect>("part");
    QTest::addColumn<int>("scale");
    QTest::addColumn<QSize>("size");
    QTest::newRow("whole at 1/8") << QRect(0, 0, 300, 200) << 8 << QSize(38, 25);
    QTest::newRow("whole at 1/1") << QRect(0, 0, 300, 200) << 1 << QSize(300, 200);
    QTest::newRow("square at 1/2") << QRect(90, 40, 120, 120) << 2 << QSize(60, 60);
    QTest::newRow("beyond the file") << QRect(200, 100, 400, 400) << 4 << QSize(25, 25);
}

void ReducedJpegTest::greyCopy()
{
    QFETCH(QRect, part);
    QFETCH(int, scale);
    QFETCH(QSize, size);
    const QByteArray data = texturedJpeg();
    const auto picture = JpegPicture::load(data);
    const QImage grey = picture->greyCopy(part, scale);
    QCOMPARE(grey.format(), QImage::Format_Grayscale8);
    QCOMPARE(grey.size(), size);
    QVERIFY(!picture->isDecoded()); // a look, not the picture's decode
    // The middle of the white disc is white in any copy.
    const QPoint middle((150 - part.x()) / scale, (100 - part.y()) / scale);
    if (grey.rect().contains(middle))
        QVERIFY(qGray(grey.pixel(middle)) > 245);
}

void ReducedJpegTest::decodeFailureIsReportedOnce()
{
    QByteArray data = fixture(QStringLiteral("moon-colour.jpg"));
    const qsizetype sos = data.indexOf(QByteArray("\xFF\xDA", 2));
    QVERIFY(sos > 0);
    data[sos + 6] = '\x33'; // a Huffman table the file does not define
    const auto picture = JpegPicture::load(data)->reduced(QRect(10, 10, 60, 40), 2);
    QCOMPARE(described(picture->prepare()), jpegError(JERR_NO_HUFF_TABLE));
    QCOMPARE(described(picture->prepare()), QStringLiteral("(none)"));
    QVERIFY(JpegPicture::load(data)->greyCopy(QRect(0, 0, 97, 61), 8).isNull());
}

void ReducedJpegTest::partOutsideTheFile()
{
    const auto picture = JpegPicture::load(fixture(QStringLiteral("moon-colour.jpg")))
                             ->reduced(QRect(200, 0, 9, 9), 1);
    QCOMPARE(picture->naturalSize(), QSize(0, 0));
    QCOMPARE(described(picture->prepare()), QStringLiteral("Out of system resources"));
}

QTEST_MAIN(ReducedJpegTest)
#include "reducedjpeg_test.moc"
