#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QEvent;
class QInputMethodEvent;
class QKeyEvent;

namespace calculator {

/// The decimal separator of the user's locale, with which the calculator reads and writes.
[[nodiscard]] QString localeDecimalSeparator();

/// Whether the calculator's edits discard this key press: a typed character other than
/// Backspace, '-', '.', a digit or the separator. Keys that type nothing (arrows, Home, End,
/// Delete, Tab) are no typed characters and pass.
[[nodiscard]] bool discardsKey(const QKeyEvent &key, const QString &decimalSeparator);

/// Drops from text composed by an input method the characters that typing would discard.
void filterComposedText(QInputMethodEvent &event, const QString &decimalSeparator);

/// Sees the events of the objects it is installed on before they do; `hook` returns true to
/// swallow one.
class EventHook : public QObject {
public:
    explicit EventHook(std::function<bool(QObject *, QEvent *)> hook)
        : hook_(std::move(hook))
    { }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override { return hook_(watched, event); }

private:
    std::function<bool(QObject *, QEvent *)> hook_;
};

} // namespace calculator
