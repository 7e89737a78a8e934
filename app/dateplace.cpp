// The date and place of the photograph: what its EXIF block gives, the Julian day and place that
// follow, and the dialog in which the user sees and corrects them.
#include "app/dateplace.h"

#include "view/exifreader.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <cmath>
#include <locale>
#include <sstream>

namespace {

constexpr int kMsPerDay = 86'400'000;
constexpr int kLargestOffset = 14 * 60; // the zones in use run from −12:00 to +14:00
constexpr measure::real kLowest = -1000; // metres: below the shores of the deepest basins
constexpr measure::real kHighest = 20000; // and above any aircraft that photographs the Moon

// Typed text in the C form: the locale's separator and the typographic minus become '.' and
// '-', so that "48,85" and "48.85" both read whatever the locale.
QString plainNumberText(QString text)
{
    text = text.trimmed();
    text.replace(QLocale().decimalPoint(), QStringLiteral("."));
    text.replace(QChar(u','), QChar(u'.'));
    text.replace(QChar(0x2212), QChar(u'-'));
    return text;
}

std::optional<measure::real> readNumber(const QString &text, measure::real low, measure::real high)
{
    std::istringstream in(plainNumberText(text).toStdString());
    in.imbue(std::locale::classic());
    measure::real value = 0;
    in >> value;
    if (in.fail() || !in.eof() || !(value >= low && value <= high))
        return std::nullopt;
    return value;
}

std::optional<QDate> readDate(const QString &text)
{
    static const QRegularExpression french(
        QStringLiteral(R"(^(\d{1,2})[/.](\d{1,2})[/.](\d{4})$)"));
    static const QRegularExpression iso(QStringLiteral(R"(^(\d{4})-(\d{1,2})-(\d{1,2})$)"));
    const QString trimmed = text.trimmed();
    QDate date;
    if (const auto m = french.match(trimmed); m.hasMatch())
        date = QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
    else if (const auto n = iso.match(trimmed); n.hasMatch())
        date = QDate(n.captured(1).toInt(), n.captured(2).toInt(), n.captured(3).toInt());
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

std::optional<QTime> readTime(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral(R"(^(\d{1,2}):(\d{2})(?::(\d{2}(?:\.\d+)?))?$)"));
    const auto m = form.match(plainNumberText(text));
    if (!m.hasMatch())
        return std::nullopt;
    const int hour = m.captured(1).toInt();
    const int minute = m.captured(2).toInt();
    const double second = m.captured(3).isEmpty() ? 0.0 : m.captured(3).toDouble();
    if (hour > 23 || minute > 59 || second >= 60)
        return std::nullopt;
    // Rounding 59.9996 s to the millisecond would spill into the next minute.
    const int ms = std::min(static_cast<int>(std::lround(second * 1000)), 59'999);
    return QTime(hour, minute).addMSecs(ms);
}

std::optional<int> readOffset(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral(R"(^(?:UTC|UT|GMT)?\s*([+\-])?\s*(\d{1,2})(?::?(\d{2}))?$)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = form.match(plainNumberText(text));
    if (!m.hasMatch())
        return std::nullopt;
    const int minutes = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    const int size = m.captured(2).toInt() * 60 + minutes;
    if (minutes > 59 || size > kLargestOffset)
        return std::nullopt;
    return m.captured(1) == QStringLiteral("-") ? -size : size;
}

QString offsetText(int minutes)
{
    const int size = std::abs(minutes);
    return QStringLiteral("%1%2:%3")
        .arg(QChar(minutes < 0 ? u'-' : u'+'))
        .arg(size / 60, 2, 10, QChar(u'0'))
        .arg(size % 60, 2, 10, QChar(u'0'));
}

QString timeText(const QTime &time)
{
    QString text = time.toString(QStringLiteral("HH:mm:ss"));
    if (time.msec() != 0) {
        QString fraction = QStringLiteral("%1").arg(time.msec(), 3, 10, QChar(u'0'));
        while (fraction.endsWith(u'0'))
            fraction.chop(1);
        text += QLocale().decimalPoint() + fraction;
    }
    return text;
}

QString numberText(measure::real value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(static_cast<double>(value), 'f', QLocale::FloatingPointShortest);
}

QString sourceText(DatePlaceSource source)
{
    switch (source) {
    case DatePlaceSource::Photograph:
        return QStringLiteral("photographie");
    case DatePlaceSource::Typed:
        return QStringLiteral("saisie");
    case DatePlaceSource::None:
        break;
    }
    return {};
}

template <typename T> Sourced<T> fromPhotograph(const T &value)
{
    return {value, DatePlaceSource::Photograph};
}

// The camera's seconds may reach 60.x (a leap second) or carry sub-seconds: the clock time is
// counted in milliseconds from midnight, and what passes midnight moves the date.
void setExifTime(DatePlace &datePlace, const view::ExifTime &time)
{
    const QDate day(time.year, time.month, time.day);
    if (!day.isValid())
        return;
    const auto ms = static_cast<long long>(
        std::llround((time.hour * 3600.0L + time.minute * 60.0L + time.second) * 1000));
    datePlace.date = fromPhotograph(day.addDays(ms / kMsPerDay));
    datePlace.time = fromPhotograph(QTime::fromMSecsSinceStartOfDay(int(ms % kMsPerDay)));
    if (time.source == view::ExifTimeSource::GpsStamp) {
        datePlace.asUt = true;
        datePlace.utcOffsetMinutes.source = DatePlaceSource::Photograph;
    } else if (time.utcOffsetMinutes) {
        datePlace.utcOffsetMinutes = fromPhotograph(*time.utcOffsetMinutes);
    }
}

} // namespace

DatePlace datePlaceFromExif(const view::ExifFacts &facts)
{
    DatePlace datePlace;
    if (facts.time)
        setExifTime(datePlace, *facts.time);
    if (facts.position) {
        datePlace.latitude = fromPhotograph(facts.position->latitude);
        datePlace.longitude = fromPhotograph(facts.position->longitude);
        if (facts.position->altitude)
            datePlace.height = fromPhotograph(*facts.position->altitude);
    }
    return datePlace;
}

bool zoneMissing(const DatePlace &datePlace)
{
    const bool timeKnown = datePlace.date.value || datePlace.time.value;
    return timeKnown && !datePlace.asUt && !datePlace.utcOffsetMinutes.value;
}

std::optional<measure::real> julianDayUt(const DatePlace &datePlace)
{
    const auto &date = datePlace.date.value;
    const auto &time = datePlace.time.value;
    if (!date || !time || zoneMissing(datePlace))
        return std::nullopt;
    const int offset = datePlace.asUt ? 0 : *datePlace.utcOffsetMinutes.value;
    const measure::real second = time->second() + time->msec() / 1000.0L;
    return measure::julianDay(
               date->year(), date->month(), date->day(), time->hour(), time->minute(), second)
        - offset / 1440.0L;
}

std::optional<measure::ObserverPlace> observerPlace(const DatePlace &datePlace)
{
    if (datePlace.geocentric || !datePlace.latitude.value || !datePlace.longitude.value)
        return std::nullopt;
    return measure::ObserverPlace{
        *datePlace.latitude.value, *datePlace.longitude.value, datePlace.height.value.value_or(0)};
}

DatePlaceDialog::DatePlaceDialog(const DatePlace &current, QWidget *parent)
    : QDialog(parent)
    , initial_(current)
{
    setWindowTitle(QStringLiteral("Date et lieu"));
    setModal(true);
    buildFields();
    buildLayout();
    showValues();
    connectFields();
    refresh();
}

void DatePlaceDialog::buildFields()
{
    static const char *const names[SlotCount] = {
        "dateEdit", "timeEdit", "zoneEdit", "latitudeEdit", "longitudeEdit", "heightEdit"};
    static const char *const placeholders[SlotCount] = {
        "jj/mm/aaaa", "hh:mm:ss", "±hh:mm", "degrés", "degrés", "mètres"};
    for (int slot = 0; slot < SlotCount; ++slot) {
        Field &field = fields_[std::size_t(slot)];
        field.edit = new QLineEdit(this);
        field.edit->setObjectName(QString::fromLatin1(names[slot]));
        field.edit->setPlaceholderText(QString::fromUtf8(placeholders[slot]));
        field.edit->setFixedWidth(slot == ZoneSlot ? 80 : 120);
        field.sourceLabel = new QLabel(this);
        field.sourceLabel->setObjectName(
            field.edit->objectName().replace(QStringLiteral("Edit"), QStringLiteral("Source")));
        field.sourceLabel->setMinimumWidth(field.sourceLabel->fontMetrics().horizontalAdvance(
                                               QStringLiteral("fuseau horaire inconnu"))
            + 8);
    }
    ut_ = new QCheckBox(QStringLiteral("Temps universel (UT)"), this);
    ut_->setObjectName(QStringLiteral("utBox"));
    geocentric_ = new QCheckBox(QStringLiteral("Géocentrique"), this);
    geocentric_->setObjectName(QStringLiteral("geocentricBox"));
    mirroring_ = new QComboBox(this);
    mirroring_->setObjectName(QStringLiteral("mirroringBox"));
    mirroring_->addItem(QStringLiteral("Automatique"), int(measure::Mirroring::Automatic));
    mirroring_->addItem(QStringLiteral("Directe"), int(measure::Mirroring::Direct));
    mirroring_->addItem(
        QStringLiteral("Inversée (renvoi coudé)"), int(measure::Mirroring::Mirrored));
    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("problemLabel"));
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annuler"));
}

QWidget *DatePlaceDialog::row(Slot slot, QWidget *after, const QString &hint)
{
    auto *line = new QWidget(this);
    auto *box = new QHBoxLayout(line);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(fields_[slot].edit);
    if (after)
        box->addWidget(after);
    if (!hint.isEmpty())
        box->addWidget(new QLabel(hint, line));
    box->addStretch();
    box->addWidget(fields_[slot].sourceLabel);
    return line;
}

void DatePlaceDialog::buildLayout()
{
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Date :"), row(DateSlot, nullptr, {}));
    form->addRow(QStringLiteral("Heure :"), row(TimeSlot, nullptr, {}));
    form->addRow(QStringLiteral("Fuseau horaire :"), row(ZoneSlot, ut_, {}));
    form->addRow(QString(), geocentric_);
    form->addRow(QStringLiteral("Latitude :"),
        row(LatitudeSlot, nullptr, QStringLiteral("° (nord +, sud −)")));
    form->addRow(QStringLiteral("Longitude :"),
        row(LongitudeSlot, nullptr, QStringLiteral("° (est +, ouest −)")));
    form->addRow(QStringLiteral("Altitude :"), row(HeightSlot, nullptr, QStringLiteral("m")));
    form->addRow(QStringLiteral("Orientation de l'image :"), mirroring_);
    auto *page = new QVBoxLayout(this);
    page->addLayout(form);
    page->addWidget(problem_);
    page->addWidget(buttons_);
}

void DatePlaceDialog::showValues()
{
    const DatePlace &d = initial_;
    const auto show = [this](Slot slot, DatePlaceSource source, const QString &text) {
        fields_[slot].edit->setText(text);
        fields_[slot].source = text.isEmpty() ? DatePlaceSource::None : source;
    };
    show(DateSlot,
        d.date.source,
        d.date.value ? d.date.value->toString(QStringLiteral("dd/MM/yyyy")) : QString());
    show(TimeSlot, d.time.source, d.time.value ? timeText(*d.time.value) : QString());
    show(ZoneSlot,
        d.utcOffsetMinutes.source,
        d.utcOffsetMinutes.value ? offsetText(*d.utcOffsetMinutes.value) : QString());
    // The UT choice is a value of the zone even with its text empty.
    fields_[ZoneSlot].source = d.utcOffsetMinutes.source;
    const auto number = [](const Sourced<measure::real> &v) {
        return v.value ? numberText(*v.value) : QString();
    };
    show(LatitudeSlot, d.latitude.source, number(d.latitude));
    show(LongitudeSlot, d.longitude.source, number(d.longitude));
    show(HeightSlot, d.height.source, number(d.height));
    ut_->setChecked(d.asUt);
    geocentric_->setChecked(d.geocentric);
    mirroring_->setCurrentIndex(mirroring_->findData(int(d.mirroring)));
}

void DatePlaceDialog::connectFields()
{
    for (int slot = 0; slot < SlotCount; ++slot) {
        // textEdited, unlike textChanged, comes from the user alone.
        connect(fields_[std::size_t(slot)].edit, &QLineEdit::textEdited, this, [this, slot] {
            markTyped(Slot(slot));
        });
    }
    connect(ut_, &QCheckBox::clicked, this, [this] {
        fields_[ZoneSlot].source = DatePlaceSource::Typed;
        refresh();
    });
    connect(geocentric_, &QCheckBox::toggled, this, &DatePlaceDialog::refresh);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void DatePlaceDialog::markTyped(Slot slot)
{
    fields_[slot].source = DatePlaceSource::Typed;
    refresh();
}

DatePlaceSource DatePlaceDialog::sourceOf(Slot slot) const
{
    const Field &field = fields_[slot];
    const bool emptied =
        field.source == DatePlaceSource::Typed && field.edit->text().trimmed().isEmpty();
    return emptied && !(slot == ZoneSlot && ut_->isChecked()) ? DatePlaceSource::None
                                                              : field.source;
}

template <typename T, typename Read>
void DatePlaceDialog::take(Slot slot, Sourced<T> &target, Read read) const
{
    // A field the user has not touched gives back its value as it came, to the last bit.
    if (fields_[slot].source != DatePlaceSource::Typed)
        return;
    target.source = sourceOf(slot);
    target.value = fields_[slot].edit->text().trimmed().isEmpty()
        ? std::nullopt
        : read(fields_[slot].edit->text());
}

DatePlace DatePlaceDialog::result() const
{
    DatePlace d = initial_;
    take(DateSlot, d.date, readDate);
    take(TimeSlot, d.time, readTime);
    take(ZoneSlot, d.utcOffsetMinutes, readOffset);
    take(LatitudeSlot, d.latitude, [](const QString &t) { return readNumber(t, -90, 90); });
    take(LongitudeSlot, d.longitude, [](const QString &t) { return readNumber(t, -180, 180); });
    take(HeightSlot, d.height, [](const QString &t) { return readNumber(t, kLowest, kHighest); });
    d.asUt = ut_->isChecked();
    d.geocentric = geocentric_->isChecked();
    d.mirroring = measure::Mirroring(mirroring_->currentData().toInt());
    return d;
}

QString DatePlaceDialog::problem() const
{
    const DatePlace d = result();
    const auto unread = [this](Slot slot, bool known) {
        return sourceOf(slot) == DatePlaceSource::Typed && !known
            && fields_[slot].edit->isEnabled();
    };
    if (unread(DateSlot, bool(d.date.value)))
        return QStringLiteral("Date illisible : jj/mm/aaaa attendu.");
    if (unread(TimeSlot, bool(d.time.value)))
        return QStringLiteral("Heure illisible : hh:mm:ss attendu.");
    if (unread(ZoneSlot, bool(d.utcOffsetMinutes.value)))
        return QStringLiteral("Fuseau horaire illisible : de −14:00 à +14:00, par exemple +02:00.");
    if (unread(LatitudeSlot, bool(d.latitude.value)))
        return QStringLiteral("Latitude illisible : de −90 à 90 degrés, nord positif.");
    if (unread(LongitudeSlot, bool(d.longitude.value)))
        return QStringLiteral("Longitude illisible : de −180 à 180 degrés, est positif.");
    if (unread(HeightSlot, bool(d.height.value)))
        return QStringLiteral("Altitude illisible : de −1000 à 20000 mètres.");
    return {};
}

void DatePlaceDialog::refresh()
{
    fields_[ZoneSlot].edit->setEnabled(!ut_->isChecked());
    for (const Slot slot : {LatitudeSlot, LongitudeSlot, HeightSlot}) {
        fields_[slot].edit->setEnabled(!geocentric_->isChecked());
        fields_[slot].sourceLabel->setEnabled(!geocentric_->isChecked());
    }
    for (int slot = 0; slot < SlotCount; ++slot)
        fields_[std::size_t(slot)].sourceLabel->setText(sourceText(sourceOf(Slot(slot))));
    // Without its zone the clock time gives no UT: the flag stands out from the sources.
    const bool flagged = zoneMissing(result()) && sourceOf(ZoneSlot) == DatePlaceSource::None;
    if (flagged)
        fields_[ZoneSlot].sourceLabel->setText(QStringLiteral("fuseau horaire inconnu"));
    fields_[ZoneSlot].sourceLabel->setStyleSheet(
        flagged ? QStringLiteral("color: #b00000;") : QString());
    const QString why = problem();
    problem_->setText(why);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(why.isEmpty());
}
