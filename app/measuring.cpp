// The measuring handlers: cusps, limb circle, nudges, terminator and iso-elevation curves, and
// the two erase buttons and the open button of the picture area.
#include "app/form1.h"
#include "app/spinedit.h"
#include "app/widgets.h"
#include "measure/curves.h"
#include "measure/limb.h"
#include "view/moonframing.h"
#include "view/opendialog.h"
#include "view/pictureformats.h"
#include "view/pictureview.h"

#include <QFileInfo>
#include <QSlider>

#include <vector>

namespace {

constexpr QRgb kYellow = qRgb(255, 255, 0);
constexpr QRgb kGreen = qRgb(0, 128, 0);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kCyan = qRgb(0, 255, 255);

void ellipse(view::PictureView *layer, QRgb colour, const measure::Box &box)
{
    layer->drawEllipse(colour, box.left, box.top, box.right, box.bottom);
}

std::vector<QPoint> points(const measure::Polyline &curve)
{
    std::vector<QPoint> result;
    result.reserve(curve.size());
    for (const measure::PixelPoint &p : curve)
        result.emplace_back(p.x, p.y);
    return result;
}

} // namespace

void TForm1::onmoondown(Qt::MouseButton, Qt::KeyboardModifiers, bool, QPoint position)
{
    if (onombredown(position))
        return;
    const int n = point->value();
    point->setValue(measure::pickCusp(state, n, position.x(), position.y()));
    if (n == 2)
        Button1->setEnabled(true);
    else
        pic->clear();
    ellipse(pic, kYellow, measure::markerBox(position.x(), position.y()));
}

void TForm1::Button1Click()
{
    tracearc();
    measurement.traced();
    // The figures follow the new trace at once, even when its curves fail below.
    showShadow();
    showFit();
    Ellipse();
    mesure();
}

void TForm1::tracearc()
{
    measure::tracearc(state);
    label1->setText(QString::fromStdString(measure::radiusText(state.rayon)));
    ellipse(pic, kGreen, measure::limbBox(state));
}

void TForm1::nudge(int dx, int dy)
{
    pic->clear();
    measure::nudge(state, dx, dy);
    measurement.nudged();
    ellipse(pic, kGreen, measure::limbBox(state));
    showShadow();
    showFit();
}

void TForm1::upClick()
{
    nudge(0, -1);
}

void TForm1::downClick()
{
    nudge(0, 1);
}

void TForm1::leftClick()
{
    nudge(-1, 0);
}

void TForm1::rightClick()
{
    nudge(1, 0);
}

void TForm1::Ellipse()
{
    // The curve is computed first: a failing computation leaves the layer as it was.
    const measure::Polyline curve = measure::terminator(state, SpinEditB->value());
    picellipse->showPolyline(kRed, points(curve));
}

void TForm1::mesure()
{
    const measure::Polyline curve =
        measure::isoElevation(state, SpinEditB->value(), spinmes->value());
    picmesure->showPolyline(kCyan, points(curve));
}

void TForm1::onspinchange()
{
    measurement.spinBChanged(SpinEditB->value());
    showFit();
    if (state.rayon == 0)
        return;
    Ellipse();
    mesure();
    showShadow();
}

void TForm1::onmeschange()
{
    if (state.rayon == 0)
        return;
    LabeledEdit2->setText(spinmes->text());
    mesure();
}

void TForm1::Button3Click()
{
    pic->clear();
    picellipse->clear();
    picmesure->clear();
    measurement.drawingsErased();
    picombre->clear();
    showShadow();
    soleilcurseur->clear();
    showPlaceLine();
}

void TForm1::Button4Click()
{
    pic3->clear();
}

void TForm1::photographChanged()
{
    // However the photograph came (opened, dropped, erased), what was read off the last one
    // goes: the fit, the lit side and the shadow, whose drawing goes with it.
    photographPixels_.reset();
    photographRead_ = false;
    photographName_.clear();
    measurement.photographChanged();
    readPhotographDate();
    picombre->clear();
    showShadow();
    showFit();
    soleilcurseur->clear();
    updateFramingHint();
}

void TForm1::Button2Click()
{
    const std::optional<QString> name = effects.choosePicture();
    if (!name)
        return;
    openPicture(*name);
}

void TForm1::openPicture(const QString &fileName)
{
    // Reading completes before the view is touched, so a file that fails keeps the photograph.
    std::unique_ptr<view::Picture> picture = view::readPictureFile(fileName);
    if (openpic->frameOnMoon())
        picture = framedOnMoon(std::move(picture));
    pic3->setPicture(std::move(picture));
    photographName_ = QFileInfo(fileName).fileName();
}

std::unique_ptr<view::Picture> TForm1::framedOnMoon(std::unique_ptr<view::Picture> picture)
{
    view::FramedPicture framed = view::framedOnMoon(std::move(picture), visiblePictureSize());
    if (!framed.discFound)
        effects.messageBox(QStringLiteral("Aucun disque lunaire n'a été trouvé sur cette image."),
            QString::fromLatin1(kApplicationTitle));
    return std::move(framed.picture);
}
