#include "view/surface.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSet>
#include <QtTest>

#include <climits>
#include <cmath>
#include <vector>

using view::Surface;

namespace {

constexpr QRgb kWhite = 0xffffffffu;
constexpr QRgb kGrey = 0xff808080u;
constexpr QRgb kPen = 0xff008000u; // the green of the limb circle

QImage greyBitmap(int width, int height)
{
    QImage bitmap = view::newBitmap(width, height);
    bitmap.fill(kGrey);
    return bitmap;
}

QList<QPoint> pixelsOf(const QImage &bitmap, QRgb colour)
{
    QList<QPoint> found;
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            if (bitmap.pixel(x, y) == colour) {
                found.append(QPoint(x, y));
            }
        }
    }
    return found;
}

// Number of 8-connected groups among the points.
int groups8(const QList<QPoint> &points)
{
    QSet<QPair<int, int>> left;
    for (const QPoint &p : points) {
        left.insert({p.x(), p.y()});
    }
    int count = 0;
    while (!left.isEmpty()) {
        ++count;
        std::vector<QPair<int, int>> todo{*left.begin()};
        left.erase(left.begin());
        while (!todo.empty()) {
            const auto [x, y] = todo.back();
            todo.pop_back();
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const auto it = left.find({x + dx, y + dy});
                    if (it != left.end()) {
                        todo.push_back(*it);
                        left.erase(it);
                    }
                }
            }
        }
    }
    return count;
}

// Pixel rows of a figure, '#' for the pen, 'o' for the white interior, '.' for untouched.
QStringList picture(const QImage &bitmap)
{
    QStringList rows;
    for (int y = 0; y < bitmap.height(); ++y) {
        QString row;
        for (int x = 0; x < bitmap.width(); ++x) {
            const QRgb c = bitmap.pixel(x, y);
            row += c == kPen ? QLatin1Char('#') : c == kWhite ? QLatin1Char('o') : QLatin1Char('.');
        }
        rows.append(row);
    }
    return rows;
}

} // namespace

class SurfaceTest : public QObject {
    Q_OBJECT
private slots:
    void newBitmapIsWhite();
    void ellipseShape_data();
    void ellipseShape();
    void smallFigures_data();
    void smallFigures();
    void limbCircleStaysOnItsRadius();
    void emptyBoxDrawsNothing_data();
    void emptyBoxDrawsNothing();
    void ellipseFarOutsideIsClipped_data();
    void ellipseFarOutsideIsClipped();
    void line_data();
    void line();
    void polylineClosesOnItsFirstPoint();
    void lineToCurrentPointDrawsNothing();
    void farLinesAreClippedQuickly_data();
    void farLinesAreClippedQuickly();
    void penIsBlackUntilSet();
    void clippingKeepsTheShape();
    void drawBitmap_data();
    void drawBitmap();
};

void SurfaceTest::newBitmapIsWhite()
{
    const QImage bitmap = view::newBitmap(31, 17);
    QCOMPARE(bitmap.size(), QSize(31, 17));
    QCOMPARE(bitmap.format(), QImage::Format_RGB32);
    QCOMPARE(pixelsOf(bitmap, kWhite).size(), 31 * 17);
    QVERIFY(view::newBitmap(0, 10).isNull());
    QVERIFY(view::newBitmap(10, -1).isNull());
}

void SurfaceTest::ellipseShape_data()
{
    QTest::addColumn<QRect>("box"); // QRect(left, top, right - left, bottom - top)
    QTest::newRow("marker ring") << QRect(48, 38, 4, 4);
    QTest::newRow("limb circle") << QRect(100, 100, 200, 200);
    QTest::newRow("odd circle") << QRect(10, 20, 33, 33);
    QTest::newRow("wide ellipse") << QRect(5, 50, 290, 41);
    QTest::newRow("tall ellipse") << QRect(140, 3, 17, 290);
    QTest::newRow("even by odd") << QRect(20, 20, 10, 7);
    QTest::newRow("flat, two rows") << QRect(10, 10, 100, 2);
    QTest::newRow("narrow, two columns") << QRect(10, 10, 2, 100);
    QTest::newRow("one pixel") << QRect(7, 9, 1, 1);
    QTest::newRow("one column") << QRect(7, 9, 1, 12);
    QTest::newRow("three by three") << QRect(7, 9, 3, 3);
}

void SurfaceTest::ellipseShape()
{
    QFETCH(QRect, box);
    QImage bitmap = greyBitmap(320, 320);
    Surface surface(bitmap);
    surface.setPen(kPen);
    surface.ellipse(box.left(), box.top(), box.left() + box.width(), box.top() + box.height());

    const QList<QPoint> outline = pixelsOf(bitmap, kPen);
    QVERIFY(!outline.isEmpty());
    bool edges[4] = {};
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            const QRgb c = bitmap.pixel(x, y);
            if (c == kGrey) {
                continue;
            }
            QVERIFY2(box.contains(x, y), "drawn outside the box");
            // Symmetric about both axes of the box.
            const int mx = box.left() + box.right() - x;
            const int my = box.top() + box.bottom() - y;
            QCOMPARE(bitmap.pixel(mx, y), c);
            QCOMPARE(bitmap.pixel(x, my), c);
            // Closed: the white interior never meets the untouched outside.
            if (c == kWhite) {
                for (const QPoint d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
                    QVERIFY2(bitmap.pixel(x + d.x(), y + d.y()) != kGrey, "interior leaks out");
                }
            } else {
                edges[0] |= x == box.left();
                edges[1] |= x == box.right();
                edges[2] |= y == box.top();
                edges[3] |= y == box.bottom();
            }
        }
        // Each row of the figure is one run: the interior is filled, not left untouched.
        int runs = 0;
        for (int x = 0; x < bitmap.width(); ++x) {
            const bool in = bitmap.pixel(x, y) != kGrey;
            const bool before = x > 0 && bitmap.pixel(x - 1, y) != kGrey;
            runs += in && !before;
        }
        QVERIFY(runs <= 1);
    }
    QVERIFY2(edges[0] && edges[1] && edges[2] && edges[3], "does not touch every edge of the box");
    QCOMPARE(groups8(outline), 1);
}

void SurfaceTest::smallFigures_data()
{
    QTest::addColumn<QRect>("box");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("marker ring (X-2,Y-2)-(X+2,Y+2)") << QRect(
        1, 1, 4, 4) << QStringList{"......", "..##..", ".#oo#.", ".#oo#.", "..##..", "......"};
    QTest::newRow("5 x 5") << QRect(0, 0, 5, 5)
                           << QStringList{".###.", "#ooo#", "#ooo#", "#ooo#", ".###."};
    QTest::newRow("7 x 4") << QRect(0, 0, 7, 4)
                           << QStringList{".#####.", "#ooooo#", "#ooooo#", ".#####."};
    QTest::newRow("2 x 2") << QRect(0, 0, 2, 2) << QStringList{"##", "##"};
    QTest::newRow("flat 9 x 2") << QRect(0, 0, 9, 2) << QStringList{"#########", "#########"};
}

void SurfaceTest::smallFigures()
{
    QFETCH(QRect, box);
    QFETCH(QStringList, expected);
    QImage bitmap = greyBitmap(int(expected.first().size()), int(expected.size()));
    Surface surface(bitmap);
    surface.setPen(kPen);
    surface.ellipse(box.left(), box.top(), box.left() + box.width(), box.top() + box.height());
    QCOMPARE(picture(bitmap), expected);
}

void SurfaceTest::limbCircleStaysOnItsRadius()
{
    // Cusps (100, 200) and (300, 200) give the box (100, 100)-(300, 300): a circle of radius
    // 100 about the point (200, 200), the corner shared by its four middle pixels.
    QImage bitmap = greyBitmap(400, 400);
    Surface surface(bitmap);
    surface.setPen(kPen);
    surface.ellipse(100, 100, 300, 300);
    const QList<QPoint> outline = pixelsOf(bitmap, kPen);
    for (const QPoint &p : outline) {
        const double r = std::hypot(p.x() + 0.5 - 200, p.y() + 0.5 - 200);
        QVERIFY2(r >= 98.5 && r <= 100.0,
            qPrintable(QStringLiteral("(%1, %2) at %3").arg(p.x()).arg(p.y()).arg(r)));
        QCOMPARE(bitmap.pixel(p.y(), p.x()), kPen); // a circle is symmetric about its diagonal
    }
    for (const QPoint p : {QPoint(100, 199),
             QPoint(100, 200),
             QPoint(299, 199),
             QPoint(199, 100),
             QPoint(200, 299)}) {
        QCOMPARE(bitmap.pixel(p), kPen);
    }
    QCOMPARE(bitmap.pixel(200, 200), kWhite);
    QCOMPARE(bitmap.pixel(99, 200), kGrey);
    QCOMPARE(bitmap.pixel(300, 200), kGrey);
}

void SurfaceTest::emptyBoxDrawsNothing_data()
{
    QTest::addColumn<QRect>("edges"); // left, top, right, bottom as x, y, width, height
    QTest::newRow("all zero") << QRect(0, 0, 0, 0);
    QTest::newRow("radius 0 box") << QRect(200, 100, 200, 100);
    QTest::newRow("zero width") << QRect(10, 10, 10, 20);
    QTest::newRow("zero height") << QRect(10, 10, 20, 10);
    QTest::newRow("inverted") << QRect(30, 30, 10, 10);
}

void SurfaceTest::emptyBoxDrawsNothing()
{
    QFETCH(QRect, edges);
    QImage bitmap = greyBitmap(50, 50);
    Surface surface(bitmap);
    surface.ellipse(edges.x(), edges.y(), edges.width(), edges.height());
    QCOMPARE(pixelsOf(bitmap, kGrey).size(), 50 * 50);
    QVERIFY(surface.touched().isEmpty());
}

void SurfaceTest::ellipseFarOutsideIsClipped_data()
{
    QTest::addColumn<QRect>("box");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("huge, covering the bitmap")
        << QRect(-2000000000, -2000000000, 2000000000, 2000000000) // as edges
        << QStringList{"ooo", "ooo"};
    QTest::newRow("thin across the bitmap")
        << QRect(-1000000, 1, 1000003, 3) << QStringList{"...", "###", "###"};
    QTest::newRow("extreme edges")
        << QRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX) << QStringList{"ooo", "ooo"};
    QTest::newRow("entirely left of the bitmap")
        << QRect(-500, 0, -1, 2) << QStringList{"...", "..."};
}

void SurfaceTest::ellipseFarOutsideIsClipped()
{
    QFETCH(QRect, box);
    QFETCH(QStringList, expected);
    QImage bitmap = greyBitmap(int(expected.first().size()), int(expected.size()));
    Surface surface(bitmap);
    surface.setPen(kPen);
    QElapsedTimer timer;
    timer.start();
    surface.ellipse(box.x(), box.y(), box.width(), box.height());
    QVERIFY(timer.elapsed() < 100);
    QCOMPARE(picture(bitmap), expected);
}

void SurfaceTest::line_data()
{
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QPoint>("last"); // the last pixel drawn, next to `to`
    QTest::newRow("first samples of the cyan curve")
        << QPoint(287, 157) << QPoint(200, 200) << QPoint(201, 200);
    QTest::newRow("and back") << QPoint(200, 200) << QPoint(287, 157) << QPoint(286, 157);
    QTest::newRow("steep up") << QPoint(200, 200) << QPoint(213, 113) << QPoint(213, 114);
    QTest::newRow("horizontal") << QPoint(10, 10) << QPoint(20, 10) << QPoint(19, 10);
    QTest::newRow("vertical up") << QPoint(10, 20) << QPoint(10, 10) << QPoint(10, 11);
    QTest::newRow("diagonal") << QPoint(5, 5) << QPoint(0, 10) << QPoint(1, 9);
    QTest::newRow("one step") << QPoint(5, 5) << QPoint(6, 6) << QPoint(5, 5);
    QTest::newRow("half way tie") << QPoint(0, 0) << QPoint(2, 1) << QPoint(1, 1);
    QTest::newRow("half way tie, reversed") << QPoint(2, 1) << QPoint(0, 0) << QPoint(1, 1);
}

void SurfaceTest::line()
{
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(QPoint, last);
    QImage bitmap = greyBitmap(320, 320);
    Surface surface(bitmap);
    surface.setPen(kPen);
    surface.moveTo(from.x(), from.y());
    surface.lineTo(to.x(), to.y());
    QCOMPARE(surface.currentPosition(), to);

    const QList<QPoint> drawn = pixelsOf(bitmap, kPen);
    const int dx = to.x() - from.x();
    const int dy = to.y() - from.y();
    QCOMPARE(drawn.size(), std::max(std::abs(dx), std::abs(dy)));
    QCOMPARE(bitmap.pixel(from), kPen);
    QCOMPARE(bitmap.pixel(to), kGrey);
    QCOMPARE(bitmap.pixel(last), kPen);
    QCOMPARE(groups8(drawn), 1);
    // Every pixel is the nearest one to the ideal line across its major axis.
    const bool xMajor = std::abs(dx) >= std::abs(dy);
    for (const QPoint &p : drawn) {
        const double along = xMajor ? double(p.x() - from.x()) / dx : double(p.y() - from.y()) / dy;
        const double across =
            xMajor ? from.y() + along * dy - p.y() : from.x() + along * dx - p.x();
        QVERIFY(std::abs(across) <= 0.5);
        QVERIFY(along >= 0 && along < 1);
    }
    const QRect span(QPoint(std::min(from.x(), last.x()), std::min(from.y(), last.y())),
        QPoint(std::max(from.x(), last.x()), std::max(from.y(), last.y())));
    QCOMPARE(surface.touched(), span);
}

void SurfaceTest::polylineClosesOnItsFirstPoint()
{
    // Samples 0, 25, 50, 75 and 100 of the cyan curve for B = 30, h = 30: the last segment
    // leaves its target, the first sample, to the first segment.
    QImage bitmap = greyBitmap(320, 320);
    Surface surface(bitmap);
    surface.setPen(kPen);
    const QList<QPoint> samples{{287, 157}, {200, 200}, {113, 157}, {200, 113}, {287, 157}};
    surface.moveTo(samples[0].x(), samples[0].y());
    for (qsizetype i = 1; i < samples.size(); ++i) {
        surface.lineTo(samples[i].x(), samples[i].y());
    }
    const QList<QPoint> drawn = pixelsOf(bitmap, kPen);
    QCOMPARE(drawn.size(), 87 + 87 + 87 + 87);
    QCOMPARE(groups8(drawn), 1);
    for (const QPoint &p : samples) {
        QCOMPARE(bitmap.pixel(p), kPen);
    }
    QCOMPARE(bitmap.pixel(200, 157), kGrey);
}

void SurfaceTest::lineToCurrentPointDrawsNothing()
{
    QImage bitmap = greyBitmap(20, 20);
    Surface surface(bitmap);
    surface.moveTo(7, 7);
    surface.lineTo(7, 7);
    surface.lineTo(7, 7);
    QCOMPARE(pixelsOf(bitmap, kGrey).size(), 400);
    // All 101 samples on one pixel, as for an elevation of 90 degrees.
    for (int i = 0; i < 101; ++i) {
        surface.lineTo(7, 7);
    }
    QCOMPARE(pixelsOf(bitmap, kGrey).size(), 400);
}

void SurfaceTest::farLinesAreClippedQuickly_data()
{
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<int>("count");
    QTest::addColumn<QPoint>("somePixel");
    QTest::newRow("whole row") << QPoint(INT_MIN, 5) << QPoint(INT_MAX, 5) << 50 << QPoint(49, 5);
    QTest::newRow("whole column, upwards")
        << QPoint(3, INT_MAX) << QPoint(3, INT_MIN) << 40 << QPoint(3, 0);
    QTest::newRow("diagonal") << QPoint(-2000000000, -2000000000) << QPoint(2000000000, 2000000000)
                              << 40 << QPoint(39, 39);
    QTest::newRow("extreme corners")
        << QPoint(INT_MIN, INT_MIN) << QPoint(INT_MAX, INT_MAX) << 40 << QPoint(20, 20);
    QTest::newRow("steep, crossing")
        << QPoint(10, -1000000000) << QPoint(30, 1000000000) << 40 << QPoint(20, 0);
    QTest::newRow("passing outside") << QPoint(-1000, -10) << QPoint(1000, -5) << 0 << QPoint();
    QTest::newRow("ending short of the bitmap")
        << QPoint(-1000, 4) << QPoint(0, 4) << 0 << QPoint();
}

void SurfaceTest::farLinesAreClippedQuickly()
{
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(int, count);
    QFETCH(QPoint, somePixel);
    QImage bitmap = greyBitmap(50, 40);
    Surface surface(bitmap);
    surface.setPen(kPen);
    QElapsedTimer timer;
    timer.start();
    surface.moveTo(from.x(), from.y());
    surface.lineTo(to.x(), to.y());
    QVERIFY(timer.elapsed() < 100);
    const QList<QPoint> drawn = pixelsOf(bitmap, kPen);
    QCOMPARE(drawn.size(), count);
    if (count > 0) {
        QCOMPARE(bitmap.pixel(somePixel), kPen);
        QCOMPARE(groups8(drawn), 1);
    }
}

void SurfaceTest::penIsBlackUntilSet()
{
    QImage bitmap = view::newBitmap(10, 10);
    Surface surface(bitmap);
    surface.moveTo(0, 0);
    surface.lineTo(3, 0);
    QCOMPARE(bitmap.pixel(0, 0), qRgb(0, 0, 0));
    surface.setPen(qRgb(255, 255, 0));
    surface.lineTo(6, 0);
    QCOMPARE(bitmap.pixel(3, 0), qRgb(255, 255, 0));
    QCOMPARE(bitmap.pixel(6, 0), kWhite);
}

void SurfaceTest::clippingKeepsTheShape()
{
    // Figures drawn on a small bitmap are the window of the same figures drawn on a large one
    // around it, for boxes and lines crossing its edges in every way.
    const QRect window(100, 100, 60, 40);
    QImage large = greyBitmap(260, 240);
    QImage small = greyBitmap(window.width(), window.height());
    Surface onLarge(large);
    Surface onSmall(small);
    QRandomGenerator random(20261208);
    const auto coordinate = [&random](int size) {
        return random.bounded(size + 1);
    };
    for (int i = 0; i < 300; ++i) {
        const QRgb colour = qRgb(i % 251, i % 7 * 30, 200);
        onLarge.setPen(colour);
        onSmall.setPen(colour);
        const int l = coordinate(260);
        const int t = coordinate(240);
        const int r = coordinate(260);
        const int b = coordinate(240);
        if (i % 2 == 0) {
            onLarge.ellipse(l, t, r, b);
            onSmall.ellipse(l - window.x(), t - window.y(), r - window.x(), b - window.y());
        } else {
            onLarge.moveTo(l, t);
            onLarge.lineTo(r, b);
            onSmall.moveTo(l - window.x(), t - window.y());
            onSmall.lineTo(r - window.x(), b - window.y());
        }
        QCOMPARE(small, large.copy(window));
    }
}

void SurfaceTest::drawBitmap_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("inside") << QPoint(1, 1) << QStringList{"....", ".#o.", ".oo.", "...."};
    QTest::newRow("cut at the top-left")
        << QPoint(-1, -1) << QStringList{"o...", "....", "....", "...."};
    QTest::newRow("cut at the bottom-right")
        << QPoint(3, 3) << QStringList{"....", "....", "....", "...#"};
    QTest::newRow("far away") << QPoint(INT_MAX, INT_MIN)
                              << QStringList{"....", "....", "....", "...."};
}

void SurfaceTest::drawBitmap()
{
    QFETCH(QPoint, at);
    QFETCH(QStringList, expected);
    // The logo is drawn this way on its view, from a packed 24-bit bitmap.
    QImage logo(2, 2, QImage::Format_RGB888);
    logo.fill(Qt::white);
    logo.setPixel(0, 0, kPen);
    QImage bitmap = greyBitmap(4, 4);
    Surface surface(bitmap);
    surface.drawBitmap(at.x(), at.y(), logo);
    QCOMPARE(picture(bitmap), expected);
    QCOMPARE(surface.pixel(3, 3), bitmap.pixel(3, 3));
    QCOMPARE(surface.pixel(-1, 0), kWhite);
}

QTEST_MAIN(SurfaceTest)
#include "surface_test.moc"
