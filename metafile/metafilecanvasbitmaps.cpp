#include "metafile/metafilecanvas.h"
#include "metafile/metafilegeometry.h"

namespace metafile {

namespace {

// Clips grown more complex than this stop changing: a clip of thousands of pieces is a
// malicious file, and the path operations on it are quadratic.
constexpr int kMaxClipElements = 4096;

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
