#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QDialog;
class QFileDialog;
class QWidget;

namespace view {

class Picture;

/// The dialog's file types, one per entry of the picture filter text, "All" first.
[[nodiscard]] QStringList pictureNameFilters();

/// The modal open-picture dialog with its preview pane. It remembers the last confirmed file
/// name and file type for the rest of the run; a cancelled dialog keeps them.
class OpenPictureDialog {
public:
    explicit OpenPictureDialog(QWidget *parent);
    ~OpenPictureDialog();
    OpenPictureDialog(const OpenPictureDialog &) = delete;
    OpenPictureDialog &operator=(const OpenPictureDialog &) = delete;

    /// Shows the dialog modally; true when the user confirmed a file.
    bool execute();
    [[nodiscard]] QString fileName() const;
    /// 1-based index of the chosen file type ("All" is 1).
    [[nodiscard]] int filterIndex() const;
    /// Whether "Cadrer sur la Lune" was checked at the last confirmed choice.
    [[nodiscard]] bool frameOnMoon() const;

    /// Runs the file dialog modally; true when confirmed. Tests put a recorder here.
    std::function<bool(QFileDialog &dialog)> runModal;
    /// Runs the "Preview" window modally. Tests put a recorder here.
    std::function<void(QDialog &window)> runPreview;

    /// The file dialog itself, alive for the whole run, with the preview pane in its layout.
    [[nodiscard]] QFileDialog &fileDialog() const;
    /// Updates the preview pane as a change of the selected file does.
    void showFile(const QString &fileName);
    /// The picture the preview pane shows (null when it shows "(None)").
    [[nodiscard]] const Picture *previewPicture() const;
    /// The modal "Preview" window for the picture of the pane, not yet shown (null when the
    /// pane shows nothing); the preview button and a double click on the box exec() it.
    [[nodiscard]] std::unique_ptr<QDialog> makePreviewWindow() const;

private:
    [[nodiscard]] QWidget *makePreviewPane();
    void connectPreview();

    struct State;
    std::unique_ptr<State> state_;
};

} // namespace view
