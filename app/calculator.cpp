// The calculator of the page "Explications": its key filter, the calculation, and the decimal
// separator it follows.
#include "app/calculator.h"

#include "app/form1.h"
#include "app/widgets.h"
#include "measure/calculator.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>

namespace calculator {

namespace {

char32_t firstCodePoint(const QString &text)
{
    const QList<uint> codes = text.toUcs4();
    return codes.isEmpty() ? 0 : codes.front();
}

bool keeps(char32_t c, const QString &decimalSeparator)
{
    return measure::keepsTypedCharacter(c, firstCodePoint(decimalSeparator));
}

} // namespace

QString localeDecimalSeparator()
{
    // The default locale is the user's own: the program never sets one, only tests do.
    return QLocale().decimalPoint();
}

bool discardsKey(const QKeyEvent &key, const QString &decimalSeparator)
{
    switch (key.key()) {
    case Qt::Key_Delete: // deletes, although X11 gives it the text 0x7F
    case Qt::Key_Tab: // moves the focus; the edit never inserts it
    case Qt::Key_Backtab:
        return false;
    case Qt::Key_Return: // would otherwise travel on to the window: Return does nothing here
    case Qt::Key_Enter:
        return true;
    default:
        break;
    }
    const QString text = key.text();
    if (text.isEmpty())
        return false; // arrows, Home, End, modifiers, Shift+Insert: nothing typed
    // With Control held a letter types a control character (Ctrl+V is 0x16), which is how the
    // clipboard and undo shortcuts arrive; they are discarded with the other control
    // characters. Control with Alt is AltGr on some keyboards and types ordinary characters.
    const Qt::KeyboardModifiers modifiers = key.modifiers();
    if (modifiers.testFlag(Qt::ControlModifier) && !modifiers.testFlag(Qt::AltModifier))
        return key.key() != Qt::Key_Backspace;
    for (const uint c : text.toUcs4()) {
        if (!keeps(c, decimalSeparator))
            return true;
    }
    return false;
}

void filterComposedText(QInputMethodEvent &event, const QString &decimalSeparator)
{
    const QString composed = event.commitString();
    QString kept;
    for (const uint c : composed.toUcs4()) {
        const char32_t code = c;
        if (keeps(code, decimalSeparator))
            kept += QString::fromUcs4(&code, 1);
    }
    if (kept != composed)
        event.setCommitString(kept, event.replacementStart(), event.replacementLength());
}

} // namespace calculator

bool TForm1::calculatorEvent(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (watched == LabeledEdit1 || watched == LabeledEdit2)
            return ontextpress(static_cast<QKeyEvent *>(event));
        break;
    case QEvent::InputMethod:
        if (watched == LabeledEdit1 || watched == LabeledEdit2)
            calculator::filterComposedText(
                *static_cast<QInputMethodEvent *>(event), decimalSeparator);
        break;
    case QEvent::LocaleChange:
        if (watched == this)
            decimalSeparator = calculator::localeDecimalSeparator();
        break;
    default:
        break;
    }
    return false;
}

bool TForm1::ontextpress(QKeyEvent *key)
{
    return calculator::discardsKey(*key, decimalSeparator);
}

void TForm1::butcalcClick()
{
    // The length is looked at first; either field missing gives the one box.
    if (LabeledEdit1->text().isEmpty() || LabeledEdit2->text().isEmpty()) {
        effects.messageBox(
            QStringLiteral("Il manque quelque chose..."), QStringLiteral("Attention"));
        return;
    }
    const std::string height = measure::shadowHeight(LabeledEdit1->text().toStdString(),
        LabeledEdit2->text().toStdString(),
        decimalSeparator.toStdString());
    hautcalc->setText(QString::fromStdString(height));
    hautcalc->adjustSize(); // a label without layout keeps its top-left corner when it resizes
}
