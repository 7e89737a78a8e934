// The date and place dialog under a French locale: EXIF facts shown with their sources, the
// user's edits read back and marked as typed, and the values given coming back unchanged.
#include "app/dateplace.h"
#include "view/exifreader.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QStringList>
#include <QTest>

#include <cmath>

Q_DECLARE_METATYPE(view::ExifFacts)

namespace {

const char *const kFields[] = {"date", "time", "zone", "latitude", "longitude", "height"};

// A photograph of 1 January 2000, taken in Brittany when `placed`.
view::ExifFacts facts(int hour,
    int minute,
    measure::real second,
    view::ExifTimeSource source,
    std::optional<int> offset,
    bool placed,
    std::optional<measure::real> altitude = std::nullopt)
{
    view::ExifFacts f;
    f.time = view::ExifTime{2000, 1, 1, hour, minute, second, offset, source};
    if (placed)
        f.position = view::ExifPosition{48.8566L, -2.5L, altitude};
    return f;
}

QLineEdit *edit(const QDialog &d, const char *field)
{
    return d.findChild<QLineEdit *>(QString::fromLatin1(field) + QStringLiteral("Edit"));
}

QString shown(const QDialog &d, const char *field)
{
    return edit(d, field)->text() + QStringLiteral("[")
        + d.findChild<QLabel *>(QString::fromLatin1(field) + QStringLiteral("Source"))->text()
        + QStringLiteral("]");
}

// Types as the keyboard would, characters beyond Latin-1 (the minus sign) included.
void type(QLineEdit *line, const QString &text)
{
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Backspace);
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(line, &press);
    }
}

// Every field as "text[source]", separated by '|'.
QString allShown(const QDialog &d)
{
    QStringList texts;
    for (const char *field : kFields)
        texts << shown(d, field);
    return texts.join(u'|');
}

} // namespace

class DatePlaceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::French, QLocale::France)); }

    void exifFacts_data()
    {
        using S = view::ExifTimeSource;
        QTest::addColumn<view::ExifFacts>("facts");
        QTest::addColumn<QString>("fields");
        QTest::addColumn<double>("julianDay"); // NaN: no UT follows
        QTest::newRow("zone given, place with altitude")
            << facts(14, 0, 0, S::OriginalWithOffset, 120, true, 35.5L)
            << "01/01/2000[P]|14:00:00[P]|+02:00[P]|48,8566[P]|-2,5[P]|35,5[P]" << 2451545.0;
        QTest::newRow("GPS stamp is UT, no altitude")
            << facts(12, 0, 0, S::GpsStamp, 0, true)
            << "01/01/2000[P]|12:00:00[P]|[P]|48,8566[P]|-2,5[P]|[]" << 2451545.0;
        QTest::newRow("leap second and sub-second carry into the next day")
            << facts(23, 59, 60.5L, S::GpsStamp, 0, false)
            << "02/01/2000[P]|00:00:00,5[P]|[P]|[]|[]|[]" << 2451545.5 + 0.5 / 86400;
        QTest::newRow("zone unknown is flagged, not taken as UT")
            << facts(12, 0, 0, S::OriginalLocal, std::nullopt, false)
            << "01/01/2000[P]|12:00:00[P]|[fuseau horaire inconnu]|[]|[]|[]" << double(NAN);
        QTest::newRow("nothing known") << view::ExifFacts{} << "[]|[]|[]|[]|[]|[]" << double(NAN);
    }
    void exifFacts()
    {
        QFETCH(view::ExifFacts, facts);
        QFETCH(QString, fields);
        QFETCH(double, julianDay);
        DatePlaceDialog dialog(datePlaceFromExif(facts));
        QCOMPARE(allShown(dialog),
            fields.replace(QStringLiteral("[P]"), QStringLiteral("[photographie]")));
        const auto jd = julianDayUt(dialog.result());
        QCOMPARE(jd.has_value(), !std::isnan(julianDay));
        if (jd)
            QCOMPARE(double(*jd), julianDay);
    }

    // Each row types into one field of a dialog filled from a photograph taken at 12:00 in an
    // unknown zone in Brittany, then reads what it shows and what result() makes of it.
    void edits_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("place"); // observerPlace(result()) as "lat lon height"
        QTest::addColumn<bool>("readable");
        const auto row = [](const char *name,
                             const char *field,
                             const char *typed,
                             const char *place,
                             bool readable) {
            QTest::newRow(name) << QString::fromLatin1(field) << QString::fromUtf8(typed)
                                << QString::fromLatin1(place) << readable;
        };
        const char *const brittany = "48.8566 -2.5 35";
        row("comma", "latitude", "48,85", "48.85 -2.5 35", true);
        row("point", "longitude", "2.35", "48.8566 2.35 35", true);
        row("minus sign", "height", "−12", "48.8566 -2.5 -12", true);
        row("emptied height: sea level", "height", "", "48.8566 -2.5 0", true);
        row("emptied latitude: no place", "latitude", "", "", true);
        row("latitude out of range", "latitude", "91", "", false);
        row("zone typed", "zone", "-5", brittany, true);
        row("zone out of range", "zone", "+15:00", brittany, false);
        row("time, decimals", "time", "21:34:05,25", brittany, true);
        row("no such date", "date", "31/02/2000", brittany, false);
    }
    void edits()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, place);
        QFETCH(bool, readable);
        DatePlace given = datePlaceFromExif(
            facts(12, 0, 0, view::ExifTimeSource::OriginalLocal, std::nullopt, true, 35));
        DatePlaceDialog dialog(given);
        const QByteArray name = field.toLatin1();
        type(edit(dialog, name), typed);
        // Typed text stays as typed, marked as typed; an emptied field has no source.
        QCOMPARE(shown(dialog, name), typed + (typed.isEmpty() ? "[]" : "[saisie]"));
        QCOMPARE(dialog.problem().isEmpty(), readable);
        QCOMPARE(dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->isEnabled(),
            readable);
        const auto p = observerPlace(dialog.result());
        QCOMPARE(p ? QStringLiteral("%1 %2 %3")
                         .arg(double(p->latitude))
                         .arg(double(p->longitude))
                         .arg(double(p->height))
                   : QString(),
            place);
        // A typed zone gives the UT, which the photograph's clock alone did not.
        QCOMPARE(
            julianDayUt(dialog.result()).has_value(), field == QStringLiteral("zone") && readable);
    }

    void choicesAndRoundTrip()
    {
        DatePlace given = datePlaceFromExif(
            facts(12, 0, 0, view::ExifTimeSource::OriginalLocal, std::nullopt, true, 35));
        given.latitude = {48.856613L, DatePlaceSource::Typed};
        given.mirroring = measure::Mirroring::Mirrored;
        DatePlaceDialog dialog(given);
        dialog.findChild<QCheckBox *>(QStringLiteral("geocentricBox"))->click();
        QVERIFY(!edit(dialog, "latitude")->isEnabled());
        QVERIFY(!observerPlace(dialog.result()));
        dialog.findChild<QCheckBox *>(QStringLiteral("utBox"))->click();
        QCOMPARE(shown(dialog, "zone"), QStringLiteral("[saisie]"));
        QVERIFY(!edit(dialog, "zone")->isEnabled());
        QCOMPARE(julianDayUt(dialog.result()), std::optional<measure::real>(2451545.0L));
        // What comes out goes back in and out unchanged, to the last bit of the values.
        const DatePlace out = DatePlaceDialog(dialog.result()).result();
        QVERIFY(out.geocentric && out.asUt);
        QCOMPARE(out.mirroring, measure::Mirroring::Mirrored);
        QVERIFY(out.latitude.value == given.latitude.value);
        QCOMPARE(out.latitude.source, DatePlaceSource::Typed);
        QVERIFY(out.height.value == given.height.value);
        QCOMPARE(out.height.source, DatePlaceSource::Photograph);
        QCOMPARE(out.utcOffsetMinutes.source, DatePlaceSource::Typed);
        QVERIFY(out.date.value == given.date.value && out.time.value == given.time.value);
    }
};

QTEST_MAIN(DatePlaceTest)
#include "dateplace_test.moc"
