// The cost of redrawing one curve layer of the picture area, as a spin-box step does it: a new
// full-size bitmap, the curve, the hand-over to a transparent view stacked over an opaque
// photograph, and the repaint.
#include "view/pictureview.h"
#include "view/surface.h"

#include <QApplication>
#include <QPalette>

#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>

namespace {

const QSize kArea(1792, 1085);

QImage photograph()
{
    QImage image(kArea, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            line[x] = qRgb(x % 256, y % 256, (x + y) % 256);
        }
    }
    return image;
}

// An iso-elevation curve of 101 samples about the middle of the area; `step` changes its size
// as the spin box does.
QImage curveBitmap(int step)
{
    QImage bitmap = view::newBitmap(kArea.width(), kArea.height());
    view::Surface surface(bitmap);
    surface.setPen(qRgb(0, 255, 255));
    const double am = 300 + step % 50;
    const double bm = 150 + step % 30;
    for (int i = 0; i <= 100; ++i) {
        const double t = i / 100.0 * 2 * M_PI;
        const int x = static_cast<int>(std::lround(900 + am * std::cos(t)));
        const int y = static_cast<int>(std::lround(520 + bm * std::sin(t)));
        if (i == 0) {
            surface.moveTo(x, y);
        } else {
            surface.lineTo(x, y);
        }
    }
    return bitmap;
}

struct Stack {
    QWidget page;
    view::PictureView *pic3 = new view::PictureView(&page);
    view::PictureView *picmesure = new view::PictureView(&page);

    Stack()
    {
        page.resize(kArea);
        page.setAutoFillBackground(true);
        for (view::PictureView *view : {pic3, picmesure}) {
            view->setGeometry(QRect(QPoint(0, 0), kArea));
        }
        picmesure->setTransparent(true);
        pic3->giveBitmap(photograph());
        page.show();
        QApplication::processEvents();
    }
};

std::unique_ptr<Stack> stack;

void BM_DrawCurveOnNewBitmap(benchmark::State &state)
{
    int step = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(curveBitmap(++step));
    }
}
BENCHMARK(BM_DrawCurveOnNewBitmap)->Unit(benchmark::kMillisecond);

// The hand-over alone: the view's copy and its key-colour pass.
void BM_GiveBitmap(benchmark::State &state)
{
    const QImage bitmap = curveBitmap(1);
    for (auto _ : state) {
        stack->picmesure->giveBitmap(bitmap);
    }
}
BENCHMARK(BM_GiveBitmap)->Unit(benchmark::kMillisecond);

// A whole step: new bitmap, curve, hand-over, repaint of what changed.
void BM_SpinStep(benchmark::State &state)
{
    int step = 0;
    for (auto _ : state) {
        stack->picmesure->giveBitmap(curveBitmap(++step));
        QApplication::processEvents();
    }
}
BENCHMARK(BM_SpinStep)->Unit(benchmark::kMillisecond);

// The worst case of a repaint: the whole stack painted afresh.
void BM_PaintWholeStack(benchmark::State &state)
{
    stack->picmesure->giveBitmap(curveBitmap(1));
    for (auto _ : state) {
        benchmark::DoNotOptimize(stack->page.grab());
    }
}
BENCHMARK(BM_PaintWholeStack)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    stack = std::make_unique<Stack>();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    stack.reset();
    return 0;
}
