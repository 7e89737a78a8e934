#pragma once

#include "view/picture.h"

#include <QByteArray>

#include <memory>

namespace view {

/// Reads an enhanced or a placeable Windows metafile from the whole file's bytes.
/// Throws Failure "Metafile is not valid" for anything else.
[[nodiscard]] std::unique_ptr<Picture> readMetafile(const QByteArray &data);

} // namespace view
