#include "view/qtdecoding.h"

#include <QBuffer>
#include <QImageReader>

namespace view {

std::uint32_t littleEndian(const QByteArray &data, qsizetype at, int bytes)
{
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | static_cast<std::uint8_t>(data[at + i]);
    return value;
}

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
