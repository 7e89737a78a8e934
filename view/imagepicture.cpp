#include "view/imagepicture.h"

#include "view/pixels.h"

namespace view {

void ImagePicture::paint(QPainter &painter, const QRect &area, bool) const
{
    const QRect shown = area & image_.rect();
    if (!shown.isEmpty())
        painter.drawImage(shown.topLeft(), image_, shown);
}

QImage ImagePicture::measuredImage() const
{
    return measurable(image_);
}

} // namespace view
