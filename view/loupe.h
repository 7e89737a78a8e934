#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <array>
#include <vector>

namespace view {

class PictureView;

/// A magnified look at the picture area around one pixel: the layers composed exactly as they
/// are shown, each picture pixel a square of magnification × magnification screen pixels, a
/// cross-hair around the pixel and its coordinates underneath. It only shows: presses and
/// moves go through it to the picture area.
class Loupe : public QWidget {
    Q_OBJECT
public:
    /// `layers` bottom first, as they are stacked.
    Loupe(std::vector<const PictureView *> layers, QWidget *parent);

    /// The magnifications the wheel steps through.
    static constexpr std::array<int, 3> kMagnifications{4, 8, 16};

    [[nodiscard]] int magnification() const { return magnification_; }
    void setMagnification(int magnification);
    /// Moves `steps` places along kMagnifications, staying at its ends.
    void stepMagnification(int steps);

    /// Shows picture pixel `at`, the loupe placed beside `pointer` (in the parent's
    /// coordinates) inside `bounds`, never over the pointer itself.
    void follow(QPoint at, QPoint pointer, const QRect &bounds);
    /// Composes again what follow() last asked for: the layers may have been redrawn.
    void refresh();

    /// The picture pixel shown in the middle.
    [[nodiscard]] QPoint pixel() const { return pixel_; }
    /// The magnified pixels as shown, cross-hair included, (2 half + 1) × magnification square.
    [[nodiscard]] const QImage &image() const { return image_; }
    /// How many picture pixels the loupe shows on each side of the middle one.
    [[nodiscard]] int half() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void compose();
    void drawCrossHair();

    std::vector<const PictureView *> layers_;
    int magnification_ = kMagnifications[0];
    QPoint pixel_;
    QImage image_;
};

} // namespace view
