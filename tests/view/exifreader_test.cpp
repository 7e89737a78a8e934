// The date, time and place read from the EXIF block of small JPEG files whose blocks libexif
// writes here: whole, in part, damaged, and absent.
#include "view/exifreader.h"

#include <QBuffer>
#include <QImage>
#include <QtTest>

#include <cstdlib>
#include <cstring>
#include <libexif/exif-data.h>
#include <string>
#include <vector>

namespace {

// What a block holds: entries of the EXIF and GPS directories, each as its raw value.
struct Entry {
    ExifIfd ifd;
    unsigned tag;
    std::string text; // ASCII when not empty
    std::vector<ExifRational> rationals;
    int byte = -1;
};

void add(ExifData *data, const Entry &entryOf, ExifByteOrder order)
{
    ExifEntry *entry = exif_entry_new();
    entry->tag = ExifTag(entryOf.tag);
    if (!entryOf.text.empty()) {
        entry->format = EXIF_FORMAT_ASCII;
        entry->components = entryOf.text.size() + 1;
    } else if (entryOf.byte >= 0) {
        entry->format = EXIF_FORMAT_BYTE;
        entry->components = 1;
    } else {
        entry->format = EXIF_FORMAT_RATIONAL;
        entry->components = entryOf.rationals.size();
    }
    entry->size = unsigned(entry->components * exif_format_get_size(entry->format));
    entry->data = static_cast<unsigned char *>(std::calloc(entry->size, 1));
    if (!entryOf.text.empty())
        std::memcpy(entry->data, entryOf.text.c_str(), entry->size);
    else if (entryOf.byte >= 0)
        entry->data[0] = static_cast<unsigned char>(entryOf.byte);
    for (std::size_t k = 0; k < entryOf.rationals.size(); ++k)
        exif_set_rational(entry->data + 8 * k, order, entryOf.rationals[k]);
    exif_content_add_entry(data->ifd[entryOf.ifd], entry);
    exif_entry_unref(entry);
}

// A 16 × 16 JPEG file with an APP1 segment holding `entries` right after its start marker.
QByteArray jpegWith(
    const std::vector<Entry> &entries, ExifByteOrder order = EXIF_BYTE_ORDER_MOTOROLA)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    if (entries.empty())
        return jpeg;
    ExifData *data = exif_data_new();
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_byte_order(data, order);
    for (const Entry &entry : entries)
        add(data, entry, order);
    unsigned char *block = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data, &block, &size);
    exif_data_unref(data);
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char((size + 2) >> 8)).append(char((size + 2) & 0xFF));
    segment.append(reinterpret_cast<const char *>(block), qsizetype(size));
    std::free(block);
    return jpeg.insert(2, segment);
}

const Entry kOriginal{EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, "2024:03:15 21:30:05", {}};
const Entry kOffset{EXIF_IFD_EXIF, EXIF_TAG_OFFSET_TIME_ORIGINAL, "+01:00", {}};
const Entry kGpsDate{EXIF_IFD_GPS, EXIF_TAG_GPS_DATE_STAMP, "2024:03:15", {}};
const Entry kGpsTime{EXIF_IFD_GPS, EXIF_TAG_GPS_TIME_STAMP, "", {{20, 1}, {30, 1}, {45, 10}}};
const Entry kNorth{EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE_REF, "N", {}};
const Entry kLatitude{EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE, "", {{48, 1}, {51, 1}, {3000, 100}}};
const Entry kWest{EXIF_IFD_GPS, EXIF_TAG_GPS_LONGITUDE_REF, "W", {}};
const Entry kLongitude{EXIF_IFD_GPS, EXIF_TAG_GPS_LONGITUDE, "", {{2, 1}, {2107, 100}, {0, 1}}};
const Entry kAltitude{EXIF_IFD_GPS, EXIF_TAG_GPS_ALTITUDE, "", {{355, 10}}};
const Entry kBelow{EXIF_IFD_GPS, EXIF_TAG_GPS_ALTITUDE_REF, "", {}, 1};

QString timeText(const view::ExifFacts &facts)
{
    if (!facts.time)
        return QStringLiteral("-");
    const view::ExifTime &t = *facts.time;
    return QString::asprintf("%d %04d-%02d-%02d %02d:%02d:%04.1f %s",
        int(t.source),
        t.year,
        t.month,
        t.day,
        t.hour,
        t.minute,
        double(t.second),
        t.utcOffsetMinutes ? qPrintable(QString::number(*t.utcOffsetMinutes)) : "?");
}

QString positionText(const view::ExifFacts &facts)
{
    if (!facts.position)
        return QStringLiteral("-");
    const view::ExifPosition &p = *facts.position;
    return QString::asprintf("%.5f %.5f %s",
        double(p.latitude),
        double(p.longitude),
        p.altitude ? qPrintable(QString::number(double(*p.altitude))) : "?");
}

} // namespace

class ExifReaderTest : public QObject {
    Q_OBJECT

private slots:
    void readsWhatIsThere_data();
    void readsWhatIsThere();
};

void ExifReaderTest::readsWhatIsThere_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("position");
    const QString paris = QStringLiteral("48.85833 -2.35117 35.5");
    const QByteArray full = jpegWith(
        {kOriginal, kOffset, kGpsDate, kGpsTime, kNorth, kLatitude, kWest, kLongitude, kAltitude});
    QTest::newRow("full") << full << "0 2024-03-15 21:30:05.0 60" << paris;
    QTest::newRow("little-endian") << jpegWith(
        {kOriginal, kOffset, kNorth, kLatitude, kWest, kLongitude}, EXIF_BYTE_ORDER_INTEL)
                                   << "0 2024-03-15 21:30:05.0 60"
                                   << "48.85833 -2.35117 ?";
    QTest::newRow("no offset: GPS stamp")
        << jpegWith({kOriginal, kGpsDate, kGpsTime}) << "1 2024-03-15 20:30:04.5 0"
        << "-";
    QTest::newRow("no offset, no stamp") << jpegWith({kOriginal}) << "2 2024-03-15 21:30:05.0 ?"
                                         << "-";
    QTest::newRow("GPS only") << jpegWith({kGpsDate,
        kGpsTime,
        {EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE_REF, "S", {}},
        {EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE, "", {{33, 1}, {27, 1}, {0, 1}}},
        {EXIF_IFD_GPS, EXIF_TAG_GPS_LONGITUDE_REF, "E", {}},
        {EXIF_IFD_GPS, EXIF_TAG_GPS_LONGITUDE, "", {{7035, 100}, {0, 1}, {0, 1}}},
        kAltitude,
        kBelow}) << "1 2024-03-15 20:30:04.5 0"
                              << "-33.45000 70.35000 -35.5";
    // Values a camera writes when it knows nothing, or out of their range: each field alone.
    QTest::newRow("unset values") << jpegWith(
        {{EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, "0000:00:00 00:00:00", {}},
            {EXIF_IFD_EXIF, EXIF_TAG_OFFSET_TIME_ORIGINAL, "+15:00", {}},
            {EXIF_IFD_GPS, EXIF_TAG_GPS_DATE_STAMP, "2023:02:29", {}},
            kGpsTime,
            kNorth,
            {EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE, "", {{48, 1}, {75, 1}, {0, 1}}},
            kWest,
            kLongitude}) << "-"
                                  << "-";
    QTest::newRow("void fix, zero denominator")
        << jpegWith({{EXIF_IFD_GPS, EXIF_TAG_GPS_STATUS, "V", {}},
               kNorth,
               kLatitude,
               kWest,
               kLongitude,
               {EXIF_IFD_GPS, EXIF_TAG_GPS_TIME_STAMP, "", {{20, 1}, {30, 0}, {0, 1}}},
               kGpsDate})
        << "-"
        << "-";
    QTest::newRow("offset, no original time") << jpegWith({kOffset}) << "-"
                                              << "-";
    // The TIFF header's byte order spoilt, then the file cut inside the block and before it.
    QByteArray spoilt = full;
    spoilt.replace(spoilt.indexOf("MM"), 2, "XY");
    QTest::newRow("corrupt block") << spoilt << "-"
                                   << "-";
    QTest::newRow("truncated in the block") << full.left(full.indexOf("Exif") + 12) << "-"
                                            << "-";
    QTest::newRow("truncated before the block") << full.left(5) << "-"
                                                << "-";
    QTest::newRow("no EXIF") << jpegWith({}) << "-"
                             << "-";
    QTest::newRow("not a JPEG") << QByteArray("Exif\0\0MM", 8) << "-"
                                << "-";
}

void ExifReaderTest::readsWhatIsThere()
{
    QFETCH(QByteArray, file);
    const view::ExifFacts facts = view::readExif(file);
    QFETCH(QString, time);
    QCOMPARE(timeText(facts), time);
    QFETCH(QString, position);
    QCOMPARE(positionText(facts), position);
}

QTEST_MAIN(ExifReaderTest)
#include "exifreader_test.moc"
