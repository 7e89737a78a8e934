#include "view/metafilepicture.h"

namespace view {

MetafilePicture::MetafilePicture(QImage image)
    : image_(std::move(image))
{ }

std::unique_ptr<Picture> MetafilePicture::clone() const
{
    return std::make_unique<MetafilePicture>(image_);
}

void MetafilePicture::paint(QPainter &painter, const QRect &area, bool) const
{
    const QRect visible = area.intersected(image_.rect());
    if (!visible.isEmpty())
        painter.drawImage(visible.topLeft(), image_, visible);
}

} // namespace view
