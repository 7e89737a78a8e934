#pragma once

#include "view/picture.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace view {

class Surface;

/// A 24-bit bitmap. Shown transparent, every pixel of its key colour (the bottom-left pixel) is
/// left out; that mask is worked out once per change of the bitmap, never at paint time.
class BitmapPicture : public Picture {
public:
    /// Takes the image in QImage::Format_RGB32, converting any other format to it.
    explicit BitmapPicture(QImage image);

    /// A white bitmap of `size` carrying the polyline through `points` in `colour`, as
    /// Surface::moveTo() and lineTo() draw it. Throws Failure when the memory cannot be had.
    [[nodiscard]] static std::unique_ptr<BitmapPicture> polyline(
        QSize size, QRgb colour, const std::vector<QPoint> &points);
    /// Whether the bitmap is one that polyline() or redrawPolyline() made, undrawn on since.
    [[nodiscard]] bool holdsPolyline() const { return ink_.has_value(); }
    /// Makes the bitmap what polyline() would make at its size, in place: only the old and
    /// the new curve are written. Returns where pixels may have changed: the cells of
    /// kCellRows × kCellColumns pixels that hold a pixel of either curve.
    QRegion redrawPolyline(QRgb colour, const std::vector<QPoint> &points);
    static constexpr int kCellRows = 4;
    static constexpr int kCellColumns = 8;

    [[nodiscard]] Kind kind() const override { return Kind::Bitmap; }
    [[nodiscard]] QSize naturalSize() const override;
    [[nodiscard]] std::unique_ptr<Picture> clone() const override;
    void paint(QPainter &painter, const QRect &area, bool transparent) const override;
    [[nodiscard]] bool isOpaque() const override { return !image_.isNull(); }
    [[nodiscard]] QImage measuredImage() const override { return image_; }
    [[nodiscard]] BitmapPicture *bitmap() override { return this; }
    [[nodiscard]] const BitmapPicture *bitmap() const override { return this; }
    [[nodiscard]] std::unique_ptr<Picture> reducedCopy(
        const QRect &part, int factor) const override;

    [[nodiscard]] const QImage &image() const { return image_; }
    /// Runs `drawing` on the bitmap's surface and returns the rectangle it touched. What it
    /// drew before it threw stays drawn and counts as a change.
    QRect draw(const std::function<void(Surface &)> &drawing);

    /// The colour left out when the bitmap is shown transparent (opaque white for a null one).
    [[nodiscard]] QRgb keyColour() const;
    /// The bounding rectangle of the pixels that show when the bitmap is transparent; it may
    /// be larger than needed after drawings that only erased, never smaller. Throws Failure
    /// when memory for the transparent copy runs out.
    [[nodiscard]] QRect opaqueBounds() const;

private:
    /// One row of the ink: pixels left … right of row y.
    struct Run {
        int y;
        int left;
        int right;
    };
    /// What a polyline bitmap knows of its pixels: white but for these runs of one colour,
    /// sorted by row, then column, neither overlapping nor touching.
    struct Ink {
        QRgb colour;
        std::vector<Run> runs;
        QRect bounds;
    };
    void drawPolyline(QRgb colour, const std::vector<QPoint> &points);
    /// With a white key only the ink shows, so it is painted and bounded from the runs: a
    /// transparent use then costs what the curve costs, without scan or keyed copy.
    [[nodiscard]] bool inkShowsAlone() const;
    void paintInk(QPainter &painter, const QRect &area) const;

    /// Records that the pixels changed, within `dirty` only when it is given. The key colour
    /// is worked out again at the next transparent use, once per change: an opaque photograph
    /// never pays for a transparent copy of itself.
    void changed(const QRect &dirty = QRect());
    void refreshKeyed() const;
    void rebuildKeyed(const QRect &bounds, QRgb key) const;

    QImage image_;
    // The transparent rendering, derived from image_ on demand.
    mutable bool stale_ = true;
    mutable QRect pending_;
    mutable QRgb key_ = 0xffffffffu;
    mutable QRect bounds_;
    // The pixels of bounds_, premultiplied: key pixels fully transparent, the others opaque.
    mutable QImage keyed_;
    std::optional<Ink> ink_;
};

} // namespace view
