// The shadow tool: while "Ombre" is down, two presses on the picture give the top of a relief
// and the far end of its shadow, and the relief's height is worked out on the sphere.
#include "app/form1.h"
#include "app/spinedit.h"
#include "measure/limb.h"
#include "measure/shadowmarks.h"
#include "view/pictureview.h"
#include "view/surface.h"

#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include <vector>

namespace {

// No other drawing of the picture area uses magenta: the shadow stands apart from the cusps,
// the circle and the curves.
constexpr QRgb kMagenta = qRgb(255, 0, 255);

} // namespace

void TForm1::butombreClick(bool taken)
{
    if (taken)
        measurement.shadowToolTaken();
}

bool TForm1::onombredown(QPoint position)
{
    if (!butombre->isChecked())
        return false;
    if (measurement.shadowPress(
            {static_cast<measure::real>(position.x()), static_cast<measure::real>(position.y())}))
        refineShadow();
    showShadow();
    drawShadow();
    return true;
}

void TForm1::refineShadow()
{
    // The ends are sought on the photograph of the measurement's own sphere; without one (no
    // usable trace, or none for this photograph) the clicks stand.
    const measure::ImageView pixels = photographPixels();
    const std::optional<measure::MoonModel> model =
        measurement.model(SpinEditB->value(), photographSource());
    const std::optional<measure::ShadowEnds> clicks = measurement.lastShadowEnds();
    if (pixels.empty() || !model || !clicks)
        return;
    const measure::CameraResponse camera =
        measurement.fit() ? measure::cameraOf(*measurement.fit()) : measure::CameraResponse{};
    measurement.shadowRefined(
        measure::findShadowEnds(pixels, *model, clicks->top.point, clicks->end.point, camera));
}

void TForm1::showShadow()
{
    const measure::TraceStatus status = measurement.status();
    bool ephemeris = false;
    const std::optional<measure::ShadowMeasure> shadow = currentShadow(ephemeris);
    // The details keep the last shadow while a new one is clicked; nothing at all is shown once
    // the drawings are erased or the photograph has changed.
    if (!shadow || status == measure::TraceStatus::Erased) {
        hautombre->clear();
        detailsombre->setText(QString::fromUtf8(kShadowHelp));
        return;
    }
    if (status == measure::TraceStatus::OtherPhotograph) {
        hautombre->setText(QString::fromStdString(measure::statusText(status)));
        hautombre->setToolTip(QString::fromStdString(measure::statusHint(status)));
        detailsombre->setText(QString::fromUtf8(kShadowHelp));
        return;
    }
    hautombre->setText(measurement.shadowPending()
            ? QString()
            : QString::fromStdString(measure::shadowLabel(*shadow)));
    QStringList lines;
    for (const std::string &line : measure::shadowDetails(*shadow, decimalSeparator.toStdString()))
        lines << QString::fromStdString(line);
    if (const auto ends = measurement.lastShadowEnds())
        lines << QString::fromStdString(measure::endsText(*ends, decimalSeparator.toStdString()));
    // Only a known date brings a second Sun, and only then is it worth saying which one spoke.
    if (ephemeris)
        lines << QStringLiteral("Soleil de l'éphéméride, pour la date de la photographie.");
    detailsombre->setText(lines.join(QLatin1Char('\n')));
}

void TForm1::drawShadow()
{
    // Thin ticks a little off each end, across the shadow once both ends are known, so that
    // nothing covers the pixels being measured.
    picombre->clear();
    const measure::ShadowClicks &clicks = measurement.shadowClicks();
    const std::optional<measure::ShadowEnds> ends = measurement.lastShadowEnds();
    std::vector<measure::PicturePoint> points;
    if (clicks.top && !clicks.end)
        points.push_back(*clicks.top);
    else if (ends)
        points = {ends->top.point, ends->end.point};
    if (points.empty())
        return;
    const std::vector<measure::PixelSegment> ticks = points.size() == 2
        ? measure::shadowTicks(points[0], points[1])
        : measure::shadowTicks(points[0], std::nullopt);
    picombre->draw([&](view::Surface &surface) {
        surface.setPen(kMagenta);
        for (const measure::PixelSegment &tick : ticks) {
            surface.moveTo(tick.from.x, tick.from.y);
            surface.lineTo(tick.to.x, tick.to.y);
        }
    });
}
