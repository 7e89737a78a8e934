// The Sun's elevation under the cursor (soleilcurseur) and the terminator found on the
// photograph ("Ajuster", butajuste).
#include "app/form1.h"
#include "app/spinedit.h"
#include "measure/elevation.h"
#include "measure/failure.h"
#include "measure/limb.h"
#include "measure/report.h"
#include "measure/texts.h"
#include "view/loupe.h"
#include "view/pictureview.h"
#include "view/pixels.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QStringList>

#include <cmath>

measure::ImageView TForm1::photographPixels()
{
    // Read once per photograph: a JPEG never shown is decoded, a palette of greys converted.
    if (!photographRead_) {
        const view::Picture *picture = pic3->preparedPicture();
        photographPixels_ = picture ? view::pixelsOf(*picture) : std::nullopt;
        photographRead_ = true;
    }
    return photographPixels_ ? photographPixels_->view() : measure::ImageView{};
}

measure::PixelSource TForm1::photographSource()
{
    return [this] {
        return photographPixels();
    };
}

void TForm1::onmoonmove(QPoint position)
{
    followLoupe(position);
    showPointerPlace(position);
    const std::optional<measure::MoonModel> model =
        measurement.model(SpinEditB->value(), photographSource());
    if (!model) {
        soleilcurseur->setText(QString::fromStdString(measure::statusText(measurement.status())));
        soleilcurseur->setToolTip(
            QString::fromStdString(measure::statusHint(measurement.status())));
        return;
    }
    const auto elevation = measure::elevationAt(*model, position.x(), position.y());
    if (elevation)
        measurement.pointerRead(
            {static_cast<measure::real>(position.x()), static_cast<measure::real>(position.y())});
    const bool checked = measurement.bSource() != measure::BSource::Unchecked;
    soleilcurseur->setText(QString::fromStdString(
        measure::elevationText(elevation, decimalSeparator.toStdString(), checked)));
    soleilcurseur->setToolTip(checked ? QString() : QString::fromUtf8(measure::kUncheckedB));
}

void TForm1::onmoonleave()
{
    soleilcurseur->clear();
    lieucurseur->clear();
    loupe->hide();
}

void TForm1::butloupeClick(bool taken)
{
    if (!taken)
        loupe->hide();
}

void TForm1::followLoupe(QPoint position)
{
    if (!butloupe->isChecked())
        return;
    // The position is a picture pixel, a device pixel; the loupe is placed in the page's own
    // units, inside the part of the picture area the page shows.
    const QPoint pointer = picellipse->mapTo(
        TabSheet1, (QPointF(position) / picellipse->devicePixelRatioF()).toPoint());
    loupe->follow(position, pointer, picellipse->geometry() & TabSheet1->rect());
    loupe->show();
    loupe->raise();
}

void TForm1::refuse(const char *sentence)
{
    effects.messageBox(QString::fromStdString(measure::withFullStop(sentence)),
        QString::fromUtf8(kApplicationTitle));
}

void TForm1::butajusteClick()
{
    const measure::ImageView pixels = photographPixels();
    if (pixels.empty())
        return refuse(measure::kNoPhotograph);
    // The clicks only start the search: a circle traced over another photograph, or erased,
    // starts it as well as a fresh one.
    if (measurement.status() == measure::TraceStatus::NoCircle)
        return refuse(measure::kNoCircle);
    const measure::Calibration fit = measure::calibrate(pixels, measure::moonModel(state, 0));
    if (fit.outcome != measure::FitOutcome::Found)
        return refuse(measure::outcomeText(fit.outcome));
    traceFit(fit);
}

void TForm1::traceFit(const measure::Calibration &fit)
{
    // The drawings show what was found, to the nearest pixel: the cusps at the fitted ends of
    // the cusp line, the nudges undone, the circle traced again through them.
    const measure::MoonModel &model = fit.model;
    const measure::real dx = model.radius * std::cos(model.theta);
    const measure::real dy = model.radius * std::sin(model.theta);
    const int x1 = measure::nearest(model.centreX - dx), y1 = measure::nearest(model.centreY - dy);
    const int x2 = measure::nearest(model.centreX + dx), y2 = measure::nearest(model.centreY + dy);
    pic->clear();
    point->setValue(measure::pickCusp(state, 1, x1, y1));
    point->setValue(measure::pickCusp(state, 2, x2, y2));
    state.decalx = 0;
    state.decaly = 0;
    for (const auto &[x, y] : {std::pair{x1, y1}, std::pair{x2, y2}}) {
        const measure::Box box = measure::markerBox(x, y);
        pic->drawEllipse(qRgb(255, 255, 0), box.left, box.top, box.right, box.bottom);
    }
    tracearc();
    measurement.traced();
    // The fit is kept before SpinEditB moves to its whole degree, so that the redraw that
    // change brings already uses it; when the degree does not change, the curves are redrawn
    // here for the new circle.
    measurement.fitted(fit);
    showFit();
    const int degree = measure::nearest(model.b);
    if (SpinEditB->value() != degree) {
        SpinEditB->setValue(degree);
        return;
    }
    Ellipse();
    mesure();
    showShadow();
}

void TForm1::showFit()
{
    // Whatever changed the fit changed what the status line read off it too.
    showPlaceLine();
    const std::optional<measure::Calibration> &fit = measurement.fit();
    if (!fit) {
        resultatajuste->clear();
        detailsajuste->setText(QString::fromUtf8(kFitHelp));
        return;
    }
    const std::string separator = decimalSeparator.toStdString();
    resultatajuste->setText(QString::fromStdString(measure::fitSummary(*fit, separator)));
    QStringList lines;
    for (const std::string &line : measure::fitDetails(*fit, separator))
        lines << QString::fromStdString(line);
    if (const QString check = checkDetails(); !check.isEmpty())
        lines << check;
    detailsajuste->setText(lines.join(QLatin1Char('\n')));
}

void TForm1::butcopierClick()
{
    measure::ReportInput input;
    input.fileName = photographName_.toStdString();
    input.model = measurement.model(SpinEditB->value(), photographSource());
    input.bSource = measurement.bSource();
    if (input.model && input.model->covariance)
        input.radiusSigmaPx = std::sqrt((*input.model->covariance)[2][2]);
    if (input.model && measurement.lastPointer()) {
        const measure::PicturePoint at = *measurement.lastPointer();
        if (const auto elevation = measure::elevationAt(*input.model, at.x, at.y))
            input.elevation = measure::ElevationReading{at, *elevation};
    }
    const auto ends = measurement.lastShadowEnds();
    bool ephemeris = false;
    const auto shadow = currentShadow(ephemeris);
    if (ends && shadow && measurement.status() == measure::TraceStatus::Ready)
        input.shadow = measure::ShadowReading{ends->top.point, ends->end.point, *shadow, ephemeris};
    // The status line's date and, in its tooltip, the place, once the date is known.
    if (julianDayUt(datePlace_))
        input.datePlace =
            (datelieu->text() + QStringLiteral(" ; ") + datelieu->toolTip()).toStdString();
    if (measurement.lastPointer())
        input.pointerPlace = pointerPlaceText(*measurement.lastPointer()).toStdString();

    // The picture area as the screen shows it, the loupe left out.
    const bool loupeShown = loupe->isVisible();
    loupe->hide();
    const QImage area = TabSheet1->grab(picellipse->geometry() & TabSheet1->rect()).toImage();
    loupe->setVisible(loupeShown);

    auto *copied = new QMimeData;
    copied->setText(
        QString::fromStdString(measure::measurementReport(input, decimalSeparator.toStdString())));
    copied->setImageData(area);
    QGuiApplication::clipboard()->setMimeData(copied);
}
