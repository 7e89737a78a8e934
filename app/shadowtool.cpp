// The shadow tool: while "Ombre" is down, two presses on the picture give the top of a relief
// and the far end of its shadow, and the relief's height is worked out on the sphere.
#include "app/form1.h"
#include "measure/limb.h"
#include "measure/shadow.h"
#include "view/pictureview.h"

#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include <vector>

namespace {

// No other drawing of the picture area uses magenta: the shadow stands apart from the cusps,
// the circle and the curves.
constexpr QRgb kMagenta = qRgb(255, 0, 255);

measure::PicturePoint pictureOf(QPoint position)
{
    return {static_cast<measure::real>(position.x()), static_cast<measure::real>(position.y())};
}

} // namespace

void TForm1::butombreClick(bool down)
{
    // Taking the tool up again starts a new shadow: a press left over from before would
    // otherwise pair with one on another relief.
    if (down)
        shadowTop_.reset();
}

bool TForm1::onombredown(QPoint position)
{
    if (!butombre->isChecked())
        return false;
    if (!shadowTop_ || shadowEnd_) {
        shadowTop_ = position;
        shadowEnd_.reset();
        hautombre->clear();
    } else {
        shadowEnd_ = position;
        traceombre();
    }
    drawShadow();
    return true;
}

void TForm1::traceombre()
{
    // Without a traced circle there is no sphere to ask for one: the empty model says so.
    const measure::MoonModel model = state.rayon == 0 ? measure::MoonModel{} : currentMoonModel();
    const measure::ShadowMeasure shadow =
        measure::measureShadow(model, pictureOf(*shadowTop_), pictureOf(*shadowEnd_));
    hautombre->setText(QString::fromStdString(measure::shadowLabel(shadow)));
    QStringList lines;
    for (const std::string &line : measure::shadowDetails(shadow, decimalSeparator.toStdString()))
        lines << QString::fromStdString(line);
    detailsombre->setText(lines.join(QLatin1Char('\n')));
}

void TForm1::refreshShadow()
{
    // The circle or the terminator moved: the last shadow's height follows the new sphere.
    if (shadowTop_ && shadowEnd_)
        traceombre();
}

void TForm1::drawShadow()
{
    // The line goes first, so that the rings' white middles leave the clicked pixels bare.
    std::vector<QPoint> line{*shadowTop_};
    if (shadowEnd_)
        line.push_back(*shadowEnd_);
    picombre->showPolyline(kMagenta, line);
    for (const std::optional<QPoint> &point : {shadowTop_, shadowEnd_}) {
        if (!point)
            continue;
        const measure::Box box = measure::markerBox(point->x(), point->y());
        picombre->drawEllipse(kMagenta, box.left, box.top, box.right, box.bottom);
    }
}

void TForm1::clearShadow()
{
    picombre->clear();
    shadowTop_.reset();
    shadowEnd_.reset();
}
