#include "view/pixels.h"

namespace view {

measure::ImageView Pixels::view() const
{
    measure::ImageView view;
    view.width = image_.width();
    view.height = image_.height();
    view.stride = image_.bytesPerLine();
    view.pixels = image_.constBits();
    view.format = image_.format() == QImage::Format_Grayscale8 ? measure::ImageView::Format::Grey8
                                                               : measure::ImageView::Format::Rgb32;
    return view;
}

std::optional<Pixels> pixelsOf(const Picture &picture)
{
    QImage image = picture.measuredImage();
    if (image.isNull())
        return std::nullopt;
    return Pixels(std::move(image));
}

QImage measurable(const QImage &image)
{
    switch (image.format()) {
    case QImage::Format_Invalid:
    case QImage::Format_Grayscale8:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return image;
    case QImage::Format_Indexed8:
        if (image.allGray())
            return image.convertToFormat(QImage::Format_Grayscale8);
        return image.convertToFormat(QImage::Format_RGB32);
    default:
        return image.convertToFormat(QImage::Format_RGB32);
    }
}

} // namespace view
