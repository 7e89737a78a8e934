// The shadow tool: while "Ombre" is down, two presses on the picture give the top of a relief
// and the far end of its shadow, and the relief's height is worked out on the sphere.
#include "app/form1.h"
#include "app/spinedit.h"
#include "measure/limb.h"
#include "view/pictureview.h"

#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include <vector>

namespace {

// No other drawing of the picture area uses magenta: the shadow stands apart from the cusps,
// the circle and the curves.
constexpr QRgb kMagenta = qRgb(255, 0, 255);

QPoint pixelOf(const measure::PicturePoint &point)
{
    return {measure::nearest(point.x), measure::nearest(point.y)};
}

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
    measurement.shadowPress({static_cast<measure::real>(position.x()),
        static_cast<measure::real>(position.y())});
    showShadow();
    drawShadow();
    return true;
}

void TForm1::showShadow()
{
    const measure::TraceStatus status = measurement.status();
    const std::optional<measure::ShadowMeasure> shadow =
        measurement.shadow(SpinEditB->value(), photographSource());
    // The details keep the last shadow while a new one is clicked; nothing at all is shown once
    // the drawings are erased or the photograph has changed.
    if (!shadow || status == measure::TraceStatus::Erased) {
        hautombre->clear();
        detailsombre->setText(QString::fromUtf8(kShadowHelp));
        return;
    }
    if (status == measure::TraceStatus::OtherPhotograph) {
        hautombre->setText(QString::fromStdString(measure::statusText(status)));
        detailsombre->setText(QString::fromUtf8(kShadowHelp));
        return;
    }
    hautombre->setText(measurement.shadowPending()
            ? QString()
            : QString::fromStdString(measure::shadowLabel(*shadow)));
    QStringList lines;
    for (const std::string &line : measure::shadowDetails(*shadow, decimalSeparator.toStdString()))
        lines << QString::fromStdString(line);
    detailsombre->setText(lines.join(QLatin1Char('\n')));
}

void TForm1::drawShadow()
{
    const measure::ShadowClicks &clicks = measurement.shadowClicks();
    if (!clicks.top) {
        picombre->clear();
        return;
    }
    // The line goes first, so that the rings' white middles leave the clicked pixels bare.
    std::vector<QPoint> line{pixelOf(*clicks.top)};
    if (clicks.end)
        line.push_back(pixelOf(*clicks.end));
    picombre->showPolyline(kMagenta, line);
    for (const QPoint &at : line) {
        const measure::Box box = measure::markerBox(at.x(), at.y());
        picombre->drawEllipse(kMagenta, box.left, box.top, box.right, box.bottom);
    }
}
