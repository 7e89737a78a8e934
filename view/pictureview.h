#pragma once

#include "view/picture.h"

#include <QPoint>
#include <QRgb>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

namespace view {

class Surface;

/// A view that holds at most one picture and draws it at natural size from its top-left corner.
/// Stacked views of the same size make the layers of the picture area: a view paints nothing
/// but its picture, so the siblings below it and the page show wherever it leaves pixels out.
///
/// One picture pixel is one device pixel, on high-DPI screens too: the sizes and positions
/// this class takes and gives (deviceSize(), pressed()) are in device pixels.
class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget *parent = nullptr);
    ~PictureView() override;

    void setTransparent(bool transparent);
    [[nodiscard]] bool isTransparent() const;
    [[nodiscard]] bool isEmpty() const;
    /// The picture held, read-only (null when empty).
    [[nodiscard]] const Picture *picture() const;
    /// The picture held with the work of its first paint done (a JPEG decoded), for reading
    /// its pixels before it was ever shown; a failure of that work is reported as after a paint.
    [[nodiscard]] const Picture *preparedPicture();
    /// The view's current size in device pixels: the size of the bitmaps made for it.
    [[nodiscard]] QSize deviceSize() const;

    /// Replaces the picture by one the caller built, e.g. by readPictureFile(): a failed read
    /// throws before this is reached, so the previous picture stays.
    void setPicture(std::unique_ptr<Picture> picture);
    /// Replaces the picture by a copy of `bitmap`.
    void giveBitmap(const QImage &bitmap);
    void clear();
    /// What assistive technology reads of the view, which only paints: the description is
    /// `empty` while the view holds nothing, else `shown` with %1 and %2 for the width and
    /// the height of the picture.
    void setAccessibleTexts(const QString &empty, const QString &shown);

    // The drawing operations of the window. The first two draw on the layer's surface: the
    // bitmap it holds, or a white one of the view's size made when it is empty; they throw
    // Failure when the view holds another kind of picture.

    /// Outlines in `colour` and fills with white the ellipse inscribed in the box whose right
    /// and bottom edges are exclusive (Surface::ellipse).
    void drawEllipse(QRgb colour, int left, int top, int right, int bottom);
    /// Copies `bitmap` onto the surface with its top-left corner at (x, y).
    void drawBitmap(int x, int y, const QImage &bitmap);
    /// Replaces the picture by a white bitmap of the view's current size that carries the
    /// polyline through `points` in `colour`, each segment without its last pixel
    /// (Surface::lineTo); no points leave the bitmap white.
    void showPolyline(QRgb colour, const std::vector<QPoint> &points);

    /// Any drawing on the layer's surface, as the operations above do theirs. What the drawing
    /// did before it threw stays drawn and shown.
    void draw(const std::function<void(Surface &)> &drawing);

signals:
    /// Work deferred to the first paint failed (a JPEG that fails to decode). Emitted once per
    /// picture from the event loop just after the paint, never inside it, so that a receiver
    /// may open a modal message box.
    void deferredFailure(const QString &message);

    /// Every press of any mouse button, also the second press of a double click; the position
    /// is the picture pixel under the cursor.
    void pressed(
        Qt::MouseButton button, Qt::KeyboardModifiers modifiers, bool doubleClick, QPoint position);
    /// A click as a button makes it: the left button pressed and released over the view. A
    /// press dragged off the view clicks nothing, nor does the second press of a double click.
    void clicked();
    /// The pointer moved over the view (with mouse tracking on, also with no button held); the
    /// position is the picture pixel under it.
    void moved(QPoint position);
    /// The pointer left the view.
    void pointerLeft();
    /// The view was given another picture, or emptied.
    void pictureReplaced();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    [[nodiscard]] QRect shownRect() const;
    void repaintDevice(const QRect &deviceRect);
    void repaintDevice(const QRegion &deviceRegion);
    /// The rectangles, in widget pixels, in which a paint of `region` draws the picture.
    [[nodiscard]] static std::vector<QRect> paintBands(const QRegion &region);
    void prepareOnce();
    void updateOpaque();
    void reportLater(const QString &message);
    [[nodiscard]] QPoint devicePosition(const QMouseEvent *event) const;
    void describe();

    std::unique_ptr<Picture> picture_;
    bool transparent_ = false;
    bool prepared_ = false;
    bool leftPressed_ = false;
    QString emptyText_;
    QString shownText_;
    bool describes_ = false;
};

} // namespace view
