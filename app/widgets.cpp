#include "app/widgets.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>
#include <limits>

void WrapButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    QRect area = rect().adjusted(4, 2, -4, -2);
    if (isDown())
        area.translate(1, 1);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, text());
}

BevelPanel::BevelPanel(Bevel outer, Bevel inner, QWidget *parent)
    : QFrame(parent)
    , outer_(outer)
    , inner_(inner)
{ }

namespace {

void drawBevel(QPainter &painter, const QRect &r, BevelPanel::Bevel bevel, const QPalette &palette)
{
    if (bevel == BevelPanel::Bevel::None || bevel == BevelPanel::Bevel::Space)
        return;
    const bool lowered = bevel == BevelPanel::Bevel::Lowered;
    const QColor topLeft = lowered ? palette.color(QPalette::Dark) : palette.color(QPalette::Light);
    const QColor bottomRight =
        lowered ? palette.color(QPalette::Light) : palette.color(QPalette::Dark);
    painter.setPen(topLeft);
    painter.drawLine(r.left(), r.top(), r.right(), r.top());
    painter.drawLine(r.left(), r.top(), r.left(), r.bottom());
    painter.setPen(bottomRight);
    painter.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    painter.drawLine(r.right(), r.top(), r.right(), r.bottom());
}

} // namespace

void BevelPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QRect r = rect();
    drawBevel(painter, r, outer_, palette());
    if (outer_ != Bevel::None)
        r.adjust(1, 1, -1, -1);
    drawBevel(painter, r, inner_, palette());
}

LabeledEdit::LabeledEdit(const QString &caption, QSize captionSize, QWidget *parent)
    : QLineEdit(parent)
    , caption_(new QLabel(caption, parent))
{
    caption_->setTextFormat(Qt::PlainText);
    caption_->resize(captionSize);
    caption_->setBuddy(this);
    // A line edit stops at 32767 characters by default; these take whatever is typed or pasted.
    setMaxLength(std::numeric_limits<int>::max());
}

void LabeledEdit::setBounds(int left, int top, int width, int height)
{
    setGeometry(left, top, width, height);
    caption_->move(left, top - kSpacing - caption_->height());
}

int ToolTipTiming::styleHint(StyleHint hint,
    const QStyleOption *option,
    const QWidget *widget,
    QStyleHintReturn *returnData) const
{
    if (hint == SH_ToolTip_WakeUpDelay)
        return kWakeUpDelay;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

namespace {

// The start of a span of `length` moved the least into [low, low + room), or `low` when
// it cannot fit.
int placedSpan(int start, int length, int low, int room)
{
    if (length >= room)
        return low;
    return std::clamp(start, low, low + room - length);
}

} // namespace

QPoint placedFrame(const QRect &frame, const QRect &available)
{
    return QPoint(placedSpan(frame.left(), frame.width(), available.left(), available.width()),
        placedSpan(frame.top(), frame.height(), available.top(), available.height()));
}
