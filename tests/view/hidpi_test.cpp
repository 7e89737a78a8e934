#include "view/bitmappicture.h"
#include "view/pictureview.h"
#include "view/surface.h"

#include <QBackingStore>
#include <QSignalSpy>
#include <QtTest>

using view::PictureView;

// The views on a screen of two device pixels per logical pixel: pictures are not scaled, and
// sizes and positions are given in device pixels.
class HiDpiTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(qApp->devicePixelRatio(), 2.0); }
    void onePicturePixelIsOneDevicePixel_data();
    void onePicturePixelIsOneDevicePixel();
    void newSurfaceHasTheDeviceSize();
    void pressesGiveDevicePixels();
    void repaintsCoverOddDevicePixels();
};

void HiDpiTest::onePicturePixelIsOneDevicePixel_data()
{
    QTest::addColumn<bool>("transparent");
    QTest::newRow("opaque") << false;
    QTest::newRow("transparent") << true;
}

void HiDpiTest::onePicturePixelIsOneDevicePixel()
{
    QFETCH(bool, transparent);
    // A checkerboard of single pixels would be blurred or doubled by any scaling.
    QImage board = view::newBitmap(9, 7);
    for (int y = 0; y < board.height() - 1; ++y) {
        for (int x = 0; x < board.width(); ++x) {
            board.setPixel(x, y, (x + y) % 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
        }
    }
    QWidget page;
    page.resize(20, 20);
    QPalette palette = page.palette();
    palette.setColor(QPalette::Window, Qt::black);
    page.setPalette(palette);
    page.setAutoFillBackground(true);
    auto *view = new PictureView(&page);
    view->setGeometry(0, 0, 20, 20);
    view->setTransparent(transparent);
    view->giveBitmap(board);
    const QImage shot = page.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shot.size(), QSize(40, 40));
    for (int y = 0; y < board.height() - 1; ++y) {
        for (int x = 0; x < board.width(); ++x) {
            QCOMPARE(shot.pixel(x, y), board.pixel(x, y));
        }
    }
    // The white last row is the key: left out when transparent.
    QCOMPARE(shot.pixel(4, 6), transparent ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    QCOMPARE(shot.pixel(9, 3), qRgb(0, 0, 0));
}

void HiDpiTest::newSurfaceHasTheDeviceSize()
{
    PictureView view;
    view.resize(100, 80);
    QCOMPARE(view.deviceSize(), QSize(200, 160));
    view.draw([](view::Surface &) {});
    QCOMPARE(view.picture()->naturalSize(), QSize(200, 160));
}

void HiDpiTest::pressesGiveDevicePixels()
{
    QWidget page;
    page.resize(100, 80);
    auto *view = new PictureView(&page);
    view->setGeometry(10, 10, 80, 60);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QSignalSpy spy(view, &PictureView::pressed);
    QTest::mouseClick(page.windowHandle(), Qt::LeftButton, {}, QPoint(30, 25));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(3).toPoint(), QPoint(40, 30));
}

void HiDpiTest::repaintsCoverOddDevicePixels()
{
    // Changes at odd device pixels fall in the middle of logical pixels: the marked regions must
    // still cover them, so the window shows what a paint of everything shows.
    QWidget page;
    page.resize(60, 50);
    page.setAutoFillBackground(true);
    auto *under = new PictureView(&page);
    auto *over = new PictureView(&page);
    for (PictureView *view : {under, over}) {
        view->setGeometry(5, 5, 50, 40);
    }
    over->setTransparent(true);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QImage photo = view::newBitmap(99, 77);
    photo.fill(qRgb(20, 40, 60));
    QImage dot = view::newBitmap(33, 33);
    dot.setPixel(31, 31, qRgb(0, 255, 255));
    const int bottom = over->deviceSize().height() - 1;
    const std::vector<std::function<void()>> steps{
        [&] { under->giveBitmap(photo); },
        [&] { over->draw([](view::Surface &s) { s.ellipse(11, 13, 41, 31); }); },
        [&] { over->draw([](view::Surface &s) { s.moveTo(3, 7), s.lineTo(3, 8); }); },
        [&] { over->draw([=](view::Surface &s) { s.moveTo(0, bottom), s.lineTo(1, bottom); }); },
        [&] { over->draw([=](view::Surface &s) { s.ellipse(-1, bottom - 1, 1, bottom + 1); }); },
        [&] { over->giveBitmap(dot); },
        [&] { over->clear(); },
        [&] { under->clear(); },
    };
    int index = 0;
    for (const auto &step : steps) {
        step();
        QCoreApplication::processEvents();
        const auto *store = dynamic_cast<QImage *>(page.backingStore()->paintDevice());
        QVERIFY(store);
        QVERIFY2(store->convertToFormat(QImage::Format_RGB32)
                == page.grab().toImage().convertToFormat(QImage::Format_RGB32),
            qPrintable(QStringLiteral("step %1").arg(index)));
        ++index;
    }
}

int main(int argc, char **argv)
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    HiDpiTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "hidpi_test.moc"
