#pragma once

#include <QByteArray>
#include <QImage>

namespace view {

/// Decodes `data`, whose headers were checked beforehand, with Qt's reader of `format`, never
/// one the content would suggest. `image`, when not negative, picks one of the images of a file
/// that holds several; `unlimited` lifts Qt's allocation cap for a file whose own bytes vouch
/// for its size. A null image when Qt cannot decode it.
[[nodiscard]] QImage decodeWithQt(
    const QByteArray &data, const char *format, int image = -1, bool unlimited = false);

} // namespace view
