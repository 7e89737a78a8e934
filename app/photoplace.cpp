// The photograph's date and place: read from its file or typed in "Date et lieu…", they place
// the photograph on the Moon, which gives the status line under the pages the place under the
// pointer, its name and the Sun of the ephemeris there, and the check of the fitted terminator.
#include "app/form1.h"
#include "app/spinedit.h"
#include "measure/nomenclature.h"
#include "measure/selenographic.h"
#include "view/exifreader.h"
#include "view/jpegpicture.h"
#include "view/pictureview.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>

#include <string_view>

namespace {

// A time read off the camera's clock is good to about a minute; one typed in is most often
// remembered or read off a log to a few minutes.
constexpr measure::real kCameraClockMinutes = 1;
constexpr measure::real kTypedTimeMinutes = 5;

const QColor kDisagreement(176, 0, 0);

/// The lunar names the program ships, indexed once for the whole run.
const measure::NomenclatureIndex &lunarNames()
{
    static const measure::NomenclatureIndex index = [] {
        QFile file(QStringLiteral(":/moon-nomenclature.csv"));
        const QByteArray csv = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        return measure::indexNomenclature(
            measure::parseNomenclature(std::string_view(csv.constData(), std::size_t(csv.size())))
                .features);
    }();
    return index;
}

std::optional<measure::PhotoInstant> photoInstant(const DatePlace &datePlace)
{
    const std::optional<measure::real> day = julianDayUt(datePlace);
    if (!day)
        return std::nullopt;
    measure::PhotoInstant instant;
    instant.julianDayUt = *day;
    instant.timeSigmaMinutes = datePlace.time.source == DatePlaceSource::Photograph
        ? kCameraClockMinutes
        : kTypedTimeMinutes;
    instant.place = observerPlace(datePlace);
    return instant;
}

// "12/04/1992 23:30:00 +02:00", or "UT" for a time in UT.
QString dateText(const DatePlace &d)
{
    const int offset = d.utcOffsetMinutes.value.value_or(0);
    const QString zone = d.asUt ? QStringLiteral("UT")
                                : QStringLiteral("%1%2:%3")
                                      .arg(QChar(offset < 0 ? u'−' : u'+'))
                                      .arg(std::abs(offset) / 60, 2, 10, QChar(u'0'))
                                      .arg(std::abs(offset) % 60, 2, 10, QChar(u'0'));
    return d.date.value->toString(QStringLiteral("dd/MM/yyyy")) + QLatin1Char(' ')
        + d.time.value->toString(QStringLiteral("HH:mm:ss")) + QLatin1Char(' ') + zone;
}

QString placeText(const DatePlace &d, const QString &separator)
{
    const std::optional<measure::ObserverPlace> place = observerPlace(d);
    if (!place)
        return QStringLiteral("Lune vue du centre de la Terre (lieu inconnu ou géocentrique)");
    // The observer's latitude and longitude read as on a map: E and O for east and west.
    return QStringLiteral("Lieu : ")
        + QString::fromStdString(measure::selenographicText(
            place->latitude, place->longitude, 2, separator.toStdString()))
        + QStringLiteral(", %1 m").arg(qRound(static_cast<double>(place->height)));
}

// The date as the status line shows it, the place in its tooltip; nothing without a photograph.
void showDate(QLabel &label, const DatePlace &d, bool photograph, const QString &separator)
{
    if (!photograph) {
        label.clear();
        label.setToolTip(QString());
    } else if (julianDayUt(d)) {
        label.setText(dateText(d));
        label.setToolTip(placeText(d, separator));
    } else if (zoneMissing(d)) {
        label.setText(QStringLiteral("Fuseau horaire inconnu"));
        label.setToolTip(QStringLiteral("L'heure de la photographie est connue, pas son fuseau "
                                        "horaire : précisez-le dans « Date et lieu… »."));
    } else {
        label.setText(QStringLiteral("Date inconnue"));
        label.setToolTip(QStringLiteral("La photographie ne dit pas quand elle a été prise : "
                                        "saisissez la date et l'heure dans « Date et lieu… »."));
    }
}

} // namespace

void TForm1::butdatelieuClick()
{
    DatePlaceDialog dialog(datePlace_, this);
    if (!effects.runDatePlace(dialog))
        return;
    datePlace_ = dialog.result();
    ++datePlaceRevision_;
    showPlaceLine();
    showFit();
    showShadow();
}

void TForm1::readPhotographDate()
{
    // A framed JPEG shares its file's bytes, the EXIF block with them; other kinds carry none.
    const auto *jpeg = dynamic_cast<const view::JpegPicture *>(pic3->picture());
    datePlace_ = jpeg ? datePlaceFromExif(view::readExif(jpeg->fileBytes())) : DatePlace{};
    ++datePlaceRevision_;
    butdatelieu->setEnabled(pic3->picture() != nullptr);
}

const measure::Placement *TForm1::placement()
{
    const std::optional<measure::PhotoInstant> instant = photoInstant(datePlace_);
    if (!instant)
        return nullptr;
    const std::optional<measure::MoonModel> model =
        measurement.model(SpinEditB->value(), photographSource());
    if (!model)
        return nullptr;
    const bool current = placed_ && placed_->measurement == measurement.revision()
        && placed_->datePlace == datePlaceRevision_ && placed_->model == *model;
    if (!current)
        placed_ = PlacementCache{measurement.revision(),
            datePlaceRevision_,
            *model,
            measure::placePhotograph(*model, *instant, datePlace_.mirroring, photographPixels())};
    return placed_->placement ? &*placed_->placement : nullptr;
}

void TForm1::showPlaceLine()
{
    lieucurseur->clear();
    showDate(*datelieu, datePlace_, pic3->picture() != nullptr, decimalSeparator);
    const std::optional<measure::TimeCheck> check = timeCheck();
    controleheure->setText(check
            ? QString::fromStdString(measure::checkFigures(*check, decimalSeparator.toStdString()))
            : QString());
    controleheure->setToolTip(
        check ? QString::fromStdString(measure::verdictText(*check)) : QString());
    QPalette palette = controleheure->palette();
    palette.setColor(QPalette::WindowText,
        check && check->verdict != measure::TimeVerdict::Agrees
            ? kDisagreement
            : barreetat->palette().color(QPalette::WindowText));
    controleheure->setPalette(palette);
}

void TForm1::showPointerPlace(QPoint position)
{
    lieucurseur->setText(pointerPlaceText(
        {static_cast<measure::real>(position.x()), static_cast<measure::real>(position.y())}));
}

QString TForm1::pointerPlaceText(measure::PicturePoint at)
{
    const measure::Placement *placed = placement();
    if (!placed)
        return {};
    const std::optional<measure::PointerReading> reading = measure::readingAt(*placed, at);
    QString text =
        QString::fromStdString(measure::readingText(reading, decimalSeparator.toStdString()));
    if (reading) {
        const auto feature = measure::namedFeatureAt(
            lunarNames(), reading->point.latitude, reading->point.longitude);
        if (feature)
            text += QStringLiteral(" — ") + QString::fromStdString(feature->name);
    }
    return text;
}

std::optional<measure::ShadowMeasure> TForm1::currentShadow(bool &ephemeris)
{
    // Placing reads the photograph's maria: not worth it for a shadow there is not.
    ephemeris = false;
    if (!measurement.lastShadowEnds())
        return std::nullopt;
    const measure::Placement *placed = placement();
    ephemeris = placed != nullptr;
    if (!placed)
        return measurement.shadow(SpinEditB->value(), photographSource());
    std::optional<measure::ShadowMeasure> shadow =
        measurement.shadowOn(measure::ephemerisModel(*placed));
    // B comes from the date, with its own uncertainty, whatever SpinEditB says.
    if (shadow)
        shadow->bChecked = true;
    return shadow;
}

std::optional<measure::TimeCheck> TForm1::timeCheck()
{
    if (measurement.bSource() != measure::BSource::Fit)
        return std::nullopt;
    const measure::Placement *placed = placement();
    return placed ? std::optional(measure::checkTime(*placed)) : std::nullopt;
}

QString TForm1::checkDetails()
{
    const std::optional<measure::TimeCheck> check = timeCheck();
    if (!check)
        return {};
    return QStringLiteral("Date de la photographie : ")
        + QString::fromStdString(measure::checkFigures(*check, decimalSeparator.toStdString()))
        + QStringLiteral(". ") + QString::fromStdString(measure::verdictText(*check));
}
