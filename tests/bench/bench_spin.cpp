// One step of each spin box on a full-HD window after a trace: the curves are computed, drawn
// on new bitmaps, handed to their layers (which work out their key colour) and the picture area
// is repainted. A held arrow steps every 100 ms, so a step must take far less.
#include "app/form1.h"
#include "app/spinedit.h"
#include "tests/app/formtest.h"

#include <QApplication>
#include <QMouseEvent>

#include <benchmark/benchmark.h>
#include <memory>

namespace {

std::unique_ptr<TForm1> tracedWindow()
{
    auto form = std::make_unique<TForm1>();
    form->effects.showFailure = [](const QString &message) {
        qFatal("%s", qPrintable(message));
    };
    form->show();
    QApplication::processEvents(); // the window takes its designed frame first
    form->resize(1920, 1080);
    QApplication::processEvents();
    view::PictureView *area = layerOf(*form, "picellipse");
    for (QPoint p : {QPoint(300, 450), QPoint(1300, 500)}) {
        QMouseEvent press(
            QEvent::MouseButtonPress, p, area->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(area, &press);
    }
    buttonOf(*form, "Button1")->click();
    spinOf(*form, "SpinEditB")->setValue(30);
    QApplication::processEvents();
    return form;
}

void step(benchmark::State &state, const char *box)
{
    const auto form = tracedWindow();
    SpinEdit *spinBox = spinOf(*form, box);
    int value = 20;
    for (auto _ : state) {
        value = value == 20 ? 21 : 20;
        spinBox->setValue(value);
        QApplication::processEvents(); // paints what the step marked dirty, as the event loop would
    }
    state.counters["pageWidth"] = control<QWidget>(*form, "TabSheet1")->width();
    state.counters["pageHeight"] = control<QWidget>(*form, "TabSheet1")->height();
    state.counters["formWidth"] = form->width();
}

void spinmesStep(benchmark::State &state)
{
    step(state, "spinmes");
}

void spinEditBStep(benchmark::State &state)
{
    step(state, "SpinEditB");
}

} // namespace

BENCHMARK(spinmesStep)->Unit(benchmark::kMillisecond);
BENCHMARK(spinEditBStep)->Unit(benchmark::kMillisecond);

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
