#include "view/pictureview.h"

#include "view/bitmappicture.h"
#include "view/failures.h"
#include "view/surface.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QtMath>

namespace view {

PictureView::PictureView(QWidget *parent)
    : QWidget(parent)
{
    setCursor(Qt::CrossCursor);
}

PictureView::~PictureView() = default;

void PictureView::setTransparent(bool transparent)
{
    if (transparent == transparent_) {
        return;
    }
    repaintDevice(shownRect());
    transparent_ = transparent;
    updateOpaque();
    repaintDevice(shownRect());
}

bool PictureView::isTransparent() const
{
    return transparent_;
}

bool PictureView::isEmpty() const
{
    return !picture_;
}

const Picture *PictureView::picture() const
{
    return picture_.get();
}

QSize PictureView::deviceSize() const
{
    const qreal ratio = devicePixelRatioF();
    return QSize(qCeil(width() * ratio), qCeil(height() * ratio));
}

void PictureView::setPicture(std::unique_ptr<Picture> picture)
{
    // The old and the new picture are marked apart: two curves far from one another make two
    // small rectangles, not one large one.
    repaintDevice(shownRect());
    picture_ = std::move(picture);
    prepared_ = false;
    updateOpaque();
    repaintDevice(shownRect());
    describe();
    emit pictureReplaced();
}

void PictureView::giveBitmap(const QImage &bitmap)
{
    // QImage shares its pixels until one side writes, which then gets a copy of its own: the
    // caller's later drawings never reach the view, and handing over costs no copy.
    setPicture(std::make_unique<BitmapPicture>(bitmap));
}

void PictureView::clear()
{
    const QRect before = shownRect();
    picture_.reset();
    updateOpaque();
    repaintDevice(before);
    describe();
    emit pictureReplaced();
}

void PictureView::setAccessibleTexts(const QString &empty, const QString &shown)
{
    emptyText_ = empty;
    shownText_ = shown;
    describes_ = true;
    describe();
}

void PictureView::describe()
{
    // A view given no texts keeps whatever description its owner set.
    if (!describes_)
        return;
    if (!picture_) {
        setAccessibleDescription(emptyText_);
        return;
    }
    const QSize size = picture_->naturalSize();
    QString text = shownText_;
    text.replace(QStringLiteral("%1"), QString::number(size.width()))
        .replace(QStringLiteral("%2"), QString::number(size.height()));
    setAccessibleDescription(text);
}

void PictureView::drawEllipse(QRgb colour, int left, int top, int right, int bottom)
{
    draw([&](Surface &surface) {
        surface.setPen(colour);
        surface.ellipse(left, top, right, bottom);
    });
}

void PictureView::drawBitmap(int x, int y, const QImage &bitmap)
{
    draw([&](Surface &surface) { surface.drawBitmap(x, y, bitmap); });
}

void PictureView::showPolyline(QRgb colour, const std::vector<QPoint> &points)
{
    const QSize size = deviceSize();
    BitmapPicture *held = picture_ ? picture_->bitmap() : nullptr;
    if (!held || !held->holdsPolyline() || held->naturalSize() != size) {
        setPicture(BitmapPicture::polyline(size, colour, points));
        return;
    }
    // The bitmap of the last redraw, of the same size, is wiped and drawn on again: the same
    // pixels as a new white bitmap, for the cost of the two curves alone.
    const QRect before = shownRect();
    const QRgb key = held->keyColour();
    const QRegion changed = held->redrawPolyline(colour, points);
    if (transparent_ && held->keyColour() != key) {
        repaintDevice(before);
        repaintDevice(shownRect());
    } else {
        repaintDevice(changed);
    }
}

void PictureView::draw(const std::function<void(Surface &)> &drawing)
{
    if (picture_ && !picture_->bitmap()) {
        failures::fail(failures::kNotABitmap);
    }
    if (!picture_) {
        const QSize size = deviceSize();
        giveBitmap(newBitmap(size.width(), size.height()));
    }
    BitmapPicture &bitmap = *picture_->bitmap();
    const QRect before = shownRect();
    const QRgb key = bitmap.keyColour();
    QRect touched;
    try {
        touched = bitmap.draw(drawing);
    } catch (...) {
        // Where a failed drawing got to is not known: what may have changed is repainted.
        repaintDevice(before);
        repaintDevice(shownRect());
        throw;
    }
    // With the same key only the touched pixels can change; a new key may show or hide any
    // pixel of either colour, all of them within the old or the new bounds.
    repaintDevice(touched);
    if (transparent_ && bitmap.keyColour() != key) {
        repaintDevice(before);
        repaintDevice(shownRect());
    }
}

QRect PictureView::shownRect() const
{
    if (!picture_) {
        return {};
    }
    const Picture &shown = *picture_;
    if (transparent_ && shown.bitmap()) {
        return shown.bitmap()->opaqueBounds();
    }
    return QRect(QPoint(0, 0), picture_->naturalSize());
}

void PictureView::repaintDevice(const QRect &deviceRect)
{
    if (deviceRect.isEmpty()) {
        return;
    }
    const qreal ratio = devicePixelRatioF();
    update(QRectF(deviceRect.x() / ratio,
        deviceRect.y() / ratio,
        deviceRect.width() / ratio,
        deviceRect.height() / ratio)
               .toAlignedRect());
}

const Picture *PictureView::preparedPicture()
{
    if (picture_) {
        prepareOnce();
    }
    return picture_.get();
}

void PictureView::repaintDevice(const QRegion &deviceRegion)
{
    // Each rectangle of a region costs its share of every region operation of the repaint;
    // when a curve is packed into a small box, painting the whole box is cheaper.
    constexpr qint64 kPixelsPerRectangle = 64;
    const QRect bounds = deviceRegion.boundingRect();
    const qreal ratio = devicePixelRatioF();
    if (ratio != 1
        || qint64(bounds.width()) * bounds.height()
            <= kPixelsPerRectangle * deviceRegion.rectCount()) {
        repaintDevice(bounds);
        return;
    }
    update(deviceRegion);
}

void PictureView::prepareOnce()
{
    if (prepared_) {
        return;
    }
    prepared_ = true;
    const QSize before = picture_->naturalSize();
    try {
        if (const auto failure = picture_->prepare()) {
            reportLater(*failure);
        }
    } catch (const std::exception &error) {
        reportLater(QString::fromUtf8(error.what()));
    }
    if (picture_->naturalSize() != before) {
        repaintDevice(shownRect());
        describe();
    }
    updateOpaque();
}

void PictureView::updateOpaque()
{
    // A photograph that covers the whole view paints every pixel of it, so the page and the
    // tab frame beneath it are left out of a repaint: on a thin region along a curve, filling
    // the frame through that region would cost more than the curve. Decided only after the
    // first paint, once a JPEG is known to have decoded.
    const QSize size = deviceSize();
    const bool covers = picture_ && prepared_ && !transparent_ && picture_->isOpaque()
        && picture_->naturalSize().width() >= size.width()
        && picture_->naturalSize().height() >= size.height();
    setAttribute(Qt::WA_OpaquePaintEvent, covers);
}

void PictureView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateOpaque();
}

void PictureView::reportLater(const QString &message)
{
    QMetaObject::invokeMethod(
        this, [this, message] { emit deferredFailure(message); }, Qt::QueuedConnection);
}

void PictureView::paintEvent(QPaintEvent *event)
{
    if (!picture_) {
        return;
    }
    prepareOnce();
    QPainter painter(this);
    // Picture pixels are device pixels: undo the scaling of the device pixel ratio.
    const qreal ratio = devicePixelRatioF();
    painter.scale(1 / ratio, 1 / ratio);
    const auto toDevice = [ratio](const QRect &rect) {
        return QRectF(
            rect.x() * ratio, rect.y() * ratio, rect.width() * ratio, rect.height() * ratio)
            .toAlignedRect();
    };
    try {
        for (const QRect &band : paintBands(event->region())) {
            picture_->paint(painter, toDevice(band), transparent_);
        }
    } catch (const std::exception &error) {
        reportLater(QString::fromUtf8(error.what()));
    }
}

std::vector<QRect> PictureView::paintBands(const QRegion &region)
{
    // A region along a curve is hundreds of small rectangles. Painted one by one they cost a
    // call each; painted as their bounding box, the raster engine blends hundreds of rows in
    // one call and hands them to its thread pool, whose wake-ups cost more than the pixels.
    // Bands of a few rows, each the bounding box of the rectangles it holds, keep both small:
    // the clip to the region still leaves every pixel outside it alone.
    constexpr int kBandRows = 16;
    std::vector<QRect> bands;
    for (const QRect &rect : region) {
        if (!bands.empty() && rect.top() < bands.back().top() + kBandRows
            && rect.bottom() < bands.back().top() + kBandRows) {
            bands.back() |= rect;
        } else {
            bands.push_back(rect);
        }
    }
    return bands;
}

QPoint PictureView::devicePosition(const QMouseEvent *event) const
{
    const QPointF position = event->position() * devicePixelRatioF();
    return QPoint(qFloor(position.x()), qFloor(position.y()));
}

void PictureView::mouseMoveEvent(QMouseEvent *event)
{
    emit moved(devicePosition(event));
    event->accept();
}

void PictureView::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    emit pointerLeft();
}

void PictureView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        leftPressed_ = true;
    emit pressed(event->button(), event->modifiers(), false, devicePosition(event));
    event->accept();
}

void PictureView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Its release ends the double click; the first press and release already made the click.
    if (event->button() == Qt::LeftButton)
        leftPressed_ = false;
    emit pressed(event->button(), event->modifiers(), true, devicePosition(event));
    event->accept();
}

void PictureView::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() != Qt::LeftButton || !leftPressed_)
        return;
    leftPressed_ = false;
    // The view keeps the mouse from the press on, so a release off it still comes here.
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}

} // namespace view
