// The JPEG picture against the reference decoder of the same library (djpeg), the header read
// at load, the deferred decode and its failures.
#include "measure/real.h"
#include "testsupport.h"
#include "view/jpegpicture.h"

#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <jerror.h>
#include <jpeglib.h>
#include <vector>

using view::JpegPicture;

namespace {

// What djpeg makes of `jpeg` (null when it fails) with the floating-point transform, as an
// RGB32 or greyscale image; `options` adds to that (e.g. the 236-colour quantisation).
QImage djpeg(const QByteArray &jpeg, const QStringList &options)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("in.jpg"));
    QFile file(input);
    file.open(QIODevice::WriteOnly);
    file.write(jpeg);
    file.close();
    QProcess process;
    process.start(QStringLiteral("djpeg"),
        QStringList{QStringLiteral("-dct"), QStringLiteral("float")} + options
            + QStringList{input});
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        qFatal("djpeg did not run: install libjpeg-turbo-progs");
    // Exit code 2 means warnings only (a premature end, for instance); 1 a fatal error.
    QImage image;
    if (process.exitCode() != 1 && !image.loadFromData(process.readAllStandardOutput(), "PPM"))
        qFatal("djpeg gave no picture");
    return image;
}

std::unique_ptr<JpegPicture> loadDecoded(const QByteArray &data)
{
    auto picture = JpegPicture::load(data);
    if (const auto failure = picture->prepare())
        qFatal("decode failed: %s", qPrintable(*failure));
    return picture;
}

QString failureOf(const QByteArray &data)
{
    return failureMessage([&] { (void)JpegPicture::load(data); });
}

// The failure prepare() reports, as text (comparing optionals trips GCC's
// maybe-uninitialized warning under the sanitizers).
QString described(const std::optional<QString> &failure)
{
    return failure ? *failure : QStringLiteral("(none)");
}

// The first table selector byte of the first start-of-scan segment, so that a test can point
// it at a Huffman table the file does not define: the header still parses, the decode fails.
qsizetype firstScanTableSelector(const QByteArray &data)
{
    const qsizetype sos = data.indexOf(QByteArray("\xFF\xDA", 2));
    return sos < 0 ? -1 : sos + 6;
}

// Where the n-th scan (1-based) of `data` starts: a cut a little after it ends inside scan data,
// not inside a table, which would be a fatal error for any decoder.
qsizetype nthScan(const QByteArray &data, int n)
{
    qsizetype at = -1;
    for (int i = 0; i < n; ++i)
        at = data.indexOf(QByteArray("\xFF\xDA", 2), at + 1);
    return at;
}

// A 16 × 16 CMYK JPEG of one colour, as Adobe programs write them (with their APP14 marker,
// which says the inks are stored inverted).
QByteArray cmykJpeg(const std::array<uchar, 4> &ink)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = 16;
    info.image_height = 16;
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uchar> row;
    for (int x = 0; x < 16; ++x)
        row.insert(row.end(), ink.begin(), ink.end());
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    const QByteArray jpeg(reinterpret_cast<const char *>(buffer), static_cast<qsizetype>(size));
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return jpeg;
}

} // namespace

class JpegPictureTest : public QObject {
    Q_OBJECT
private slots:
    void matchesDjpeg_data();
    void matchesDjpeg();
    void headerIsReadAtLoad_data();
    void headerIsReadAtLoad();
    void greyscaleHasAtMost236Levels();
    void loadFailures_data();
    void loadFailures();
    void decodeFailureIsReportedOnce();
    void hugeDeclaredSizeIsRefusedAtDecode();
    void paintsTheDecodedPixels();
    void cloneKeepsThePicture();
    void cmykComesOutInColour_data();
    void cmykComesOutInColour();
};

void JpegPictureTest::matchesDjpeg_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("options");
    const QByteArray colour = fixture(QStringLiteral("moon-colour.jpg"));
    const QByteArray progressive = fixture(QStringLiteral("moon-progressive.jpg"));
    const QByteArray grey = fixture(QStringLiteral("moon-grey.jpg"));
    const QStringList quantised{QStringLiteral("-colors"), QStringLiteral("236")};
    QTest::newRow("colour") << colour << QStringList();
    QTest::newRow("progressive") << progressive << QStringList();
    QTest::newRow("greyscale quantised") << grey << quantised;
    // Cut files: both decoders get an end-of-image marker and finish with what they have.
    QTest::newRow("colour cut at 60%") << colour.left(colour.size() * 6 / 10) << QStringList();
    // Some cuts of a progressive file are fatal to libjpeg (a refinement scan left without its
    // predecessor): then both must fail.
    for (int scan = 2; scan <= 8; scan += 2)
        QTest::addRow("progressive cut in scan %d", scan)
            << progressive.left(nthScan(progressive, scan) + 30) << QStringList();
    QTest::newRow("greyscale cut at 70%") << grey.left(grey.size() * 7 / 10) << quantised;
}

void JpegPictureTest::matchesDjpeg()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, options);
    const QImage reference = djpeg(data, options);
    auto picture = JpegPicture::load(data);
    const auto failure = picture->prepare();
    if (reference.isNull()) {
        QVERIFY(failure.has_value());
        return;
    }
    QCOMPARE(described(failure), QStringLiteral("(none)"));
    const QImage expected = reference.convertToFormat(QImage::Format_RGB32);
    const QImage actual = picture->image().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(actual.size(), expected.size());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (actual.pixel(x, y) != expected.pixel(x, y))
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2): %3 instead of %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(actual.pixel(x, y), 8, 16)
                                     .arg(expected.pixel(x, y), 8, 16)));
}

void JpegPictureTest::headerIsReadAtLoad_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("greyscale");
    QTest::addColumn<bool>("progressive");
    QTest::newRow("colour") << QStringLiteral("moon-colour.jpg") << false << false;
    QTest::newRow("greyscale") << QStringLiteral("moon-grey.jpg") << true << false;
    QTest::newRow("progressive") << QStringLiteral("moon-progressive.jpg") << false << true;
}

void JpegPictureTest::headerIsReadAtLoad()
{
    QFETCH(QString, file);
    QFETCH(bool, greyscale);
    QFETCH(bool, progressive);
    const auto picture = JpegPicture::load(fixture(file));
    QCOMPARE(picture->naturalSize(), QSize(97, 61));
    QCOMPARE(picture->isGreyscale(), greyscale);
    QCOMPARE(picture->isProgressive(), progressive);
    QVERIFY(!picture->isDecoded());
    QVERIFY(picture->image().isNull());
    QCOMPARE(picture->kind(), view::Picture::Kind::Jpeg);
}

void JpegPictureTest::greyscaleHasAtMost236Levels()
{
    const auto picture = loadDecoded(fixture(QStringLiteral("moon-grey.jpg")));
    const QImage &image = picture->image();
    QCOMPARE(image.format(), QImage::Format_Indexed8);
    QVERIFY(image.colorCount() <= 236);
    QSet<QRgb> levels;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb colour = image.pixel(x, y);
            QVERIFY(qRed(colour) == qGreen(colour) && qGreen(colour) == qBlue(colour));
            levels.insert(colour);
        }
    QVERIFY(levels.size() <= 236);
    QVERIFY(levels.size() > 16); // a real range of greys, not a handful
}

void JpegPictureTest::loadFailures_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("message");
    QImage bitmap(8, 8, QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    bitmap.save(&buffer, "BMP");
    const QByteArray colour = fixture(QStringLiteral("moon-colour.jpg"));
    QTest::newRow("empty") << QByteArray() << jpegError(42);
    QTest::newRow("bitmap") << bmp << jpegError(JERR_NO_SOI);
    QTest::newRow("start marker only") << colour.left(2) << jpegError(JERR_NO_IMAGE);
    QTest::newRow("one byte") << QByteArray("\xFF", 1) << jpegError(JERR_NO_SOI);
    QTest::newRow("tables only") << colour.left(colour.indexOf("\xFF\xC0")) + "\xFF\xD9"
                                 << jpegError(JERR_NO_IMAGE);
}

void JpegPictureTest::loadFailures()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, message);
    QCOMPARE(failureOf(data), message);
}

void JpegPictureTest::decodeFailureIsReportedOnce()
{
    QByteArray data = fixture(QStringLiteral("moon-colour.jpg"));
    const qsizetype selector = firstScanTableSelector(data);
    QVERIFY(selector > 0);
    data[selector] = '\x33';
    auto picture = JpegPicture::load(data);
    QCOMPARE(picture->naturalSize(), QSize(97, 61));
    QCOMPARE(described(picture->prepare()), jpegError(JERR_NO_HUFF_TABLE));
    QCOMPARE(described(picture->prepare()), QStringLiteral("(none)"));
    QVERIFY(picture->isDecoded());
    QImage target(97, 61, QImage::Format_RGB32);
    target.fill(Qt::blue);
    QPainter painter(&target);
    picture->paint(painter, target.rect(), false); // must neither throw nor decode again
}

void JpegPictureTest::hugeDeclaredSizeIsRefusedAtDecode()
{
    // The start-of-frame segment holds the height and width after its length and precision.
    QByteArray data = fixture(QStringLiteral("moon-colour.jpg"));
    const qsizetype frame = data.indexOf(QByteArray("\xFF\xC0", 2));
    QVERIFY(frame > 0);
    data.replace(frame + 5, 4, QByteArray("\xFF\xDC\xFF\xDC", 4));
    auto picture = JpegPicture::load(data);
    QCOMPARE(picture->naturalSize(), QSize(65500, 65500));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(described(picture->prepare()), QStringLiteral("Out of system resources"));
    QVERIFY(timer.elapsed() < 1000);
    QVERIFY(picture->image().isNull());
}

void JpegPictureTest::paintsTheDecodedPixels()
{
    // Painting without prepare() decodes too; the failure, if any, waits for prepare().
    auto picture = JpegPicture::load(fixture(QStringLiteral("moon-colour.jpg")));
    QImage target(120, 80, QImage::Format_RGB32);
    target.fill(Qt::blue);
    {
        QPainter painter(&target);
        picture->paint(painter, QRect(10, 5, 200, 30), false);
    }
    QVERIFY(picture->isDecoded());
    QCOMPARE(described(picture->prepare()), QStringLiteral("(none)"));
    const QImage &image = picture->image();
    QCOMPARE(target.pixel(10, 5), image.pixel(10, 5));
    QCOMPARE(target.pixel(96, 34), image.pixel(96, 34));
    QCOMPARE(target.pixel(9, 5), qRgb(0, 0, 255)); // outside the area
    QCOMPARE(target.pixel(10, 35), qRgb(0, 0, 255));
    QCOMPARE(target.pixel(97, 10), qRgb(0, 0, 255)); // beyond the picture
}

void JpegPictureTest::cloneKeepsThePicture()
{
    auto picture = loadDecoded(fixture(QStringLiteral("moon-progressive.jpg")));
    const auto copy = picture->clone();
    auto *jpeg = dynamic_cast<JpegPicture *>(copy.get());
    QVERIFY(jpeg);
    QVERIFY(jpeg->isDecoded());
    QVERIFY(jpeg->isProgressive());
    QCOMPARE(jpeg->image(), picture->image());
}

void JpegPictureTest::cmykComesOutInColour_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QColor>("colour");
    // Stored inverted: 255 is no ink, so (255, 0, 255, 255) is full magenta ink alone.
    QTest::newRow("magenta") << cmykJpeg({255, 0, 255, 255}) << QColor(255, 0, 255);
    QTest::newRow("dark cyan") << cmykJpeg({0, 255, 255, 128}) << QColor(0, 128, 128);
    QTest::newRow("white") << cmykJpeg({255, 255, 255, 255}) << QColor(255, 255, 255);
}

void JpegPictureTest::cmykComesOutInColour()
{
    QFETCH(QByteArray, data);
    QFETCH(QColor, colour);
    const auto picture = loadDecoded(data);
    QCOMPARE(picture->image().format(), QImage::Format_RGB32);
    for (const QPoint &at : {QPoint(0, 0), QPoint(8, 8), QPoint(15, 15)}) {
        const QColor got = picture->image().pixelColor(at);
        QVERIFY2(std::abs(got.red() - colour.red()) <= 2
                && std::abs(got.green() - colour.green()) <= 2
                && std::abs(got.blue() - colour.blue()) <= 2,
            qPrintable(got.name()));
    }
}

QTEST_MAIN(JpegPictureTest)
#include "jpegpicture_test.moc"
