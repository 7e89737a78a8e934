#pragma once

#include "view/picture.h"

#include <QString>

#include <memory>

namespace view {

/// The dialog's filter text built from the picture format list.
[[nodiscard]] QString pictureFilter();

/// Reads a picture file by its extension. Throws Failure with the message shown to the user.
[[nodiscard]] std::unique_ptr<Picture> readPictureFile(const QString &fileName);

} // namespace view
