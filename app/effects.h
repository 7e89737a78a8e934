#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QDialog;

/// What the window does beyond its own pixels: each is a modal box, a dialog or the desktop.
/// TForm1 sets the real ones in setDefaultEffects(); tests replace members with recorders so
/// that nothing is ever exec()'d or launched.
struct Effects {
    /// The top-level failure display: the message, its full stop already appended.
    std::function<void(const QString &message)> showFailure;
    /// The calculator's own message box (text, caption).
    std::function<void(const QString &text, const QString &caption)> messageBox;
    /// Asks for the picture file to open; nothing when the user cancels.
    std::function<std::optional<QString>()> choosePicture;
    /// Hands a completed address to the default browser; true when the desktop accepted it.
    std::function<bool(const QUrl &url)> openUrl;
    /// Runs the open dialog's "Preview" window modally.
    std::function<void(QDialog &window)> showPreview;
    /// Runs the "Date et lieu" dialog modally; true when the user accepted it.
    std::function<bool(QDialog &dialog)> runDatePlace;
};
