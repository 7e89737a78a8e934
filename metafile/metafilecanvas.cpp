#include "metafile/metafilecanvas.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace metafile {

namespace {

// Farther than this from the picture, in pixels, a figure is not drawn: no metafile of a sane
// size reaches there, and the rasteriser works in fixed point that does not either.
constexpr double kFar = 1e6;
// Clips grown more complex than this stop changing: a clip of thousands of pieces is a
// malicious file, and the path operations on it are quadratic.
constexpr int kMaxClipElements = 4096;
// Saved states beyond this are not kept.
constexpr std::size_t kMaxSavedStates = 4096;
constexpr double kMaxPenWidth = 10000;
constexpr double kMaxFontPixels = 20000;
constexpr std::size_t kMaxObjects = 65536;

bool finite(const QTransform &t)
{
    return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21())
        && std::isfinite(t.m22()) && std::isfinite(t.dx()) && std::isfinite(t.dy());
}

bool nearby(QPointF p)
{
    return std::abs(p.x()) <= kFar && std::abs(p.y()) <= kFar; // false for NaN too
}

bool nearby(const QRectF &r)
{
    return nearby(r.topLeft()) && nearby(r.bottomRight());
}

bool axisAligned(const QTransform &t)
{
    return t.m12() == 0 && t.m21() == 0;
}

QPointF rounded(QPointF p)
{
    return {std::round(p.x()), std::round(p.y())};
}

// A rectangle drawn by the pen: its outline lies on its left and top edges and one pixel inside
// its right and bottom ones, so that the figure covers [left, right) × [top, bottom).
QRectF inside(const QRectF &r)
{
    return {r.x(), r.y(), std::max(r.width() - 1, 0.0), std::max(r.height() - 1, 0.0)};
}

// The same for a curve, whose outline the rasteriser puts on the pixels it passes through
// rather than right of and below its coordinates: centred on the pixels' centres.
QRectF insideCurve(const QRectF &r)
{
    return inside(r).translated(0.5, 0.5);
}

double degreesOf(QPointF p, const QRectF &box)
{
    const QPointF c = box.center();
    const double rx = box.width() / 2;
    const double ry = box.height() / 2;
    const double dx = rx > 0 ? (p.x() - c.x()) / rx : p.x() - c.x();
    const double dy = ry > 0 ? (p.y() - c.y()) / ry : p.y() - c.y();
    return std::atan2(-dy, dx) * 180 / M_PI;
}

Qt::BrushStyle hatchStyle(std::uint32_t hatch)
{
    switch (hatch) {
    case 0:
        return Qt::HorPattern;
    case 1:
        return Qt::VerPattern;
    case 2:
        return Qt::FDiagPattern;
    case 3:
        return Qt::BDiagPattern;
    case 4:
        return Qt::CrossPattern;
    default:
        return Qt::DiagCrossPattern;
    }
}

QBrush qtBrush(const MetaBrush &brush)
{
    switch (brush.style) {
    case MetaBrush::Style::Solid:
        return QBrush(brush.color);
    case MetaBrush::Style::Hatched:
        return QBrush(brush.color, hatchStyle(brush.hatch));
    case MetaBrush::Style::Pattern:
        return brush.pattern.isNull() ? QBrush(Qt::NoBrush) : QBrush(brush.pattern);
    case MetaBrush::Style::Null:
        break;
    }
    return QBrush(Qt::NoBrush);
}

// Pixels of one colour made transparent: what an AND with white or an OR with black leaves
// unchanged, which is how masks and their images are combined.
QImage withoutColour(const QImage &source, QRgb colour)
{
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & 0xffffff) == (colour & 0xffffff))
                line[x] = 0;
    }
    return image;
}

QImage forRasterOp(const QImage &source, std::uint32_t rasterOp)
{
    switch (rasterOp) {
    case rop::SrcAnd:
        return withoutColour(source, qRgb(255, 255, 255));
    case rop::SrcPaint:
        return withoutColour(source, qRgb(0, 0, 0));
    case rop::NotSrcCopy: {
        QImage image = source.convertToFormat(QImage::Format_RGB32);
        image.invertPixels();
        return image;
    }
    default:
        return source;
    }
}

} // namespace

MetafileCanvas::MetafileCanvas(
    QImage &image, bool placeable, QSizeF devicePixelsPerMm, const QTransform &deviceToPicture)
    : image_(&image)
    , placeable_(placeable)
    , devicePixelsPerMm_(devicePixelsPerMm)
    , deviceToPicture_(deviceToPicture)
{
    if (!image.isNull())
        painter_ = std::make_unique<QPainter>(&image);
}

MetafileCanvas MetafileCanvas::placeable(QImage &image, const QRectF &box, QSizeF extent)
{
    MetafileCanvas canvas(image, true, {}, {});
    canvas.state_.mapMode = MmAnisotropic;
    canvas.state_.windowOrg = box.topLeft();
    canvas.setWindowExt(box.size());
    canvas.state_.viewportExt = extent.isEmpty() ? QSizeF(1, 1) : extent;
    return canvas;
}

MetafileCanvas MetafileCanvas::enhanced(
    QImage &image, QSizeF devicePixelsPerMm, const QRectF &deviceFrame)
{
    // The frame, in the reference device's pixels, fills the picture.
    QTransform toPicture;
    const QRectF frame = deviceFrame.normalized();
    if (frame.width() > 0 && frame.height() > 0 && !image.isNull())
        toPicture = QTransform::fromTranslate(-frame.left(), -frame.top())
            * QTransform::fromScale(image.width() / frame.width(), image.height() / frame.height());
    return MetafileCanvas(image, false, devicePixelsPerMm, toPicture);
}

// Mapping

MetaBrush MetaBrush::logical(std::uint32_t style, QColor color, std::uint32_t hatch)
{
    MetaBrush brush;
    brush.style = style == BrushNull ? Style::Null
        : style == BrushHatched      ? Style::Hatched
                                     : Style::Solid;
    brush.color = color;
    brush.hatch = hatch;
    return brush;
}

MetaBrush MetaBrush::patterned(QImage pattern)
{
    MetaBrush brush;
    brush.color = Qt::black;
    brush.style = pattern.isNull() ? Style::Solid : Style::Pattern;
    brush.pattern = std::move(pattern);
    return brush;
}

void MetaObjectTable::put(std::size_t index, MetaObject object)
{
    if (index >= kMaxObjects)
        return;
    if (index >= slots_.size())
        slots_.resize(index + 1);
    slots_[index] = std::move(object);
}

void MetaObjectTable::putInFreeSlot(MetaObject object)
{
    for (auto &slot : slots_) {
        if (!slot) {
            slot = std::move(object);
            return;
        }
    }
    if (slots_.size() < kMaxObjects)
        slots_.emplace_back(std::move(object));
}

void MetaObjectTable::remove(std::size_t index)
{
    if (index < slots_.size())
        slots_[index].reset();
}

const MetaObject *MetaObjectTable::find(std::size_t index) const
{
    if (index >= slots_.size() || !slots_[index])
        return nullptr;
    return &*slots_[index];
}

void MetafileCanvas::select(const MetaObject &object)
{
    if (const auto *pen = std::get_if<MetaPen>(&object))
        setPen(*pen);
    else if (const auto *brush = std::get_if<MetaBrush>(&object))
        setBrush(*brush);
    else if (const auto *font = std::get_if<MetaFont>(&object))
        setFont(*font);
}

void MetafileCanvas::setMapMode(std::uint32_t mode)
{
    if (mode < MmText || mode > MmAnisotropic)
        return;
    // The window of a placeable metafile always fills its bounding box; only the isotropic mode
    // changes how.
    if (placeable_)
        mode = mode == MmIsotropic ? MmIsotropic : MmAnisotropic;
    state_.mapMode = mode;
}

void MetafileCanvas::setWindowExt(QSizeF s)
{
    if (s.width() != 0 && s.height() != 0)
        state_.windowExt = s;
}

// The viewport of a placeable metafile is the picture itself: the recording device's pixels it
// might name have no meaning here.
void MetafileCanvas::setViewportOrg(QPointF p)
{
    if (!placeable_)
        state_.viewportOrg = p;
}

void MetafileCanvas::setViewportExt(QSizeF s)
{
    if (!placeable_ && s.width() != 0 && s.height() != 0)
        state_.viewportExt = s;
}

void MetafileCanvas::offsetViewportOrg(QPointF d)
{
    if (!placeable_)
        state_.viewportOrg += d;
}

void MetafileCanvas::scaleWindowExt(double xNum, double xDenom, double yNum, double yDenom)
{
    if (xDenom != 0 && yDenom != 0)
        setWindowExt(
            {state_.windowExt.width() * xNum / xDenom, state_.windowExt.height() * yNum / yDenom});
}

void MetafileCanvas::scaleViewportExt(double xNum, double xDenom, double yNum, double yDenom)
{
    if (xDenom != 0 && yDenom != 0)
        setViewportExt({state_.viewportExt.width() * xNum / xDenom,
            state_.viewportExt.height() * yNum / yDenom});
}

void MetafileCanvas::setWorldTransform(const QTransform &t)
{
    if (finite(t) && t.isInvertible())
        state_.world = t;
}

void MetafileCanvas::modifyWorldTransform(const QTransform &t, std::uint32_t mode)
{
    switch (mode) {
    case WorldIdentity:
        state_.world = QTransform();
        break;
    case WorldLeftMultiply:
        setWorldTransform(t * state_.world);
        break;
    case WorldRightMultiply:
        setWorldTransform(state_.world * t);
        break;
    case WorldSet:
        setWorldTransform(t);
        break;
    default:
        break;
    }
}

QTransform MetafileCanvas::toPixels() const
{
    const State &s = state_;
    double sx = 1;
    double sy = 1;
    // Fixed modes: first the logical unit in millimetres.
    switch (s.mapMode) {
    case MmLoMetric:
        sx = 0.1;
        break;
    case MmHiMetric:
        sx = 0.01;
        break;
    case MmLoEnglish:
        sx = 0.254;
        break;
    case MmHiEnglish:
        sx = 0.0254;
        break;
    case MmTwips:
        sx = 25.4 / 1440;
        break;
    default:
        break;
    }
    if (s.mapMode >= MmLoMetric && s.mapMode <= MmTwips) {
        // Fixed modes count y upwards.
        sy = -sx * devicePixelsPerMm_.height();
        sx *= devicePixelsPerMm_.width();
    } else if (s.mapMode == MmIsotropic || s.mapMode == MmAnisotropic) {
        sx = s.viewportExt.width() / s.windowExt.width();
        sy = s.viewportExt.height() / s.windowExt.height();
        if (s.mapMode == MmIsotropic) {
            const double m = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(m, sx);
            sy = std::copysign(m, sy);
        }
    }
    const QTransform page(sx,
        0,
        0,
        sy,
        s.viewportOrg.x() - s.windowOrg.x() * sx,
        s.viewportOrg.y() - s.windowOrg.y() * sy);
    return s.world * page * deviceToPicture_;
}

QPointF MetafileCanvas::pixel(QPointF logical) const
{
    return rounded(toPixels().map(logical));
}

QPolygonF MetafileCanvas::pixels(const QPolygonF &logical) const
{
    const QTransform t = toPixels();
    QPolygonF out;
    out.reserve(logical.size());
    for (const QPointF &p : logical)
        out.append(rounded(t.map(p)));
    return out;
}

std::optional<QRectF> MetafileCanvas::pixelBox(const QRectF &box) const
{
    const QTransform t = toPixels();
    if (!axisAligned(t))
        return std::nullopt;
    return QRectF(rounded(t.map(box.topLeft())), rounded(t.map(box.bottomRight()))).normalized();
}

QPainterPath MetafileCanvas::rectPath(const QRectF &box, bool edges) const
{
    QPainterPath path;
    if (const auto r = pixelBox(box)) {
        path.addRect(edges ? inside(*r) : *r);
    } else {
        QPainterPath logical;
        logical.addRect(box);
        path = toPixels().map(logical);
    }
    return path;
}

double MetafileCanvas::pixelScale() const
{
    const QTransform t = toPixels();
    return std::sqrt(std::abs(t.m11() * t.m22() - t.m12() * t.m21()));
}

QPen MetafileCanvas::qtPen() const
{
    const MetaPen &pen = state_.pen;
    const std::uint32_t dash = pen.style & penStyle::DashMask;
    if (dash == penStyle::Null)
        return QPen(Qt::NoPen);
    QPen q(pen.color);
    // Anything thinner than a pixel and a half is drawn one pixel wide, as on the screen.
    double width = pen.width * pixelScale();
    q.setWidthF(width < 1.5 || !std::isfinite(width) ? 0 : std::min(width, kMaxPenWidth));
    static constexpr Qt::PenStyle dashes[] = {Qt::SolidLine,
        Qt::DashLine,
        Qt::DotLine,
        Qt::DashDotLine,
        Qt::DashDotDotLine,
        Qt::NoPen,
        Qt::SolidLine,
        Qt::SolidLine,
        Qt::DotLine};
    q.setStyle(dash < std::size(dashes) ? dashes[dash] : Qt::SolidLine);
    const std::uint32_t cap = pen.style & penStyle::CapMask;
    // A one-pixel line leaves out its last pixel, which only the flat cap does here.
    q.setCapStyle(q.widthF() == 0        ? Qt::FlatCap
            : cap == penStyle::CapSquare ? Qt::SquareCap
            : cap == penStyle::CapFlat   ? Qt::FlatCap
                                         : Qt::RoundCap);
    const std::uint32_t join = pen.style & penStyle::JoinMask;
    q.setJoinStyle(join == penStyle::JoinBevel ? Qt::BevelJoin
            : join == penStyle::JoinMiter      ? Qt::MiterJoin
                                               : Qt::RoundJoin);
    return q;
}

// States

void MetafileCanvas::saveState()
{
    if (saved_.size() < kMaxSavedStates)
        saved_.push_back(state_);
}

void MetafileCanvas::restoreState(std::int32_t which)
{
    // Negative: that many states back; positive: the state saved at that depth.
    const std::int64_t index =
        which < 0 ? std::int64_t(saved_.size()) + which : std::int64_t(which) - 1;
    if (which == 0 || index < 0 || index >= std::int64_t(saved_.size()))
        return;
    state_ = saved_[std::size_t(index)];
    saved_.resize(std::size_t(index));
    clipDirty_ = true;
}

// Painting

void MetafileCanvas::applyClip()
{
    if (!clipDirty_)
        return;
    if (state_.clip)
        painter_->setClipPath(*state_.clip);
    else
        painter_->setClipping(false);
    clipDirty_ = false;
}

void MetafileCanvas::fillWith(const QPainterPath &pixels, const MetaBrush &brush)
{
    if (brush.style == MetaBrush::Style::Null)
        return;
    // Between the hatches an opaque background shows its colour.
    if (brush.style == MetaBrush::Style::Hatched && state_.opaqueBackground)
        painter_->fillPath(pixels, state_.backgroundColor);
    painter_->fillPath(pixels, qtBrush(brush));
}

void MetafileCanvas::draw(const QPainterPath &pixels, bool fill, bool stroke)
{
    if (!painter_ || pixels.isEmpty() || !nearby(pixels.controlPointRect()))
        return;
    applyClip();
    if (fill) {
        QPainterPath filled = pixels;
        filled.setFillRule(state_.fillRule);
        fillWith(filled, state_.brush);
    }
    const QPen pen = qtPen();
    if (stroke && pen.style() != Qt::NoPen) {
        painter_->setPen(pen);
        painter_->setBrush(Qt::NoBrush);
        painter_->drawPath(pixels);
    }
}

void MetafileCanvas::figure(const QPainterPath &pixels, bool closed)
{
    if (state_.inPath) {
        if (nearby(pixels.controlPointRect()))
            state_.path.addPath(pixels);
        state_.figureOpen = false;
        return;
    }
    draw(pixels, closed, true);
}

// Extends the figure that starts at the current position: a line or curve of its own outside a
// path, a continuation of the open figure inside one.
void MetafileCanvas::continueFigure(const QPainterPath &pixels)
{
    if (!state_.inPath) {
        draw(pixels, false, true);
        return;
    }
    if (!nearby(pixels.controlPointRect()))
        return;
    if (!state_.figureOpen)
        state_.path.moveTo(pixels.elementAt(0));
    state_.path.connectPath(pixels);
    state_.figureOpen = true;
}

void MetafileCanvas::moveTo(QPointF p)
{
    state_.current = p;
    state_.figureOpen = false;
}

void MetafileCanvas::lineTo(QPointF p)
{
    polylineTo(QPolygonF{p});
}

void MetafileCanvas::polyline(const QPolygonF &points)
{
    if (points.size() < 2)
        return;
    QPainterPath path;
    path.addPolygon(pixels(points));
    figure(path, false);
}

void MetafileCanvas::polylineTo(const QPolygonF &points)
{
    if (points.isEmpty())
        return;
    QPainterPath path(pixel(state_.current));
    for (const QPointF &p : pixels(points))
        path.lineTo(p);
    continueFigure(path);
    state_.current = points.last();
}

void MetafileCanvas::polygon(const QPolygonF &points)
{
    polyPolygon({points});
}

void MetafileCanvas::polyPolygon(const std::vector<QPolygonF> &polygons)
{
    QPainterPath path;
    for (const QPolygonF &points : polygons) {
        if (points.size() < 2)
            continue;
        path.addPolygon(pixels(points));
        path.closeSubpath();
    }
    figure(path, true);
}

void MetafileCanvas::polyBezier(const QPolygonF &points)
{
    if (points.size() < 4)
        return;
    const QPolygonF p = pixels(points);
    QPainterPath path(p[0]);
    for (int i = 1; i + 2 < p.size(); i += 3)
        path.cubicTo(p[i], p[i + 1], p[i + 2]);
    figure(path, false);
}

void MetafileCanvas::polyBezierTo(const QPolygonF &points)
{
    const int whole = points.size() / 3 * 3;
    if (whole == 0)
        return;
    const QPolygonF p = pixels(points);
    QPainterPath path(pixel(state_.current));
    for (int i = 0; i < whole; i += 3)
        path.cubicTo(p[i], p[i + 1], p[i + 2]);
    continueFigure(path);
    state_.current = points[whole - 1];
}

void MetafileCanvas::rectangle(const QRectF &box)
{
    figure(rectPath(box, true), true);
}

void MetafileCanvas::roundRect(const QRectF &box, QSizeF corner)
{
    QPainterPath path;
    if (const auto r = pixelBox(box)) {
        const QTransform t = toPixels();
        path.addRoundedRect(insideCurve(*r),
            std::abs(corner.width() * t.m11()) / 2,
            std::abs(corner.height() * t.m22()) / 2);
    } else {
        QPainterPath logical;
        logical.addRoundedRect(box, corner.width() / 2, corner.height() / 2);
        path = toPixels().map(logical);
    }
    figure(path, true);
}

void MetafileCanvas::ellipse(const QRectF &box)
{
    QPainterPath path;
    if (const auto r = pixelBox(box)) {
        path.addEllipse(insideCurve(*r));
    } else {
        QPainterPath logical;
        logical.addEllipse(box);
        path = toPixels().map(logical);
    }
    figure(path, true);
}

// Arcs run counter-clockwise on the picture (unless the arc direction says otherwise) from the
// ray through `start` to the ray through `end`; equal rays make a whole ellipse.
QPainterPath MetafileCanvas::arcPath(
    const QRectF &box, QPointF start, QPointF end, ArcKind kind) const
{
    const QTransform t = toPixels();
    const auto aligned = pixelBox(box);
    const QRectF r = aligned ? insideCurve(*aligned) : t.mapRect(box);
    const double from = degreesOf(t.map(start), r);
    double sweep = degreesOf(t.map(end), r) - from;
    while (sweep <= 0)
        sweep += 360;
    while (sweep > 360)
        sweep -= 360;
    if (state_.clockwiseArcs)
        sweep -= 360;
    QPainterPath path;
    if (kind == ArcKind::Pie)
        path.moveTo(r.center());
    else if (kind == ArcKind::ArcTo)
        path.moveTo(pixel(state_.current));
    else
        path.arcMoveTo(r, from);
    path.arcTo(r, from, sweep);
    if (kind == ArcKind::Pie || kind == ArcKind::Chord)
        path.closeSubpath();
    return path;
}

void MetafileCanvas::arc(const QRectF &box, QPointF start, QPointF end, ArcKind kind)
{
    if (!nearby(box) || !nearby(start) || !nearby(end))
        return;
    const QPainterPath path = arcPath(box, start, end, kind);
    switch (kind) {
    case ArcKind::Arc:
        figure(path, false);
        break;
    case ArcKind::ArcTo:
        continueFigure(path);
        if (const auto inverse = toPixels().inverted(); toPixels().isInvertible())
            state_.current = inverse.map(path.currentPosition());
        break;
    case ArcKind::Chord:
    case ArcKind::Pie:
        figure(path, true);
        break;
    }
}

void MetafileCanvas::angleArc(
    QPointF centre, double radius, double startDegrees, double sweepDegrees)
{
    if (!nearby(centre) || !(std::abs(radius) <= kFar) || !std::isfinite(startDegrees)
        || !std::isfinite(sweepDegrees))
        return;
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    const QTransform t = toPixels();
    const QRectF r = t.mapRect(box);
    QPainterPath path(pixel(state_.current));
    path.arcTo(r, startDegrees, std::clamp(sweepDegrees, -360.0, 360.0));
    continueFigure(path);
    if (t.isInvertible())
        state_.current = t.inverted().map(path.currentPosition());
}

void MetafileCanvas::setPixel(QPointF p, QColor c)
{
    const QPointF at = pixel(p);
    if (!painter_ || !nearby(at))
        return;
    applyClip();
    painter_->fillRect(QRectF(at, QSizeF(1, 1)), c);
}

// Text

std::optional<QFont> MetafileCanvas::qtFont(double &ascent, double &descent) const
{
    const QTransform t = toPixels();
    const MetaFont &meta = state_.font;
    // A height of 0 asks for the default size, 12 points on a 96 dpi screen.
    const double size =
        meta.height == 0 ? 16 : std::abs(meta.height) * std::hypot(t.m21(), t.m22());
    if (!(size >= 1 && size <= kMaxFontPixels))
        return std::nullopt;
    QFont font(QStringLiteral("sans-serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(int(std::lround(size)));
    // A positive height is that of the whole cell, ascent and descent together.
    if (meta.height > 0) {
        const double cell = QFontMetricsF(font).height();
        if (cell > 0)
            font.setPixelSize(std::max(1, int(std::lround(size * size / cell))));
    }
    font.setWeight(QFont::Weight(std::clamp(meta.weight == 0 ? 400 : meta.weight, 100, 900)));
    font.setItalic(meta.italic);
    font.setUnderline(meta.underline);
    font.setStrikeOut(meta.strikeOut);
    const QFontMetricsF metrics(font);
    ascent = metrics.ascent();
    descent = metrics.descent();
    return font;
}

void MetafileCanvas::text(QPointF p,
    const QString &text,
    const std::vector<double> &advances,
    std::uint32_t options,
    const std::optional<QRectF> &box)
{
    const QTransform t = toPixels();
    const bool fromCurrent = state_.textAlign & textAlign::UpdateCurrent;
    const QPointF origin = t.map(fromCurrent ? state_.current : p);
    if (!painter_ || !nearby(origin))
        return;
    applyClip();
    painter_->save();
    if (box && nearby(*box)) {
        const QRectF area = rectPath(*box, false).boundingRect();
        if (options & textOption::Opaque)
            painter_->fillRect(area, state_.backgroundColor);
        if (options & textOption::Clipped)
            painter_->setClipRect(area, Qt::IntersectClip);
    }
    const double width = textRun(origin, text, advances);
    painter_->restore();
    clipDirty_ = true;
    if (fromCurrent && t.isInvertible())
        state_.current = t.inverted().map(origin + QPointF(width, 0));
}

// Draws the characters from `origin` as the alignment places them and returns their width.
double MetafileCanvas::textRun(
    QPointF origin, const QString &text, const std::vector<double> &advances)
{
    double ascent = 0;
    double descent = 0;
    const std::optional<QFont> font = text.isEmpty() ? std::nullopt : qtFont(ascent, descent);
    if (!font)
        return 0;
    const QTransform t = toPixels();
    const double sx = std::hypot(t.m11(), t.m12());
    double total = advances.empty() ? QFontMetricsF(*font).horizontalAdvance(text) : 0;
    for (const double a : advances)
        total += a * sx;
    const std::uint32_t align = state_.textAlign;
    double x = (align & textAlign::Centre) == textAlign::Centre ? -total / 2
        : (align & textAlign::Right)                            ? -total
                                                                : 0;
    const double y = (align & textAlign::Baseline) == textAlign::Baseline ? 0
        : (align & textAlign::Bottom)                                     ? -descent
                                                                          : ascent;
    painter_->translate(origin);
    painter_->rotate(-state_.font.escapement / 10);
    if (state_.opaqueBackground)
        painter_->fillRect(QRectF(x, y - ascent, total, ascent + descent), state_.backgroundColor);
    painter_->setFont(*font);
    painter_->setPen(state_.textColor);
    if (advances.empty()) {
        painter_->drawText(QPointF(x, y), text);
        return total;
    }
    for (int i = 0; i < text.size() && std::size_t(i) < advances.size(); ++i) {
        painter_->drawText(QPointF(x, y), QString(text[i]));
        x += advances[std::size_t(i)] * sx;
    }
    return total;
}

// Bitmaps

void MetafileCanvas::blit(const QRectF &to,
    const QImage &source,
    const QRectF &from,
    std::uint32_t rasterOp,
    double opacity)
{
    if (!painter_ || !nearby(to))
        return;
    const QTransform t = toPixels();
    QRectF target(rounded(t.map(to.topLeft())), rounded(t.map(to.bottomRight())));
    if (!axisAligned(t))
        target = t.mapRect(to);
    if (!nearby(target))
        return;
    applyClip();
    if (source.isNull()) {
        const QRectF area = target.normalized();
        if (rasterOp == rop::PatCopy || rasterOp == rop::PatInvert)
            fillWith(rectPath(to, false), state_.brush);
        else if (rasterOp == rop::Blackness || rasterOp == rop::Whiteness)
            painter_->fillRect(area, rasterOp == rop::Blackness ? Qt::black : Qt::white);
        return;
    }
    // Only the part of the source inside the bitmap is drawn, onto the matching part of the target.
    const QRectF wanted = from.normalized();
    const QRectF part = wanted.intersected(QRectF(source.rect()));
    if (part.isEmpty() || wanted.isEmpty())
        return;
    const double kx = target.width() / wanted.width();
    const double ky = target.height() / wanted.height();
    const bool mirrorX = from.width() < 0;
    const bool mirrorY = from.height() < 0;
    QRectF onto(
        target.x() + (mirrorX ? wanted.right() - part.right() : part.left() - wanted.left()) * kx,
        target.y() + (mirrorY ? wanted.bottom() - part.bottom() : part.top() - wanted.top()) * ky,
        part.width() * kx,
        part.height() * ky);
    QImage image = forRasterOp(source.copy(part.toAlignedRect()), rasterOp);
    const bool flipX = (onto.width() < 0) != mirrorX;
    const bool flipY = (onto.height() < 0) != mirrorY;
    if (flipX || flipY)
        image = image.mirrored(flipX, flipY);
    onto = onto.normalized();
    painter_->save();
    // Enlarged bitmaps keep their pixels square, as the screen draws them; reduced ones (a
    // photograph in a small frame) are averaged rather than thinned out.
    painter_->setRenderHint(QPainter::SmoothPixmapTransform,
        onto.width() < image.width() || onto.height() < image.height());
    painter_->setOpacity(opacity);
    painter_->drawImage(onto, image);
    painter_->restore();
    clipDirty_ = true;
}

void MetafileCanvas::fillDeviceRects(const std::vector<QRectF> &rects, const MetaBrush &brush)
{
    if (!painter_)
        return;
    QPainterPath path;
    for (const QRectF &r : rects)
        path.addRect(deviceToPicture_.mapRect(r));
    if (path.isEmpty() || !nearby(path.controlPointRect()))
        return;
    applyClip();
    fillWith(path, brush);
}

// Paths

void MetafileCanvas::beginPath()
{
    state_.inPath = true;
    state_.figureOpen = false;
    state_.path = QPainterPath();
}

void MetafileCanvas::abortPath()
{
    state_.inPath = false;
    state_.path = QPainterPath();
}

void MetafileCanvas::closeFigure()
{
    if (state_.inPath) {
        state_.path.closeSubpath();
        state_.figureOpen = false;
    }
}

void MetafileCanvas::fillPath()
{
    draw(state_.path, true, false);
    abortPath();
}

void MetafileCanvas::strokePath()
{
    draw(state_.path, false, true);
    abortPath();
}

void MetafileCanvas::strokeAndFillPath()
{
    draw(state_.path, true, true);
    abortPath();
}

// Clipping

void MetafileCanvas::combineClip(const QPainterPath &with, std::uint32_t mode)
{
    if (!painter_ || mode < ClipAnd || mode > ClipCopy)
        return;
    // Working within the picture keeps the coordinates of the path operations small.
    QPainterPath whole;
    whole.addRect(QRectF(image_->rect()).adjusted(-1, -1, 1, 1));
    if (!nearby(with.controlPointRect()))
        return;
    const QPainterPath part = with.intersected(whole);
    const QPainterPath current = state_.clip.value_or(whole);
    QPainterPath result;
    switch (mode) {
    case ClipAnd:
        result = current.intersected(part);
        break;
    case ClipOr:
        result = current.united(part);
        break;
    case ClipXor:
        result = current.united(part).subtracted(current.intersected(part));
        break;
    case ClipDiff:
        result = current.subtracted(part);
        break;
    default:
        result = part;
        break;
    }
    if (result.elementCount() > kMaxClipElements)
        return;
    state_.clip = result;
    clipDirty_ = true;
}

void MetafileCanvas::selectClipPath(std::uint32_t mode)
{
    QPainterPath path = state_.path;
    path.setFillRule(state_.fillRule);
    combineClip(path, mode);
    abortPath();
}

void MetafileCanvas::intersectClipRect(const QRectF &box)
{
    combineClip(rectPath(box, false), ClipAnd);
}

void MetafileCanvas::excludeClipRect(const QRectF &box)
{
    combineClip(rectPath(box, false), ClipDiff);
}

void MetafileCanvas::selectClipDeviceRects(const std::vector<QRectF> &rects, std::uint32_t mode)
{
    if (rects.empty() && mode == ClipCopy) {
        state_.clip.reset();
        clipDirty_ = true;
        return;
    }
    QPainterPath path;
    for (const QRectF &r : rects)
        path.addRect(deviceToPicture_.mapRect(r));
    combineClip(path, mode);
}

} // namespace metafile
