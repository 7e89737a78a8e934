#include "view/qtdecoding.h"

#include <QBuffer>
#include <QImageReader>

namespace view {

QImage decodeWithQt(const QByteArray &data, const char *format, int image, bool unlimited)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    if (unlimited)
        reader.setAllocationLimit(0);
    if (image >= 0 && !reader.jumpToImage(image))
        return {};
    return reader.read();
}

} // namespace view
