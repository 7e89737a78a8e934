#include "app/spinedit.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOption>
#include <QStylePainter>

#include <algorithm>

SpinArrow::SpinArrow(Qt::ArrowType arrow, QWidget *parent)
    : QAbstractButton(parent)
    , arrow_(arrow)
{
    setFocusPolicy(Qt::NoFocus);
    // The arrow is only painted; this is what assistive technology reads.
    setAccessibleName(
        arrow == Qt::UpArrow ? QStringLiteral("Augmenter") : QStringLiteral("Diminuer"));
    repeat_.setSingleShot(true);
    repeat_.setTimerType(Qt::PreciseTimer); // a coarse timer may fire up to 5 % early
    connect(&repeat_, &QTimer::timeout, this, &SpinArrow::tick);
    connect(this, &QAbstractButton::clicked, this, &SpinArrow::step);
}

void SpinArrow::cancelRepeat()
{
    held_ = false;
    repeat_.stop();
    // Without the down state the base class takes the coming release for a cancelled click.
    setDown(false);
}

void SpinArrow::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton button;
    button.initFrom(this);
    button.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    painter.drawControl(QStyle::CE_PushButtonBevel, button);
    QStyleOption glyph;
    glyph.initFrom(this);
    glyph.rect = rect().adjusted(3, 2, -3, -2);
    if (isDown())
        glyph.rect.translate(1, 1);
    painter.drawPrimitive(
        arrow_ == Qt::UpArrow ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown, glyph);
}

void SpinArrow::mousePressEvent(QMouseEvent *event)
{
    QAbstractButton::mousePressEvent(event);
    if (isDown()) {
        held_ = true;
        repeat_.start(kFirstDelay);
    }
}

void SpinArrow::mouseMoveEvent(QMouseEvent *event)
{
    // A cancelled press must not come back to life when the pointer returns over the button.
    if (!held_) {
        event->ignore();
        return;
    }
    QAbstractButton::mouseMoveEvent(event);
}

void SpinArrow::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        held_ = false;
        repeat_.stop();
    }
    QAbstractButton::mouseReleaseEvent(event);
}

void SpinArrow::tick()
{
    // While the pointer is off the button it is not down: the timer runs on without stepping,
    // so the repetition resumes when the pointer comes back.
    if (!held_)
        return;
    if (isDown())
        emit step();
    // A step whose change event failed has cancelled the repetition meanwhile.
    if (held_)
        repeat_.start(kInterval);
}

SpinEdit::SpinEdit(int minimum, int maximum, QWidget *parent)
    : QLineEdit(parent)
    , minimum_(minimum)
    , maximum_(maximum)
    , up_(new SpinArrow(Qt::UpArrow, this))
    , down_(new SpinArrow(Qt::DownArrow, this))
{
    setTextMargins(0, 0, kArrowWidth, 0);
    setAcceptDrops(false);
    // The standard menu offers cut and paste, which this box refuses.
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(up_, &SpinArrow::step, this, [this] { stepBy(1); });
    connect(down_, &SpinArrow::step, this, [this] { stepBy(-1); });
}

int SpinEdit::value() const
{
    bool ok = false;
    const int v = text().toInt(&ok, 10);
    return ok ? v : minimum_;
}

void SpinEdit::setValue(int value)
{
    const QString digits = QString::number(std::clamp(value, minimum_, maximum_));
    if (digits != text())
        setText(digits);
}

void SpinEdit::stepBy(int steps)
{
    setValue(value() + steps);
}

void SpinEdit::cancelRepeat()
{
    up_->cancelRepeat();
    down_->cancelRepeat();
}

void SpinEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)) {
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Up:
        stepBy(1);
        event->accept();
        return;
    case Qt::Key_Down:
        stepBy(-1);
        event->accept();
        return;
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        QApplication::beep();
        event->accept();
        return;
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
        QLineEdit::keyPressEvent(event);
        return;
    default:
        break;
    }
    if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::SelectAll)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    // Everything else that would type is refused; control keys pass silently, as they would
    // otherwise reach the line editing shortcuts (which may delete text).
    const QString typed = event->text();
    if (!typed.isEmpty() && typed.at(0).isPrint()
        && !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)))
        QApplication::beep();
    event->accept();
}

void SpinEdit::inputMethodEvent(QInputMethodEvent *event)
{
    if (!event->commitString().isEmpty())
        QApplication::beep();
    event->accept();
}

void SpinEdit::mouseReleaseEvent(QMouseEvent *event)
{
    // The middle button pastes the X11 selection; pasting is refused like typing.
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void SpinEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    const int v = value();
    if (v < minimum_ || v > maximum_)
        setValue(v);
}

void SpinEdit::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    QStyleOptionFrame frame;
    initStyleOption(&frame);
    const int border = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, this);
    const int x = width() - border - kArrowWidth;
    const int inner = height() - 2 * border;
    up_->setGeometry(x, border, kArrowWidth, inner / 2);
    down_->setGeometry(x, border + inner / 2, kArrowWidth, inner - inner / 2);
}
