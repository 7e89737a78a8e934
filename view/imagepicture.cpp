#include "view/imagepicture.h"

namespace view {

void ImagePicture::paint(QPainter &painter, const QRect &area, bool) const
{
    const QRect shown = area & image_.rect();
    if (!shown.isEmpty())
        painter.drawImage(shown.topLeft(), image_, shown);
}

} // namespace view
