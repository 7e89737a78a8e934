#include "metafile/metafilecanvas.h"
#include "metafile/metafiledib.h"
#include "metafile/metafilegeometry.h"
#include "metafile/metafileplayer.h"
#include "metafile/metafilerecords.h"

#include <cmath>
#include <cstdlib>

namespace metafile {

namespace {

// The frame of the header is in hundredths of a millimetre.
constexpr std::int64_t kFrameUnitsPerInch = 2540;

QPointF pointAt(ByteSpan r, std::size_t at)
{
    return QPointF(r.s32(at), r.s32(at + 4));
}

QRectF rectAt(ByteSpan r, std::size_t at)
{
    return QRectF(pointAt(r, at), pointAt(r, at + 8));
}

QTransform transformAt(ByteSpan r, std::size_t at)
{
    return QTransform(
        r.f32(at), r.f32(at + 4), r.f32(at + 8), r.f32(at + 12), r.f32(at + 16), r.f32(at + 20));
}

QPolygonF pointsAt(ByteSpan r, std::size_t at, std::size_t count, bool small)
{
    const std::size_t size = small ? 4 : 8;
    if (count > r.size() / size)
        invalidMetafile();
    if (small)
        return points16At(r, at, count);
    const ByteSpan all = r.sub(at, size * count);
    QPolygonF points;
    points.reserve(qsizetype(count));
    for (std::size_t i = 0; i < count; ++i)
        points.append(pointAt(all, 8 * i));
    return points;
}

// The rectangles of a region, in device units.
std::vector<QRectF> regionAt(ByteSpan r, std::size_t at, std::size_t size)
{
    std::vector<QRectF> rects;
    if (size == 0)
        return rects;
    const ByteSpan data = r.sub(at, size);
    const std::size_t count = data.u32(8);
    if (count > data.size() / 16)
        invalidMetafile();
    const ByteSpan all = data.sub(32, 16 * count);
    for (std::size_t i = 0; i < count; ++i)
        rects.push_back(rectAt(all, 16 * i));
    return rects;
}

class EmfPlayer {
public:
    EmfPlayer(MetafileCanvas canvas, std::size_t handles)
        : canvas_(std::move(canvas))
        , objects_(handles)
    { }

    void play(ByteSpan file, std::size_t offset);

private:
    void record(std::uint32_t type, ByteSpan r);
    bool mapping(std::uint32_t type, ByteSpan r);
    bool state(std::uint32_t type, ByteSpan r);
    bool figure(std::uint32_t type, ByteSpan r);
    bool path(std::uint32_t type, ByteSpan r);
    bool object(std::uint32_t type, ByteSpan r);
    bool bitmap(std::uint32_t type, ByteSpan r);
    bool poly(std::uint32_t type, ByteSpan r);
    void polyPoly(ByteSpan r, bool small, bool polygons);
    void text(ByteSpan r, bool wide);
    void smallText(ByteSpan r);
    void create(std::size_t index, MetaObject object);
    void select(std::uint32_t index);
    [[nodiscard]] QImage dib(ByteSpan r,
        std::size_t at,
        std::uint32_t usage,
        bool *bottomUp = nullptr,
        bool alpha = false) const;

    MetafileCanvas canvas_;
    MetaObjectTable objects_;
};

void EmfPlayer::play(ByteSpan file, std::size_t offset)
{
    while (offset < file.size()) {
        const std::uint32_t type = file.u32(offset);
        const std::uint32_t size = file.u32(offset + 4);
        if (size < 8 || !file.has(offset, size))
            invalidMetafile();
        if (type == emr::Eof)
            return;
        record(type, file.sub(offset, size));
        offset += size;
    }
}

void EmfPlayer::record(std::uint32_t type, ByteSpan r)
{
    if (!mapping(type, r) && !state(type, r) && !figure(type, r) && !path(type, r)
        && !object(type, r))
        bitmap(type, r); // records not drawn here are skipped
}

// How coordinates become pixels: window, viewport, mapping mode and world transform.
bool EmfPlayer::mapping(std::uint32_t type, ByteSpan r)
{
    switch (type) {
    case emr::SetWindowExtEx:
        canvas_.setWindowExt(QSizeF(r.s32(8), r.s32(12)));
        return true;
    case emr::SetWindowOrgEx:
        canvas_.setWindowOrg(pointAt(r, 8));
        return true;
    case emr::SetViewportExtEx:
        canvas_.setViewportExt(QSizeF(r.s32(8), r.s32(12)));
        return true;
    case emr::SetViewportOrgEx:
        canvas_.setViewportOrg(pointAt(r, 8));
        return true;
    case emr::SetMapMode:
        canvas_.setMapMode(r.u32(8));
        return true;
    case emr::ScaleViewportExtEx:
        canvas_.scaleViewportExt(r.s32(8), r.s32(12), r.s32(16), r.s32(20));
        return true;
    case emr::ScaleWindowExtEx:
        canvas_.scaleWindowExt(r.s32(8), r.s32(12), r.s32(16), r.s32(20));
        return true;
    case emr::SetWorldTransform:
        canvas_.setWorldTransform(transformAt(r, 8));
        return true;
    case emr::ModifyWorldTransform:
        canvas_.modifyWorldTransform(transformAt(r, 8), r.u32(32));
        return true;
    default:
        return false;
    }
}

bool EmfPlayer::state(std::uint32_t type, ByteSpan r)
{
    switch (type) {
    case emr::SetBkMode:
        canvas_.setBackgroundMode(r.u32(8));
        return true;
    case emr::SetPolyFillMode:
        canvas_.setFillMode(r.u32(8));
        return true;
    case emr::SetTextAlign:
        canvas_.setTextAlign(r.u32(8));
        return true;
    case emr::SetTextColor:
        canvas_.setTextColor(colourAt(r, 8));
        return true;
    case emr::SetBkColor:
        canvas_.setBackgroundColor(colourAt(r, 8));
        return true;
    case emr::ExcludeClipRect:
        canvas_.excludeClipRect(rectAt(r, 8));
        return true;
    case emr::IntersectClipRect:
        canvas_.intersectClipRect(rectAt(r, 8));
        return true;
    case emr::SaveDc:
        canvas_.saveState();
        return true;
    case emr::RestoreDc:
        canvas_.restoreState(r.s32(8));
        return true;
    case emr::SetArcDirection:
        canvas_.setArcDirection(r.u32(8));
        return true;
    case emr::ExtSelectClipRgn:
        canvas_.selectClipDeviceRects(regionAt(r, 16, r.u32(8)), r.u32(12));
        return true;
    default:
        return false;
    }
}

bool EmfPlayer::figure(std::uint32_t type, ByteSpan r)
{
    using Arc = MetafileCanvas::ArcKind;
    switch (type) {
    case emr::MoveToEx:
        canvas_.moveTo(pointAt(r, 8));
        return true;
    case emr::LineTo:
        canvas_.lineTo(pointAt(r, 8));
        return true;
    case emr::SetPixelV:
        canvas_.setPixel(pointAt(r, 8), colourAt(r, 16));
        return true;
    case emr::Ellipse:
        canvas_.ellipse(rectAt(r, 8));
        return true;
    case emr::Rectangle:
        canvas_.rectangle(rectAt(r, 8));
        return true;
    case emr::RoundRect:
        canvas_.roundRect(rectAt(r, 8), QSizeF(r.s32(24), r.s32(28)));
        return true;
    case emr::Arc:
    case emr::Chord:
    case emr::Pie:
    case emr::ArcTo: {
        const Arc kind = type == emr::Arc ? Arc::Arc
            : type == emr::Chord          ? Arc::Chord
            : type == emr::Pie            ? Arc::Pie
                                          : Arc::ArcTo;
        canvas_.arc(rectAt(r, 8), pointAt(r, 24), pointAt(r, 32), kind);
        return true;
    }
    case emr::AngleArc:
        canvas_.angleArc(pointAt(r, 8), r.u32(16), r.f32(20), r.f32(24));
        return true;
    case emr::ExtTextOutA:
    case emr::ExtTextOutW:
        text(r, type == emr::ExtTextOutW);
        return true;
    case emr::SmallTextOut:
        smallText(r);
        return true;
    default:
        return poly(type, r);
    }
}

bool EmfPlayer::poly(std::uint32_t type, ByteSpan r)
{
    // The 16-bit forms mirror the 32-bit ones, in the same order.
    const bool small = type >= emr::PolyBezier16 && type <= emr::PolyPolygon16;
    const std::uint32_t wide = small ? type - (emr::PolyBezier16 - emr::PolyBezier) : type;
    switch (wide) {
    case emr::PolyBezier:
        canvas_.polyBezier(pointsAt(r, 28, r.u32(24), small));
        return true;
    case emr::Polygon:
        canvas_.polygon(pointsAt(r, 28, r.u32(24), small));
        return true;
    case emr::Polyline:
        canvas_.polyline(pointsAt(r, 28, r.u32(24), small));
        return true;
    case emr::PolyBezierTo:
        canvas_.polyBezierTo(pointsAt(r, 28, r.u32(24), small));
        return true;
    case emr::PolylineTo:
        canvas_.polylineTo(pointsAt(r, 28, r.u32(24), small));
        return true;
    case emr::PolyPolyline:
    case emr::PolyPolygon:
        polyPoly(r, small, wide == emr::PolyPolygon);
        return true;
    default:
        return false;
    }
}

void EmfPlayer::polyPoly(ByteSpan r, bool small, bool polygons)
{
    const std::size_t count = r.u32(24);
    const std::size_t total = r.u32(28);
    if (count > r.size() / 4)
        invalidMetafile();
    const ByteSpan counts = r.sub(32, 4 * count);
    const QPolygonF points = pointsAt(r, 32 + 4 * count, total, small);
    std::vector<QPolygonF> figures;
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t n = counts.u32(4 * i);
        if (n > total - at)
            invalidMetafile();
        figures.push_back(points.mid(qsizetype(at), qsizetype(n)));
        at += n;
    }
    if (polygons) {
        canvas_.polyPolygon(figures);
    } else {
        for (const QPolygonF &f : figures)
            canvas_.polyline(f);
    }
}

void EmfPlayer::text(ByteSpan r, bool wide)
{
    const std::size_t count = r.u32(44);
    const std::size_t offset = r.u32(48);
    const std::uint32_t options = r.u32(52);
    const std::size_t advancesAt = r.u32(72);
    if (count > r.size())
        invalidMetafile();
    const QString string =
        wide ? wideText(r.sub(offset, 2 * count)) : ansiText(r.sub(offset, count));
    std::vector<double> advances;
    if (advancesAt != 0 && count > 0) {
        // With paired advances each character has a vertical one too, which is left out.
        const std::size_t step = options & textOption::PairedAdvances ? 8 : 4;
        const ByteSpan all = r.sub(advancesAt, step * count);
        for (std::size_t i = 0; i < count; ++i)
            advances.push_back(all.s32(step * i));
    }
    const QRectF box = rectAt(r, 56);
    canvas_.text(pointAt(r, 36),
        string,
        advances,
        options,
        box.isNull() ? std::nullopt : std::optional(box));
}

void EmfPlayer::smallText(ByteSpan r)
{
    const std::size_t count = r.u32(16);
    const std::uint32_t options = r.u32(20);
    std::size_t at = 36;
    std::optional<QRectF> box;
    if (!(options & textOption::NoRect)) {
        box = rectAt(r, at);
        at += 16;
    }
    if (count > r.size())
        invalidMetafile();
    const QString string = options & textOption::SmallChars ? ansiText(r.sub(at, count))
                                                            : wideText(r.sub(at, 2 * count));
    canvas_.text(pointAt(r, 8), string, {}, options, box);
}

bool EmfPlayer::path(std::uint32_t type, ByteSpan r)
{
    switch (type) {
    case emr::BeginPath:
        canvas_.beginPath();
        return true;
    case emr::EndPath:
        canvas_.endPath();
        return true;
    case emr::CloseFigure:
        canvas_.closeFigure();
        return true;
    case emr::FillPath:
        canvas_.fillPath();
        return true;
    case emr::StrokeAndFillPath:
        canvas_.strokeAndFillPath();
        return true;
    case emr::StrokePath:
        canvas_.strokePath();
        return true;
    case emr::SelectClipPath:
        canvas_.selectClipPath(r.u32(8));
        return true;
    case emr::AbortPath:
        canvas_.abortPath();
        return true;
    default:
        return false;
    }
}

bool EmfPlayer::object(std::uint32_t type, ByteSpan r)
{
    switch (type) {
    case emr::SelectObject:
        select(r.u32(8));
        return true;
    case emr::DeleteObject:
        objects_.remove(r.u32(8));
        return true;
    case emr::CreatePen: {
        MetaPen pen;
        pen.style = r.u32(12);
        pen.width = std::abs(r.s32(16));
        pen.color = colourAt(r, 24);
        create(r.u32(8), pen);
        return true;
    }
    case emr::ExtCreatePen: {
        // An extended pen: a cosmetic one is a pixel wide whatever its width says.
        MetaPen pen;
        pen.style = r.u32(28);
        pen.width = pen.style & penStyle::Geometric ? r.u32(32) : 0;
        pen.color = colourAt(r, 40);
        if (r.u32(36) == BrushNull)
            pen.style = (pen.style & ~penStyle::DashMask) | penStyle::Null;
        create(r.u32(8), pen);
        return true;
    }
    case emr::CreateBrushIndirect:
        create(r.u32(8), MetaBrush::logical(r.u32(12), colourAt(r, 16), r.u32(20)));
        return true;
    case emr::CreateMonoBrush:
    case emr::CreateDibPatternBrushPt:
        create(r.u32(8), MetaBrush::patterned(dib(r, 16, r.u32(12))));
        return true;
    case emr::ExtCreateFontIndirectW: {
        MetaFont font;
        font.height = r.s32(12);
        font.escapement = r.s32(20);
        font.weight = r.s32(28);
        font.italic = r.u8(32);
        font.underline = r.u8(33);
        font.strikeOut = r.u8(34);
        create(r.u32(8), font);
        return true;
    }
    case emr::CreatePalette:
        create(r.u32(8), std::monostate());
        return true;
    default:
        return false;
    }
}

void EmfPlayer::create(std::size_t index, MetaObject object)
{
    // Slot 0 stands for the metafile itself.
    if (index != 0)
        objects_.put(index, std::move(object));
}

void EmfPlayer::select(std::uint32_t index)
{
    if (index & stock::Flag) {
        const std::uint32_t object = index & ~stock::Flag;
        static constexpr int greys[] = {255, 192, 128, 64, 0};
        if (object <= stock::BlackBrush) {
            const int grey = greys[object];
            canvas_.setBrush(MetaBrush::logical(BrushSolid, QColor(grey, grey, grey), 0));
        } else if (object == stock::NullBrush) {
            canvas_.setBrush(MetaBrush::logical(BrushNull, Qt::white, 0));
        } else if (object >= stock::WhitePen && object <= stock::NullPen) {
            MetaPen pen;
            pen.color = object == stock::WhitePen ? Qt::white : Qt::black;
            pen.style = object == stock::NullPen ? penStyle::Null : 0;
            canvas_.setPen(pen);
        } else if (object >= stock::FirstFont && object <= stock::LastFont) {
            canvas_.setFont(MetaFont());
        } else if (object == stock::DcBrush) {
            canvas_.setBrush(MetaBrush());
        } else if (object == stock::DcPen) {
            canvas_.setPen(MetaPen());
        }
        return;
    }
    if (const MetaObject *object = objects_.find(index))
        canvas_.select(*object);
}

// A bitmap given by four words at `at`: offset and size of its header, offset and size of its
// pixels, each offset from the record's start.
QImage EmfPlayer::dib(
    ByteSpan r, std::size_t at, std::uint32_t usage, bool *bottomUp, bool alpha) const
{
    const ByteSpan info = r.sub(r.u32(at), r.u32(at + 4));
    const ByteSpan bits = r.sub(r.u32(at + 8), r.u32(at + 12));
    return decodeDib(info, bits, usage, bottomUp, alpha);
}

bool EmfPlayer::bitmap(std::uint32_t type, ByteSpan r)
{
    bool bottomUp = false;
    switch (type) {
    case emr::BitBlt: // bit-block transfer
    case emr::StretchBlt: { // stretching one
        const QRectF to(r.s32(24), r.s32(28), r.s32(32), r.s32(36));
        const std::uint32_t rasterOp = r.u32(40);
        if (r.u32(88) == 0) {
            canvas_.blit(to, {}, {}, rasterOp);
            return true;
        }
        const QImage image = dib(r, 84, r.u32(80));
        const QSizeF size = type == emr::StretchBlt ? QSizeF(r.s32(100), r.s32(104)) : to.size();
        canvas_.blit(to, image, QRectF(QPointF(r.s32(44), r.s32(48)), size), rasterOp);
        return true;
    }
    case emr::AlphaBlend: { // blended with its alpha: the stretching layout, a blend function for a
                            // rop
        if (r.u32(88) == 0)
            return true;
        const bool perPixel = r.u8(43) & 1;
        const QImage image = dib(r, 84, r.u32(80), nullptr, perPixel);
        const QRectF from(QPointF(r.s32(44), r.s32(48)), QSizeF(r.s32(100), r.s32(104)));
        canvas_.blit(QRectF(r.s32(24), r.s32(28), r.s32(32), r.s32(36)),
            image,
            from,
            rop::SrcCopy,
            r.u8(42) / 255.0);
        return true;
    }
    case emr::StretchDiBits: { // stretched DIB
        const QImage image = r.u32(52) == 0 ? QImage() : dib(r, 48, r.u32(64), &bottomUp);
        const QRectF from = sourceRect(image, bottomUp, r.s32(32), r.s32(36), r.s32(40), r.s32(44));
        canvas_.blit(QRectF(r.s32(24), r.s32(28), r.s32(72), r.s32(76)), image, from, r.u32(68));
        return true;
    }
    case emr::SetDiBitsToDevice: { // DIB to the device, unscaled
        if (r.u32(52) == 0)
            return true;
        const QImage image = dib(r, 48, r.u32(64), &bottomUp);
        const double w = r.s32(40);
        const double h = r.s32(44);
        const QRectF from = sourceRect(image, bottomUp, r.s32(32), r.s32(36), w, h);
        canvas_.blit(QRectF(r.s32(24), r.s32(28), w, h), image, from, rop::SrcCopy);
        return true;
    }
    case emr::FillRgn: { // region filled with a brush
        if (const MetaObject *object = objects_.find(r.u32(28)))
            if (const auto *brush = std::get_if<MetaBrush>(object))
                canvas_.fillDeviceRects(regionAt(r, 32, r.u32(24)), *brush);
        return true;
    }
    default:
        return false;
    }
}

} // namespace

QImage playEnhancedMetafile(ByteSpan file, const PlayLimits &limits)
{
    const std::size_t headerSize = file.u32(4);
    if (headerSize < kEmfMinimalHeaderSize || headerSize > file.size())
        invalidMetafile();
    const ByteSpan header = file.sub(0, headerSize);
    const QRectF frame = rectAt(header, 24);
    QImage image = transparentImage(
        screenPixels(std::int64_t(header.s32(32)) - header.s32(24), kFrameUnitsPerInch),
        screenPixels(std::int64_t(header.s32(36)) - header.s32(28), kFrameUnitsPerInch),
        limits);

    // The reference device's pixels per millimetre, preferring its size in micrometres.
    QSizeF millimetres(header.s32(80), header.s32(84));
    if (headerSize >= 108 && header.s32(100) > 0 && header.s32(104) > 0)
        millimetres = QSizeF(header.s32(100) / 1000.0, header.s32(104) / 1000.0);
    QSizeF perMm(header.s32(72) / millimetres.width(), header.s32(76) / millimetres.height());
    if (!(perMm.width() > 0 && perMm.height() > 0 && std::isfinite(perMm.width())
            && std::isfinite(perMm.height())))
        perMm = QSizeF(kScreenDpi / 25.4, kScreenDpi / 25.4);
    const QRectF deviceFrame(frame.left() * perMm.width() / 100,
        frame.top() * perMm.height() / 100,
        frame.width() * perMm.width() / 100,
        frame.height() * perMm.height() / 100);

    {
        EmfPlayer player(MetafileCanvas::enhanced(image, perMm, deviceFrame), header.u16(56));
        player.play(file, headerSize);
    }
    return image;
}

} // namespace metafile
