#include "view/picture.h"

#include "view/boxreduce.h"

namespace view {

QImage Picture::greyLevels(const QRect &part, int scale) const
{
    const QImage image = measuredImage();
    const QRect inside = part & image.rect();
    if (inside.isEmpty())
        return {};
    const QImage grey = (inside == image.rect() ? image : image.copy(inside))
                            .convertToFormat(QImage::Format_Grayscale8);
    if (scale <= 1 || grey.isNull())
        return grey;
    QImage out(reducedLength(grey.width(), scale),
        reducedLength(grey.height(), scale),
        QImage::Format_Grayscale8);
    if (out.isNull())
        return {};
    BoxReducer reducer(1, grey.width(), scale);
    for (int y = 0; y < grey.height(); ++y) {
        reducer.add(grey.constScanLine(y));
        if ((y + 1) % scale == 0 || y + 1 == grey.height())
            reducer.take(out.scanLine(y / scale));
    }
    return out;
}

} // namespace view
