#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

class TForm1;

/// The file a drag carries when it is exactly one file of this machine; nothing for several
/// files, none, or a web or remote address.
[[nodiscard]] std::optional<QString> droppedFile(const QList<QUrl> &urls);

/// Lets a picture file dragged from a file manager be dropped anywhere on the window: it opens
/// as if chosen with "Ouvrir une image".
void acceptDroppedPictures(TForm1 &form);
