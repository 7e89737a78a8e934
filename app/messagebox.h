#pragma once

#include <QMessageBox>
#include <QString>

#include <memory>

class QWidget;

/// The application-modal box with one OK button that both the failure display and the
/// calculator show. Its text is plain: a length typed as "<b>1</b>" or a file name holding
/// markup is shown character for character, never rendered.
[[nodiscard]] std::unique_ptr<QMessageBox> makeMessageBox(
    QMessageBox::Icon icon, const QString &caption, const QString &text, QWidget *parent);
