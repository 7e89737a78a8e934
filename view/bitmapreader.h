#pragma once

#include "view/picture.h"

#include <QByteArray>

#include <memory>

namespace view {

/// Reads a Windows bitmap file from its bytes into a BitmapPicture. Throws Failure
/// "Stream read error" when the file ends inside its headers or pixels, and "Bitmap image is
/// not valid" for an empty file, a missing "BM" signature or anything else that is not a bitmap.
[[nodiscard]] std::unique_ptr<Picture> readBitmap(const QByteArray &data);

} // namespace view
