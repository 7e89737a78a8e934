#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRgb>

#include <vector>

namespace view {

/// Raster drawing on a 24-bit bitmap with a one-pixel solid pen and a solid white brush.
/// The edge rules are our own and exact: see ellipse() and lineTo(). Every primitive is clipped
/// to the bitmap and costs at most one step per row or column of the bitmap, however far
/// outside the coordinates lie.
class Surface {
public:
    /// Draws on `bitmap`, which must be in QImage::Format_RGB32 (or be null: nothing is drawn).
    explicit Surface(QImage &bitmap);

    void setPen(QRgb colour);
    /// Outlines with the pen and fills with white the ellipse inscribed in the box whose right
    /// and bottom edges are exclusive; an empty box draws nothing.
    ///
    /// The region of the figure is every pixel of the box whose centre lies in the closed
    /// ellipse that touches the four sides of the box, widened so that the row (or two rows)
    /// through the centre spans the whole width of the box and every row holds at least the
    /// centre column (or two): the figure thus touches all four edges of the box and is
    /// symmetric about both of its axes. Its outline is every pixel of the region that has a
    /// left, right, upper or lower neighbour outside the region, which makes a closed
    /// 8-connected ring; the other pixels of the region are the white interior.
    void ellipse(int left, int top, int right, int bottom);
    void moveTo(int x, int y);
    /// Draws from the current point towards (x, y), without (x, y) itself, and makes (x, y)
    /// the current point; a line to the current point draws nothing.
    ///
    /// The line takes one pixel per step along its major axis (x when |dx| >= |dy|): step i
    /// is at major offset i and at the minor offset i * dminor / dmajor rounded to the
    /// nearest integer, halves towards the larger coordinate.
    void lineTo(int x, int y);

    /// Copies `source` with its top-left corner at (x, y), clipped to the bitmap.
    void drawBitmap(int x, int y, const QImage &source);
    /// The colour at (x, y); opaque white outside the bitmap.
    [[nodiscard]] QRgb pixel(int x, int y) const;

    [[nodiscard]] QPoint currentPosition() const { return current_; }
    /// The bounding rectangle of every pixel written since the surface was made (clipped to
    /// the bitmap; empty when nothing was written).
    [[nodiscard]] QRect touched() const { return touched_; }

    /// Pixels x0 … x1 of row y, written in one colour.
    struct Span {
        int y;
        int x0;
        int x1;
    };
    /// Appends every span that the figures (ellipse(), lineTo()) write from now on to `spans`,
    /// in the order written; null stops. drawBitmap() is not recorded. These are the exact
    /// pixels of a drawing, where touched() only bounds them.
    void recordSpans(std::vector<Span> *spans) { spans_ = spans; }

private:
    void span(int y, long long x0, long long x1, QRgb colour);
    void plot(long long x, long long y);

    QImage &bitmap_;
    QRgb pen_;
    QPoint current_;
    QRect touched_;
    std::vector<Span> *spans_ = nullptr;
};

/// A new bitmap of the given size, white throughout. Throws Failure "Out of system resources"
/// when the memory for it cannot be had; a size of zero or less gives a null bitmap.
[[nodiscard]] QImage newBitmap(int width, int height);

} // namespace view
