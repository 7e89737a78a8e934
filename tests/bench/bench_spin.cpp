// One step of each spin box after a trace, with a 6000 × 4000 JPEG photograph in pic3, on a
// 1920 × 1080 and a 3840 × 2160 window: the curves are computed, drawn, handed to their layers
// and the event loop repaints what the step marked dirty. A held arrow steps every 100 ms; the
// cost of a step must follow the curve, not the window, so the ratio between the two sizes is
// printed at the end. Beside them, the straightforward pipeline in the same run: a whole-page
// bitmap drawn with QPainter, keyed, and composed with the photograph and the other layers.
#include "app/form1.h"
#include "app/spinedit.h"
#include "tests/app/formtest.h"
#include "view/jpegpicture.h"
#include "view/pictureformats.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

const QSize kPhotograph(6000, 4000);

// A JPEG file of a lit disc on a dark sky, written once for the whole run.
QString photographFile()
{
    static QTemporaryDir folder;
    static QString name;
    if (!name.isEmpty())
        return name;
    QImage image(kPhotograph, QImage::Format_RGB32);
    const double cx = 3000, cy = 2000, r = 1800;
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const double d = std::hypot(x - cx, y - cy) / r;
            const int grey = d < 1 ? 90 + int(120 * (1 - d * d)) + (x * 7 + y * 13) % 23 : 8;
            line[x] = qRgb(grey, grey, grey);
        }
    }
    name = folder.filePath(QStringLiteral("lune.jpg"));
    if (!image.save(name, "JPEG", 90))
        qFatal("cannot write %s", qPrintable(name));
    return name;
}

void press(view::PictureView *area, QPoint p)
{
    QMouseEvent event(
        QEvent::MouseButtonPress, p, area->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(area, &event);
}

// A window of the given size with the photograph shown, a limb circle traced and the
// terminator at 30°.
std::unique_ptr<TForm1> tracedWindow(QSize size)
{
    auto form = std::make_unique<TForm1>();
    form->effects.showFailure = [](const QString &message) {
        qFatal("%s", qPrintable(message));
    };
    form->show();
    QApplication::processEvents(); // the window takes its designed frame first
    form->resize(size);
    QApplication::processEvents();
    layerOf(*form, "pic3")->setPicture(view::readPictureFile(photographFile()));
    QApplication::processEvents(); // the first paint decodes the photograph
    // The same cusps on both window sizes: the curves are alike, only the window grows.
    press(layerOf(*form, "picellipse"), QPoint(300, 450));
    press(layerOf(*form, "picellipse"), QPoint(1300, 500));
    buttonOf(*form, "Button1")->click();
    spinOf(*form, "SpinEditB")->setValue(30);
    QApplication::processEvents();
    return form;
}

void step(benchmark::State &state, const char *box)
{
    const auto form = tracedWindow(QSize(int(state.range(0)), int(state.range(1))));
    SpinEdit *spinBox = spinOf(*form, box);
    int value = 20;
    QElapsedTimer clock;
    qint64 drawing = 0;
    qint64 painting = 0;
    for (auto _ : state) {
        value = value == 20 ? 21 : 20;
        clock.start();
        spinBox->setValue(value);
        drawing += clock.nsecsElapsed();
        clock.start();
        QApplication::processEvents(); // paints what the step marked dirty, as the event loop would
        painting += clock.nsecsElapsed();
    }
    // The two halves of a step, in milliseconds: the handler, then the repaint.
    state.counters["drawMs"] =
        benchmark::Counter(static_cast<double>(drawing) / 1e6, benchmark::Counter::kAvgIterations);
    state.counters["paintMs"] =
        benchmark::Counter(static_cast<double>(painting) / 1e6, benchmark::Counter::kAvgIterations);
    state.counters["pageWidth"] = control<QWidget>(*form, "TabSheet1")->width();
    state.counters["pageHeight"] = control<QWidget>(*form, "TabSheet1")->height();
}

void spinmesStep(benchmark::State &state)
{
    step(state, "spinmes");
}

void spinEditBStep(benchmark::State &state)
{
    step(state, "SpinEditB");
}

// The straightforward pipeline for one step on a page of the window's size: a new white
// bitmap of the picture area, the curve with QPainter, the white keyed out, and the page
// composed from the photograph and the three keyed layers.
struct NaivePage {
    QSize area;
    QImage photograph;
    QImage pic; // markers and circle, keyed once: they do not change with the spin box
    QImage picellipse;
    std::vector<QPoint> curve;
    QImage page;

    explicit NaivePage(QSize window)
        : area(window.width() - 8 - 99, window.height() - 27 + 5)
        , page(area, QImage::Format_RGB32)
    {
        QImage decoded(photographFile());
        photograph = decoded.copy(QRect(QPoint(0, 0), area)).convertToFormat(QImage::Format_RGB32);
        pic = keyed(drawn(qRgb(0, 128, 0), ellipse()));
        picellipse = keyed(drawn(qRgb(255, 0, 0), ellipse(0.5)));
    }

    std::vector<QPoint> ellipse(double flattening = 0, int wobble = 0) const
    {
        std::vector<QPoint> points;
        const double r = area.width() / 3.0;
        for (int i = 0; i <= 100; ++i) {
            const double t = i / 100.0 * M_PI;
            points.emplace_back(int(area.width() / 2 + r * std::cos(t)),
                int(area.height() / 2 + (r - wobble) * (1 - flattening) * std::sin(t)));
        }
        return points;
    }

    QImage drawn(QRgb colour, const std::vector<QPoint> &points) const
    {
        QImage bitmap(area, QImage::Format_RGB32);
        bitmap.fill(Qt::white);
        QPainter painter(&bitmap);
        painter.setPen(QColor(colour));
        painter.drawPolyline(points.data(), int(points.size()));
        return bitmap;
    }

    static QImage keyed(const QImage &bitmap)
    {
        QImage result(bitmap.size(), QImage::Format_ARGB32_Premultiplied);
        const QRgb key = bitmap.pixel(0, bitmap.height() - 1);
        for (int y = 0; y < bitmap.height(); ++y) {
            const auto *from = reinterpret_cast<const QRgb *>(bitmap.constScanLine(y));
            auto *to = reinterpret_cast<QRgb *>(result.scanLine(y));
            for (int x = 0; x < bitmap.width(); ++x)
                to[x] = from[x] == key ? 0u : from[x];
        }
        return result;
    }

    void step(int value)
    {
        const QImage picmesure = keyed(drawn(qRgb(0, 255, 255), ellipse(0.2, value)));
        QPainter painter(&page);
        painter.drawImage(0, 0, photograph);
        painter.drawImage(0, 0, pic);
        painter.drawImage(0, 0, picmesure);
        painter.drawImage(0, 0, picellipse);
    }
};

void naiveStep(benchmark::State &state)
{
    NaivePage page(QSize(int(state.range(0)), int(state.range(1))));
    int value = 20;
    for (auto _ : state) {
        value = value == 20 ? 21 : 20;
        page.step(value);
        benchmark::DoNotOptimize(page.page.constBits());
    }
}

// Remembers the time of each run, so that the ratio between the window sizes can be printed.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
            times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

} // namespace

BENCHMARK(spinmesStep)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(spinEditBStep)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(naiveStep)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char *name : {"spinmesStep", "spinEditBStep", "naiveStep"}) {
        const std::string stem = name;
        const auto small = reporter.times.find(stem + "/1920/1080");
        const auto large = reporter.times.find(stem + "/3840/2160");
        if (small != reporter.times.end() && large != reporter.times.end() && small->second > 0)
            std::printf(
                "%s: 3840 x 2160 / 1920 x 1080 = %.2f\n", name, large->second / small->second);
    }
    benchmark::Shutdown();
    return 0;
}
