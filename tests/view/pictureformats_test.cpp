// Loading picture files by their extension: the filter text, the pictures each reader makes and
// the message of every failure.
#include "measure/real.h"
#include "testsupport.h"
#include "view/bitmappicture.h"
#include "view/iconpicture.h"
#include "view/jpegpicture.h"
#include "view/pictureformats.h"
#include "view/pictureview.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>
#include <optional>

using view::Picture;

namespace {

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        qFatal("cannot encode %s", format);
    return bytes;
}

// 3 × 2 pixels of distinct colours, so that row order and channel order both show.
QImage testColours()
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(1, 0, qRgb(0, 255, 0));
    image.setPixel(2, 0, qRgb(0, 0, 255));
    image.setPixel(0, 1, qRgb(255, 255, 255));
    image.setPixel(1, 1, qRgb(0, 0, 0));
    image.setPixel(2, 1, qRgb(10, 20, 30));
    return image;
}

QByteArray bitmap24()
{
    return encoded(testColours(), "BMP");
}

// The same colours through a full 256-entry palette (with fewer entries the bitmap would be
// written at 4 bits a pixel).
QByteArray bitmap8()
{
    const QImage colours = testColours();
    QImage image(colours.size(), QImage::Format_Indexed8);
    QVector<QRgb> palette;
    for (int i = 0; i < 256; ++i)
        palette << qRgb(i, 255 - i, i / 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            palette[y * 3 + x + 100] = colours.pixel(x, y);
    image.setColorTable(palette);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            image.setPixel(x, y, static_cast<uint>(y * 3 + x + 100));
    return encoded(image, "BMP");
}

int bitsPerPixel(const QByteArray &bmp)
{
    return static_cast<uchar>(bmp[28]);
}

// A 16 × 16 icon: opaque red on the left half, fully transparent on the right.
QByteArray transparentIcon()
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x)
            image.setPixel(x, y, qRgba(255, 0, 0, 255));
    return encoded(image, "ICO");
}

QString failureOf(const QString &fileName)
{
    return failureMessage([&] { (void)view::readPictureFile(fileName); });
}

} // namespace

class PictureFormatsTest : public QObject {
    Q_OBJECT
private slots:
    void filterText();
    void reads_data();
    void reads();
    void bitmapPixels_data();
    void bitmapPixels();
    void iconKeepsItsTransparency();
    void failures_data();
    void failures();
    void cannotOpen_data();
    void cannotOpen();
    void failedLoadKeepsThePreviousPicture();
};

void PictureFormatsTest::filterText()
{
    QCOMPARE(view::pictureFilter(),
        QStringLiteral(
            "All (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf)|*.jpg;*.jpeg;*.bmp;*.ico;*.emf;"
            "*.wmf|JPEG Image File (*.jpg)|*.jpg|JPEG Image File (*.jpeg)|*.jpeg|Bitmaps "
            "(*.bmp)|*.bmp|Icons (*.ico)|*.ico|Enhanced Metafiles (*.emf)|*.emf|Metafiles "
            "(*.wmf)|*.wmf"));
}

void PictureFormatsTest::reads_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Picture::Kind>("kind");
    QTest::addColumn<QSize>("size");
    const QByteArray colour = fixture(QStringLiteral("moon-colour.jpg"));
    const QSize moon(97, 61);
    QTest::newRow("jpg") << "moon.jpg" << colour << Picture::Kind::Jpeg << moon;
    QTest::newRow("camera name") << "IMG_0001.JPG" << colour << Picture::Kind::Jpeg << moon;
    QTest::newRow("jpeg") << "moon.jpeg" << colour << Picture::Kind::Jpeg << moon;
    QTest::newRow("JPEG mixed case") << "Moon.JpEg" << colour << Picture::Kind::Jpeg << moon;
    QTest::newRow("greyscale") << "grey.jpg" << fixture(QStringLiteral("moon-grey.jpg"))
                               << Picture::Kind::Jpeg << moon;
    QTest::newRow("progressive") << "prog.jpg" << fixture(QStringLiteral("moon-progressive.jpg"))
                                 << Picture::Kind::Jpeg << moon;
    QTest::newRow("truncated jpg")
        << "cut.jpg" << colour.left(colour.size() / 2) << Picture::Kind::Jpeg << moon;
    QTest::newRow("dotted folder") << "a.bmp/moon.jpg" << colour << Picture::Kind::Jpeg << moon;
    QTest::newRow("24-bit bmp") << "colours.bmp" << bitmap24() << Picture::Kind::Bitmap
                                << QSize(3, 2);
    QTest::newRow("BMP") << "COLOURS.BMP" << bitmap24() << Picture::Kind::Bitmap << QSize(3, 2);
    QTest::newRow("8-bit bmp") << "palette.bmp" << bitmap8() << Picture::Kind::Bitmap
                               << QSize(3, 2);
    QTest::newRow("ico") << "icon.ico" << transparentIcon() << Picture::Kind::Icon << QSize(16, 16);
    QTest::newRow("ICO") << "ICON.ICO" << transparentIcon() << Picture::Kind::Icon << QSize(16, 16);
}

void PictureFormatsTest::reads()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(Picture::Kind, kind);
    QFETCH(QSize, size);
    QTemporaryDir dir;
    const auto picture = view::readPictureFile(place(dir, name, bytes));
    QVERIFY(picture);
    QCOMPARE(picture->kind(), kind);
    QCOMPARE(picture->naturalSize(), size);
}

void PictureFormatsTest::bitmapPixels_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("bits");
    QTest::newRow("24-bit") << bitmap24() << 24;
    QTest::newRow("8-bit palette") << bitmap8() << 8;
}

void PictureFormatsTest::bitmapPixels()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, bits);
    QCOMPARE(bitsPerPixel(bytes), bits);
    QTemporaryDir dir;
    const auto picture = view::readPictureFile(place(dir, QStringLiteral("b.bmp"), bytes));
    const auto *bitmap = dynamic_cast<const view::BitmapPicture *>(picture.get());
    QVERIFY(bitmap);
    const QImage expected = testColours();
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            QCOMPARE(bitmap->image().pixel(x, y), expected.pixel(x, y));
}

void PictureFormatsTest::iconKeepsItsTransparency()
{
    QTemporaryDir dir;
    const auto picture =
        view::readPictureFile(place(dir, QStringLiteral("i.ico"), transparentIcon()));
    QImage target(16, 16, QImage::Format_RGB32);
    target.fill(qRgb(0, 0, 255));
    {
        QPainter painter(&target);
        // The transparent flag must not matter for an icon.
        picture->paint(painter, target.rect(), true);
    }
    QCOMPARE(target.pixel(3, 3), qRgb(255, 0, 0));
    QCOMPARE(target.pixel(12, 3), qRgb(0, 0, 255));
}

void PictureFormatsTest::failures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    const QString badBitmap = QStringLiteral("Bitmap image is not valid");
    const QString readError = QStringLiteral("Stream read error");
    const QString badIcon = QStringLiteral("Icon image is not valid");
    const QByteArray bmp = bitmap24();
    const QByteArray ico = transparentIcon();

    QTest::newRow("png") << "moon.png" << bmp
                         << QStringLiteral("Unknown picture file extension (.png)");
    QTest::newRow("extension kept as typed")
        << "MOON.Png" << bmp << QStringLiteral("Unknown picture file extension (.Png)");
    QTest::newRow("no dot") << "moon" << bmp
                            << QStringLiteral("Unknown picture file extension (.)");
    QTest::newRow("dot in folder only")
        << "photos.jpg/moon" << bmp << QStringLiteral("Unknown picture file extension (.)");
    QTest::newRow("trailing dot") << "moon." << bmp
                                  << QStringLiteral("Unknown picture file extension (.)");

    // An empty bitmap is refused rather than shown as nothing in place of the photograph.
    QTest::newRow("empty bmp") << "empty.bmp" << QByteArray("") << badBitmap;
    for (int size : {1, 2, 13})
        QTest::addRow("bmp of %d bytes", size) << "short.bmp" << bmp.left(size) << readError;
    QTest::newRow("no BM") << "png.bmp" << encoded(testColours(), "PNG") << badBitmap;
    QTest::newRow("BM, no info header") << "cut.bmp" << bmp.left(14) << readError;
    QTest::newRow("info header cut") << "cut.bmp" << bmp.left(30) << readError;
    QTest::newRow("pixels cut") << "cut.bmp" << bmp.left(bmp.size() - 3) << readError;
    QByteArray oddHeader = bmp;
    oddHeader[14] = 33;
    QTest::newRow("unknown info header") << "odd.bmp" << oddHeader << badBitmap;
    QByteArray noWidth = bmp;
    noWidth[18] = 0;
    QTest::newRow("zero width") << "odd.bmp" << noWidth << badBitmap;
    QByteArray badDepth = bmp;
    badDepth[28] = 7;
    QTest::newRow("7 bits a pixel") << "odd.bmp" << badDepth << badBitmap;

    QTest::newRow("empty ico") << "empty.ico" << QByteArray("") << badIcon;
    QTest::newRow("bitmap as ico") << "bmp.ico" << bmp << badIcon;
    QByteArray cursor = ico;
    cursor[2] = 2;
    QTest::newRow("cursor") << "cursor.ico" << cursor << badIcon;
    QTest::newRow("ico cut") << "cut.ico" << ico.left(ico.size() - 1) << badIcon;
    QTest::newRow("ico directory only") << "dir.ico" << ico.left(22) << badIcon;

    // The JPEG header is read at load: an empty file fails there, not at the first paint.
    QTest::newRow("empty jpg") << "empty.jpg" << QByteArray("") << jpegError(42);
    QTest::newRow("empty JPEG") << "EMPTY.JPEG" << QByteArray("") << jpegError(42);
    QTest::newRow("bitmap as jpg") << "bitmap.jpg" << bmp << jpegError(JERR_NO_SOI);

    QTest::newRow("not a metafile wmf")
        << "x.wmf" << bmp << QStringLiteral("Metafile is not valid");
    QTest::newRow("not a metafile EMF")
        << "x.EMF" << QByteArray("") << QStringLiteral("Metafile is not valid");
}

void PictureFormatsTest::failures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QCOMPARE(failureOf(place(dir, name, bytes)), message);
}

void PictureFormatsTest::cannotOpen_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing jpg") << "missing.jpg" << false
                                 << QStringLiteral("No such file or directory");
    QTest::newRow("missing BMP") << "MISSING.BMP" << false
                                 << QStringLiteral("No such file or directory");
    QTest::newRow("folder") << "folder.ico" << true << QStringLiteral("Is a directory");
}

void PictureFormatsTest::cannotOpen()
{
    QFETCH(QString, name);
    QFETCH(bool, folder);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (folder)
        QDir().mkpath(path);
    // A relative name is reported with its full path.
    const QString saved = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const QString message = failureOf(name);
    QDir::setCurrent(saved);
    QCOMPARE(message, QStringLiteral("Cannot open file \"%1\". %2").arg(path, reason));
}

void PictureFormatsTest::failedLoadKeepsThePreviousPicture()
{
    QTemporaryDir dir;
    view::PictureView pic3;
    pic3.setPicture(view::readPictureFile(
        place(dir, QStringLiteral("moon.jpg"), fixture(QStringLiteral("moon-colour.jpg")))));
    const QStringList bad{place(dir, QStringLiteral("empty.jpg"), QByteArray("")),
        place(dir, QStringLiteral("empty.bmp"), QByteArray("")),
        place(dir, QStringLiteral("moon.png"), QByteArray("x")),
        dir.filePath(QStringLiteral("missing.bmp"))};
    for (const QString &file : bad) {
        QVERIFY_THROWS_EXCEPTION(measure::Failure, pic3.setPicture(view::readPictureFile(file)));
        QVERIFY(pic3.picture());
        QCOMPARE(pic3.picture()->kind(), Picture::Kind::Jpeg);
        QCOMPARE(pic3.picture()->naturalSize(), QSize(97, 61));
    }
}

QTEST_MAIN(PictureFormatsTest)
#include "pictureformats_test.moc"
