// The device context: construction, mapping, saved states and the figures. Text, bitmaps and
// clipping have files of their own.
#include "metafile/metafilecanvas.h"

#include "metafile/metafilegeometry.h"

#include <algorithm>
#include <cmath>

namespace metafile {

namespace {

// Saved states beyond this are not kept.
constexpr std::size_t kMaxSavedStates = 4096;
constexpr double kMaxPenWidth = 10000;

bool finite(const QTransform &t)
{
    return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21())
        && std::isfinite(t.m22()) && std::isfinite(t.dx()) && std::isfinite(t.dy());
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

void MetafileCanvas::select(const MetaObject &object)
{
    if (const auto *pen = std::get_if<MetaPen>(&object))
        setPen(*pen);
    else if (const auto *brush = std::get_if<MetaBrush>(&object))
        setBrush(*brush);
    else if (const auto *font = std::get_if<MetaFont>(&object))
        setFont(*font);
}

// Mapping

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

// Figures

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

// A curve through whole pixel coordinates runs along the pixels' edges, where the error of its
// flattening decides which side's pixels it lights: a symmetric arch came out a pixel narrower
// on its right and without its first pixel. On the pixels' centres it lights the pixels the
// record names, as a line does. Inside a path the curve joins lines, so it stays where it is.
QPainterPath MetafileCanvas::onPixelCentres(const QPainterPath &curve) const
{
    return state_.inPath ? curve : curve.translated(0.5, 0.5);
}

void MetafileCanvas::polyBezier(const QPolygonF &points)
{
    if (points.size() < 4)
        return;
    const QPolygonF p = pixels(points);
    QPainterPath path(p[0]);
    for (int i = 1; i + 2 < p.size(); i += 3)
        path.cubicTo(p[i], p[i + 1], p[i + 2]);
    figure(onPixelCentres(path), false);
}

void MetafileCanvas::polyBezierTo(const QPolygonF &points)
{
    const qsizetype whole = points.size() / 3 * 3;
    if (whole == 0)
        return;
    const QPolygonF p = pixels(points);
    QPainterPath path(pixel(state_.current));
    for (qsizetype i = 0; i < whole; i += 3)
        path.cubicTo(p[i], p[i + 1], p[i + 2]);
    continueFigure(onPixelCentres(path));
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

} // namespace metafile
