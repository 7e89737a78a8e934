#pragma once

// The date, time and place of the photograph, as its EXIF block gives them or as the user
// types them, and the small dialog in which they are seen and corrected.

#include "measure/ephemeris.h"
#include "measure/placement.h"
#include "measure/real.h"

#include <QDate>
#include <QDialog>
#include <QTime>

#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace view {
struct ExifFacts;
} // namespace view

/// Where a value came from; None when nothing is known of it.
enum class DatePlaceSource {
    None,
    Photograph,
    Typed,
};

/// A value with where it came from.
template <typename T> struct Sourced {
    std::optional<T> value;
    DatePlaceSource source = DatePlaceSource::None;
};

/// What is known of when and where the photograph was taken. The date and time are those of a
/// clock: in UT when asUt, else in the zone utcOffsetMinutes (east positive), which may be
/// unknown. The zone's source covers the choice of UT too.
struct DatePlace {
    Sourced<QDate> date;
    Sourced<QTime> time;
    Sourced<int> utcOffsetMinutes;
    bool asUt = false;
    Sourced<measure::real> latitude; ///< degrees, north positive
    Sourced<measure::real> longitude; ///< degrees, east positive
    Sourced<measure::real> height; ///< metres above the ellipsoid
    /// Seen from the Earth's centre: the place, even when known, is not used.
    bool geocentric = false;
    measure::Mirroring mirroring = measure::Mirroring::Automatic;
};

/// The date, time and place an EXIF block gives, all marked as read from the photograph. A
/// clock time whose zone the file does not give keeps the zone empty, never taken as UT.
[[nodiscard]] DatePlace datePlaceFromExif(const view::ExifFacts &facts);

/// Whether the time is known but the zone it was read in is not, so no UT follows.
[[nodiscard]] bool zoneMissing(const DatePlace &datePlace);

/// The Julian day (UT) of the photograph, when its date, time and zone (or UT) are known.
[[nodiscard]] std::optional<measure::real> julianDayUt(const DatePlace &datePlace);

/// The place of observation; none when geocentric or when the latitude or longitude is
/// unknown. An unknown height reads as sea level: each hundred metres moves the Moon by about
/// 0.05 arcsecond.
[[nodiscard]] std::optional<measure::ObserverPlace> observerPlace(const DatePlace &datePlace);

/// "Date et lieu…": the date, time, zone, place and orientation of the photograph, each value
/// with where it came from ("photographie", "saisie"), which turns to "saisie" as soon as the
/// user edits it. Numbers follow the locale's decimal separator and '.' is read too. OK stays
/// disabled while a field holds text that does not read.
class DatePlaceDialog : public QDialog {
    Q_OBJECT
public:
    explicit DatePlaceDialog(const DatePlace &current, QWidget *parent = nullptr);

    /// What the fields say: the values not edited are returned exactly as given, the edited
    /// ones as read from their text (none when empty or unreadable).
    [[nodiscard]] DatePlace result() const;
    /// Why OK is disabled, empty when every field reads.
    [[nodiscard]] QString problem() const;

private:
    enum Slot {
        DateSlot,
        TimeSlot,
        ZoneSlot,
        LatitudeSlot,
        LongitudeSlot,
        HeightSlot,
        SlotCount,
    };
    struct Field {
        QLineEdit *edit = nullptr;
        QLabel *sourceLabel = nullptr;
        DatePlaceSource source = DatePlaceSource::None;
    };

    void buildFields();
    void buildLayout();
    void showValues();
    void connectFields();
    void markTyped(Slot slot);
    void refresh();
    /// The field's source, None once the user has emptied it.
    [[nodiscard]] DatePlaceSource sourceOf(Slot slot) const;
    template <typename T, typename Read> void take(Slot slot, Sourced<T> &target, Read read) const;
    [[nodiscard]] QWidget *row(Slot slot, QWidget *after, const QString &hint);

    DatePlace initial_;
    std::array<Field, SlotCount> fields_;
    QCheckBox *ut_ = nullptr;
    QCheckBox *geocentric_ = nullptr;
    QComboBox *mirroring_ = nullptr;
    QLabel *problem_ = nullptr;
    QDialogButtonBox *buttons_ = nullptr;
};
