#include "measure/real.h"
#include "testsupport.h"
#include "view/bitmappicture.h"
#include "view/pictureformats.h"
#include "view/pictureview.h"
#include "view/surface.h"

#include <QAccessible>
#include <QBackingStore>
#include <QSet>
#include <QSignalSpy>
#include <QtTest>

using view::PictureView;
using view::Surface;

namespace {

constexpr QRgb kPage = 0xffd4d0c8u;
constexpr QRgb kPhoto = 0xff203040u;
constexpr QRgb kWhite = 0xffffffffu;
constexpr QRgb kYellow = 0xffffff00u;
constexpr QRgb kGreen = 0xff008000u;
constexpr QRgb kCyan = 0xff00ffffu;
constexpr QRgb kRed = 0xffff0000u;
const QPoint kOrigin(10, 10); // the views' place on the page
const QSize kViewSize(200, 150);

// A picture of another kind than a bitmap, such as an icon: paints one colour, counts prepares.
class OtherPicture : public view::Picture {
public:
    explicit OtherPicture(std::optional<QString> failure = std::nullopt)
        : failure_(std::move(failure))
    { }
    [[nodiscard]] Kind kind() const override { return Kind::Icon; }
    [[nodiscard]] QSize naturalSize() const override { return {20, 20}; }
    [[nodiscard]] std::unique_ptr<Picture> clone() const override
    {
        return std::make_unique<OtherPicture>(*this);
    }
    std::optional<QString> prepare() override
    {
        ++prepares;
        return std::exchange(failure_, std::nullopt);
    }
    void paint(QPainter &painter, const QRect &area, bool) const override
    {
        painter.fillRect(area & QRect(0, 0, 20, 20), QColor(kGreen));
    }
    int prepares = 0;

private:
    std::optional<QString> failure_;
};

// The picture area: the page and its four layers, created bottom first.
struct Stack {
    QWidget page;
    PictureView *pic3;
    PictureView *pic;
    PictureView *picmesure;
    PictureView *picellipse;

    Stack()
    {
        page.resize(kViewSize + QSize(40, 40));
        QPalette palette = page.palette();
        palette.setColor(QPalette::Window, QColor(kPage));
        page.setPalette(palette);
        page.setAutoFillBackground(true);
        pic3 = layer(false);
        pic = layer(true);
        picmesure = layer(true);
        picellipse = layer(true);
    }
    PictureView *layer(bool transparent)
    {
        auto *view = new PictureView(&page);
        view->setGeometry(QRect(kOrigin, kViewSize));
        view->setTransparent(transparent);
        return view;
    }
    // Everything painted afresh.
    [[nodiscard]] QImage rendered()
    {
        return page.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    [[nodiscard]] QRgb at(QPoint p) { return rendered().pixel(p + kOrigin); }
};

QImage photo()
{
    QImage image = view::newBitmap(120, 100);
    image.fill(kPhoto);
    return image;
}

QImage lineBitmap(QRgb colour, QPoint from, QPoint to)
{
    QImage bitmap = view::newBitmap(kViewSize.width(), kViewSize.height());
    Surface surface(bitmap);
    surface.setPen(colour);
    surface.moveTo(from.x(), from.y());
    surface.lineTo(to.x(), to.y());
    return bitmap;
}

// The scene of a measurement: a photograph smaller than the area, the two markers and the
// limb circle drawn in place, a curve on each of the two upper layers.
void measureScene(Stack &stack)
{
    stack.pic3->giveBitmap(photo());
    stack.pic->draw([](Surface &surface) {
        surface.setPen(kYellow);
        surface.ellipse(28, 28, 32, 32);
        surface.setPen(kGreen);
        surface.ellipse(40, 40, 100, 100);
    });
    stack.picmesure->giveBitmap(lineBitmap(kCyan, {0, 70}, {150, 70}));
    stack.picellipse->giveBitmap(lineBitmap(kRed, {60, 0}, {60, 141}));
}

} // namespace

class PictureViewTest : public QObject {
    Q_OBJECT
private slots:
    void emptyStackShowsThePage();
    void layersComposeBottomToTop_data();
    void layersComposeBottomToTop();
    void bottomLeftPixelIsTheKey();
    void clearingEmptiesOneLayer();
    void giveBitmapKeepsACopy();
    void surfaceIsMadeOnDemandAtTheCurrentSize();
    void onlyBitmapsCanBeDrawnOn();
    void drawingThatFailsStaysShown();
    void presses_data();
    void presses();
    void doubleClickIsTwoPresses();
    void clickIsAPressAndReleaseOverTheView();
    void accessibleDescriptionFollowsThePicture();
    void deferredFailureIsReportedOnce();
    void repaintedRegionsMatchAFullPaint();
    void polylineRedrawsMatchAFreshBitmap_data();
    void polylineRedrawsMatchAFreshBitmap();
    void polylineRedrawRepaintsOnlyTheTwoCurves();
    void aCoveringPhotographMakesTheViewOpaque();
};

void PictureViewTest::emptyStackShowsThePage()
{
    Stack stack;
    const QImage shot = stack.rendered();
    for (int y = 0; y < shot.height(); y += 7) {
        for (int x = 0; x < shot.width(); x += 7) {
            QCOMPARE(shot.pixel(x, y), kPage);
        }
    }
    QCOMPARE(stack.picellipse->cursor().shape(), Qt::CrossCursor);
    QVERIFY(stack.pic->isEmpty());
}

void PictureViewTest::layersComposeBottomToTop_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QRgb>("colour");
    QTest::newRow("photograph") << QPoint(110, 20) << kPhoto;
    QTest::newRow("photograph at its top-left pixel") << QPoint(0, 0) << kPhoto;
    QTest::newRow("page beyond the photograph") << QPoint(150, 120) << kPage;
    QTest::newRow("page just right of it") << QPoint(120, 20) << kPage;
    QTest::newRow("page just below it") << QPoint(5, 100) << kPage;
    QTest::newRow("yellow ring") << QPoint(30, 28) << kYellow;
    QTest::newRow("inside of the ring shows the photograph") << QPoint(30, 30) << kPhoto;
    QTest::newRow("green circle") << QPoint(40, 69) << kGreen;
    QTest::newRow("inside of the circle shows the photograph") << QPoint(70, 50) << kPhoto;
    QTest::newRow("cyan above green") << QPoint(40, 70) << kCyan;
    QTest::newRow("red above cyan") << QPoint(60, 70) << kRed;
    QTest::newRow("cyan on the page") << QPoint(140, 70) << kCyan;
    QTest::newRow("red on the page") << QPoint(60, 140) << kRed;
    QTest::newRow("end of the red line not drawn") << QPoint(60, 141) << kPage;
}

void PictureViewTest::layersComposeBottomToTop()
{
    QFETCH(QPoint, point);
    QFETCH(QRgb, colour);
    Stack stack;
    measureScene(stack);
    QCOMPARE(stack.at(point), colour);
}

void PictureViewTest::bottomLeftPixelIsTheKey()
{
    Stack stack;
    measureScene(stack);
    const int bottom = kViewSize.height() - 1;
    // A red stroke over the bottom-left pixel of `pic` makes red its key: its white turns
    // opaque over the photograph and the page, and its red strokes vanish.
    stack.pic->draw([bottom](Surface &surface) {
        surface.setPen(kRed);
        surface.moveTo(0, bottom);
        surface.lineTo(5, bottom);
    });
    QCOMPARE(stack.at({110, 20}), kWhite);
    QCOMPARE(stack.at({150, 120}), kWhite);
    QCOMPARE(stack.at({0, bottom}), kPage); // the red of the key itself
    QCOMPARE(stack.at({30, 28}), kYellow);
    QCOMPARE(stack.at({60, 70}), kRed); // the layers above stay transparent
    QCOMPARE(stack.at({130, 70}), kCyan);

    // White again at the corner: white is the key once more.
    stack.pic->draw([bottom](Surface &surface) { surface.ellipse(-3, bottom - 3, 3, bottom + 3); });
    QCOMPARE(stack.at({110, 20}), kPhoto);
    QCOMPARE(stack.at({30, 28}), kYellow);
    QCOMPARE(stack.at({3, bottom}), kRed);

    // The same for a bitmap handed over.
    QImage covered = lineBitmap(kCyan, {0, bottom}, {10, bottom});
    covered.setPixel(50, 50, kGreen);
    stack.picmesure->giveBitmap(covered);
    QCOMPARE(stack.at({110, 20}), kWhite);
    QCOMPARE(stack.at({50, 50}), kGreen);
    QCOMPARE(stack.at({5, bottom}), kPage);
}

void PictureViewTest::clearingEmptiesOneLayer()
{
    Stack stack;
    measureScene(stack);
    stack.pic3->clear(); // "Effacer image"
    QVERIFY(stack.pic3->isEmpty());
    QCOMPARE(stack.at({110, 20}), kPage);
    QCOMPARE(stack.at({30, 28}), kYellow);
    QCOMPARE(stack.at({60, 70}), kRed);

    stack.pic3->giveBitmap(photo());
    for (PictureView *view : {stack.pic, stack.picellipse, stack.picmesure}) { // "Effacer tracés"
        view->clear();
    }
    QCOMPARE(stack.at({30, 28}), kPhoto);
    QCOMPARE(stack.at({60, 70}), kPhoto);
    QCOMPARE(stack.at({140, 70}), kPage);
    stack.pic->clear(); // clearing an empty view is harmless
    QVERIFY(stack.pic->isEmpty());
}

void PictureViewTest::giveBitmapKeepsACopy()
{
    Stack stack;
    QImage bitmap = lineBitmap(kCyan, {0, 70}, {150, 70});
    stack.picmesure->giveBitmap(bitmap);
    bitmap.fill(kRed);
    Surface surface(bitmap);
    surface.ellipse(0, 0, 100, 100);

    const auto *held = dynamic_cast<const view::BitmapPicture *>(stack.picmesure->picture());
    QVERIFY(held);
    QCOMPARE(held->image().pixel(20, 70), kCyan);
    QCOMPARE(held->image().pixel(20, 20), kWhite);
    QCOMPARE(stack.at({20, 70}), kCyan);
    QCOMPARE(stack.at({20, 20}), kPage);

    // And drawing on the view's bitmap leaves a bitmap it was given from alone.
    QImage given = view::newBitmap(50, 50);
    stack.pic->giveBitmap(given);
    stack.pic->draw([](Surface &s) { s.lineTo(10, 0); });
    QCOMPARE(given.pixel(0, 0), kWhite);
}

void PictureViewTest::surfaceIsMadeOnDemandAtTheCurrentSize()
{
    Stack stack;
    PictureView &pic = *stack.pic;
    pic.resize(100, 80);
    QCOMPARE(pic.deviceSize(), QSize(100, 80));
    const auto line = [](Surface &surface) {
        surface.moveTo(0, 10);
        surface.lineTo(140, 10);
    };
    pic.draw(line);
    const auto bitmap = [&pic] {
        return static_cast<const view::BitmapPicture *>(pic.picture())->image();
    };
    QCOMPARE(pic.picture()->kind(), view::Picture::Kind::Bitmap);
    QCOMPARE(bitmap().size(), QSize(100, 80));
    QCOMPARE(bitmap().pixel(50, 50), kWhite);
    QCOMPARE(bitmap().pixel(99, 10), qRgb(0, 0, 0));

    // Grown, the view keeps drawing on its bitmap at the old size: the line is cut off there.
    pic.resize(kViewSize);
    pic.draw([](Surface &surface) {
        surface.moveTo(0, 20);
        surface.lineTo(140, 20);
    });
    QCOMPARE(bitmap().size(), QSize(100, 80));
    QCOMPARE(bitmap().pixel(99, 20), qRgb(0, 0, 0));
    QCOMPARE(stack.at({99, 20}), qRgb(0, 0, 0));
    QCOMPARE(stack.at({100, 20}), kPage);

    // Cleared, it gets a surface of its new size.
    pic.clear();
    pic.draw(line);
    QCOMPARE(bitmap().size(), kViewSize);
    QCOMPARE(stack.at({139, 10}), qRgb(0, 0, 0));
}

void PictureViewTest::onlyBitmapsCanBeDrawnOn()
{
    Stack stack;
    stack.pic3->setPicture(std::make_unique<OtherPicture>());
    const view::Picture *before = stack.pic3->picture();
    bool drawn = false;
    try {
        stack.pic3->draw([&drawn](Surface &) { drawn = true; });
        QFAIL("no failure");
    } catch (const measure::Failure &failure) {
        QCOMPARE(QString::fromUtf8(failure.what()),
            QStringLiteral("Can only modify an image if it contains a bitmap"));
    }
    QVERIFY(!drawn);
    QCOMPARE(stack.pic3->picture(), before);
    QCOMPARE(stack.at({5, 5}), kGreen);
    QCOMPARE(stack.at({25, 5}), kPage);
}

void PictureViewTest::drawingThatFailsStaysShown()
{
    Stack stack;
    stack.pic3->giveBitmap(photo());
    try {
        stack.pic->draw([](Surface &surface) {
            surface.setPen(kYellow);
            surface.ellipse(28, 28, 32, 32);
            throw measure::Failure(measure::kInvalidOperation);
        });
        QFAIL("no failure");
    } catch (const measure::Failure &) { }
    QCOMPARE(stack.at({30, 28}), kYellow);
}

void PictureViewTest::presses_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QPoint>("point");
    QTest::newRow("left") << Qt::LeftButton << Qt::KeyboardModifiers() << QPoint(100, 50);
    QTest::newRow("right") << Qt::RightButton << Qt::KeyboardModifiers() << QPoint(0, 0);
    QTest::newRow("middle with shift")
        << Qt::MiddleButton << Qt::KeyboardModifiers(Qt::ShiftModifier) << QPoint(199, 149);
    QTest::newRow("left with control beyond any picture")
        << Qt::LeftButton << Qt::KeyboardModifiers(Qt::ControlModifier) << QPoint(150, 120);
}

void PictureViewTest::presses()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QPoint, point);
    Stack stack;
    measureScene(stack);
    stack.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stack.page));
    QSignalSpy top(stack.picellipse, &PictureView::pressed);
    QSignalSpy below(stack.pic, &PictureView::pressed);
    QTest::mousePress(stack.page.windowHandle(), button, modifiers, point + kOrigin);
    QTest::mouseRelease(stack.page.windowHandle(), button, modifiers, point + kOrigin);
    QCOMPARE(top.count(), 1);
    QCOMPARE(below.count(), 0);
    const QList<QVariant> call = top.first();
    QCOMPARE(call.at(0).value<Qt::MouseButton>(), button);
    QCOMPARE(call.at(1).value<Qt::KeyboardModifiers>(), modifiers);
    QCOMPARE(call.at(2).toBool(), false);
    QCOMPARE(call.at(3).toPoint(), point);
}

void PictureViewTest::doubleClickIsTwoPresses()
{
    Stack stack;
    stack.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stack.page));
    QSignalSpy spy(stack.picellipse, &PictureView::pressed);
    // Through the window, so that Qt itself turns the second press into a double click.
    QTest::mouseDClick(stack.page.windowHandle(), Qt::LeftButton, {}, QPoint(30, 40) + kOrigin);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(2).toBool(), false);
    QCOMPARE(spy.at(1).at(2).toBool(), true);
    QCOMPARE(spy.at(1).at(3).toPoint(), QPoint(30, 40));
}

void PictureViewTest::clickIsAPressAndReleaseOverTheView()
{
    Stack stack;
    stack.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stack.page));
    QSignalSpy spy(stack.picellipse, &PictureView::clicked);
    QWindow *window = stack.page.windowHandle();
    const QPoint at = QPoint(30, 40) + kOrigin;
    QTest::mousePress(window, Qt::LeftButton, {}, at);
    QCOMPARE(spy.count(), 0);
    QTest::mouseRelease(window, Qt::LeftButton, {}, at + QPoint(5, 5));
    QCOMPARE(spy.count(), 1);
    // Dragged off the view's left edge: the view keeps the mouse, and clicks nothing.
    QTest::mousePress(window, Qt::LeftButton, {}, at, 1000);
    QTest::mouseRelease(window, Qt::LeftButton, {}, kOrigin - QPoint(1, 0));
    QCOMPARE(spy.count(), 1);
    QTest::mouseClick(window, Qt::RightButton, {}, at, 1000);
    QCOMPARE(spy.count(), 1);
    // A double click is one click: its second press does not count.
    QTest::mouseDClick(window, Qt::LeftButton, {}, at, 1000);
    QCOMPARE(spy.count(), 2);
}

void PictureViewTest::accessibleDescriptionFollowsThePicture()
{
    Stack stack;
    const auto description = [](PictureView *view) {
        return QAccessible::queryAccessibleInterface(view)->text(QAccessible::Description);
    };
    stack.pic3->setAccessibleTexts(QStringLiteral("Aucune image"), QStringLiteral("%1 × %2"));
    QCOMPARE(description(stack.pic3), QStringLiteral("Aucune image"));
    stack.pic3->giveBitmap(view::newBitmap(70, 30));
    QCOMPARE(description(stack.pic3), QStringLiteral("70 × 30"));
    stack.pic3->clear();
    QCOMPARE(description(stack.pic3), QStringLiteral("Aucune image"));
    stack.pic->setAccessibleTexts(QStringLiteral("Aucun tracé"), QStringLiteral("Tracé"));
    stack.pic->draw([](view::Surface &) {});
    QCOMPARE(description(stack.pic), QStringLiteral("Tracé"));
    // A view given no texts keeps the description its owner set.
    stack.picmesure->setAccessibleDescription(QStringLiteral("Logo"));
    stack.picmesure->giveBitmap(view::newBitmap(5, 5));
    QCOMPARE(description(stack.picmesure), QStringLiteral("Logo"));
}

void PictureViewTest::deferredFailureIsReportedOnce()
{
    Stack stack;
    QStringList reported;
    QObject::connect(stack.pic3,
        &PictureView::deferredFailure,
        [&reported](const QString &message) { reported.append(message); });
    auto picture = std::make_unique<OtherPicture>(QStringLiteral("Données JPEG corrompues"));
    const OtherPicture *held = picture.get();
    stack.pic3->setPicture(std::move(picture));
    QCOMPARE(held->prepares, 0); // deferred to the first paint
    QCOMPARE(stack.at({5, 5}), kGreen);
    QVERIFY(reported.isEmpty()); // never from inside the paint
    QCoreApplication::processEvents();
    QCOMPARE(reported, QStringList{QStringLiteral("Données JPEG corrompues")});
    (void)stack.rendered();
    QCoreApplication::processEvents();
    QCOMPARE(reported.size(), 1);
    QCOMPARE(held->prepares, 1);
}

void PictureViewTest::repaintedRegionsMatchAFullPaint()
{
    // What the screen shows after each change, repainting only what the views marked, must be
    // what a paint of everything shows.
    Stack stack;
    stack.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stack.page));
    const int bottom = kViewSize.height() - 1;
    const std::vector<std::function<void()>> steps{
        [&] { stack.pic3->giveBitmap(photo()); },
        [&] { stack.pic->draw([](Surface &s) { s.setPen(kYellow), s.ellipse(28, 28, 32, 32); }); },
        [&] { stack.pic->draw([](Surface &s) { s.setPen(kGreen), s.ellipse(20, 20, 120, 120); }); },
        [&] {
            stack.picmesure->giveBitmap(lineBitmap(kCyan, {0, 70}, {150, 30}));
        },
        [&] {
            stack.picmesure->giveBitmap(lineBitmap(kCyan, {20, 10}, {30, 140}));
        },
        [&] { stack.pic->draw([=](Surface &s) { s.moveTo(0, bottom), s.lineTo(3, bottom); }); },
        [&] { stack.pic->draw([=](Surface &s) { s.ellipse(-2, bottom - 2, 2, bottom + 2); }); },
        [&] { stack.picellipse->setTransparent(false); },
        [&] {
            stack.picellipse->giveBitmap(lineBitmap(kRed, {60, 0}, {60, 141}));
        },
        [&] { stack.picellipse->setTransparent(true); },
        [&] { stack.pic->clear(); },
        [&] { stack.pic3->clear(); },
        [&] { stack.picmesure->clear(); },
    };
    int index = 0;
    for (const auto &step : steps) {
        step();
        QCoreApplication::processEvents();
        // What the window shows: the raster backing store that the repaints drew into.
        const auto *store = dynamic_cast<QImage *>(stack.page.backingStore()->paintDevice());
        QVERIFY(store);
        const QImage screen = store->convertToFormat(QImage::Format_RGB32);
        QVERIFY2(screen == stack.rendered(), qPrintable(QStringLiteral("step %1").arg(index)));
        ++index;
    }
}

namespace {

// What a polyline layer must hold: the curve drawn on a new white bitmap of the view's size.
QImage freshPolyline(QSize size, QRgb colour, const std::vector<QPoint> &points)
{
    QImage bitmap = view::newBitmap(size.width(), size.height());
    Surface surface(bitmap);
    surface.setPen(colour);
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i == 0)
            surface.moveTo(points[i].x(), points[i].y());
        else
            surface.lineTo(points[i].x(), points[i].y());
    }
    return bitmap;
}

QImage bitmapOf(const PictureView *view)
{
    const auto *bitmap = dynamic_cast<const view::BitmapPicture *>(view->picture());
    return bitmap ? bitmap->image() : QImage();
}

QImage screenOf(QWidget &page)
{
    const auto *store = dynamic_cast<QImage *>(page.backingStore()->paintDevice());
    return store ? store->convertToFormat(QImage::Format_RGB32) : QImage();
}

// Collects the regions of the paint events of the objects it is installed on.
class PaintSpy : public QObject {
public:
    QRegion painted;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
};

std::vector<QPoint> arc(int shift)
{
    std::vector<QPoint> points;
    for (int i = 0; i <= 20; ++i)
        points.emplace_back(10 + 9 * i, 20 + shift + (i - 10) * (i - 10));
    return points;
}

} // namespace

void PictureViewTest::polylineRedrawsMatchAFreshBitmap_data()
{
    QTest::addColumn<QString>("below");
    QTest::newRow("nothing below") << QString();
    QTest::newRow("bitmap covering the view") << QStringLiteral("bitmap");
    QTest::newRow("JPEG covering the view") << QStringLiteral("jpeg");
    QTest::newRow("small JPEG") << QStringLiteral("moon-colour.jpg");
    QTest::newRow("metafile") << QStringLiteral("shapes.emf");
}

void PictureViewTest::polylineRedrawsMatchAFreshBitmap()
{
    // A redraw reuses the layer's bitmap where it can: after every step the layer must hold
    // what a new white bitmap would, and the screen must show what a paint of everything does.
    QFETCH(QString, below);
    QTemporaryDir folder;
    Stack stack;
    if (below == QLatin1String("bitmap")) {
        QImage large = view::newBitmap(400, 300);
        large.fill(kPhoto);
        stack.pic3->giveBitmap(large);
    } else if (below == QLatin1String("jpeg")) {
        QImage large(400, 300, QImage::Format_RGB32);
        large.fill(kPhoto);
        const QString name = folder.filePath(QStringLiteral("large.jpg"));
        QVERIFY(large.save(name, "JPEG"));
        stack.pic3->setPicture(view::readPictureFile(name));
    } else if (!below.isEmpty()) {
        stack.pic3->setPicture(view::readPictureFile(place(folder, below, fixture(below))));
    }
    stack.picellipse->giveBitmap(lineBitmap(kRed, {60, 0}, {60, 141}));
    stack.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stack.page));

    PictureView *layer = stack.picmesure;
    const int bottom = kViewSize.height() - 1;
    const std::vector<QPoint> overCorner{{0, bottom}, {40, bottom - 30}, {80, bottom - 2}};
    struct Step {
        const char *name;
        std::function<void()> action;
        QRgb colour;
        std::vector<QPoint> points;
    };
    const auto show = [layer](QRgb colour, std::vector<QPoint> points) {
        return [=] {
            layer->showPolyline(colour, points);
        };
    };
    const std::vector<Step> steps{
        {"first curve", show(kCyan, arc(0)), kCyan, arc(0)},
        {"next step", show(kCyan, arc(3)), kCyan, arc(3)},
        {"same curve again", show(kCyan, arc(3)), kCyan, arc(3)},
        {"over the bottom-left pixel", show(kCyan, overCorner), kCyan, overCorner},
        {"off it again", show(kCyan, arc(1)), kCyan, arc(1)},
        {"another colour", show(kRed, arc(2)), kRed, arc(2)},
        {"no points", show(kCyan, {}), kCyan, {}},
        {"after a drawing in place",
            [=] {
                layer->showPolyline(kCyan, arc(0));
                layer->drawEllipse(kYellow, 20, 20, 90, 90);
                layer->showPolyline(kCyan, arc(4));
            },
            kCyan,
            arc(4)},
        {"after erasing",
            [=] {
                layer->clear();
                layer->showPolyline(kCyan, arc(5));
            },
            kCyan,
            arc(5)},
        {"after a resize",
            [&] {
                for (PictureView *view : {stack.pic3, stack.pic, stack.picmesure, stack.picellipse})
                    view->setGeometry(QRect(kOrigin, kViewSize - QSize(30, 20)));
                layer->showPolyline(kCyan, arc(6));
            },
            kCyan,
            arc(6)},
    };
    for (const Step &step : steps) {
        step.action();
        QCoreApplication::processEvents();
        QCOMPARE(bitmapOf(layer), freshPolyline(layer->deviceSize(), step.colour, step.points));
        QVERIFY2(screenOf(stack.page) == stack.rendered(), step.name);
    }
    // A curve over the bottom-left pixel makes its colour the key: the white shows, opaque.
    const int last = layer->deviceSize().height() - 1;
    layer->showPolyline(kCyan, {{0, last}, {40, last - 30}});
    QCoreApplication::processEvents();
    QCOMPARE(stack.at({150, 20}), kWhite);
    QCOMPARE(stack.at({0, last - 20}), kWhite);
}

void PictureViewTest::polylineRedrawRepaintsOnlyTheTwoCurves()
{
    Stack stack;
    stack.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stack.page));
    PictureView *layer = stack.picmesure;
    layer->showPolyline(kCyan, {{5, 5}, {190, 140}});
    QCoreApplication::processEvents();
    const QImage before = bitmapOf(layer);

    PaintSpy spy;
    layer->installEventFilter(&spy);
    layer->showPolyline(kCyan, {{5, 8}, {190, 143}});
    QCoreApplication::processEvents();
    layer->removeEventFilter(&spy);

    // Every pixel that changed is repainted, and nothing beyond the cells that hold a pixel
    // of either line: far less than their bounding box.
    const QImage after = bitmapOf(layer);
    const auto cellOf = [](QPoint p) {
        return QPoint(
            p.x() / view::BitmapPicture::kCellColumns, p.y() / view::BitmapPicture::kCellRows);
    };
    QSet<QPoint> inkedCells;
    for (int y = 0; y < after.height(); ++y) {
        for (int x = 0; x < after.width(); ++x) {
            if (before.pixel(x, y) != kWhite || after.pixel(x, y) != kWhite)
                inkedCells.insert(cellOf({x, y}));
            if (after.pixel(x, y) != before.pixel(x, y))
                QVERIFY2(spy.painted.contains(QPoint(x, y)),
                    qPrintable(QStringLiteral("%1, %2").arg(x).arg(y)));
        }
    }
    qint64 area = 0;
    for (const QRect &rect : spy.painted) {
        area += qint64(rect.width()) * rect.height();
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                QVERIFY2(inkedCells.contains(cellOf({x, y})),
                    qPrintable(QStringLiteral("%1, %2").arg(x).arg(y)));
    }
    const QRect bounds = spy.painted.boundingRect();
    QVERIFY(area * 4 < qint64(bounds.width()) * bounds.height());
}

void PictureViewTest::aCoveringPhotographMakesTheViewOpaque()
{
    Stack stack;
    stack.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stack.page));
    const auto opaqueWith = [&](QSize size) {
        QImage image = view::newBitmap(size.width(), size.height());
        image.fill(kPhoto);
        stack.pic3->giveBitmap(image);
        QCoreApplication::processEvents(); // decided at the first paint
        return stack.pic3->testAttribute(Qt::WA_OpaquePaintEvent);
    };
    QVERIFY(opaqueWith(kViewSize));
    QVERIFY(!opaqueWith(kViewSize - QSize(1, 0)));
    QVERIFY(opaqueWith(kViewSize + QSize(50, 50)));
    stack.pic3->setGeometry(QRect(kOrigin, kViewSize + QSize(60, 0)));
    QVERIFY(!stack.pic3->testAttribute(Qt::WA_OpaquePaintEvent)); // grown past its picture
    stack.pic3->clear();
    QVERIFY(!stack.pic3->testAttribute(Qt::WA_OpaquePaintEvent));
}

QTEST_MAIN(PictureViewTest)
#include "pictureview_test.moc"
