#pragma once

#include "metafile/metafileobjects.h"
#include "metafile/metafilerecords.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace metafile {

/// The device context both metafile players draw through: mapping, selected objects, current
/// position, path bracket, clipping and the saved states. Coordinates given to it are logical;
/// it maps them to the picture's pixels and paints with the rules of the Windows raster
/// drawing (rectangles and ellipses leave out their right and bottom edges, coordinates are
/// rounded to whole pixels, nothing antialiased but text).
class MetafileCanvas {
public:
    /// A placeable metafile: its window starts as the bounding box and always fills the picture.
    /// `extent` is the picture's exact size in pixels, of which the image is the rounding.
    static MetafileCanvas placeable(QImage &image, const QRectF &box, QSizeF extent);
    /// An enhanced metafile: the reference device's pixels per millimetre and the frame in those
    /// pixels, which fills the picture.
    static MetafileCanvas enhanced(
        QImage &image, QSizeF devicePixelsPerMm, const QRectF &deviceFrame);

    MetafileCanvas(MetafileCanvas &&) = default;

    // Attributes
    void setMapMode(std::uint32_t mode);
    void setWindowOrg(QPointF p) { state_.windowOrg = p; }
    void setWindowExt(QSizeF s);
    void setViewportOrg(QPointF p);
    void setViewportExt(QSizeF s);
    void offsetWindowOrg(QPointF d) { state_.windowOrg += d; }
    void offsetViewportOrg(QPointF d);
    void scaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
    void scaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
    void setWorldTransform(const QTransform &t);
    void modifyWorldTransform(const QTransform &t, std::uint32_t mode);
    void setPen(const MetaPen &pen) { state_.pen = pen; }
    void setBrush(const MetaBrush &brush) { state_.brush = brush; }
    void setFont(const MetaFont &font) { state_.font = font; }
    /// Selects a pen, brush or font of the object table; palettes and regions change nothing.
    void select(const MetaObject &object);
    void setTextColor(QColor c) { state_.textColor = c; }
    void setBackgroundColor(QColor c) { state_.backgroundColor = c; }
    void setBackgroundMode(std::uint32_t mode) { state_.opaqueBackground = mode != BkTransparent; }
    void setFillMode(std::uint32_t mode)
    {
        state_.fillRule = mode == FillWinding ? Qt::WindingFill : Qt::OddEvenFill;
    }
    void setTextAlign(std::uint32_t align) { state_.textAlign = align; }
    void setArcDirection(std::uint32_t direction)
    {
        state_.clockwiseArcs = direction == ArcClockwise;
    }
    void saveState();
    void restoreState(std::int32_t which);

    // Drawing, in logical coordinates
    void moveTo(QPointF p);
    void lineTo(QPointF p);
    void polyline(const QPolygonF &points);
    void polylineTo(const QPolygonF &points);
    void polygon(const QPolygonF &points);
    void polyPolygon(const std::vector<QPolygonF> &polygons);
    void polyBezier(const QPolygonF &points);
    void polyBezierTo(const QPolygonF &points);
    void rectangle(const QRectF &box);
    void roundRect(const QRectF &box, QSizeF corner);
    void ellipse(const QRectF &box);
    enum class ArcKind {
        Arc,
        ArcTo,
        Chord,
        Pie
    };
    void arc(const QRectF &box, QPointF start, QPointF end, ArcKind kind);
    void angleArc(QPointF centre, double radius, double startDegrees, double sweepDegrees);
    void setPixel(QPointF p, QColor c);
    /// Text at `p` (or at the current position when the alignment says so). `advances`, when not
    /// empty, places each character; `box` is the rectangle of ETO_OPAQUE and ETO_CLIPPED.
    void text(QPointF p,
        const QString &text,
        const std::vector<double> &advances,
        std::uint32_t options,
        const std::optional<QRectF> &box);
    /// Stretches `source` (its part `from`, in its own pixels) onto `to`; a null source is a
    /// pattern operation with the brush. `opacity` scales the source's own alpha.
    void blit(const QRectF &to,
        const QImage &source,
        const QRectF &from,
        std::uint32_t rasterOp,
        double opacity = 1);
    /// Fills rectangles given in device units (regions of an enhanced metafile).
    void fillDeviceRects(const std::vector<QRectF> &rects, const MetaBrush &brush);

    // Paths and clipping
    void beginPath();
    void endPath() { state_.inPath = false; }
    void abortPath();
    void closeFigure();
    void fillPath();
    void strokePath();
    void strokeAndFillPath();
    void selectClipPath(std::uint32_t mode);
    void intersectClipRect(const QRectF &box);
    void excludeClipRect(const QRectF &box);
    /// Combines the clip with rectangles in device units; an empty list with the copy mode resets
    /// it.
    void selectClipDeviceRects(const std::vector<QRectF> &rects, std::uint32_t mode);

private:
    struct State {
        std::uint32_t mapMode = MmText;
        QPointF windowOrg;
        QPointF viewportOrg;
        QSizeF windowExt{1, 1};
        QSizeF viewportExt{1, 1};
        QTransform world;
        MetaPen pen;
        MetaBrush brush;
        MetaFont font;
        QColor textColor = Qt::black;
        QColor backgroundColor = Qt::white;
        bool opaqueBackground = true;
        Qt::FillRule fillRule = Qt::OddEvenFill;
        std::uint32_t textAlign = 0;
        bool clockwiseArcs = false;
        QPointF current;
        bool inPath = false;
        bool figureOpen = false;
        QPainterPath path; // picture pixels
        std::optional<QPainterPath> clip; // picture pixels; none: the whole picture
    };

    MetafileCanvas(
        QImage &image, bool placeable, QSizeF devicePixelsPerMm, const QTransform &deviceToPicture);

    [[nodiscard]] QTransform toPixels() const;
    [[nodiscard]] QPointF pixel(QPointF logical) const;
    [[nodiscard]] QPolygonF pixels(const QPolygonF &logical) const;
    [[nodiscard]] std::optional<QRectF> pixelBox(const QRectF &box) const;
    [[nodiscard]] QPen qtPen() const;
    [[nodiscard]] double pixelScale() const;
    void draw(const QPainterPath &pixels, bool fill, bool stroke);
    void fillWith(const QPainterPath &pixels, const MetaBrush &brush);
    void applyClip();
    void combineClip(const QPainterPath &with, std::uint32_t mode);
    void figure(const QPainterPath &pixels, bool closed);
    void continueFigure(const QPainterPath &pixels);
    [[nodiscard]] QPainterPath onPixelCentres(const QPainterPath &curve) const;
    [[nodiscard]] QPainterPath rectPath(const QRectF &box, bool edges) const;
    [[nodiscard]] QPainterPath arcPath(
        const QRectF &box, QPointF start, QPointF end, ArcKind kind) const;
    [[nodiscard]] std::optional<QFont> qtFont(double &ascent, double &descent) const;
    double textRun(QPointF origin, const QString &text, const std::vector<double> &advances);

    QImage *image_;
    std::unique_ptr<QPainter> painter_;
    bool placeable_;
    QSizeF devicePixelsPerMm_;
    QTransform deviceToPicture_;
    State state_;
    std::vector<State> saved_;
    bool clipDirty_ = true;
};

} // namespace metafile
