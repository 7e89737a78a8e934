#include "metafile/metafilecanvas.h"
#include "metafile/metafiledib.h"
#include "metafile/metafilegeometry.h"
#include "metafile/metafileplayer.h"
#include "metafile/metafilerecords.h"

#include <cstdlib>

namespace metafile {

namespace {

// Parameters of a record are 16-bit words, mostly in the reverse order of the drawing call's
// arguments: a point is stored y first.
QPointF pointAt(ByteSpan p, std::size_t at)
{
    return QPointF(p.s16(at + 2), p.s16(at));
}

// A rectangle stored bottom, right, top, left.
QRectF reversedRect(ByteSpan p, std::size_t at)
{
    return QRectF(QPointF(p.s16(at + 6), p.s16(at + 4)), QPointF(p.s16(at + 2), p.s16(at)));
}

MetaPen penAt(ByteSpan p)
{
    MetaPen pen;
    pen.style = p.u16(0);
    pen.width = std::abs(p.s16(2));
    pen.color = colourAt(p, 6);
    return pen;
}

MetaFont fontAt(ByteSpan p)
{
    MetaFont font;
    font.height = p.s16(0);
    font.escapement = p.s16(4);
    font.weight = p.s16(8);
    font.italic = p.u8(10);
    font.underline = p.u8(11);
    font.strikeOut = p.u8(12);
    return font;
}

class WmfPlayer {
public:
    WmfPlayer(QImage &image, const QRectF &box, QSizeF extent, std::size_t objects)
        : canvas_(MetafileCanvas::placeable(image, box, extent))
        , objects_(objects)
    { }

    void play(ByteSpan file, std::size_t offset);

private:
    void record(std::uint16_t function, ByteSpan p, std::size_t words);
    bool mapping(std::uint16_t function, ByteSpan p);
    bool state(std::uint16_t function, ByteSpan p);
    bool figure(std::uint16_t function, ByteSpan p);
    bool object(std::uint16_t function, ByteSpan p);
    bool bitmap(std::uint16_t function, ByteSpan p, bool withBitmap);
    void text(ByteSpan p);
    void extText(ByteSpan p);
    void polyPolygon(ByteSpan p);

    MetafileCanvas canvas_;
    MetaObjectTable objects_;
};

void WmfPlayer::play(ByteSpan file, std::size_t offset)
{
    while (offset < file.size()) {
        const std::size_t words = file.u32(offset);
        if (words < 3 || !file.has(offset, 2 * words))
            invalidMetafile();
        const ByteSpan r = file.sub(offset, 2 * words);
        const std::uint16_t function = r.u16(4);
        if (function == wmf::Eof)
            return;
        record(function, r.sub(6, r.size() - 6), words);
        offset += 2 * words;
    }
}

void WmfPlayer::record(std::uint16_t function, ByteSpan p, std::size_t words)
{
    // Without a bitmap a bit-block record is only as long as its function number says.
    const bool withBitmap = words != std::size_t(function >> 8) + 3;
    if (!mapping(function, p) && !state(function, p) && !figure(function, p)
        && !object(function, p))
        bitmap(function, p, withBitmap);
}

// How coordinates become pixels: window, viewport and mapping mode.
bool WmfPlayer::mapping(std::uint16_t function, ByteSpan p)
{
    switch (function) {
    case wmf::SetMapMode:
        canvas_.setMapMode(p.u16(0));
        return true;
    case wmf::SetWindowOrg:
        canvas_.setWindowOrg(pointAt(p, 0));
        return true;
    case wmf::SetWindowExt: {
        const QPointF e = pointAt(p, 0);
        canvas_.setWindowExt({e.x(), e.y()});
        return true;
    }
    case wmf::SetViewportOrg:
        canvas_.setViewportOrg(pointAt(p, 0));
        return true;
    case wmf::SetViewportExt: {
        const QPointF e = pointAt(p, 0);
        canvas_.setViewportExt({e.x(), e.y()});
        return true;
    }
    case wmf::OffsetWindowOrg:
        canvas_.offsetWindowOrg(pointAt(p, 0));
        return true;
    case wmf::OffsetViewportOrg:
        canvas_.offsetViewportOrg(pointAt(p, 0));
        return true;
    case wmf::ScaleWindowExt:
        canvas_.scaleWindowExt(p.s16(6), p.s16(4), p.s16(2), p.s16(0));
        return true;
    case wmf::ScaleViewportExt:
        canvas_.scaleViewportExt(p.s16(6), p.s16(4), p.s16(2), p.s16(0));
        return true;
    default:
        return false;
    }
}

bool WmfPlayer::state(std::uint16_t function, ByteSpan p)
{
    switch (function) {
    case wmf::SetBkMode:
        canvas_.setBackgroundMode(p.u16(0));
        return true;
    case wmf::SetPolyFillMode:
        canvas_.setFillMode(p.u16(0));
        return true;
    case wmf::SetTextAlign:
        canvas_.setTextAlign(p.u16(0));
        return true;
    case wmf::SetBkColor:
        canvas_.setBackgroundColor(colourAt(p, 0));
        return true;
    case wmf::SetTextColor:
        canvas_.setTextColor(colourAt(p, 0));
        return true;
    case wmf::SaveDc:
        canvas_.saveState();
        return true;
    case wmf::RestoreDc:
        canvas_.restoreState(p.s16(0));
        return true;
    case wmf::ExcludeClipRect:
        canvas_.excludeClipRect(reversedRect(p, 0));
        return true;
    case wmf::IntersectClipRect:
        canvas_.intersectClipRect(reversedRect(p, 0));
        return true;
    default:
        return false;
    }
}

bool WmfPlayer::figure(std::uint16_t function, ByteSpan p)
{
    using Arc = MetafileCanvas::ArcKind;
    switch (function) {
    case wmf::LineTo:
        canvas_.lineTo(pointAt(p, 0));
        return true;
    case wmf::MoveTo:
        canvas_.moveTo(pointAt(p, 0));
        return true;
    case wmf::Polygon:
        canvas_.polygon(points16At(p, 2, p.u16(0)));
        return true;
    case wmf::Polyline:
        canvas_.polyline(points16At(p, 2, p.u16(0)));
        return true;
    case wmf::PolyPolygon:
        polyPolygon(p);
        return true;
    case wmf::Rectangle:
        canvas_.rectangle(reversedRect(p, 0));
        return true;
    case wmf::RoundRect:
        canvas_.roundRect(reversedRect(p, 4), QSizeF(p.s16(2), p.s16(0)));
        return true;
    case wmf::Ellipse:
        canvas_.ellipse(reversedRect(p, 0));
        return true;
    case wmf::Arc:
    case wmf::Pie:
    case wmf::Chord:
        canvas_.arc(reversedRect(p, 8),
            pointAt(p, 4),
            pointAt(p, 0),
            function == wmf::Arc       ? Arc::Arc
                : function == wmf::Pie ? Arc::Pie
                                       : Arc::Chord);
        return true;
    case wmf::SetPixel:
        canvas_.setPixel(pointAt(p, 4), colourAt(p, 0));
        return true;
    case wmf::TextOut:
        text(p);
        return true;
    case wmf::ExtTextOut:
        extText(p);
        return true;
    default:
        return false;
    }
}

void WmfPlayer::polyPolygon(ByteSpan p)
{
    const std::size_t count = p.u16(0);
    std::size_t at = 2 + 2 * count;
    std::vector<QPolygonF> polygons;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t points = p.u16(2 + 2 * i);
        polygons.push_back(points16At(p, at, points));
        at += 4 * points;
    }
    canvas_.polyPolygon(polygons);
}

void WmfPlayer::text(ByteSpan p)
{
    const std::size_t length = p.u16(0);
    const std::size_t after = 2 + (length + 1) / 2 * 2;
    canvas_.text(pointAt(p, after), ansiText(p.sub(2, length)), {}, 0, std::nullopt);
}

void WmfPlayer::extText(ByteSpan p)
{
    const std::size_t length = std::size_t(std::max(0, int(p.s16(4))));
    const std::uint16_t options = p.u16(6);
    std::size_t at = 8;
    std::optional<QRectF> box;
    if (options & (textOption::Opaque | textOption::Clipped)) {
        box = QRectF(QPointF(p.s16(8), p.s16(10)), QPointF(p.s16(12), p.s16(14)));
        at += 8;
    }
    const QString string = ansiText(p.sub(at, length));
    at += (length + 1) / 2 * 2;
    std::vector<double> advances;
    if (p.has(at, 2 * length) && length > 0) {
        for (std::size_t i = 0; i < length; ++i)
            advances.push_back(p.s16(at + 2 * i));
    }
    canvas_.text(pointAt(p, 0), string, advances, options, box);
}

// A new object takes the lowest free slot of the table.
bool WmfPlayer::object(std::uint16_t function, ByteSpan p)
{
    switch (function) {
    case wmf::SelectObject:
        if (const MetaObject *object = objects_.find(p.u16(0)))
            canvas_.select(*object);
        return true;
    case wmf::DeleteObject:
        objects_.remove(p.u16(0));
        return true;
    case wmf::CreatePenIndirect:
        objects_.putInFreeSlot(penAt(p));
        return true;
    case wmf::CreateBrushIndirect:
        objects_.putInFreeSlot(MetaBrush::logical(p.u16(0), colourAt(p, 2), p.u16(6)));
        return true;
    case wmf::CreateFontIndirect:
        objects_.putInFreeSlot(fontAt(p));
        return true;
    case wmf::DibCreatePatternBrush: {
        // A pattern brush from a bitmap; the old device-dependent form is drawn solid black.
        QImage pattern;
        if (p.u16(0) != BrushPattern)
            pattern = decodePackedDib(p.sub(4, p.size() - 4), p.u16(2));
        objects_.putInFreeSlot(MetaBrush::patterned(pattern));
        return true;
    }
    case wmf::CreatePalette:
    case wmf::CreatePatternBrush: // of a device-dependent bitmap, not drawn
    case wmf::CreateRegion:
        objects_.putInFreeSlot(std::monostate());
        return true;
    default:
        return false;
    }
}

bool WmfPlayer::bitmap(std::uint16_t function, ByteSpan p, bool withBitmap)
{
    const std::uint32_t rasterOp = p.u32(0);
    bool bottomUp = false;
    switch (function) {
    case wmf::PatBlt: // pattern fill
        canvas_.blit(QRectF(p.s16(10), p.s16(8), p.s16(6), p.s16(4)), {}, {}, rasterOp);
        return true;
    case wmf::DibBitBlt: // DIB bit-block transfer
    case wmf::BitBlt: { // the same from a device-dependent bitmap
        if (!withBitmap) {
            canvas_.blit(QRectF(p.s16(16), p.s16(14), p.s16(12), p.s16(10)), {}, {}, rasterOp);
            return true;
        }
        const ByteSpan b = p.sub(16, p.size() - 16);
        const QImage image = function == wmf::DibBitBlt ? decodePackedDib(b, 0) : decodeBitmap16(b);
        const QRectF from(p.s16(6), p.s16(4), p.s16(10), p.s16(8));
        canvas_.blit(QRectF(p.s16(14), p.s16(12), p.s16(10), p.s16(8)), image, from, rasterOp);
        return true;
    }
    case wmf::DibStretchBlt: // DIB stretching transfer
    case wmf::StretchBlt: { // the same from a device-dependent bitmap
        if (!withBitmap) {
            canvas_.blit(QRectF(p.s16(20), p.s16(18), p.s16(16), p.s16(14)), {}, {}, rasterOp);
            return true;
        }
        const ByteSpan b = p.sub(20, p.size() - 20);
        const QImage image =
            function == wmf::DibStretchBlt ? decodePackedDib(b, 0) : decodeBitmap16(b);
        const QRectF from(p.s16(10), p.s16(8), p.s16(6), p.s16(4));
        canvas_.blit(QRectF(p.s16(18), p.s16(16), p.s16(14), p.s16(12)), image, from, rasterOp);
        return true;
    }
    case wmf::StretchDib: { // stretched DIB
        const QImage image = decodePackedDib(p.sub(22, p.size() - 22), p.u16(4), &bottomUp);
        const QRectF from = sourceRect(image, bottomUp, p.s16(12), p.s16(10), p.s16(8), p.s16(6));
        canvas_.blit(QRectF(p.s16(20), p.s16(18), p.s16(16), p.s16(14)), image, from, rasterOp);
        return true;
    }
    case wmf::SetDiBitsToDevice: { // DIB to the device, unscaled
        const QImage image = decodePackedDib(p.sub(18, p.size() - 18), p.u16(0), &bottomUp);
        const double w = p.s16(12);
        const double h = p.s16(10);
        const QRectF from = sourceRect(image, bottomUp, p.s16(8), p.s16(6), w, h);
        canvas_.blit(QRectF(p.s16(16), p.s16(14), w, h), image, from, rop::SrcCopy);
        return true;
    }
    default:
        return false; // records not drawn here are skipped
    }
}

} // namespace

QImage playPlaceableMetafile(ByteSpan file, const PlayLimits &limits)
{
    const std::int64_t inch = file.u16(14);
    if (inch == 0)
        invalidMetafile();
    const QRectF box(QPointF(file.s16(6), file.s16(8)), QPointF(file.s16(10), file.s16(12)));
    QImage image = transparentImage(screenPixels(std::int64_t(box.width()), inch),
        screenPixels(std::int64_t(box.height()), inch),
        limits);

    const ByteSpan header = file.sub(kPlaceableHeaderSize, 18);
    const std::size_t headerWords = header.u16(2);
    if (headerWords < 9)
        invalidMetafile();
    const QSizeF extent(std::abs(box.width()) * kScreenDpi / double(inch),
        std::abs(box.height()) * kScreenDpi / double(inch));
    {
        WmfPlayer player(image, box, extent, header.u16(10));
        player.play(file, kPlaceableHeaderSize + 2 * headerWords);
    }
    return image;
}

} // namespace metafile
