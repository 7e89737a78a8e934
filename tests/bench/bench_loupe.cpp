// One move of the pointer with the loupe up, on a 1920 × 1080 window showing a 6000 × 4000
// JPEG photograph with its curves: the handler (elevation label, loupe composed from the
// layers) and the repaint the move marks dirty. Beside it, the straightforward loupe in the
// same run: the picture area grabbed as the screen shows it, then the part around the pointer
// cut out and magnified.
#include "app/form1.h"
#include "app/spinedit.h"
#include "tests/app/formtest.h"
#include "view/loupe.h"
#include "view/pictureformats.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>

namespace {

QString photographFile()
{
    static QTemporaryDir folder;
    static QString name;
    if (!name.isEmpty())
        return name;
    QImage image(6000, 4000, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const double d = std::hypot(x - 3000, y - 2000) / 1800;
            const int grey = d < 1 ? 90 + int(120 * (1 - d * d)) + (x * 7 + y * 13) % 23 : 8;
            line[x] = qRgb(grey, grey, grey);
        }
    }
    name = folder.filePath(QStringLiteral("lune.jpg"));
    if (!image.save(name, "JPEG", 90))
        qFatal("cannot write %s", qPrintable(name));
    return name;
}

void send(QWidget *area, QEvent::Type type, QPoint p, Qt::MouseButton button)
{
    QMouseEvent event(type, p, area->mapToGlobal(p), button, button, {});
    QApplication::sendEvent(area, &event);
}

std::unique_ptr<TForm1> tracedWindow()
{
    auto form = std::make_unique<TForm1>();
    form->effects.showFailure = [](const QString &message) {
        qFatal("%s", qPrintable(message));
    };
    form->show();
    QApplication::processEvents();
    form->resize(1920, 1080);
    QApplication::processEvents();
    layerOf(*form, "pic3")->setPicture(view::readPictureFile(photographFile()));
    QApplication::processEvents();
    auto *area = layerOf(*form, "picellipse");
    send(area, QEvent::MouseButtonPress, {300, 450}, Qt::LeftButton);
    send(area, QEvent::MouseButtonPress, {1300, 500}, Qt::LeftButton);
    buttonOf(*form, "Button1")->click();
    spinOf(*form, "SpinEditB")->setValue(30);
    buttonOf(*form, "butloupe")->click();
    QApplication::processEvents();
    return form;
}

// Two places far apart, so that every move recomposes and repaints the loupe.
QPoint placeOf(int k)
{
    return k % 2 ? QPoint(700, 480) : QPoint(760, 520);
}

void loupeMove(benchmark::State &state)
{
    const auto form = tracedWindow();
    auto *area = layerOf(*form, "picellipse");
    int k = 0;
    for (auto _ : state) {
        send(area, QEvent::MouseMove, placeOf(++k), Qt::NoButton);
        QApplication::processEvents();
    }
}

void naiveLoupeMove(benchmark::State &state)
{
    const auto form = tracedWindow();
    auto *area = layerOf(*form, "picellipse");
    QWidget *page = area->parentWidget();
    int k = 0;
    for (auto _ : state) {
        const QPoint at = placeOf(++k);
        const QImage screen = page->grab(area->geometry()).toImage();
        const QImage part = screen.copy(at.x() - 20, at.y() - 20, 41, 41).scaled(164, 164);
        benchmark::DoNotOptimize(part.constBits());
    }
}

} // namespace

BENCHMARK(loupeMove)->Unit(benchmark::kMillisecond);
BENCHMARK(naiveLoupeMove)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
