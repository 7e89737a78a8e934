#include "view/exifreader.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <libexif/exif-data.h>
#include <memory>
#include <string>

namespace view {

namespace {

using measure::real;

struct Bytes {
    const unsigned char *data = nullptr;
    std::size_t size = 0;
};

// The payload of the first APP1 segment that holds an EXIF block ("Exif\0\0" and the TIFF data
// after it), walking the segments before the image data; what a truncated file holds of it.
std::optional<Bytes> exifSegment(const QByteArray &file)
{
    const auto *data = reinterpret_cast<const unsigned char *>(file.constData());
    const auto size = static_cast<std::size_t>(file.size());
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return std::nullopt;
    std::size_t pos = 2;
    while (pos < size && data[pos] == 0xFF) {
        while (pos < size && data[pos] == 0xFF) // fill bytes before a marker
            ++pos;
        if (pos + 2 >= size)
            return std::nullopt;
        const unsigned char marker = data[pos++];
        if (marker == 0xD9 || marker == 0xDA) // end of image, start of scan
            return std::nullopt;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) // markers without a length
            continue;
        const std::size_t length = std::size_t(data[pos]) << 8 | data[pos + 1];
        if (length < 2)
            return std::nullopt;
        const std::size_t payload = std::min(length - 2, size - pos - 2);
        if (marker == 0xE1 && payload >= 6 && std::memcmp(data + pos + 2, "Exif\0\0", 6) == 0)
            return Bytes{data + pos + 2, payload};
        pos += length;
    }
    return std::nullopt;
}

struct ExifDataRelease {
    void operator()(ExifData *data) const { exif_data_unref(data); }
};
using ExifHandle = std::unique_ptr<ExifData, ExifDataRelease>;

// What libexif made of the block, as the file has it: nothing added or corrected.
ExifHandle loaded(const Bytes &block)
{
    ExifHandle data(exif_data_new());
    if (!data)
        return data;
    // Following the standard would have libexif add the entries a block must have, with default
    // values, and drop the tags it does not know: what we read must be what the camera wrote.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
    exif_data_load_data(data.get(), block.data, static_cast<unsigned int>(block.size));
    return data;
}

// The entry `tag` of `ifd` when it has the format and count it must have and its data hold them.
const ExifEntry *entryOf(
    ExifData *data, ExifIfd ifd, ExifTag tag, ExifFormat format, unsigned count)
{
    ExifContent *content = data->ifd[ifd];
    const ExifEntry *entry = content ? exif_content_get_entry(content, tag) : nullptr;
    if (!entry || !entry->data || entry->format != format)
        return nullptr;
    const std::size_t unit = exif_format_get_size(format);
    if (entry->components < count || entry->size < std::size_t(count) * unit)
        return nullptr;
    return entry;
}

// An ASCII entry's text up to its first NUL, never beyond its data.
std::optional<std::string> textOf(ExifData *data, ExifIfd ifd, ExifTag tag)
{
    const ExifEntry *entry = entryOf(data, ifd, tag, EXIF_FORMAT_ASCII, 1);
    if (!entry)
        return std::nullopt;
    const auto *begin = reinterpret_cast<const char *>(entry->data);
    const std::size_t length = std::min<std::size_t>(entry->size, entry->components);
    const void *nul = std::memchr(begin, '\0', length);
    return std::string(begin, nul ? static_cast<const char *>(nul) : begin + length);
}

// `count` rationals of an entry; none when any denominator is zero (0/0 is "unknown").
template <std::size_t count>
std::optional<std::array<real, count>> rationalsOf(ExifData *data, ExifIfd ifd, ExifTag tag)
{
    const ExifEntry *entry = entryOf(data, ifd, tag, EXIF_FORMAT_RATIONAL, count);
    if (!entry)
        return std::nullopt;
    const ExifByteOrder order = exif_data_get_byte_order(data);
    std::array<real, count> values{};
    for (std::size_t k = 0; k < count; ++k) {
        const ExifRational r = exif_get_rational(entry->data + 8 * k, order);
        if (r.denominator == 0)
            return std::nullopt;
        values[k] = real(r.numerator) / real(r.denominator);
    }
    return values;
}

} // namespace

namespace {

// Digits of `text` from `at`, `count` of them; -1 when any is not a digit.
int digitsAt(const std::string &text, std::size_t at, std::size_t count)
{
    if (at + count > text.size())
        return -1;
    int value = 0;
    for (std::size_t k = at; k < at + count; ++k) {
        if (text[k] < '0' || text[k] > '9')
            return -1;
        value = value * 10 + (text[k] - '0');
    }
    return value;
}

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool isDate(int year, int month, int day)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1)
        return false;
    return day <= days[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0);
}

bool isTimeOfDay(int hour, int minute, real second)
{
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 61;
}

// "YYYY:MM:DD" at the start of `text` (some writers put '-' between); blank or zero dates,
// which cameras write when their clock was never set, are none.
std::optional<ExifTime> dateOf(const std::string &text)
{
    if (text.size() < 10 || (text[4] != ':' && text[4] != '-') || text[7] != text[4])
        return std::nullopt;
    ExifTime time;
    time.year = digitsAt(text, 0, 4);
    time.month = digitsAt(text, 5, 2);
    time.day = digitsAt(text, 8, 2);
    if (!isDate(time.year, time.month, time.day))
        return std::nullopt;
    return time;
}

// "YYYY:MM:DD HH:MM:SS".
std::optional<ExifTime> dateTimeOf(const std::string &text)
{
    auto time = dateOf(text);
    if (!time || text.size() < 19 || text[10] != ' ' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    time->hour = digitsAt(text, 11, 2);
    time->minute = digitsAt(text, 14, 2);
    const int second = digitsAt(text, 17, 2);
    time->second = second;
    if (!isTimeOfDay(time->hour, time->minute, second))
        return std::nullopt;
    return time;
}

// "+HH:MM" or "-HH:MM", within the zones in use (UT-12 to UT+14).
std::optional<int> offsetOf(const std::string &text)
{
    if (text.size() < 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':')
        return std::nullopt;
    const int hours = digitsAt(text, 1, 2);
    const int minutes = digitsAt(text, 4, 2);
    if (hours < 0 || minutes < 0 || minutes >= 60)
        return std::nullopt;
    const int offset = (text[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
    if (offset < -12 * 60 || offset > 14 * 60)
        return std::nullopt;
    return offset;
}

std::optional<ExifTime> originalTime(ExifData *data)
{
    const auto text = textOf(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL);
    auto time = text ? dateTimeOf(*text) : std::nullopt;
    if (!time)
        return std::nullopt;
    const auto zone = textOf(data, EXIF_IFD_EXIF, EXIF_TAG_OFFSET_TIME_ORIGINAL);
    time->utcOffsetMinutes = zone ? offsetOf(*zone) : std::nullopt;
    time->source =
        time->utcOffsetMinutes ? ExifTimeSource::OriginalWithOffset : ExifTimeSource::OriginalLocal;
    return time;
}

std::optional<ExifTime> gpsTime(ExifData *data)
{
    const auto text = textOf(data, EXIF_IFD_GPS, ExifTag(EXIF_TAG_GPS_DATE_STAMP));
    const auto stamp = rationalsOf<3>(data, EXIF_IFD_GPS, ExifTag(EXIF_TAG_GPS_TIME_STAMP));
    auto time = text ? dateOf(*text) : std::nullopt;
    if (!time || !stamp)
        return std::nullopt;
    const real hour = (*stamp)[0], minute = (*stamp)[1];
    // Whole hours and minutes: a fraction there is not a time any writer means.
    if (hour != std::floor(hour) || minute != std::floor(minute)
        || !isTimeOfDay(
            int(std::min<real>(hour, 99)), int(std::min<real>(minute, 99)), (*stamp)[2]))
        return std::nullopt;
    time->hour = int(hour);
    time->minute = int(minute);
    time->second = (*stamp)[2];
    time->utcOffsetMinutes = 0;
    time->source = ExifTimeSource::GpsStamp;
    return time;
}

// Degrees, minutes and seconds with their hemisphere letter, as signed degrees up to `limit`.
std::optional<real> angleOf(
    ExifData *data, ExifTag valueTag, ExifTag refTag, char negative, char positive, real limit)
{
    const auto ref = textOf(data, EXIF_IFD_GPS, refTag);
    const auto parts = rationalsOf<3>(data, EXIF_IFD_GPS, valueTag);
    if (!ref || ref->size() != 1 || ((*ref)[0] != negative && (*ref)[0] != positive) || !parts)
        return std::nullopt;
    const auto &[degrees, minutes, seconds] = *parts;
    if (minutes >= 60 || seconds >= 60)
        return std::nullopt;
    const real angle = degrees + minutes / 60 + seconds / 3600;
    if (angle > limit)
        return std::nullopt;
    return (*ref)[0] == negative ? -angle : angle;
}

std::optional<real> altitudeOf(ExifData *data)
{
    const auto metres = rationalsOf<1>(data, EXIF_IFD_GPS, ExifTag(EXIF_TAG_GPS_ALTITUDE));
    if (!metres)
        return std::nullopt;
    // Without its reference byte an altitude is above sea level; 1 puts it below.
    const ExifEntry *ref =
        entryOf(data, EXIF_IFD_GPS, ExifTag(EXIF_TAG_GPS_ALTITUDE_REF), EXIF_FORMAT_BYTE, 1);
    const int below = ref ? ref->data[0] : 0;
    if (below > 1)
        return std::nullopt;
    return below ? -(*metres)[0] : (*metres)[0];
}

std::optional<ExifPosition> positionOf(ExifData *data)
{
    // A receiver that lost its fix marks the position void ('V').
    const auto status = textOf(data, EXIF_IFD_GPS, ExifTag(EXIF_TAG_GPS_STATUS));
    if (status && *status == "V")
        return std::nullopt;
    const auto latitude = angleOf(
        data, ExifTag(EXIF_TAG_GPS_LATITUDE), ExifTag(EXIF_TAG_GPS_LATITUDE_REF), 'S', 'N', 90);
    const auto longitude = angleOf(
        data, ExifTag(EXIF_TAG_GPS_LONGITUDE), ExifTag(EXIF_TAG_GPS_LONGITUDE_REF), 'W', 'E', 180);
    if (!latitude || !longitude)
        return std::nullopt;
    return ExifPosition{*latitude, *longitude, altitudeOf(data)};
}

} // namespace

ExifFacts readExif(const QByteArray &file)
{
    const auto block = exifSegment(file);
    if (!block)
        return {};
    const ExifHandle data = loaded(*block);
    if (!data)
        return {};
    ExifFacts facts;
    const auto original = originalTime(data.get());
    facts.time = original && original->utcOffsetMinutes ? original : gpsTime(data.get());
    if (!facts.time)
        facts.time = original;
    facts.position = positionOf(data.get());
    return facts;
}

} // namespace view
