#pragma once

#include <QString>

#include <memory>

class QWidget;

namespace view {

/// The modal open-picture dialog with its preview pane. It remembers the last confirmed file
/// name and file type for the rest of the run; a cancelled dialog keeps them.
class OpenPictureDialog {
public:
    explicit OpenPictureDialog(QWidget *parent);
    ~OpenPictureDialog();

    /// Shows the dialog modally; true when the user confirmed a file.
    bool execute();
    [[nodiscard]] QString fileName() const;
    /// 1-based index of the chosen file type ("All" is 1).
    [[nodiscard]] int filterIndex() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace view
