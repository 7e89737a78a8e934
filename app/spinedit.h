#pragma once

#include <QAbstractButton>
#include <QLineEdit>
#include <QTimer>

/// One arrow button of a spin box: steps once when released over it and, held down, repeats
/// first after 400 ms and then every 100 ms while the pointer stays over it.
class SpinArrow : public QAbstractButton {
    Q_OBJECT
public:
    SpinArrow(Qt::ArrowType arrow, QWidget *parent);

    /// Stops a running repetition and forgets the press, so the release no longer steps.
    void cancelRepeat();
    [[nodiscard]] bool isRepeating() const { return repeat_.isActive(); }

    static constexpr int kFirstDelay = 400;
    static constexpr int kInterval = 100;

signals:
    void step();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void tick();

    Qt::ArrowType arrow_;
    QTimer repeat_;
    bool held_ = false;
};

/// A whole-number spin box whose text the user cannot type into: the arrows and the Up and
/// Down keys step it, Delete may empty it. The text is the value; textChanged() is the change
/// event and fires once per actual change of the text.
class SpinEdit : public QLineEdit {
    Q_OBJECT
public:
    SpinEdit(int minimum, int maximum, QWidget *parent);

    /// The text as a whole decimal number; a text that does not convert reads as the minimum.
    [[nodiscard]] int value() const;
    /// Writes the value clamped to the range; writing the text already shown changes nothing.
    void setValue(int value);
    void stepBy(int steps);
    /// Ends a held arrow's repetition, e.g. after a change event failed.
    void cancelRepeat();

    [[nodiscard]] SpinArrow *upArrow() const { return up_; }
    [[nodiscard]] SpinArrow *downArrow() const { return down_; }

    static constexpr int kArrowWidth = 15;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int minimum_;
    int maximum_;
    SpinArrow *up_;
    SpinArrow *down_;
};
