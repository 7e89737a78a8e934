#include "../metafile/metafilebuilder.h"
#include "view/metafilepicture.h"

#include <QPainter>
#include <QTest>

using namespace metafilebuilder;
namespace emr = metafile::emr;
namespace wmf = metafile::wmf;

namespace {

constexpr QRgb kRed = 0xffff0000;
constexpr QRgb kWhite = 0xffffffff;

// Placeable records: pen slot 0 red, brush slot 1 blue, both selected.
QByteArray redPenBlueBrush()
{
    return wmfRecord(wmf::CreatePenIndirect, {0, 1, 0, 0xff, 0}) + wmfRecord(wmf::SelectObject, {0})
        + wmfRecord(wmf::CreateBrushIndirect, {0, 0, 0xff, 0}) + wmfRecord(wmf::SelectObject, {1});
}

} // namespace

// The picture that holds a played metafile; the playing itself is tested with the player.
class MetafilePictureTest : public QObject {
    Q_OBJECT

private slots:
    void naturalSize_data();
    void naturalSize();
    void paintsOnlyItsStrokes();
};

void MetafilePictureTest::naturalSize_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("size");

    QTest::newRow("enhanced, one inch") << emfFile(QRect(0, 0, 2540, 2540), {}) << QSize(96, 96);
    QTest::newRow("placeable, 1440 units per inch")
        << wmfFile(QRect(0, 0, 2880, 720), 1440, {}) << QSize(192, 48);
}

void MetafilePictureTest::naturalSize()
{
    QFETCH(QByteArray, data);
    QFETCH(QSize, size);
    const auto picture = view::readMetafile(data);
    QCOMPARE(picture->kind(), view::Picture::Kind::Metafile);
    QCOMPARE(picture->naturalSize(), size);
    QCOMPARE(picture->clone()->naturalSize(), size);
}

void MetafilePictureTest::paintsOnlyItsStrokes()
{
    const auto picture = view::readMetafile(wmfFile(QRect(0, 0, 20, 20),
        96,
        redPenBlueBrush() + wmfRecord(wmf::MoveTo, {5, 0}) + wmfRecord(wmf::LineTo, {5, 20})));
    for (const bool transparent : {false, true}) {
        QImage target(30, 30, QImage::Format_RGB32);
        target.fill(Qt::white);
        QPainter painter(&target);
        picture->clone()->paint(painter, QRect(0, 0, 30, 30), transparent);
        painter.end();
        QCOMPARE(target.pixel(10, 5), kRed);
        QCOMPARE(target.pixel(10, 6), kWhite);
        QCOMPARE(target.pixel(25, 5), kWhite);
    }
}

QTEST_MAIN(MetafilePictureTest)
#include "metafilepicture_test.moc"
