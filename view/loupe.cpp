#include "view/loupe.h"

#include "view/pictureview.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace view {

namespace {

// The magnified square is about this many screen pixels across at every magnification.
constexpr int kSide = 168;
// Room for the coordinates under it, and the gap between the loupe and the pointer.
constexpr int kCaption = 16;
constexpr int kGap = 24;

} // namespace

Loupe::Loupe(std::vector<const PictureView *> layers, QWidget *parent)
    : QWidget(parent)
    , layers_(std::move(layers))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    const int largest = (kSide / kMagnifications.back() | 1) * kMagnifications.back();
    setFixedSize(std::max(largest, kSide) + 2, std::max(largest, kSide) + 2 + kCaption);
    hide();
}

int Loupe::half() const
{
    // An odd number of pixels, so that one of them is the middle.
    return (kSide / magnification_) / 2;
}

void Loupe::setMagnification(int magnification)
{
    magnification_ = magnification;
    refresh();
}

void Loupe::stepMagnification(int steps)
{
    const auto *at = std::find(kMagnifications.begin(), kMagnifications.end(), magnification_);
    const auto index = std::clamp<std::ptrdiff_t>(at - kMagnifications.begin() + steps,
        0,
        static_cast<std::ptrdiff_t>(kMagnifications.size()) - 1);
    setMagnification(kMagnifications[static_cast<std::size_t>(index)]);
}

void Loupe::follow(QPoint at, QPoint pointer, const QRect &bounds)
{
    pixel_ = at;
    // Below and to the right of the pointer, or on the other side where the area ends there.
    QPoint corner = pointer + QPoint(kGap, kGap);
    if (corner.x() + width() > bounds.right())
        corner.setX(pointer.x() - kGap - width());
    if (corner.y() + height() > bounds.bottom())
        corner.setY(pointer.y() - kGap - height());
    move(corner);
    refresh();
}

void Loupe::refresh()
{
    compose();
    update();
}

void Loupe::compose()
{
    const int n = 2 * half() + 1;
    const QRect source(pixel_.x() - half(), pixel_.y() - half(), n, n);
    // The page shows where no layer paints; the layers paint themselves as on the screen, the
    // overlays leaving out their key colour.
    QImage small(n, n, QImage::Format_RGB32);
    small.fill(palette().color(QPalette::Window));
    {
        QPainter painter(&small);
        painter.translate(-source.topLeft());
        for (const PictureView *layer : layers_) {
            if (const Picture *picture = layer->picture())
                picture->paint(painter, source, layer->isTransparent());
        }
    }
    image_ = small.scaled(n * magnification_, n * magnification_);
    drawCrossHair();
}

void Loupe::drawCrossHair()
{
    // A frame around the middle pixel, and arms that stop short of it so that the pixel itself
    // stays bare; black under white shows on the dark sky and on the lit ground alike.
    const int m = magnification_;
    const QRect middle(half() * m - 1, half() * m - 1, m + 2, m + 2);
    const int end = image_.width() - 1;
    QPainter painter(&image_);
    for (const auto &[colour, shift] : {std::pair{Qt::black, 1}, std::pair{Qt::white, 0}}) {
        painter.setPen(QPen(colour, 1));
        painter.drawRect(middle.adjusted(-shift, -shift, shift, shift));
        const int c = half() * m + m / 2 + shift;
        painter.drawLine(0, c, middle.left() - m, c);
        painter.drawLine(middle.right() + m, c, end, c);
        painter.drawLine(c, 0, c, middle.top() - m);
        painter.drawLine(c, middle.bottom() + m, c, end);
    }
}

void Loupe::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const QPoint origin((width() - image_.width()) / 2, 1);
    painter.drawImage(origin, image_);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(origin.x() - 1, 0, image_.width() + 1, image_.height() + 1);
    painter.drawText(QRect(0, height() - kCaption, width(), kCaption),
        Qt::AlignCenter,
        QStringLiteral("x %1   y %2   × %3").arg(pixel_.x()).arg(pixel_.y()).arg(magnification_));
}

} // namespace view
