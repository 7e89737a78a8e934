// Start-up of the main window: its effects, the binding of every handler, the failure display
// and the placing of its frame.
#include "app/form1.h"

#include "app/calculator.h"
#include "app/dropping.h"
#include "app/links.h"
#include "app/messagebox.h"
#include "app/spinedit.h"
#include "app/widgets.h"
#include "measure/failure.h"
#include "measure/texts.h"
#include "view/loupe.h"
#include "view/opendialog.h"
#include "view/pictureview.h"

#include <QDialog>
#include <QEvent>
#include <QIcon>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <exception>

// The resources live in the static library, which nothing else references: without this the
// linker would leave them out of the program.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

TForm1::TForm1(QWidget *parent)
    : QWidget(parent)
    , openpic(std::make_unique<view::OpenPictureDialog>(this))
{
    initResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Selmarin"));
    // On X11 the icon name (_NET_WM_ICON_NAME) is what task lists show: the application's
    // title, the nearest this platform has to a task-bar button named after the program.
    setWindowIconText(QString::fromUtf8(kApplicationTitle));
    setWindowIcon(QIcon(QStringLiteral(":/korvalen.xpm")));
    decimalSeparator = calculator::localeDecimalSeparator();
    setDefaultEffects();
    layoutControls();
    bindHandlers();
    acceptDroppedPictures(*this);
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::setDefaultEffects()
{
    effects.showFailure = [this](const QString &message) {
        makeMessageBox(QMessageBox::Critical,
            QString::fromUtf8(kApplicationTitle),
            message,
            isVisible() ? this : nullptr)
            ->exec();
    };
    effects.messageBox = [this](const QString &text, const QString &caption) {
        makeMessageBox(QMessageBox::NoIcon, caption, text, isVisible() ? this : nullptr)->exec();
    };
    effects.choosePicture = [this]() -> std::optional<QString> {
        if (!openpic->execute())
            return std::nullopt;
        return openpic->fileName();
    };
    effects.openUrl = links::desktopOpener();
    effects.showPreview = [](QDialog &window) {
        window.exec();
    };
    effects.runDatePlace = [](QDialog &dialog) {
        return dialog.exec() == QDialog::Accepted;
    };
    // The dialog asks the window, so that a replaced effect reaches it too.
    openpic->runPreview = [this](QDialog &window) {
        effects.showPreview(window);
    };
}

template <typename Sender, typename Signal, typename... Args>
void TForm1::bind(Sender *sender, Signal signal, void (TForm1::*handler)(Args...))
{
    connect(sender, signal, this, [this, handler](Args... args) {
        guarded([&] { (this->*handler)(args...); });
    });
}

void TForm1::bindHandlers()
{
    // The terminator's layer covers the three others, and the shadow's layer above it lets
    // presses through, so every press on the area reaches the terminator's layer, and only it.
    bind(picellipse, &view::PictureView::pressed, &TForm1::onmoondown);
    picellipse->setMouseTracking(true);
    bind(picellipse, &view::PictureView::moved, &TForm1::onmoonmove);
    bind(picellipse, &view::PictureView::pointerLeft, &TForm1::onmoonleave);
    bind(butajuste, &QPushButton::clicked, &TForm1::butajusteClick);
    bind(butloupe, &QPushButton::toggled, &TForm1::butloupeClick);
    bind(butcopier, &QPushButton::clicked, &TForm1::butcopierClick);
    // Ctrl+C on the page "Mesures", its picture area included; an edit with the focus keeps
    // its own copy of its selected text.
    auto *copy = new QShortcut(QKeySequence::Copy, TabSheet1);
    copy->setContext(Qt::WidgetWithChildrenShortcut);
    bind(copy, &QShortcut::activated, &TForm1::butcopierClick);
    picellipse->installEventFilter(this);
    bind(Button1, &QPushButton::clicked, &TForm1::Button1Click);
    bind(up, &QPushButton::clicked, &TForm1::upClick);
    bind(down, &QPushButton::clicked, &TForm1::downClick);
    bind(left, &QPushButton::clicked, &TForm1::leftClick);
    bind(right, &QPushButton::clicked, &TForm1::rightClick);
    bind(SpinEditB, &QLineEdit::textChanged, &TForm1::onspinchange);
    bind(spinmes, &QLineEdit::textChanged, &TForm1::onmeschange);
    bind(Button2, &QPushButton::clicked, &TForm1::Button2Click);
    // Ctrl+O opens a picture from anywhere in the window, as the open button does.
    bind(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this),
        &QShortcut::activated,
        &TForm1::Button2Click);
    bind(Button3, &QPushButton::clicked, &TForm1::Button3Click);
    bind(Button4, &QPushButton::clicked, &TForm1::Button4Click);
    bind(butombre, &QPushButton::toggled, &TForm1::butombreClick);
    bind(pic3, &view::PictureView::deferredFailure, &TForm1::onpicturefailure);
    bind(pic3, &view::PictureView::pictureReplaced, &TForm1::photographChanged);
    bind(butcalc, &QPushButton::clicked, &TForm1::butcalcClick);
    bind(Image1, &view::PictureView::clicked, &TForm1::ontavclick);
    bind(Button5, &QPushButton::clicked, &TForm1::Button5Click);
    bind(butdatelieu, &QPushButton::clicked, &TForm1::butdatelieuClick);

    // Events that are no signals: the calculator's keys, and the locale changes that the
    // application passes on to its windows, seen by one hook before their receivers.
    calculatorHook = std::make_unique<calculator::EventHook>(
        [this](QObject *watched, QEvent *event) { return calculatorEvent(watched, event); });
    LabeledEdit1->installEventFilter(calculatorHook.get());
    LabeledEdit2->installEventFilter(calculatorHook.get());
    installEventFilter(calculatorHook.get());
    // The picture area follows the page's size.
    TabSheet1->installEventFilter(this);
}

void TForm1::FormCreate()
{
    state.decalx = 0;
    state.decaly = 0;
    // The logo goes onto the white surface of the view's size, top-left, so the margins on the
    // right and at the bottom take the key colour and let the page show through.
    Image1->drawBitmap(0, 0, QImage(QStringLiteral(":/tavelin.bmp")));
}

void TForm1::guarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &failure) {
        fail(QString::fromStdString(failure.what()));
    } catch (...) {
        fail(QString());
    }
}

void TForm1::fail(const QString &message)
{
    // A held spin-box arrow stops repeating, and no widget keeps the mouse.
    SpinEditB->cancelRepeat();
    spinmes->cancelRepeat();
    if (QWidget *grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    const QString text = QString::fromStdString(measure::withFullStop(message.toStdString()));
    try {
        effects.showFailure(text);
    } catch (...) {
        // The display itself failing must not carry anything into the event loop.
    }
}

void TForm1::onpicturefailure(const QString &message)
{
    throw measure::Failure(message.toStdString());
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    // The picture views are anchored on all four sides of their page.
    if (watched == TabSheet1 && event->type() == QEvent::Resize) {
        for (view::PictureView *layer : {pic3, pic, picmesure, picellipse, picombre})
            layer->setGeometry(pictureArea(TabSheet1->size()));
        updateFramingHint();
    }
    // The wheel over the picture area steps the loupe's magnification.
    if (watched == picellipse && event->type() == QEvent::Wheel && loupe->isVisible()) {
        const int delta = static_cast<QWheelEvent *>(event)->angleDelta().y();
        if (delta != 0)
            loupe->stepMagnification(delta > 0 ? 1 : -1);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The tab control fills the client area but for the status line at its foot.
    PageControl1->setGeometry(0, 0, width(), std::max(0, height() - kStatusLineHeight));
    barreetat->setGeometry(0, PageControl1->height(), width(), kStatusLineHeight);
}

void TForm1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (framePlaced_)
        return;
    framePlaced_ = true;
    // Placed at once with the frame's designed size, so that a window manager that never
    // reports its frame still shows the window inside the screen.
    placeFrame();
    frameToFit_ = true;
    // A window manager that adds its frame around the client where it stands moves nothing,
    // so no move event says when the frame is known: the fit is also tried a little later.
    for (const int delay : {0, 100, 500})
        QTimer::singleShot(delay, this, [this] { fitFrame(); });
}

void TForm1::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    // The window manager puts its frame around the window after it is shown, which moves the
    // client area; only from then on are the frame's margins known.
    fitFrame();
}

void TForm1::fitFrame()
{
    if (!frameToFit_)
        return;
    // The frame's size is the window manager's to tell: once it is known, the client area is
    // set, once, so that the outer frame has the designed size.
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    if (frame.isNull())
        return;
    frameToFit_ = false;
    resize(kFrame.width() - frame.left() - frame.right(),
        kFrame.height() - frame.top() - frame.bottom());
    placeFrame();
}

void TForm1::placeFrame()
{
    move(placedFrame(kFrame, screen()->availableGeometry()));
}

QSize TForm1::visiblePictureSize() const
{
    return (pic3->geometry() & TabSheet1->rect()).size() * pic3->devicePixelRatioF();
}

void TForm1::updateFramingHint()
{
    // With "Cadrer sur la Lune" checked, a larger photograph is shown unframed only when it
    // has no disc to frame, which its message box said: the hint would then mislead.
    const view::Picture *shown = pic3->picture();
    const QSize visible = visiblePictureSize();
    const bool cut = shown
        && (shown->naturalSize().width() > visible.width()
            || shown->naturalSize().height() > visible.height());
    conseilcadrage->setVisible(cut && !openpic->frameOnMoon());
}
