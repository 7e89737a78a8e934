#pragma once

#include <QImage>
#include <QPoint>
#include <QRgb>

namespace view {

/// Raster drawing on a 24-bit bitmap with a one-pixel solid pen and a solid white brush.
/// The edge rules are our own and exact: see ellipse() and lineTo().
class Surface {
public:
    explicit Surface(QImage &bitmap);

    void setPen(QRgb colour);
    /// Outlines with the pen and fills with white the ellipse inscribed in the box whose right
    /// and bottom edges are exclusive; an empty box draws nothing.
    void ellipse(int left, int top, int right, int bottom);
    void moveTo(int x, int y);
    /// Draws from the current point towards (x, y), without (x, y) itself.
    void lineTo(int x, int y);

private:
    QImage &bitmap_;
    QRgb pen_;
    QPoint current_;
};

/// A new bitmap of the given size, white throughout.
[[nodiscard]] QImage newBitmap(int width, int height);

} // namespace view
