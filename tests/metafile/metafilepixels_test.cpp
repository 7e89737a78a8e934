// What the players draw, as (point, colour) pairs on files written record by record: the
// bitmaps they carry, raster operations, clipping, text placement, curves, hatches and the
// fixed mapping modes.
#include "metafile/metafile.h"
#include "metafile/metafilerecords.h"
#include "metafilebuilder.h"

#include <QPair>
#include <QRect>
#include <QTest>

#include <functional>

using namespace metafilebuilder;
namespace emr = metafile::emr;
namespace wmf = metafile::wmf;
namespace rop = metafile::rop;

namespace stock = metafile::stock;

using Probes = QList<QPair<QPoint, QRgb>>;
using HatchLine = std::function<bool(int, int)>;

namespace {

// One inch square: 96 × 96 pixels, one device unit of the reference device per pixel.
const QRect kInch(0, 0, 2540, 2540);

constexpr std::int64_t kNoPen = stock::Flag | stock::NullPen;

constexpr QRgb kNone = 0;
constexpr QRgb kRed = 0xffff0000;
constexpr QRgb kGreen = 0xff00ff00;
constexpr QRgb kBlue = 0xff0000ff;
constexpr QRgb kBlack = 0xff000000;
constexpr QRgb kYellow = 0xffffff00;
constexpr QRgb kWhite = 0xffffffff;
constexpr QRgb kCyan = 0xff00ffff;

// A solid brush of `colour` in slot `slot`, selected, and no pen.
QByteArray brushNoPen(QRgb colour, int slot = 1)
{
    return emfRecord(emr::CreateBrushIndirect,
               {slot,
                   metafile::BrushSolid,
                   colorref(qRed(colour), qGreen(colour), qBlue(colour)),
                   0})
        + emfRecord(emr::SelectObject, {slot}) + emfRecord(emr::SelectObject, {kNoPen});
}

// A red pen one pixel wide in slot 2, selected.
QByteArray redPen()
{
    return emfRecord(emr::CreatePen, {2, 0, 1, 0, colorref(255, 0, 0)})
        + emfRecord(emr::SelectObject, {2});
}

QByteArray rectangle(QRect r)
{
    return emfRecord(emr::Rectangle, {r.left(), r.top(), r.right() + 1, r.bottom() + 1});
}

// A bitmap stretched onto `to` from the whole of its `size`: header and colour table in `info`,
// pixels in `bits`.
QByteArray stretchDib(QRect to,
    QSize size,
    const QByteArray &info,
    const QByteArray &bits,
    std::int64_t rasterOp = rop::SrcCopy)
{
    QByteArray tail = info + bits;
    while (tail.size() % 4)
        tail.append('\0');
    return emfRecord(emr::StretchDiBits,
        {0,
            0,
            0,
            0,
            to.x(),
            to.y(),
            0,
            0,
            size.width(),
            size.height(),
            80,
            info.size(),
            80 + info.size(),
            bits.size(),
            0,
            rasterOp,
            to.width(),
            to.height()},
        tail);
}

// A 40-byte bitmap header, rows bottom-up, then the colour table.
QByteArray dibInfo(int width,
    int height,
    int bitCount,
    std::uint32_t compression,
    std::initializer_list<QRgb> table = {},
    std::initializer_list<std::uint32_t> masks = {})
{
    QByteArray out;
    for (std::int64_t v : {40, width, height})
        put32(out, v);
    put16(out, 1);
    put16(out, bitCount);
    put32(out, compression);
    for (std::int64_t v : {std::int64_t(0),
             std::int64_t(0),
             std::int64_t(0),
             std::int64_t(table.size()),
             std::int64_t(0)})
        put32(out, v);
    for (const std::uint32_t m : masks)
        put32(out, m);
    for (const QRgb c : table) {
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append('\0');
    }
    return out;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out.append(char(v));
    return out;
}

QByteArray words(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        put16(out, v);
    return out;
}

// A bit-block transfer without a source bitmap: a pattern operation on `to`.
QByteArray patternBlt(QRect to, std::int64_t rasterOp)
{
    return emfRecord(emr::BitBlt,
        {0,
            0,
            0,
            0,
            to.x(),
            to.y(),
            to.width(),
            to.height(),
            rasterOp,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0});
}

// A bit-block copy of a 40-byte-header bitmap from `from` onto `to`, or with the source's size
// given, the stretching one; the source's transform is the identity.
QByteArray bitBlock(QRect to, QPoint from, const QByteArray &dib, QSize stretchedFrom = QSize())
{
    const bool stretch = stretchedFrom.isValid();
    const std::int64_t header = stretch ? 108 : 100;
    QByteArray out;
    put32(out, stretch ? emr::StretchBlt : emr::BitBlt);
    put32(out, header + dib.size());
    for (const std::int64_t v : {std::int64_t(0),
             std::int64_t(0),
             std::int64_t(0),
             std::int64_t(0),
             std::int64_t(to.x()),
             std::int64_t(to.y()),
             std::int64_t(to.width()),
             std::int64_t(to.height()),
             std::int64_t(rop::SrcCopy),
             std::int64_t(from.x()),
             std::int64_t(from.y()),
             std::int64_t(0x3f800000),
             std::int64_t(0),
             std::int64_t(0),
             std::int64_t(0x3f800000),
             std::int64_t(0),
             std::int64_t(0),
             std::int64_t(0),
             std::int64_t(0),
             header,
             std::int64_t(40),
             header + 40,
             std::int64_t(dib.size() - 40)})
        put32(out, v);
    if (stretch) {
        put32(out, stretchedFrom.width());
        put32(out, stretchedFrom.height());
    }
    return out + dib;
}

// A region of rectangles in device units, as the clipping records carry it.
QByteArray region(std::initializer_list<QRect> rects)
{
    QByteArray out;
    for (std::int64_t v : {std::int64_t(32),
             std::int64_t(1),
             std::int64_t(rects.size()),
             16 * std::int64_t(rects.size())})
        put32(out, v);
    for (int i = 0; i < 4; ++i)
        put32(out, 0);
    for (const QRect &r : rects)
        for (const int v : {r.left(), r.top(), r.right() + 1, r.bottom() + 1})
            put32(out, v);
    return out;
}

QByteArray selectClip(std::initializer_list<QRect> rects, metafile::ClipMode mode)
{
    const QByteArray data = rects.size() == 0 ? QByteArray() : region(rects);
    return emfRecord(emr::ExtSelectClipRgn, {data.size(), mode}, data);
}

// A green fill of the whole inch, less the pixel that a rectangle without a pen leaves out.
const QByteArray kGreenEverywhere = brushNoPen(kGreen) + rectangle(QRect(0, 0, 97, 97));

// Three probes across the inch: left (20), middle (50) and right (80), halfway down.
Probes across(QRgb left, QRgb middle, QRgb right)
{
    return {{{20, 48}, left}, {{50, 48}, middle}, {{80, 48}, right}};
}

QByteArray text(QPoint at, const QString &string, std::uint32_t options = 0, QRect box = QRect())
{
    const std::int64_t l = box.isNull() ? 0 : box.left();
    const std::int64_t t = box.isNull() ? 0 : box.top();
    const std::int64_t r = box.isNull() ? 0 : box.right() + 1;
    const std::int64_t b = box.isNull() ? 0 : box.bottom() + 1;
    return emfRecord(emr::ExtTextOutW,
        {0, 0, 0, 0, 1, 0, 0, at.x(), at.y(), string.size(), 76, options, l, t, r, b, 0},
        utf16(string));
}

// A font `height` pixels high (character height), selected, drawn black on no background.
QByteArray font(int height)
{
    return emfRecord(emr::SetBkMode, {metafile::BkTransparent})
        + emfRecord(emr::ExtCreateFontIndirectW,
            {3, -height, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
        + emfRecord(emr::SelectObject, {3});
}

// The smallest rectangle holding every pixel that is not transparent.
QRect ink(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                box |= QRect(x, y, 1, 1);
    return box;
}

QString describe(QPoint p, QRgb c)
{
    return QStringLiteral("(%1, %2) is %3").arg(p.x()).arg(p.y()).arg(c, 8, 16, QLatin1Char('0'));
}

} // namespace

class MetafilePixelsTest : public QObject {
    Q_OBJECT

private slots:
    void pixels_data();
    void pixels();
    void textAlignment_data();
    void textAlignment();
    void textFromTheCurrentPosition();
    void hatches_data();
    void hatches();
};

void MetafilePixelsTest::pixels_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<Probes>("probes");

    // Bitmaps: the colour table is red, green, blue, yellow.
    const auto table = {kRed, kGreen, kBlue, kYellow};
    // Bottom row: a run of two greens and two blues. Top row: red, green, blue given one by one,
    // then the end of the bitmap, so its last pixel is never drawn.
    const QByteArray rle8 = bytes({2, 1, 2, 2, 0, 0, 0, 3, 0, 1, 2, 0, 0, 1});
    QTest::newRow("8-bit run-length bitmap") << emfFile(
        kInch, stretchDib(QRect(10, 10, 4, 2), QSize(4, 2), dibInfo(4, 2, 8, 1, table), rle8))
                                             << Probes{{{10, 10}, kRed},
                                                    {{11, 10}, kGreen},
                                                    {{12, 10}, kBlue},
                                                    {{13, 10}, kNone},
                                                    {{10, 11}, kGreen},
                                                    {{11, 11}, kGreen},
                                                    {{12, 11}, kBlue},
                                                    {{13, 11}, kBlue},
                                                    {{14, 11}, kNone}};
    // Bottom row: four pixels alternating green and blue from one byte. Top row: a jump of two
    // pixels, then two yellows.
    const QByteArray rle4 = bytes({4, 0x12, 0, 0, 0, 2, 2, 0, 2, 0x33, 0, 1});
    QTest::newRow("4-bit run-length bitmap with a jump") << emfFile(
        kInch, stretchDib(QRect(10, 10, 4, 2), QSize(4, 2), dibInfo(4, 2, 4, 2, table), rle4))
                                                         << Probes{{{10, 10}, kNone},
                                                                {{11, 10}, kNone},
                                                                {{12, 10}, kYellow},
                                                                {{13, 10}, kYellow},
                                                                {{10, 11}, kGreen},
                                                                {{11, 11}, kBlue},
                                                                {{12, 11}, kGreen},
                                                                {{13, 11}, kBlue}};
    // Rows bottom-up: blue, white / red, green; five bits a channel.
    const QByteArray rgb555 = words({0x001f, 0x7fff, 0x7c00, 0x03e0});
    QTest::newRow("16-bit bitmap, five bits a channel")
        << emfFile(
               kInch, stretchDib(QRect(10, 10, 2, 2), QSize(2, 2), dibInfo(2, 2, 16, 0), rgb555))
        << Probes{{{10, 10}, kRed}, {{11, 10}, kGreen}, {{10, 11}, kBlue}, {{11, 11}, kWhite}};
    const QByteArray rgb565 = words({0x001f, 0xffff, 0xf800, 0x07e0});
    QTest::newRow("16-bit bitmap with colour masks 5-6-5")
        << emfFile(kInch,
               stretchDib(QRect(10, 10, 2, 2),
                   QSize(2, 2),
                   dibInfo(2, 2, 16, 3, {}, {0xf800, 0x07e0, 0x001f}),
                   rgb565))
        << Probes{{{10, 10}, kRed}, {{11, 10}, kGreen}, {{10, 11}, kBlue}, {{11, 11}, kWhite}};
    QTest::newRow("placeable: 16-bit bitmap stretched twofold") << wmfFile(QRect(0, 0, 100, 100),
        96,
        wmfRecord(wmf::StretchDib,
            {0x20, 0xCC, 0, 2, 2, 0, 0, 4, 4, 10, 10},
            dibInfo(2, 2, 16, 0) + rgb555))
                                                                << Probes{{{10, 10}, kRed},
                                                                       {{11, 11}, kRed},
                                                                       {{12, 10}, kGreen},
                                                                       {{10, 12}, kBlue},
                                                                       {{13, 13}, kWhite},
                                                                       {{14, 14}, kNone}};

    QTest::newRow("1-bit bitmap with its colour table") << emfFile(kInch,
        stretchDib(QRect(10, 10, 8, 1),
            QSize(8, 1),
            dibInfo(8, 1, 1, 0, {kRed, kBlue}),
            bytes({0xA0, 0, 0, 0})))
                                                        << Probes{{{10, 10}, kBlue},
                                                               {{11, 10}, kRed},
                                                               {{12, 10}, kBlue},
                                                               {{13, 10}, kRed},
                                                               {{17, 10}, kRed}};
    QTest::newRow("24-bit bitmap stored top-down")
        << emfFile(kInch,
               stretchDib(QRect(10, 10, 2, 2),
                   QSize(2, 2),
                   dibInfo(2, -2, 24, 0),
                   bytes({0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0})))
        << Probes{{{10, 10}, kRed}, {{11, 10}, kGreen}, {{10, 11}, kBlue}, {{11, 11}, kWhite}};
    QTest::newRow("32-bit bitmap with colour masks in another order") << emfFile(kInch,
        stretchDib(QRect(10, 10, 2, 1),
            QSize(2, 1),
            dibInfo(2, 1, 32, 3, {}, {0x0000ff, 0x00ff00, 0xff0000}),
            bytes({255, 0, 0, 0, 0, 0, 255, 0}))) << Probes{{{10, 10}, kRed}, {{11, 10}, kBlue}};
    QTest::newRow("placeable: bitmap copied unscaled") << wmfFile(QRect(0, 0, 100, 100),
        96,
        wmfRecord(wmf::DibBitBlt, {0x20, 0xCC, 0, 0, 2, 2, 10, 10}, dibInfo(2, 2, 16, 0) + rgb555))
                                                       << Probes{{{10, 10}, kRed},
                                                              {{11, 10}, kGreen},
                                                              {{10, 11}, kBlue},
                                                              {{11, 11}, kWhite},
                                                              {{12, 12}, kNone}};
    QTest::newRow("placeable: monochrome device bitmap")
        << wmfFile(QRect(0, 0, 100, 100),
               96,
               wmfRecord(wmf::BitBlt,
                   {0x20, 0xCC, 0, 0, 1, 2, 10, 10},
                   words({0, 2, 1, 2}) + bytes({1, 1, 0x40, 0})))
        << Probes{{{10, 10}, kBlack}, {{11, 10}, kWhite}, {{12, 10}, kNone}};
    QTest::newRow("pattern brush of a bitmap, tiled from the picture's corner")
        << emfFile(kInch,
               emfRecord(emr::CreateDibPatternBrushPt,
                   {1, 0, 32, 40, 72, 16},
                   dibInfo(2, 2, 24, 0)
                       + bytes({255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0}))
                   + emfRecord(emr::SelectObject, {1}) + emfRecord(emr::SelectObject, {kNoPen})
                   + rectangle(QRect(0, 0, 97, 97)))
        << Probes{{{0, 0}, kRed},
               {{1, 0}, kGreen},
               {{0, 1}, kBlue},
               {{1, 1}, kWhite},
               {{2, 2}, kRed},
               {{3, 2}, kGreen}};
    QTest::newRow("single pixels")
        << emfFile(kInch, emfRecord(emr::SetPixelV, {20, 30, colorref(0, 0, 255)}))
        << Probes{{{20, 30}, kBlue}, {{21, 30}, kNone}, {{20, 31}, kNone}};
    QTest::newRow("placeable: single pixels")
        << wmfFile(QRect(0, 0, 100, 100), 96, wmfRecord(wmf::SetPixel, {0, 0xff, 30, 20}))
        << Probes{{{20, 30}, kBlue}, {{21, 30}, kNone}, {{20, 31}, kNone}};

    // The photograph's top row is red, green, blue; its bottom row yellow, black, white.
    const QByteArray photo = dib24({{kRed, kGreen, kBlue}, {kYellow, kBlack, kWhite}});
    QTest::newRow("bit-block copy of a bitmap's right column")
        << emfFile(kInch, bitBlock(QRect(10, 10, 1, 2), QPoint(1, 0), photo))
        << Probes{{{10, 10}, kGreen}, {{10, 11}, kBlack}, {{11, 10}, kNone}, {{10, 12}, kNone}};
    QTest::newRow("stretching copy of one pixel")
        << emfFile(kInch, bitBlock(QRect(20, 20, 4, 4), QPoint(0, 1), photo, QSize(1, 1)))
        << Probes{{{20, 20}, kYellow}, {{23, 23}, kYellow}, {{24, 23}, kNone}, {{23, 24}, kNone}};

    // Raster operations, over a blue square [10, 30) × [10, 30).
    const QByteArray blueSquare = brushNoPen(kBlue) + rectangle(QRect(10, 10, 21, 21));
    const QByteArray twoPixels = dibInfo(2, 1, 24, 0);
    const auto pixelPair = [](QRgb a, QRgb b) {
        return bytes({qBlue(a), qGreen(a), qRed(a), qBlue(b), qGreen(b), qRed(b), 0, 0});
    };
    // The two halves of a sprite drawn with a mask: the mask AND, the image OR.
    QTest::newRow("mask and image: black and white mask ANDed, then the image ORed") << emfFile(
        kInch,
        blueSquare
            + stretchDib(
                QRect(10, 10, 2, 1), QSize(2, 1), twoPixels, pixelPair(kBlack, kWhite), rop::SrcAnd)
            + stretchDib(QRect(10, 10, 2, 1),
                QSize(2, 1),
                twoPixels,
                pixelPair(kRed, kBlack),
                rop::SrcPaint)) << Probes{{{10, 10}, kRed}, {{11, 10}, kBlue}, {{12, 10}, kBlue}};
    QTest::newRow("inverted copy")
        << emfFile(kInch,
               blueSquare
                   + stretchDib(QRect(10, 10, 2, 1),
                       QSize(2, 1),
                       twoPixels,
                       pixelPair(kWhite, kRed),
                       rop::NotSrcCopy))
        << Probes{{{10, 10}, kBlack}, {{11, 10}, kCyan}, {{12, 10}, kBlue}};
    QTest::newRow("blackness and whiteness") << emfFile(kInch,
        blueSquare + patternBlt(QRect(10, 10, 5, 5), rop::Blackness)
            + patternBlt(QRect(20, 20, 5, 5), rop::Whiteness))
                                             << Probes{{{10, 10}, kBlack},
                                                    {{14, 14}, kBlack},
                                                    {{15, 15}, kBlue},
                                                    {{20, 20}, kWhite},
                                                    {{24, 24}, kWhite},
                                                    {{25, 25}, kBlue},
                                                    {{5, 5}, kNone}};
    QTest::newRow("pattern copy with the brush")
        << emfFile(kInch, brushNoPen(kGreen) + patternBlt(QRect(40, 40, 10, 5), rop::PatCopy))
        << Probes{{{40, 40}, kGreen}, {{49, 44}, kGreen}, {{50, 44}, kNone}, {{49, 45}, kNone}};
    QTest::newRow("placeable: pattern fill with the brush")
        << wmfFile(QRect(0, 0, 100, 100),
               96,
               wmfRecord(wmf::CreateBrushIndirect, {0, 0, 0xff, 0})
                   + wmfRecord(wmf::SelectObject, {0})
                   + wmfRecord(wmf::PatBlt, {0x0021, 0x00F0, 5, 10, 40, 40}))
        << Probes{{{40, 40}, kBlue}, {{49, 44}, kBlue}, {{50, 44}, kNone}, {{49, 45}, kNone}};

    // Clipping: a clip [0, 60) is combined with a region [40, 96), then the inch filled.
    const QByteArray left = emfRecord(emr::IntersectClipRect, {0, 0, 60, 96});
    const auto combined = [&](metafile::ClipMode mode) {
        return emfFile(kInch, left + selectClip({QRect(40, 0, 56, 96)}, mode) + kGreenEverywhere);
    };
    QTest::newRow("clip: and") << combined(metafile::ClipAnd) << across(kNone, kGreen, kNone);
    QTest::newRow("clip: or") << combined(metafile::ClipOr) << across(kGreen, kGreen, kGreen);
    QTest::newRow("clip: exclusive or")
        << combined(metafile::ClipXor) << across(kGreen, kNone, kGreen);
    QTest::newRow("clip: difference")
        << combined(metafile::ClipDiff) << across(kGreen, kNone, kNone);
    QTest::newRow("clip: copy") << combined(metafile::ClipCopy) << across(kNone, kGreen, kGreen);
    QTest::newRow("clip: reset by an empty copy")
        << emfFile(kInch, left + selectClip({}, metafile::ClipCopy) + kGreenEverywhere)
        << across(kGreen, kGreen, kGreen);
    QTest::newRow("clip: rectangle excluded")
        << emfFile(kInch, emfRecord(emr::ExcludeClipRect, {40, 0, 60, 96}) + kGreenEverywhere)
        << across(kGreen, kNone, kGreen);
    QTest::newRow("clip: restored with the saved state") << emfFile(kInch,
        emfRecord(emr::SaveDc, {}) + left + emfRecord(emr::RestoreDc, {-1}) + kGreenEverywhere)
                                                         << across(kGreen, kGreen, kGreen);
    const QByteArray triangle = emfRecord(emr::BeginPath, {})
        + emfRecord(emr::Polygon16, {0, 0, 0, 0, 3}, points16({{10, 10}, {90, 10}, {10, 90}}))
        + emfRecord(emr::EndPath, {});
    QTest::newRow("clip path: copy") << emfFile(
        kInch, triangle + emfRecord(emr::SelectClipPath, {metafile::ClipCopy}) + kGreenEverywhere)
                                     << Probes{{{12, 12}, kGreen},
                                            {{45, 45}, kGreen},
                                            {{55, 55}, kNone},
                                            {{5, 5}, kNone},
                                            {{80, 12}, kGreen},
                                            {{12, 80}, kGreen}};
    QTest::newRow("clip path: and with a clip rectangle")
        << emfFile(kInch,
               left + triangle + emfRecord(emr::SelectClipPath, {metafile::ClipAnd})
                   + kGreenEverywhere)
        << Probes{{{12, 12}, kGreen}, {{45, 45}, kGreen}, {{70, 12}, kNone}, {{55, 55}, kNone}};
    QTest::newRow("clip path: difference")
        << emfFile(kInch,
               triangle + emfRecord(emr::SelectClipPath, {metafile::ClipDiff}) + kGreenEverywhere)
        << Probes{{{12, 12}, kNone}, {{45, 45}, kNone}, {{55, 55}, kGreen}, {{5, 5}, kGreen}};

    // Text boxes: the opaque box is filled with the background colour, the clipped one cuts the
    // characters.
    QTest::newRow("text: opaque box without text") << emfFile(kInch,
        emfRecord(emr::SetBkColor, {colorref(255, 255, 0)})
            + text(QPoint(60, 60), QString(), metafile::textOption::Opaque, QRect(20, 20, 20, 10)))
                                                   << Probes{{{20, 20}, kYellow},
                                                          {{39, 29}, kYellow},
                                                          {{40, 25}, kNone},
                                                          {{30, 30}, kNone},
                                                          {{19, 25}, kNone}};

    QTest::newRow("placeable: text opaque box without text") << wmfFile(QRect(0, 0, 96, 96),
        96,
        wmfRecord(wmf::SetBkColor, {0xffff, 0})
            + wmfRecord(wmf::ExtTextOut, {60, 60, 0, metafile::textOption::Opaque, 20, 20, 40, 30}))
                                                             << Probes{{{20, 20}, kYellow},
                                                                    {{39, 29}, kYellow},
                                                                    {{40, 25}, kNone},
                                                                    {{30, 30}, kNone},
                                                                    {{19, 25}, kNone}};

    // Round rectangles: the corners are cut, the edges are where a rectangle's are.
    const QByteArray redOnGreen = redPen()
        + emfRecord(emr::CreateBrushIndirect, {1, 0, colorref(0, 255, 0), 0})
        + emfRecord(emr::SelectObject, {1});
    const Probes roundProbes{{{10, 10}, kNone},
        {{11, 11}, kNone},
        {{59, 59}, kNone},
        {{35, 10}, kRed},
        {{10, 35}, kRed},
        {{59, 35}, kRed},
        {{35, 59}, kRed},
        {{60, 35}, kNone},
        {{35, 60}, kNone},
        {{35, 35}, kGreen}};
    QTest::newRow("round rectangle")
        << emfFile(kInch, redOnGreen + emfRecord(emr::RoundRect, {10, 10, 60, 60, 20, 20}))
        << roundProbes;
    QTest::newRow("placeable: round rectangle") << wmfFile(QRect(0, 0, 96, 96),
        96,
        wmfRecord(wmf::CreatePenIndirect, {0, 1, 0, 0xff, 0}) + wmfRecord(wmf::SelectObject, {0})
            + wmfRecord(wmf::CreateBrushIndirect, {0, 0xff00, 0, 0})
            + wmfRecord(wmf::SelectObject, {1})
            + wmfRecord(wmf::RoundRect, {20, 20, 60, 60, 10, 10}))
                                                << roundProbes;

    // Placeable pies and chords: a quarter of the inch's circle, up and right of its centre.
    const QByteArray greenNoPenWmf = wmfRecord(wmf::CreatePenIndirect, {5, 0, 0, 0, 0})
        + wmfRecord(wmf::SelectObject, {0}) + wmfRecord(wmf::CreateBrushIndirect, {0, 0xff00, 0, 0})
        + wmfRecord(wmf::SelectObject, {1});
    QTest::newRow("placeable: pie")
        << wmfFile(QRect(0, 0, 96, 96),
               96,
               greenNoPenWmf + wmfRecord(wmf::Pie, {0, 48, 48, 96, 96, 96, 0, 0}))
        << Probes{{{70, 25}, kGreen}, {{25, 25}, kNone}, {{70, 70}, kNone}, {{25, 70}, kNone}};
    QTest::newRow("placeable: chord")
        << wmfFile(QRect(0, 0, 96, 96),
               96,
               greenNoPenWmf + wmfRecord(wmf::Chord, {0, 48, 48, 96, 96, 96, 0, 0}))
        << Probes{{{80, 15}, kGreen}, {{60, 30}, kNone}, {{25, 25}, kNone}, {{70, 70}, kNone}};
    QTest::newRow("placeable: window origin moved")
        << wmfFile(QRect(0, 0, 100, 100),
               96,
               greenNoPenWmf + wmfRecord(wmf::OffsetWindowOrg, {10, 10})
                   + wmfRecord(wmf::Rectangle, {30, 30, 10, 10}))
        << Probes{{{0, 0}, kGreen}, {{18, 18}, kGreen}, {{19, 10}, kNone}, {{25, 25}, kNone}};

    // Béziers: from (10, 50) up and over to (90, 50), through (50, 20) halfway.
    const QByteArray arch = points16({{10, 50}, {10, 10}, {90, 10}, {90, 50}});
    const Probes archProbes{{{10, 50}, kRed},
        {{10, 48}, kRed},
        {{50, 20}, kRed},
        {{50, 25}, kNone},
        {{50, 15}, kNone},
        {{89, 40}, kNone}};
    QTest::newRow("Bézier") << emfFile(
        kInch, redPen() + emfRecord(emr::PolyBezier16, {0, 0, 0, 0, 4}, arch))
                            << archProbes;
    Probes archThenDown = archProbes;
    archThenDown.append({{{90, 70}, kRed}, {{90, 52}, kRed}});
    QTest::newRow("Bézier from the current position, then a line from its end") << emfFile(kInch,
        redPen() + emfRecord(emr::MoveToEx, {10, 50})
            + emfRecord(emr::PolyBezierTo16, {0, 0, 0, 0, 3}, arch.mid(4))
            + emfRecord(emr::LineTo, {90, 90})) << archThenDown;
    QTest::newRow("Bézier of 32-bit points") << emfFile(kInch,
        redPen() + emfRecord(emr::PolyBezier, {0, 0, 0, 0, 4, 10, 50, 10, 10, 90, 10, 90, 50}))
                                             << archProbes;

    // Fixed mapping modes: each rectangle is one inch wide and half an inch high, y upwards.
    const auto fixed = [](metafile::MapMode mode, int inch) {
        return emfFile(kInch,
            emfRecord(emr::SetMapMode, {mode}) + brushNoPen(kGreen)
                + emfRecord(emr::Rectangle, {0, 0, inch, -inch / 2}));
    };
    const Probes inchByHalf{{{0, 0}, kGreen},
        {{94, 46}, kGreen},
        {{95, 46}, kNone},
        {{94, 47}, kNone},
        {{50, 60}, kNone}};
    QTest::newRow("tenths of a millimetre") << fixed(metafile::MmLoMetric, 254) << inchByHalf;
    QTest::newRow("hundredths of a millimetre") << fixed(metafile::MmHiMetric, 2540) << inchByHalf;
    QTest::newRow("hundredths of an inch") << fixed(metafile::MmLoEnglish, 100) << inchByHalf;
    QTest::newRow("thousandths of an inch") << fixed(metafile::MmHiEnglish, 1000) << inchByHalf;
    QTest::newRow("twips") << fixed(metafile::MmTwips, 1440) << inchByHalf;
    QTest::newRow("isotropic: the smaller scale for both axes")
        << emfFile(kInch,
               emfRecord(emr::SetMapMode, {metafile::MmIsotropic})
                   + emfRecord(emr::SetWindowExtEx, {10, 20})
                   + emfRecord(emr::SetViewportExtEx, {96, 96}) + brushNoPen(kGreen)
                   + emfRecord(emr::Rectangle, {0, 0, 10, 10}))
        << Probes{{{46, 46}, kGreen}, {{47, 20}, kNone}, {{20, 47}, kNone}};
    QTest::newRow("anisotropic: window extent scaled twofold")
        << emfFile(kInch,
               emfRecord(emr::SetMapMode, {metafile::MmAnisotropic})
                   + emfRecord(emr::SetWindowExtEx, {10, 10})
                   + emfRecord(emr::SetViewportExtEx, {96, 96})
                   + emfRecord(emr::ScaleWindowExtEx, {2, 1, 2, 1}) + brushNoPen(kGreen)
                   + emfRecord(emr::Rectangle, {0, 0, 10, 10}))
        << Probes{{{46, 46}, kGreen}, {{47, 20}, kNone}, {{20, 47}, kNone}};
    QTest::newRow("hundredths of an inch from an origin at the bottom")
        << emfFile(kInch,
               emfRecord(emr::SetMapMode, {metafile::MmLoEnglish})
                   + emfRecord(emr::SetViewportOrgEx, {0, 96}) + brushNoPen(kGreen)
                   + emfRecord(emr::Rectangle, {0, 0, 50, 50}))
        << Probes{{{0, 48}, kGreen}, {{46, 94}, kGreen}, {{20, 40}, kNone}, {{60, 60}, kNone}};
}

void MetafilePixelsTest::pixels()
{
    QFETCH(QByteArray, data);
    QFETCH(Probes, probes);
    const QImage image = metafile::playMetafile(data);
    for (const auto &[at, colour] : probes)
        QVERIFY2(image.pixel(at) == colour, qPrintable(describe(at, image.pixel(at))));
}

void MetafilePixelsTest::textAlignment_data()
{
    QTest::addColumn<std::uint32_t>("align");
    QTest::addColumn<int>("horizontal"); // -1: ink left of the point, 0: around it, 1: right
    QTest::addColumn<int>("vertical"); // -1: ink above the point, 1: below it

    namespace ta = metafile::textAlign;
    QTest::newRow("left, top") << std::uint32_t(0) << 1 << 1;
    QTest::newRow("right, top") << ta::Right << -1 << 1;
    QTest::newRow("centre, top") << ta::Centre << 0 << 1;
    QTest::newRow("left, bottom") << ta::Bottom << 1 << -1;
    QTest::newRow("right, baseline") << (ta::Right | ta::Baseline) << -1 << -1;
    QTest::newRow("centre, bottom") << (ta::Centre | ta::Bottom) << 0 << -1;
}

void MetafilePixelsTest::textAlignment()
{
    QFETCH(std::uint32_t, align);
    QFETCH(int, horizontal);
    QFETCH(int, vertical);
    const QPoint at(48, 48);
    const QRect box = ink(metafile::playMetafile(emfFile(
        kInch, font(20) + emfRecord(emr::SetTextAlign, {align}) + text(at, QStringLiteral("HH")))));
    QVERIFY(!box.isEmpty());
    if (horizontal > 0)
        QVERIFY2(box.left() >= at.x(), qPrintable(QString::number(box.left())));
    else if (horizontal < 0)
        QVERIFY2(box.right() < at.x(), qPrintable(QString::number(box.right())));
    else
        QVERIFY2(std::abs(box.left() + box.right() - 2 * at.x()) <= 3,
            qPrintable(QStringLiteral("%1 to %2").arg(box.left()).arg(box.right())));
    if (vertical > 0)
        QVERIFY2(box.top() >= at.y(), qPrintable(QString::number(box.top())));
    else
        QVERIFY2(box.bottom() < at.y(), qPrintable(QString::number(box.bottom())));
}

// With the current position updated, text starts where the last one ended, whatever point
// its record names, and a clipped box cuts it.
void MetafilePixelsTest::textFromTheCurrentPosition()
{
    const QByteArray start = font(20)
        + emfRecord(emr::SetTextAlign, {metafile::textAlign::UpdateCurrent})
        + emfRecord(emr::MoveToEx, {10, 30});
    const QRect one = ink(
        metafile::playMetafile(emfFile(kInch, start + text(QPoint(80, 80), QStringLiteral("H")))));
    const QRect two = ink(metafile::playMetafile(emfFile(kInch,
        start + text(QPoint(80, 80), QStringLiteral("H"))
            + text(QPoint(0, 0), QStringLiteral("H")))));
    QVERIFY(one.left() >= 10 && one.left() < 16);
    QVERIFY(one.top() >= 30 && one.bottom() < 60);
    QCOMPARE(two.left(), one.left());
    QCOMPARE(two.top(), one.top());
    QVERIFY2(two.right() > one.right() + one.width() / 2,
        qPrintable(QStringLiteral("%1 after %2").arg(two.right()).arg(one.right())));

    const QRect clipped = ink(metafile::playMetafile(emfFile(kInch,
        font(20)
            + text(QPoint(10, 10),
                QStringLiteral("HHHH"),
                metafile::textOption::Clipped,
                QRect(10, 10, 15, 80)))));
    QVERIFY(!clipped.isEmpty());
    QVERIFY2(clipped.right() < 25, qPrintable(QString::number(clipped.right())));
}

void MetafilePixelsTest::hatches_data()
{
    QTest::addColumn<std::uint32_t>("hatch");
    QTest::addColumn<bool>("opaque");
    // Whether the pixel at (x, y), x and y taken modulo 8 from the hatch's first line, is ink.
    QTest::addColumn<HatchLine>("line");

    const HatchLine horizontal = [](int, int y) {
        return y == 0;
    };
    const HatchLine vertical = [](int x, int) {
        return x == 0;
    };
    const HatchLine down = [](int x, int y) {
        return x == y;
    };
    const HatchLine up = [](int x, int y) {
        return (x + y) % 8 == 0;
    };
    QTest::newRow("horizontal") << std::uint32_t(0) << true << horizontal;
    QTest::newRow("horizontal, transparent gaps") << std::uint32_t(0) << false << horizontal;
    QTest::newRow("vertical") << std::uint32_t(1) << true << vertical;
    QTest::newRow("diagonal down") << std::uint32_t(2) << true << down;
    QTest::newRow("diagonal up") << std::uint32_t(3) << false << up;
    QTest::newRow("cross") << std::uint32_t(4) << true
                           << HatchLine([](int x, int y) { return x == 0 || y == 0; });
    QTest::newRow("diagonal cross") << std::uint32_t(5) << false
                                    << HatchLine([](int x, int y) { return x == y || x + y == 7; });
}

// A hatched brush repeats every 8 pixels; between its lines an opaque background shows.
void MetafilePixelsTest::hatches()
{
    QFETCH(std::uint32_t, hatch);
    QFETCH(bool, opaque);
    QFETCH(HatchLine, line);
    const QImage image = metafile::playMetafile(emfFile(kInch,
        emfRecord(emr::SetBkMode, {opaque ? metafile::BkOpaque : metafile::BkTransparent})
            + emfRecord(emr::SetBkColor, {colorref(255, 255, 0)})
            + emfRecord(
                emr::CreateBrushIndirect, {1, metafile::BrushHatched, colorref(0, 0, 255), hatch})
            + emfRecord(emr::SelectObject, {1}) + emfRecord(emr::SelectObject, {kNoPen})
            + rectangle(QRect(16, 16, 33, 33))));
    const QRgb gap = opaque ? kYellow : kNone;
    // The phase of the pattern is found from the first 8 × 8 cell, then holds for the whole fill.
    int phaseX = -1;
    int phaseY = -1;
    for (int py = 0; py < 8 && phaseX < 0; ++py)
        for (int px = 0; px < 8 && phaseX < 0; ++px) {
            bool fits = true;
            for (int y = 16; y < 24 && fits; ++y)
                for (int x = 16; x < 24 && fits; ++x)
                    fits = (image.pixel(x, y) == kBlue) == line((x - px + 8) % 8, (y - py + 8) % 8);
            if (fits) {
                phaseX = px;
                phaseY = py;
            }
        }
    QVERIFY2(phaseX >= 0, "the first cell is not the pattern");
    for (int y = 16; y < 48; ++y)
        for (int x = 16; x < 48; ++x) {
            const QRgb expected = line((x - phaseX + 8) % 8, (y - phaseY + 8) % 8) ? kBlue : gap;
            QVERIFY2(
                image.pixel(x, y) == expected, qPrintable(describe({x, y}, image.pixel(x, y))));
        }
    QCOMPARE(image.pixel(48, 30), kNone);
}

QTEST_MAIN(MetafilePixelsTest)
#include "metafilepixels_test.moc"
