#pragma once

// The date, time and place of a photograph as its camera recorded them in the JPEG file.

#include "measure/real.h"

#include <QByteArray>

#include <optional>

namespace view {

/// Where the time of a photograph was read.
enum class ExifTimeSource {
    /// DateTimeOriginal with OffsetTimeOriginal: the moment of the exposure, its zone known.
    OriginalWithOffset,
    /// GPSDateStamp with GPSTimeStamp, which are in UT.
    GpsStamp,
    /// DateTimeOriginal alone: the camera's clock in a zone the file does not give.
    OriginalLocal,
};

/// A civil date and time as the file gives it.
struct ExifTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    measure::real second = 0;
    /// Minutes from UT to this time, east positive (0 for a GPS stamp); none when the file does
    /// not give the zone.
    std::optional<int> utcOffsetMinutes;
    ExifTimeSource source = ExifTimeSource::OriginalLocal;
};

/// Where the photograph was taken, from the GPS tags.
struct ExifPosition {
    measure::real latitude = 0; ///< degrees, north positive
    measure::real longitude = 0; ///< degrees, east positive
    std::optional<measure::real> altitude; ///< metres above sea level, negative below
};

/// What the EXIF block of a photograph says, each field empty when it says nothing usable.
struct ExifFacts {
    std::optional<ExifTime> time;
    std::optional<ExifPosition> position;
};

/// The time and place in the EXIF block of the JPEG file `file` (the whole file's bytes). A
/// missing, truncated or damaged block, or a value out of its range, leaves its field empty;
/// nothing is read beyond the bytes given. Of the times, the exposure's with its zone comes
/// first, then the GPS stamp (it may be that of an earlier fix), then the exposure's alone.
[[nodiscard]] ExifFacts readExif(const QByteArray &file);

} // namespace view
