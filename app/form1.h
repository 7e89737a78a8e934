#pragma once

#include "measure/curves.h"
#include "measure/mesurestate.h"

#include <QImage>
#include <QRgb>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTabWidget;
class QTextEdit;
class QUrl;
class BevelPanel;
class LabeledEdit;
class SpinEdit;

namespace view {
class OpenPictureDialog;
class Picture;
class PictureView;
} // namespace view

/// The application's title: the message boxes are captioned with it.
inline const char *const kApplicationTitle = "Korvalen";

/// The main window: the page "Mesures" with the picture area and the measuring controls, the
/// page "Explications" with the texts and the calculator. Its methods are the event handlers.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    /// Shows a failure's message; tests replace it with a recorder.
    std::function<void(const QString &message)> showFailure;
    /// Asks for the picture file to open; nothing when the user cancels.
    std::function<std::optional<QString>()> choosePicture;
    /// The open dialog behind choosePicture, alive for the whole run.
    [[nodiscard]] view::OpenPictureDialog &openDialog() const { return *openpic; }

    /// The one measurement state of the run.
    measure::TMesureState state;

    // Handlers.
    void onmoondown(
        Qt::MouseButton button, Qt::KeyboardModifiers modifiers, bool doubleClick, QPoint position);
    void Button1Click();
    void tracearc();
    void Ellipse();
    void mesure();
    void upClick();
    void downClick();
    void leftClick();
    void rightClick();
    void onspinchange();
    void onmeschange();
    void Button2Click();
    void Button3Click();
    void Button4Click();

    /// Runs a handler so that nothing it throws leaves it: the failure goes to the display.
    void guarded(const std::function<void()> &handler);

    // Controls, named as in the layout.
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;
    view::PictureView *pic3 = nullptr;
    view::PictureView *pic = nullptr;
    view::PictureView *picmesure = nullptr;
    view::PictureView *picellipse = nullptr;
    QLabel *Label5 = nullptr;
    view::PictureView *Image1 = nullptr;
    QSlider *point = nullptr;
    LabeledEdit *label1 = nullptr;
    QPushButton *Button4 = nullptr;
    QPushButton *Button3 = nullptr;
    QPushButton *Button1 = nullptr;
    BevelPanel *Panel1 = nullptr;
    QPushButton *left = nullptr;
    QPushButton *up = nullptr;
    QPushButton *right = nullptr;
    QPushButton *down = nullptr;
    BevelPanel *Panel2 = nullptr;
    QLabel *Label2 = nullptr;
    SpinEdit *SpinEditB = nullptr;
    QLabel *Label3 = nullptr;
    SpinEdit *spinmes = nullptr;
    QPushButton *Button2 = nullptr;
    QTextEdit *Memo1 = nullptr;
    QTextEdit *Memo2 = nullptr;
    QTextEdit *Memo3 = nullptr;
    QPushButton *Button5 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    LabeledEdit *LabeledEdit1 = nullptr;
    LabeledEdit *LabeledEdit2 = nullptr;
    QPushButton *butcalc = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *hautcalc = nullptr;

    /// Where the outer frame is placed, and its size.
    static constexpr QRect kFrame{503, 122, 962, 710};
    /// The client size the layout was made for.
    static constexpr QSize kClientSize{954, 683};

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void fitFrame();
    void layoutControls();
    void layoutMesures();
    void layoutExplications();
    void bindHandlers();
    void FormCreate();
    void fail(const QString &message);
    void showFailureBox(const QString &message);
    void drawLimbCircle();
    /// With "Cadrer sur la Lune": the part of a photograph larger than the visible area that
    /// shows its lunar disc, reduced to fit.
    [[nodiscard]] std::unique_ptr<view::Picture> framedOnMoon(
        std::unique_ptr<view::Picture> picture);
    void nudge(int dx, int dy);
    [[nodiscard]] static QImage drawCurve(QSize size, QRgb colour, const measure::Polyline &curve);

    template <typename Sender, typename Signal, typename... Args>
    void bind(Sender *sender, Signal signal, void (TForm1::*handler)(Args...));

    std::unique_ptr<view::OpenPictureDialog> openpic;
    bool framePlaced_ = false;
    bool frameToFit_ = false;

    // Calculator and web links (calculator.cpp, links.cpp).
public:
    /// The calculator's own message box (text, caption); tests replace it with a recorder.
    std::function<void(const QString &text, const QString &caption)> messageBox;
    /// Hands a completed address to the default browser; tests replace it with a recorder.
    std::function<bool(const QUrl &url)> urlOpener;
    /// The decimal separator of the user's locale, read at start-up and on a locale change.
    QString decimalSeparator;
    /// True when the key typed into LabeledEdit1 or LabeledEdit2 is discarded.
    bool ontextpress(QKeyEvent *key);
    void butcalcClick();
    bool openurl(const QString &address);
    void ontavclick();
    void Button5Click();

private:
    void bindCalculator();
    void bindLinks();
    bool calculatorEvent(QObject *watched, QEvent *event);
    /// Not a child: it goes with the members, before the widget part of the window sends its
    /// last events, which must not reach a half-destroyed TForm1.
    std::unique_ptr<QObject> calculatorHook;
};
