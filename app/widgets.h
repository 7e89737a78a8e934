#pragma once

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRect>

/// A push button whose caption wraps onto several lines when it is too wide for one.
class WrapButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *event) override;
};

/// A panel framed by an outer and an inner bevel, each one pixel wide.
class BevelPanel : public QFrame {
    Q_OBJECT
public:
    enum class Bevel {
        None,
        Lowered,
        Raised,
        Space
    };
    BevelPanel(Bevel outer, Bevel inner, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Bevel outer_;
    Bevel inner_;
};

/// A single-line edit with its caption standing above it: left edges aligned, the caption's
/// bottom 3 pixels above the edit's top.
class LabeledEdit : public QLineEdit {
    Q_OBJECT
public:
    LabeledEdit(const QString &caption, QSize captionSize, QWidget *parent);
    [[nodiscard]] QLabel *caption() const { return caption_; }
    /// Places the edit and, above it, its caption.
    void setBounds(int left, int top, int width, int height);

    static constexpr int kSpacing = 3;

private:
    QLabel *caption_;
};

/// The only tooltip of the window (the logo's) comes after 500 ms instead of the usual delay.
class ToolTipTiming : public QProxyStyle {
    Q_OBJECT
public:
    static constexpr int kWakeUpDelay = 500;
    static constexpr int kDuration = 2500;

    int styleHint(StyleHint hint,
        const QStyleOption *option,
        const QWidget *widget,
        QStyleHintReturn *returnData) const override;
};

/// Where a window's outer frame goes so that it lies inside `available`: where it fits, the
/// least move along each axis that brings it in, nothing when it is already inside; along an
/// axis where the screen is too small for it, the available area's left or top edge, so that
/// its title bar and its top-left controls stay reachable.
[[nodiscard]] QPoint placedFrame(const QRect &frame, const QRect &available);
