#include "measure/failure.h"
#include "metafile/metafile.h"
#include "metafilebuilder.h"

#include <QBuffer>
#include <QFile>
#include <QTest>

using namespace metafilebuilder;
namespace emr = metafile::emr;
namespace wmf = metafile::wmf;

namespace {

// The message of the failure playing `data` throws; empty when it plays.
QString failureOf(const QByteArray &data)
{
    try {
        (void)metafile::playMetafile(data);
    } catch (const measure::Failure &failure) {
        return QString::fromUtf8(failure.what());
    }
    return QString();
}

const QRect kInch(0, 0, 2540, 2540);

constexpr QRgb kNone = 0;
constexpr QRgb kRed = 0xffff0000;
constexpr QRgb kGreen = 0xff00ff00;
constexpr QRgb kBlue = 0xff0000ff;
constexpr QRgb kBlack = 0xff000000;
constexpr QRgb kYellow = 0xffffff00;
constexpr QRgb kWhite = 0xffffffff;

QImage played(const QByteArray &data)
{
    return metafile::playMetafile(data);
}

// Placeable records: pen slot 0 red, brush slot 1 blue, both selected.
QByteArray redPenBlueBrush()
{
    return wmfRecord(wmf::CreatePenIndirect, {0, 1, 0, 0xff, 0}) + wmfRecord(wmf::SelectObject, {0})
        + wmfRecord(wmf::CreateBrushIndirect, {0, 0, 0xff, 0}) + wmfRecord(wmf::SelectObject, {1});
}

QByteArray emfStretchDib(
    QRect to, QSize from, const QByteArray &dib, std::int64_t rasterOp = metafile::rop::SrcCopy)
{
    const auto bits = static_cast<int>(dib.size() - 40);
    return emfRecord(emr::StretchDiBits,
        {0,
            0,
            0,
            0,
            to.x(),
            to.y(),
            0,
            0,
            from.width(),
            from.height(),
            80,
            40,
            120,
            bits,
            0,
            rasterOp,
            to.width(),
            to.height()},
        dib);
}

// A bitmap header announcing a PNG picture, followed by the picture.
QByteArray pngDib(const QImage &image)
{
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    QByteArray out;
    for (std::int64_t v : {40, image.width(), -image.height()})
        put32(out, v);
    put16(out, 1);
    put16(out, 0);
    put32(out, 5);
    put32(out, encoded.size());
    for (int i = 0; i < 4; ++i)
        put32(out, 0);
    return out + encoded;
}

QByteArray emfText(QPoint at, const QString &text)
{
    return emfRecord(emr::ExtTextOutW,
        {0, 0, 0, 0, 1, 0, 0, at.x(), at.y(), text.size(), 76, 0, 0, 0, 0, 0, 0},
        utf16(text));
}

} // namespace

class MetafileTest : public QObject {
    Q_OBJECT

private slots:
    void contentTest_data();
    void contentTest();
    void naturalSize_data();
    void naturalSize();
    void malformedRecords_data();
    void malformedRecords();
    void pixels_data();
    void pixels();
    void textIsDrawnInTheTextColour();
    void fileOfAnotherWriter();
};

void MetafileTest::contentTest_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("valid");

    const QByteArray bkMode = emfRecord(emr::SetBkMode, {1});
    const QByteArray hundred = emfFile(kInch, bkMode, false);
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("enhanced of 100 bytes") << hundred << false;
    QTest::newRow("enhanced of 101 bytes")
        << emfFile(kInch, emfRecord(emr::SetBkMode, {1}, "x"), false) << true;
    QTest::newRow("enhanced with its end record") << emfFile(kInch, bkMode) << true;
    QByteArray signature = emfFile(kInch, bkMode);
    signature[40] = 'X';
    QTest::newRow("enhanced with a wrong signature") << signature << false;
    QByteArray firstType = emfFile(kInch, bkMode);
    firstType[0] = 2;
    QTest::newRow("enhanced whose first record is not its header") << firstType << false;
    QTest::newRow("enhanced with a truncated record") << emfFile(kInch, bkMode).chopped(4) << false;
    QTest::newRow("enhanced with a record past the end")
        << emfFile(kInch, emfRecord(emr::SetBkMode, {1}).replace(4, 1, "\x40")) << false;

    const QByteArray wmf = wmfFile(QRect(0, 0, 100, 50), 96, wmfRecord(wmf::SetBkMode, {1}));
    QTest::newRow("placeable") << wmf << true;
    QByteArray key = wmf;
    key[0] = char(0xD6);
    QTest::newRow("placeable with a wrong key") << key << false;
    QByteArray checksum = wmf;
    checksum[20] = char(checksum[20] ^ 1);
    QTest::newRow("placeable with a bad checksum") << checksum << false;
    QTest::newRow("placeable header alone") << wmf.left(22) << false;
    QTest::newRow("placeable of 21 bytes") << wmf.left(21) << false;
    QTest::newRow("placeable with a truncated record") << wmf.chopped(2) << false;
    QTest::newRow("placeable with a record past the end")
        << wmfFile(QRect(0, 0, 100, 50), 96, wmfRecord(wmf::SetBkMode, {1}).replace(0, 1, "\x30"))
        << false;
    QTest::newRow("placeable with one inch of zero units")
        << wmfFile(QRect(0, 0, 100, 50), 0, wmfRecord(wmf::SetBkMode, {1})) << false;
    QTest::newRow("bitmap") << QByteArray("BM").append(200, '\0') << false;
}

void MetafileTest::contentTest()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, valid);
    QCOMPARE(failureOf(data), valid ? QString() : QStringLiteral("Metafile is not valid"));
}

void MetafileTest::naturalSize_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("size");

    QTest::newRow("enhanced, one inch") << emfFile(kInch, {}) << QSize(96, 96);
    QTest::newRow("enhanced, 10 × 5 cm")
        << emfFile(QRect(100, 200, 10000, 5000), {}) << QSize(378, 189);
    QTest::newRow("placeable, 1440 units per inch")
        << wmfFile(QRect(0, 0, 2880, 720), 1440, {}) << QSize(192, 48);
    QTest::newRow("placeable, shifted box")
        << wmfFile(QRect(-50, 20, 100, 50), 96, {}) << QSize(100, 50);
}

void MetafileTest::naturalSize()
{
    QFETCH(QByteArray, data);
    QFETCH(QSize, size);
    QCOMPARE(played(data).size(), size);
}

void MetafileTest::malformedRecords_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("valid");

    const QRect box(0, 0, 100, 100);
    const QByteArray photo = dib24({{kRed, kGreen}, {kBlue, kWhite}});
    QTest::newRow("polygon of more points than its record holds")
        << wmfFile(box, 96, wmfRecord(wmf::Polygon, {50}, points16({{1, 1}, {5, 5}}))) << false;
    QTest::newRow("text without its position")
        << wmfFile(box, 96, wmfRecord(wmf::TextOut, {4}, "Lune")) << false;
    QTest::newRow("bitmap cut short") << wmfFile(box,
        96,
        wmfRecord(wmf::StretchDib, {0x20, 0xCC, 0, 2, 2, 0, 0, 2, 2, 0, 0}, photo.chopped(8)))
                                      << false;
    QTest::newRow("bitmap of a width of zero") << wmfFile(box,
        96,
        wmfRecord(wmf::StretchDib,
            {0x20, 0xCC, 0, 2, 2, 0, 0, 2, 2, 0, 0},
            photo.left(4) + QByteArray(4, '\0') + photo.mid(8)))
                                               << false;
    QTest::newRow("bitmap whole") << wmfFile(
        box, 96, wmfRecord(wmf::StretchDib, {0x20, 0xCC, 0, 2, 2, 0, 0, 2, 2, 0, 0}, photo))
                                  << true;
    QTest::newRow("record shorter than its header")
        << wmfFile(box, 96, QByteArray("\2\0\0\0\0\0", 6)) << false;
    QTest::newRow("unknown record") << wmfFile(box, 96, wmfRecord(0x0999, {1, 2})) << true;
    QTest::newRow("selecting and deleting objects that do not exist") << wmfFile(box,
        96,
        wmfRecord(wmf::SelectObject, {7}) + wmfRecord(wmf::DeleteObject, {300})
            + wmfRecord(wmf::SelectObject, {300}),
        0) << true;

    QTest::newRow("enhanced polygon of more points than its record holds")
        << emfFile(kInch, emfRecord(emr::Polygon16, {0, 0, 0, 0, 0x40000000}, points16({{1, 1}})))
        << false;
    QTest::newRow("enhanced bitmap past its record") << emfFile(
        kInch, emfStretchDib(QRect(0, 0, 2, 2), QSize(2, 2), photo).replace(56, 1, "\xff"))
                                                     << false;
    QTest::newRow("enhanced figures counting more points than given") << emfFile(kInch,
        emfRecord(emr::PolyPolygon16, {0, 0, 0, 0, 2, 3, 2, 2}, points16({{1, 1}, {2, 2}, {3, 3}})))
                                                                      << false;
    QTest::newRow("enhanced text longer than its record")
        << emfFile(kInch, emfText(QPoint(1, 1), QStringLiteral("ab")).replace(44, 1, "\x40"))
        << false;
    QTest::newRow("enhanced header record too short")
        << emfFile(kInch, emfRecord(emr::SetBkMode, {1}) + QByteArray(20, '\0'))
               .replace(4, 1, "\x50")
        << false;
    QTest::newRow("enhanced frame of a hundred metres")
        << emfFile(QRect(0, 0, 10'000'000, 100), {}) << false;
    QTest::newRow("enhanced frame of nothing")
        << emfFile(QRect(0, 0, 0, 0), emfRecord(emr::Rectangle, {1, 1, 5, 5})) << true;
    QTest::newRow("enhanced stock objects and a world transform") << emfFile(kInch,
        emfRecord(emr::SelectObject, {0x80000004}) + emfRecord(emr::SelectObject, {0x80000007})
            + emfRecord(emr::SetWorldTransform, {0x3f800000, 0x3f000000, 0, 0x3f800000, 0, 0})
            + emfRecord(emr::Rectangle, {1, 1, 50, 50})) << true;
}

void MetafileTest::malformedRecords()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, valid);
    QCOMPARE(failureOf(data), valid ? QString() : QStringLiteral("Metafile is not valid"));
}

void MetafileTest::pixels_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<QPoint>>("points");
    QTest::addColumn<QList<QRgb>>("colours");

    const QRect box(0, 0, 100, 100);
    QTest::newRow("placeable: line, rectangle, ellipse") << wmfFile(box,
        96,
        redPenBlueBrush() + wmfRecord(wmf::MoveTo, {10, 10}) + wmfRecord(wmf::LineTo, {10, 50})
            + wmfRecord(wmf::Rectangle, {50, 40, 30, 20})
            + wmfRecord(wmf::Ellipse, {90, 90, 60, 60}))
                                                         << QList<QPoint>{{10, 10},
                                                                {49, 10},
                                                                {50, 10},
                                                                {30, 9},
                                                                {30, 11},
                                                                {20, 30},
                                                                {39, 49},
                                                                {20, 40},
                                                                {39, 40},
                                                                {40, 40},
                                                                {30, 50},
                                                                {30, 40},
                                                                {75, 75},
                                                                {60, 75},
                                                                {89, 75},
                                                                {75, 60},
                                                                {75, 89},
                                                                {75, 90},
                                                                {90, 75},
                                                                {61, 61},
                                                                {0, 0},
                                                                {99, 99}}
                                                         << QList<QRgb>{kRed,
                                                                kRed,
                                                                kNone,
                                                                kNone,
                                                                kNone,
                                                                kRed,
                                                                kRed,
                                                                kRed,
                                                                kRed,
                                                                kNone,
                                                                kNone,
                                                                kBlue,
                                                                kBlue,
                                                                kRed,
                                                                kRed,
                                                                kRed,
                                                                kRed,
                                                                kNone,
                                                                kNone,
                                                                kNone,
                                                                kNone,
                                                                kNone};
    QTest::newRow("placeable: window scaled onto the box")
        << wmfFile(QRect(0, 0, 1000, 1000),
               1000,
               redPenBlueBrush() + wmfRecord(wmf::SetWindowExt, {500, 500})
                   + wmfRecord(wmf::Rectangle, {250, 250, 50, 50}))
        << QList<QPoint>{{10, 10}, {10, 47}, {47, 47}, {30, 30}, {48, 48}, {9, 9}}
        << QList<QRgb>{kRed, kRed, kRed, kBlue, kNone, kNone};
    QTest::newRow("placeable: polygon and polyline")
        << wmfFile(box,
               96,
               redPenBlueBrush()
                   + wmfRecord(
                       wmf::Polygon, {4}, points16({{10, 10}, {40, 10}, {40, 40}, {10, 40}}))
                   + wmfRecord(wmf::Polyline, {3}, points16({{60, 10}, {90, 10}, {90, 40}})))
        << QList<QPoint>{{10, 10}, {40, 40}, {25, 25}, {41, 25}, {75, 10}, {90, 25}, {75, 25}}
        << QList<QRgb>{kRed, kRed, kBlue, kNone, kRed, kRed, kNone};
    QTest::newRow("placeable: saved pen comes back, deleted pen is gone")
        << wmfFile(box,
               96,
               redPenBlueBrush() + wmfRecord(wmf::SaveDc, {})
                   + wmfRecord(wmf::CreatePenIndirect, {0, 1, 0, 0xff00, 0})
                   + wmfRecord(wmf::SelectObject, {2}) + wmfRecord(wmf::MoveTo, {10, 0})
                   + wmfRecord(wmf::LineTo, {10, 99}) + wmfRecord(wmf::RestoreDc, {-1})
                   + wmfRecord(wmf::MoveTo, {20, 0}) + wmfRecord(wmf::LineTo, {20, 99})
                   + wmfRecord(wmf::DeleteObject, {2}) + wmfRecord(wmf::SelectObject, {2})
                   + wmfRecord(wmf::MoveTo, {30, 0}) + wmfRecord(wmf::LineTo, {30, 99}))
        << QList<QPoint>{{50, 10}, {50, 20}, {50, 30}} << QList<QRgb>{kGreen, kRed, kRed};
    QTest::newRow("placeable: more objects than the header announces")
        << wmfFile(box, 96, redPenBlueBrush() + wmfRecord(wmf::Rectangle, {50, 50, 0, 0}), 1)
        << QList<QPoint>{{25, 25}, {0, 0}} << QList<QRgb>{kBlue, kRed};
    QTest::newRow("placeable: unknown records are skipped") << wmfFile(box,
        96,
        wmfRecord(0x0777, {1, 2, 3}) + redPenBlueBrush()
            + wmfRecord(wmf::Rectangle, {50, 50, 0, 0})) << QList<QPoint>{{25, 25}, {0, 0}}
                                                            << QList<QRgb>{kBlue, kRed};

    const QByteArray greenBrushNoPen =
        emfRecord(emr::CreateBrushIndirect, {1, 0, colorref(0, 255, 0), 0})
        + emfRecord(emr::SelectObject, {1}) + emfRecord(emr::SelectObject, {0x80000008});
    const QByteArray photo = dib24({{kRed, kGreen, kBlue}, {kYellow, kBlack, kWhite}});
    QTest::newRow("enhanced: polygon and a 24-bit bitmap") << emfFile(kInch,
        greenBrushNoPen
            + emfRecord(
                emr::Polygon16, {0, 0, 0, 0, 4}, points16({{10, 10}, {50, 10}, {50, 50}, {10, 50}}))
            + emfStretchDib(QRect(60, 60, 3, 2), QSize(3, 2), photo))
                                                           << QList<QPoint>{{10, 10},
                                                                  {49, 49},
                                                                  {50, 30},
                                                                  {9, 30},
                                                                  {30, 50},
                                                                  {60, 60},
                                                                  {61, 60},
                                                                  {62, 60},
                                                                  {60, 61},
                                                                  {61, 61},
                                                                  {62, 61},
                                                                  {63, 60},
                                                                  {60, 62}}
                                                           << QList<QRgb>{kGreen,
                                                                  kGreen,
                                                                  kNone,
                                                                  kNone,
                                                                  kNone,
                                                                  kRed,
                                                                  kGreen,
                                                                  kBlue,
                                                                  kYellow,
                                                                  kBlack,
                                                                  kWhite,
                                                                  kNone,
                                                                  kNone};
    QImage png(3, 2, QImage::Format_RGB32);
    png.setPixel(0, 0, kRed);
    png.setPixel(1, 0, kGreen);
    png.setPixel(2, 0, kBlue);
    png.setPixel(0, 1, kYellow);
    png.setPixel(1, 1, kBlack);
    png.setPixel(2, 1, kWhite);
    QTest::newRow("enhanced: PNG picture carried whole")
        << emfFile(kInch, emfStretchDib(QRect(60, 60, 3, 2), QSize(3, 2), pngDib(png)))
        << QList<QPoint>{{60, 60}, {62, 60}, {61, 61}, {63, 61}}
        << QList<QRgb>{kRed, kBlue, kBlack, kNone};
    // Two pixels of 32 bits: red half transparent (premultiplied), blue opaque.
    QByteArray alphaDib;
    for (std::int64_t v : {40, 2, 1, 0x200001, 0, 0, 0, 0, 0, 0})
        put32(alphaDib, v);
    alphaDib += QByteArray("\x00\x00\x80\x80\xff\x00\x00\xff", 8);
    QTest::newRow("enhanced: bitmap blended with its alpha")
        << emfFile(kInch,
               emfRecord(emr::AlphaBlend,
                   {0,
                       0,
                       0,
                       0,
                       10,
                       10,
                       2,
                       1,
                       0x01ff0000,
                       0,
                       0,
                       0x3f800000,
                       0,
                       0,
                       0x3f800000,
                       0,
                       0,
                       0,
                       0,
                       108,
                       40,
                       148,
                       8,
                       2,
                       1},
                   alphaDib))
        << QList<QPoint>{{10, 10}, {11, 10}, {12, 10}} << QList<QRgb>{0x80800000u, kBlue, kNone};
    QTest::newRow("enhanced: bitmap stretched fourfold")
        << emfFile(kInch, emfStretchDib(QRect(10, 10, 12, 8), QSize(3, 2), photo))
        << QList<QPoint>{{10, 10}, {13, 13}, {14, 10}, {21, 17}, {15, 14}, {9, 9}, {22, 18}}
        << QList<QRgb>{kRed, kRed, kGreen, kWhite, kBlack, kNone, kNone};
    QTest::newRow("enhanced: more objects than the header announces")
        << emfFile(kInch, greenBrushNoPen + emfRecord(emr::Rectangle, {1, 1, 5, 5}), true, 1)
        << QList<QPoint>{{2, 2}} << QList<QRgb>{kGreen};
    QTest::newRow("enhanced: anisotropic mapping")
        << emfFile(kInch,
               emfRecord(emr::SetMapMode, {8}) + emfRecord(emr::SetWindowExtEx, {10, 10})
                   + emfRecord(emr::SetViewportExtEx, {96, 96}) + greenBrushNoPen
                   + emfRecord(emr::Rectangle, {5, 5, 10, 10}))
        // Without a pen the filled rectangle is one pixel smaller on the right and at the bottom.
        << QList<QPoint>{{48, 48}, {94, 94}, {95, 95}, {47, 47}}
        << QList<QRgb>{kGreen, kGreen, kNone, kNone};
    const QByteArray quarterPie = emfRecord(emr::Pie, {0, 0, 96, 96, 96, 48, 48, 0});
    QTest::newRow("enhanced: pie counter-clockwise")
        << emfFile(kInch, greenBrushNoPen + quarterPie)
        << QList<QPoint>{{70, 25}, {25, 25}, {70, 70}, {25, 70}}
        << QList<QRgb>{kGreen, kNone, kNone, kNone};
    QTest::newRow("enhanced: pie clockwise")
        << emfFile(kInch, greenBrushNoPen + emfRecord(emr::SetArcDirection, {2}) + quarterPie)
        << QList<QPoint>{{70, 25}, {25, 25}, {70, 70}, {25, 70}}
        << QList<QRgb>{kNone, kGreen, kGreen, kGreen};
    QTest::newRow("enhanced: world transform") << emfFile(kInch,
        greenBrushNoPen
            + emfRecord(emr::SetWorldTransform, {0x3f800000, 0, 0, 0x40000000, 0x41200000, 0})
            + emfRecord(emr::Rectangle,
                {0, 0, 10, 10})) << QList<QPoint>{{10, 0}, {18, 18}, {9, 5}, {20, 5}, {15, 20}}
                                               << QList<QRgb>{kGreen, kGreen, kNone, kNone, kNone};
    QTest::newRow("enhanced: path filled, clip rectangle") << emfFile(kInch,
        greenBrushNoPen + emfRecord(emr::IntersectClipRect, {0, 0, 30, 96})
            + emfRecord(emr::BeginPath, {})
            + emfRecord(
                emr::Polygon16, {0, 0, 0, 0, 4}, points16({{10, 10}, {50, 10}, {50, 50}, {10, 50}}))
            + emfRecord(emr::EndPath, {})
            + emfRecord(emr::FillPath, {0, 0, 0, 0})) << QList<QPoint>{{10, 10}, {29, 49}, {30, 30}}
                                                           << QList<QRgb>{kGreen, kGreen, kNone};
}

void MetafileTest::pixels()
{
    QFETCH(QByteArray, data);
    QFETCH(QList<QPoint>, points);
    QFETCH(QList<QRgb>, colours);
    const QImage image = played(data);
    for (qsizetype i = 0; i < points.size(); ++i) {
        const QPoint p = points[i];
        QVERIFY2(image.pixel(p) == colours[i],
            qPrintable(
                QStringLiteral("(%1, %2) is %3").arg(p.x()).arg(p.y()).arg(image.pixel(p), 8, 16)));
    }
}

void MetafileTest::textIsDrawnInTheTextColour()
{
    const QImage image = played(emfFile(kInch,
        emfRecord(emr::SetBkMode, {1}) + emfRecord(emr::SetTextColor, {colorref(0, 0, 255)})
            + emfRecord(emr::ExtCreateFontIndirectW,
                {1, -20, 0, 0, 0, 700, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
            + emfRecord(emr::SelectObject, {1}) + emfText(QPoint(10, 40), QStringLiteral("Lune"))));
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (qAlpha(c) == 0)
                continue;
            QVERIFY2(x >= 10 && y >= 40 && y < 62,
                qPrintable(QStringLiteral("ink at %1, %2").arg(x).arg(y)));
            QCOMPARE(qRed(c), 0);
            QCOMPARE(qGreen(c), 0);
            ++ink;
        }
    }
    QVERIFY(ink > 40);
}

// Written through a GDI-compatible library rather than by these tests: a 2 × 1 inch frame, an
// anisotropic window of 2000 × 1000, a rectangle, a triangle, an ellipse, a line and a text.
void MetafileTest::fileOfAnotherWriter()
{
    QFile file(QStringLiteral(KORVALEN_TEST_DATA "/shapes.emf"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QImage image = played(file.readAll());
    QCOMPARE(image.size(), QSize(192, 96));
    const QList<QPair<QPoint, QRgb>> expected{{{10, 10}, kRed},
        {{20, 20}, kBlue},
        {{48, 40}, kGreen},
        {{144, 15}, kBlue},
        {{144, 10}, kRed},
        {{144, 9}, kNone},
        {{5, 5}, kNone},
        {{100, 91}, kRed},
        {{100, 92}, kNone}};
    for (const auto &[at, colour] : expected)
        QVERIFY2(image.pixel(at) == colour,
            qPrintable(QStringLiteral("(%1, %2)").arg(at.x()).arg(at.y())));
}

QTEST_MAIN(MetafileTest)
#include "metafile_test.moc"
