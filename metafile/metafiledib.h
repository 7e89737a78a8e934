#pragma once

#include "metafile/metafilebytes.h"

#include <QImage>
#include <QRectF>

#include <cstdint>

namespace metafile {

/// Decodes a device-independent bitmap: `info` holds its header and colour table, `bits` its
/// pixels. Returns a null image for a kind that is not drawn (colours given as palette indices,
/// an unknown compression); fails as an invalid metafile when the bitmap does not fit its bytes.
/// `bottomUp`, when given, tells whether the rows were stored from the bottom (the origin of the
/// source rectangles of some records is then the bottom-left corner). With `alpha`, a 32-bit
/// bitmap keeps the premultiplied alpha of its fourth byte.
[[nodiscard]] QImage decodeDib(ByteSpan info,
    ByteSpan bits,
    std::uint32_t usage,
    bool *bottomUp = nullptr,
    bool alpha = false);

/// The rectangle of the source of a bit-block record, in the rows of the decoded image; for some
/// records a bitmap stored bottom-up counts its source rows from the bottom.
[[nodiscard]] QRectF sourceRect(
    const QImage &image, bool fromBottom, double x, double y, double w, double h);

/// A bitmap whose pixels follow its header and colour table.
[[nodiscard]] QImage decodePackedDib(
    ByteSpan packed, std::uint32_t usage, bool *bottomUp = nullptr);

/// The device-dependent bitmap of the older bit-block records: monochrome or 24/32-bit.
[[nodiscard]] QImage decodeBitmap16(ByteSpan bitmap);

} // namespace metafile
