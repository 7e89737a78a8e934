// One step of each spin box on a full-HD window after a trace: the curves are computed, drawn
// on new bitmaps, handed to their layers (which work out their key colour) and the picture area
// is repainted. A held arrow steps every 100 ms, so a step must take far less.
#include "app/form1.h"
#include "app/spinedit.h"

#include <QApplication>

#include <benchmark/benchmark.h>
#include <memory>

namespace {

std::unique_ptr<TForm1> tracedWindow()
{
    auto form = std::make_unique<TForm1>();
    form->showFailure = [](const QString &message) {
        qFatal("%s", qPrintable(message));
    };
    form->show();
    QApplication::processEvents(); // the window takes its designed frame first
    form->resize(1920, 1080);
    QApplication::processEvents();
    for (QPoint p : {QPoint(300, 450), QPoint(1300, 500)})
        form->onmoondown(Qt::LeftButton, {}, false, p);
    form->Button1Click();
    form->SpinEditB->setValue(30);
    QApplication::processEvents();
    return form;
}

void step(benchmark::State &state, SpinEdit *TForm1::*box)
{
    const auto form = tracedWindow();
    SpinEdit *spin = (*form).*box;
    int value = 20;
    for (auto _ : state) {
        value = value == 20 ? 21 : 20;
        spin->setValue(value);
        QApplication::processEvents(); // paints what the step marked dirty, as the event loop would
    }
    state.counters["pageWidth"] = form->TabSheet1->width();
    state.counters["pageHeight"] = form->TabSheet1->height();
    state.counters["formWidth"] = form->width();
}

void spinmesStep(benchmark::State &state)
{
    step(state, &TForm1::spinmes);
}

void spinEditBStep(benchmark::State &state)
{
    step(state, &TForm1::SpinEditB);
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
