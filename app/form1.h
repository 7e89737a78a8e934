#pragma once

#include "app/dateplace.h"
#include "app/effects.h"
#include "measure/measurement.h"
#include "measure/placement.h"
#include "view/pixels.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QGroupBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QSlider;
class QTabWidget;
class QTextEdit;
class BevelPanel;
class LabeledEdit;
class SpinEdit;

namespace view {
class Loupe;
class OpenPictureDialog;
class Picture;
class PictureView;
} // namespace view

/// What the shadow's details say before any shadow is measured.
inline const char *const kShadowHelp =
    "Enfoncez \"Ombre\", puis cliquez sur le sommet du relief et sur le bout de son ombre.";
/// What the fit's details say before "Ajuster" has found anything.
inline const char *const kFitHelp =
    "Tracez le cercle à partir des deux cornes, puis pressez \"Ajuster\" : le bord éclairé, "
    "l'inclinaison de la ligne des cornes et le terminateur sont alors mesurés sur la "
    "photographie.";

/// The application's title: the message boxes are captioned with it.
inline const char *const kApplicationTitle = "Korvalen";

/// The main window: the page "Mesures" with the picture area and the measuring controls, the
/// page "Explications" with the texts and the calculator, and under them the status line of the
/// photograph's date and place. Its methods are the event handlers.
///
/// Where things are: start-up, the wiring of every control and the failure display in
/// form1.cpp; the real effects in setDefaultEffects() (form1.cpp); places and sizes in
/// layout.cpp; the measuring handlers in measuring.cpp; the calculator in calculator.cpp; the
/// web links in links.cpp; the date, the place and the status line in photoplace.cpp. Tests reach
/// the controls by objectName with findChild.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    /// The effects the window has on the world outside it; tests replace them.
    Effects effects;
    /// The open dialog behind effects.choosePicture, alive for the whole run.
    [[nodiscard]] view::OpenPictureDialog &openDialog() const { return *openpic; }

    /// What the measurement is made of, and its rules: no figure outlives the photograph or
    /// the trace it was computed from.
    measure::Measurement measurement;
    /// The one measurement state of the run, which the specified handlers work on.
    measure::TMesureState &state = measurement.state;

    /// Runs a handler so that nothing it throws leaves it: the failure goes to the display.
    void guarded(const std::function<void()> &handler);

    /// Reads a picture file into pic3 as the open button does, framed on the Moon when the
    /// dialog's "Cadrer sur la Lune" is checked; throws, keeping the photograph, when it cannot
    /// be read. A file dropped on the window (dropping.cpp) opens through it.
    void openPicture(const QString &fileName);

    /// Opens an address, stored without its scheme, in the default browser.
    bool openurl(const QString &address);

    /// The height of the status line under the pages.
    static constexpr int kStatusLineHeight = 22;
    /// Where the outer frame is placed, and its size.
    static constexpr QRect kFrame{503, 122, 962, 710 + kStatusLineHeight};
    /// The client size the layout was made for: the pages, 954 × 683, and the status line.
    static constexpr QSize kClientSize{954, 683 + kStatusLineHeight};
    /// The client size of the page "Mesures" at kClientSize.
    static constexpr QSize kPageSize{946, 655};

    /// The bounds of the four picture layers on a page of the given client size. They are
    /// anchored on all four sides: at the page's design size they are 847 × 660 from (128, 0),
    /// which reaches 29 pixels past its right edge and 5 past its bottom, strips never seen.
    [[nodiscard]] static QRect pictureArea(QSize page);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    // Start-up and wiring (form1.cpp), layout (layout.cpp).
    void setDefaultEffects();
    void layoutControls();
    void layoutMesures();
    void layoutExplications();
    void layoutStatusLine();
    void bindHandlers();
    /// Connects `signal` to `handler`, run inside guarded(); the handler may take fewer
    /// arguments than the signal carries.
    template <typename Sender, typename Signal, typename... Args>
    void bind(Sender *sender, Signal signal, void (TForm1::*handler)(Args...));
    void FormCreate();
    void fail(const QString &message);
    void fitFrame();

    // Handlers of the picture area and the page "Mesures" (measuring.cpp).
    /// A press of any button on the picture area: the next cusp, and its yellow ring on pic.
    void onmoondown(
        Qt::MouseButton button, Qt::KeyboardModifiers modifiers, bool doubleClick, QPoint position);
    /// "Traçage des lignes": tracearc, then Ellipse, then mesure.
    void Button1Click();
    /// Computes the limb radius from the cusps, shows it and draws the green limb circle on pic.
    void tracearc();
    /// Draws the red terminator for SpinEditB on a new bitmap of picellipse.
    void Ellipse();
    /// Draws the cyan curve of equal elevation for spinmes on a new bitmap of picmesure.
    void mesure();
    void upClick();
    void downClick();
    void leftClick();
    void rightClick();
    void nudge(int dx, int dy);
    /// SpinEditB changed: both curves again, once a limb circle is traced.
    void onspinchange();
    /// spinmes changed: its text into the calculator, then the curve of equal elevation.
    void onmeschange();
    void Button2Click();
    /// With "Cadrer sur la Lune": the part of a photograph larger than the visible area that
    /// shows its lunar disc, reduced to fit.
    [[nodiscard]] std::unique_ptr<view::Picture> framedOnMoon(
        std::unique_ptr<view::Picture> picture);
    /// "Effacer tracés": clears pic, picellipse, picmesure and the shadow on picombre.
    void Button3Click();
    /// "Effacer image": clears pic3.
    void Button4Click();
    /// Another photograph in pic3, or none: what was read off the last one no longer holds.
    void photographChanged();
    /// The pixels of the photograph in pic3, a JPEG decoded if it was never shown; empty when
    /// there is none. Kept until the photograph changes.
    [[nodiscard]] measure::ImageView photographPixels();
    /// The same, asked only when a computation needs them.
    [[nodiscard]] measure::PixelSource photographSource();
    /// A photograph that failed to decode at its first paint, reported afterwards.
    void onpicturefailure(const QString &message);

    // The shadow tool (shadowtool.cpp).
    /// "Ombre" taken up or put down: taken up, the next press is a top again.
    void butombreClick(bool taken);
    /// A press on the picture while "Ombre" is down: a top, then the end of its shadow. False
    /// when the button is up and the press is a cusp click.
    bool onombredown(QPoint position);
    /// The last shadow as the measurement stands, into hautombre and the details box.
    void showShadow();
    /// The ends of the shadow just clicked, sought on the photograph.
    void refineShadow();
    void drawShadow();
    // The Sun's elevation under the cursor and the terminator found on the photograph
    // (suncursor.cpp).
    /// The pointer moved over the picture area: the elevation at that pixel in soleilcurseur.
    void onmoonmove(QPoint position);
    /// The pointer left the picture area: soleilcurseur empties, the loupe hides.
    void onmoonleave();
    /// "Loupe" taken up or put down: the magnified view follows the pointer while it is up.
    void butloupeClick(bool taken);
    /// The loupe at the picture pixel under the pointer, when it is taken up.
    void followLoupe(QPoint position);
    /// "Copier" or Ctrl+C: the measurement as a French text and the picture area as an image,
    /// on the clipboard.
    void butcopierClick();
    /// "Ajuster": the terminator fitted on the photograph; SpinEditB to its whole degree.
    void butajusteClick();
    /// Says in a message box why "Ajuster" cannot work.
    void refuse(const char *sentence);
    /// Lays the cusps, the circle and the curves on the model "Ajuster" found.
    void traceFit(const measure::Calibration &fit);
    /// What the fit found, with its uncertainties, or nothing when there is no fit.
    void showFit();

    // The photograph's date and place, and the status line under the pages (photoplace.cpp).
    /// "Date et lieu…": the dialog for the photograph shown; what it gives stays with it.
    void butdatelieuClick();
    /// The date and place of the photograph just shown, as its EXIF block gives them.
    void readPhotographDate();
    /// The photograph placed on the Moon for the measurement's model (the fitted one after
    /// "Ajuster") and its date; none without a date or a usable trace. Placed again only when
    /// the photograph, the trace, B, the fit or the date and place changed.
    [[nodiscard]] const measure::Placement *placement();
    /// The status line as the measurement stands: the date, no pointer reading, and the check
    /// of the fitted terminator against the date. To be called after every change of them.
    void showPlaceLine();
    /// The pointer moved over the picture: the place under it, its Sun from the ephemeris and
    /// its name.
    void showPointerPlace(QPoint position);
    /// The place at a picture point, its Sun from the ephemeris and its name; empty without a
    /// placement.
    [[nodiscard]] QString pointerPlaceText(measure::PicturePoint at);
    /// The last shadow measured under the ephemeris's Sun when the date is known, under the
    /// photograph's otherwise; `ephemeris` says which.
    [[nodiscard]] std::optional<measure::ShadowMeasure> currentShadow(bool &ephemeris);
    /// The fitted terminator against the date; none without a fit or a date.
    [[nodiscard]] std::optional<measure::TimeCheck> timeCheck();
    /// The check line of the fit's details, empty without a fit and a date.
    [[nodiscard]] QString checkDetails();

    // Calculator (calculator.cpp).
    /// True when the key typed into LabeledEdit1 or LabeledEdit2 is discarded.
    bool ontextpress(QKeyEvent *key);
    void butcalcClick();
    bool calculatorEvent(QObject *watched, QEvent *event);

    // Web links (links.cpp).
    /// A click on the logo (the left button pressed and released over it) opens the home page.
    void ontavclick();
    void Button5Click();

    // Controls, named as in the layout.
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;
    // The picture area: four views of the same bounds, stacked in this order, bottom first.
    view::PictureView *pic3 = nullptr; ///< the photograph, opaque
    view::PictureView *pic = nullptr; ///< cusp markers and limb circle, drawn in place
    view::PictureView *picmesure = nullptr; ///< curve of equal elevation, new at each redraw
    view::PictureView *picellipse = nullptr; ///< terminator, new at each redraw; takes presses
    view::PictureView *picombre = nullptr; ///< the shadow tool's drawing; lets presses through
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
    QPushButton *butombre = nullptr;
    QLabel *hautombre = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QLabel *detailsombre = nullptr;
    QPushButton *butajuste = nullptr;
    QLabel *soleilcurseur = nullptr;
    QPushButton *butloupe = nullptr;
    QPushButton *butcopier = nullptr;
    QLabel *resultatajuste = nullptr;
    QGroupBox *GroupBox3 = nullptr;
    QLabel *detailsajuste = nullptr;
    view::Loupe *loupe = nullptr;
    // The status line under the pages.
    QWidget *barreetat = nullptr;
    QPushButton *butdatelieu = nullptr;
    QLabel *datelieu = nullptr;
    QLabel *lieucurseur = nullptr;
    QLabel *controleheure = nullptr;

    /// When and where the photograph shown was taken: read from its file, then as the user
    /// corrected it; forgotten with the photograph.
    DatePlace datePlace_;
    /// Counts the changes of datePlace_, for the placement's cache.
    std::uint64_t datePlaceRevision_ = 0;
    /// The last placement and what it was made from.
    struct PlacementCache {
        std::uint64_t measurement = 0;
        std::uint64_t datePlace = 0;
        measure::MoonModel model;
        std::optional<measure::Placement> placement;
    };
    std::optional<PlacementCache> placed_;

    /// The file name of the photograph shown, when it came from a file.
    QString photographName_;
    /// The photograph's pixels as the computations read them, while it is shown.
    std::optional<view::Pixels> photographPixels_;
    bool photographRead_ = false;

    // Placing the window on the screen it opens on, and the hint about framing a photograph
    // (form1.cpp; the hint's place in layout.cpp).
    /// Moves the outer frame, of the designed size, to its designed place or, where that
    /// leaves part of it off the screen's available area, the least needed to bring it in.
    void placeFrame();
    /// The part of pic3 the page shows, in device pixels: a photograph larger than this is
    /// seen only in part.
    [[nodiscard]] QSize visiblePictureSize() const;
    /// Shows conseilcadrage while pic3 holds a photograph opened unframed that is larger than
    /// the visible part of the area, and hides it otherwise. To be called after each change of
    /// the photograph.
    Q_INVOKABLE void updateFramingHint();
    /// The hint under "Effacer image": "Cadrer sur la Lune" brings the disc into view.
    QLabel *conseilcadrage = nullptr;

    std::unique_ptr<view::OpenPictureDialog> openpic;
    /// The decimal separator of the user's locale, read at start-up and on a locale change.
    QString decimalSeparator;
    bool framePlaced_ = false;
    bool frameToFit_ = false;
    /// Sees the calculator's keys and the locale changes. Not a child: it goes with the
    /// members, before the widget part of the window sends its last events, which must not
    /// reach a half-destroyed TForm1.
    std::unique_ptr<QObject> calculatorHook;
};
