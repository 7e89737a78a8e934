#include "view/bitmappicture.h"
#include "view/pictureview.h"
#include "view/surface.h"

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

int main(int argc, char **argv)
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    HiDpiTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "hidpi_test.moc"
