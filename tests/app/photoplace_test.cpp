// The status line through the real window: the date typed in "Date et lieu…", the place and
// name under the pointer, what forgets or blanks them, the check after "Ajuster", and which Sun
// the shadow tool used.
#include "app/calculator.h"
#include "app/form1.h"
#include "measure/ephemeris.h"
#include "measure/nomenclature.h"
#include "measure/selenographic.h"
#include "tests/app/formclicks.h"
#include "tests/synth/synthmoon.h"

#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

// A gibbous Moon lit from the top of the picture, its cusps on whole pixels at (100, 250) and
// (500, 250); a JPEG file with no EXIF block.
QByteArray moonFile()
{
    synth::Scene scene;
    scene.width = 600;
    scene.height = 500;
    scene.centreX = 300;
    scene.centreY = 250;
    scene.radius = 200;
    scene.sun = {0, -std::cos(M_PI / 6), std::sin(M_PI / 6)};
    const std::vector<std::uint8_t> bytes = synth::encodeJpeg(synth::render(scene), 92);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

// What the line must say at the centre of the disc, wherever the picture's north lies: the
// point the Moon turns towards Paris on 26 March 2026 at 20:00 UT, and its name.
QString centreText()
{
    const measure::MoonOrientation seen =
        measure::moonEphemeris(measure::apparentPlaces(measure::julianDay(2026, 3, 26, 20, 0, 0),
                                   measure::ObserverPlace{48.85L, 2.35L, 0}))
            .seen;
    QFile csv(QStringLiteral(":/moon-nomenclature.csv"));
    const QByteArray names = csv.open(QIODevice::ReadOnly) ? csv.readAll() : QByteArray();
    const auto feature = measure::namedFeatureAt(
        measure::indexNomenclature(
            measure::parseNomenclature(std::string_view(names.constData(), size_t(names.size())))
                .features),
        seen.librationLatitude,
        seen.librationLongitude);
    return QString::fromStdString(measure::selenographicText(seen.librationLatitude,
               seen.librationLongitude,
               1,
               calculator::localeDecimalSeparator().toStdString()))
        + QStringLiteral(" : Soleil à ")
        + (feature ? QStringLiteral("|") + QString::fromStdString(feature->name) : QString());
}

} // namespace

class PhotoPlaceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TForm1> form;
    QStringList failures;
    QTemporaryDir folder;
    QString photo;

    QString text(const char *name) const { return control<QLabel>(*form, name)->text(); }

    // "Date et lieu…" with the fields typed in as a user would, or cancelled for no date;
    // `shown` is what the date field held when the dialog opened.
    void typeDatePlace(const QString &date, const QString &zone, QString &shown)
    {
        form->effects.runDatePlace = [&](QDialog &dialog) {
            const auto field = [&](const char *name) {
                return dialog.findChild<QLineEdit *>(QLatin1String(name));
            };
            shown = field("dateEdit")->text();
            if (date.isEmpty())
                return false;
            QTest::keyClicks(field("dateEdit"), date);
            QTest::keyClicks(field("timeEdit"), QStringLiteral("21:00:00"));
            QTest::keyClicks(field("zoneEdit"), zone);
            QTest::keyClicks(field("latitudeEdit"), QStringLiteral("48.85"));
            QTest::keyClicks(field("longitudeEdit"), QStringLiteral("2.35"));
            return true;
        };
        QTest::mouseClick(buttonOf(*form, "butdatelieu"), Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        photo = folder.filePath(QStringLiteral("lune.jpg"));
        QFile file(photo);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(moonFile()) > 0);
    }
    void init()
    {
        form = std::make_unique<TForm1>();
        form->effects.showFailure = [this](const QString &message) {
            failures << message;
        };
        form->effects.messageBox = [](const QString &, const QString &) {
        };
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->openPicture(photo);
        traceCircle(*form, {100, 250}, {500, 250});
        // A shadow below the lit limb, and "Ombre" put down again.
        QTest::mouseClick(buttonOf(*form, "butombre"), Qt::LeftButton);
        clickArea(*form, {300, 200});
        clickArea(*form, {300, 215});
        QTest::mouseClick(buttonOf(*form, "butombre"), Qt::LeftButton);
        QVERIFY(text("detailsombre").startsWith(QStringLiteral("Longueur sur l'image")));
    }
    void cleanup()
    {
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('|'))));
        form.reset();
    }

    void statusLineFollowsTheDateAndTheTrace_data()
    {
        QTest::addColumn<bool>("typed");
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("then");
        QTest::addColumn<QString>("dateShown");
        QTest::addColumn<bool>("reading");
        QTest::addColumn<bool>("check");
        const auto row = [](const char *name,
                             bool typed,
                             const char *zone,
                             const char *then,
                             const char *shown,
                             bool reading,
                             bool check) {
            QTest::newRow(name) << typed << QString::fromLatin1(zone) << QString::fromLatin1(then)
                                << QString::fromUtf8(shown) << reading << check;
        };
        const char *typed = "26/03/2026 21:00:00 +01:00";
        row("no EXIF", false, "", "", "Date inconnue", false, false);
        row("typed", true, "+01:00", "", typed, true, false);
        row("no zone", true, "", "", "Fuseau horaire inconnu", false, false);
        row("new photograph", true, "+01:00", "open", "Date inconnue", false, false);
        row("drawings erased", true, "+01:00", "Button3", typed, false, false);
        row("photograph erased", true, "+01:00", "Button4", "", false, false);
        row("fitted", true, "+01:00", "butajuste", typed, true, true);
    }
    void statusLineFollowsTheDateAndTheTrace()
    {
        QFETCH(bool, typed);
        QFETCH(QString, zone);
        QFETCH(QString, then);
        QFETCH(QString, dateShown);
        QFETCH(bool, reading);
        QFETCH(bool, check);
        QString shown = QStringLiteral("?");
        typeDatePlace(typed ? QStringLiteral("26/03/2026") : QString(), zone, shown);
        QCOMPARE(shown, QString()); // the file has no EXIF block: the fields open empty
        // A reading before the change, which must not outlive it.
        moveOverArea(*form, {300, 250});
        if (then == QLatin1String("open"))
            form->openPicture(photo);
        else if (!then.isEmpty())
            QTest::mouseClick(buttonOf(*form, qPrintable(then)), Qt::LeftButton);
        if (!then.isEmpty())
            QCOMPARE(text("lieucurseur"), QString());
        moveOverArea(*form, {300, 250});
        QCOMPARE(text("datelieu"), dateShown);
        const QStringList expected = centreText().split(QLatin1Char('|'));
        QCOMPARE(expected.size(), 2); // a feature is named there
        const QString line = text("lieucurseur");
        QCOMPARE(line.startsWith(expected[0]) && line.endsWith(QStringLiteral(" — ") + expected[1]),
            reading);
        QCOMPARE(line.isEmpty(), !reading);
        QCOMPARE(text("controleheure").startsWith(QStringLiteral("B ajusté − prédit : ")), check);
        QCOMPARE(
            text("detailsajuste").contains(QStringLiteral("Date de la photographie : B")), check);
        // The shadow of init() is measured under the ephemeris's Sun exactly when the date is
        // known and the trace stands; under the photograph's it does not say so.
        QCOMPARE(text("detailsombre").contains(QStringLiteral("Soleil de l'éphéméride")), reading);
    }
};

QTEST_MAIN(PhotoPlaceTest)
#include "photoplace_test.moc"
