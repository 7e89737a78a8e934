// The calculator through the real window: keys typed into the two edits, "Calcul" pressed,
// the result read from hautcalc and the failures from the replaced display, under both
// decimal separators.
#include "app/form1.h"
#include "app/widgets.h"
#include "tests/app/formtest.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

#include <memory>

namespace {

QLocale localeWith(const QString &separator)
{
    return separator == QStringLiteral(",") ? QLocale(QLocale::French, QLocale::France)
                                            : QLocale(QLocale::English, QLocale::UnitedStates);
}

QString notANumber(const QString &text)
{
    return QStringLiteral("'%1' is not a valid floating point value.").arg(text);
}

} // namespace

class CalculatorTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void calculates_data();
    void calculates();
    void rightAngleInGeneralForm_data();
    void rightAngleInGeneralForm();
    void missingField_data();
    void missingField();
    void keyFilter_data();
    void keyFilter();
    void composedTextIsFiltered();
    void editingKeysStillWork();
    void returnDoesNothing();
    void pastedTextIsNotFiltered();
    void followsLocaleChange();

private:
    void makeForm(const QString &separator);
    void type(LabeledEdit *edit, const QString &text);
    void calculate(const QString &length, const QString &elevation);

    std::unique_ptr<TForm1> form;
    QStringList failures;
    QStringList boxes;
};

void CalculatorTest::makeForm(const QString &separator)
{
    // The user's locale is what the window reads; only a test sets it.
    QLocale::setDefault(localeWith(separator));
    form = std::make_unique<TForm1>();
    form->effects.showFailure = [this](const QString &message) {
        failures << message;
    };
    form->effects.messageBox = [this](const QString &text, const QString &caption) {
        boxes << caption + QStringLiteral(": ") + text;
    };
    control<QTabWidget>(*form, "PageControl1")
        ->setCurrentWidget(control<QWidget>(*form, "TabSheet2"));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
}

void CalculatorTest::cleanup()
{
    form.reset();
    failures.clear();
    boxes.clear();
    QLocale::setDefault(QLocale::system());
}

void CalculatorTest::type(LabeledEdit *edit, const QString &text)
{
    edit->setFocus();
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(edit, c.toLatin1());
        } else {
            // keyClick knows ASCII only; a key of a French keyboard types the rest.
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key(c.toUpper().unicode()), QString(c), {});
        }
    }
}

void CalculatorTest::calculate(const QString &length, const QString &elevation)
{
    type(editOf(*form, "LabeledEdit1"), length);
    type(editOf(*form, "LabeledEdit2"), elevation);
    QTest::mouseClick(buttonOf(*form, "butcalc"), Qt::LeftButton);
}

void CalculatorTest::calculates_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("elevation");
    QTest::addColumn<QString>("height"); // shown in hautcalc, or empty when it fails
    QTest::addColumn<QString>("failure"); // the message shown, or empty

    struct Row {
        const char *name;
        const char *length;
        const char *elevation;
        const char *height;
        const char *badText; // the text named by the conversion failure
    };
    // Written with '.'; each row runs again with ',' in place of every '.'.
    const Row rows[] = {
        {"10 at 45", "10", "45", "10.0", nullptr},
        {"1 at 89", "1", "89", "57.3", nullptr},
        {"10 at -30", "10", "-30", "-5.8", nullptr},
        {"negative length", "-10", "45", "-10.0", nullptr},
        {"single precision rounds 0.35 down", "0.35", "45", "0.3", nullptr},
        {"negative zero has no sign", "-0.04", "45", "0.0", nullptr},
        {"-0.06", "-0.06", "45", "-0.1", nullptr},
        {"fraction of a degree", "100", "0.5", "0.9", nullptr},
        {"elevation 0, negative length", "-7", "0", "0.0", nullptr},
        {"elevation separator alone", "5", ".", "0.0", nullptr},
        {"length separator alone", ".", "45", "0.0", nullptr},
        {"letters and signs discarded", "1a+0 ", "4x5", "10.0", nullptr},
        {"minus alone as length", "-", "45", nullptr, "-"},
        {"minus alone as elevation", "10", "-", nullptr, "-"},
        {"elevation converted first", "-", "-", nullptr, "-"},
        {"1-2", "1-2", "45", nullptr, "1-2"},
        {"two separators", "1.2.3", "45", nullptr, "1.2.3"},
        {"double minus", "10", "--5", nullptr, "--5"},
    };
    for (const QString &separator : {QStringLiteral("."), QStringLiteral(",")}) {
        const auto local = [&](const char *text) {
            return QString::fromUtf8(text).replace(QLatin1Char('.'), separator);
        };
        for (const Row &row : rows) {
            QTest::addRow("%s (%s)", row.name, qPrintable(separator))
                << separator << local(row.length) << local(row.elevation)
                << (row.height ? local(row.height) : QString())
                << (row.badText ? notANumber(local(row.badText)) : QString());
        }
        QTest::addRow("product beyond single precision (%s)", qPrintable(separator))
            << separator << QStringLiteral("10000000000000000000") << QStringLiteral("90")
            << QString() << QStringLiteral("Floating point overflow.");
        QTest::addRow("angle too large for the tangent (%s)", qPrintable(separator))
            << separator << QStringLiteral("1") << QStringLiteral("600000000000000000000")
            << QString() << QStringLiteral("Invalid floating point operation.");
    }
    // The other separator: refused by the filter where '.' is the separator, kept but not
    // understood where ',' is.
    QTest::newRow("comma typed where '.' is the separator")
        << QStringLiteral(".") << QStringLiteral("1,5") << QStringLiteral("45")
        << QStringLiteral("15.0") << QString();
    QTest::newRow("full stop typed where ',' is the separator")
        << QStringLiteral(",") << QStringLiteral("1.5") << QStringLiteral("45") << QString()
        << notANumber(QStringLiteral("1.5"));
}

void CalculatorTest::calculates()
{
    QFETCH(QString, separator);
    QFETCH(QString, length);
    QFETCH(QString, elevation);
    QFETCH(QString, height);
    QFETCH(QString, failure);
    makeForm(separator);
    const int left = control<QLabel>(*form, "hautcalc")->x();

    calculate(length, elevation);

    QVERIFY(boxes.isEmpty());
    if (failure.isEmpty()) {
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('|'))));
        QCOMPARE(control<QLabel>(*form, "hautcalc")->text(), height);
        // The label fits its text and keeps its left edge.
        QCOMPARE(control<QLabel>(*form, "hautcalc")->x(), left);
        QCOMPARE(control<QLabel>(*form, "hautcalc")->size(),
            control<QLabel>(*form, "hautcalc")->sizeHint());
    } else {
        QCOMPARE(failures, QStringList{failure});
        QCOMPARE(control<QLabel>(*form, "hautcalc")->text(), QStringLiteral("0"));
    }
}

void CalculatorTest::rightAngleInGeneralForm_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("elevation");
    QTest::addColumn<int>("sign");
    // The angle rounded to the extended format lies just past the right angle, so the
    // tangent at 90 is negative and huge rather than a failure.
    for (const QString &separator : {QStringLiteral("."), QStringLiteral(",")}) {
        QTest::addRow("90 (%s)", qPrintable(separator)) << separator << QStringLiteral("90") << -1;
        QTest::addRow("-90 (%s)", qPrintable(separator)) << separator << QStringLiteral("-90") << 1;
    }
}

void CalculatorTest::rightAngleInGeneralForm()
{
    QFETCH(QString, separator);
    QFETCH(QString, elevation);
    QFETCH(int, sign);
    makeForm(separator);

    calculate(QStringLiteral("1"), elevation);

    QVERIFY(failures.isEmpty());
    const QString shown = control<QLabel>(*form, "hautcalc")->text();
    const QRegularExpression generalForm(
        QStringLiteral("^-?\\d(%1\\d+)?E19$").arg(QRegularExpression::escape(separator)));
    QVERIFY2(generalForm.match(shown).hasMatch(), qPrintable(shown));
    bool converts = false;
    const double value = QString(shown).replace(separator, QStringLiteral(".")).toDouble(&converts);
    QVERIFY(converts);
    QCOMPARE(value < 0 ? -1 : 1, sign);
    QVERIFY2(std::abs(value) > 3.6e19 && std::abs(value) < 4.0e19, qPrintable(shown));
}

void CalculatorTest::missingField_data()
{
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("elevation");
    QTest::newRow("length missing") << QString() << QStringLiteral("45");
    QTest::newRow("elevation missing") << QStringLiteral("10") << QString();
    QTest::newRow("both missing") << QString() << QString();
    QTest::newRow("only discarded keys typed") << QStringLiteral("abc") << QStringLiteral("45");
}

void CalculatorTest::missingField()
{
    QFETCH(QString, length);
    QFETCH(QString, elevation);
    makeForm(QStringLiteral("."));

    calculate(length, elevation);

    QCOMPARE(boxes, QStringList{QStringLiteral("Attention: Il manque quelque chose...")});
    QVERIFY(failures.isEmpty());
    QCOMPARE(control<QLabel>(*form, "hautcalc")->text(), QStringLiteral("0"));
}

void CalculatorTest::keyFilter_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    for (const QString &separator : {QStringLiteral("."), QStringLiteral(",")}) {
        QTest::addRow("digits, minus, full stop (%s)", qPrintable(separator))
            << separator << QStringLiteral("-12.5-0") << QStringLiteral("-12.5-0");
        QTest::addRow("letters, plus, space, exponent (%s)", qPrintable(separator))
            << separator << QStringLiteral("a1 +2e3Z") << QStringLiteral("123");
        QTest::addRow("other characters (%s)", qPrintable(separator))
            << separator << QStringLiteral("°7;/*é") << QStringLiteral("7");
    }
    QTest::newRow("comma refused where '.' is the separator")
        << QStringLiteral(".") << QStringLiteral("1,5") << QStringLiteral("15");
    QTest::newRow("comma kept where it is the separator")
        << QStringLiteral(",") << QStringLiteral("1,5") << QStringLiteral("1,5");
}

void CalculatorTest::keyFilter()
{
    QFETCH(QString, separator);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    makeForm(separator);
    for (LabeledEdit *edit : {editOf(*form, "LabeledEdit1"), editOf(*form, "LabeledEdit2")}) {
        type(edit, typed);
        QCOMPARE(edit->text(), kept);
    }
}

void CalculatorTest::composedTextIsFiltered()
{
    // Dead keys and input methods deliver text without a key press; it is typed all the same.
    makeForm(QStringLiteral("."));
    for (LabeledEdit *edit : {editOf(*form, "LabeledEdit1"), editOf(*form, "LabeledEdit2")}) {
        edit->setFocus();
        QInputMethodEvent composed;
        composed.setCommitString(QStringLiteral("1é,2.5"));
        QApplication::sendEvent(edit, &composed);
        QCOMPARE(edit->text(), QStringLiteral("12.5"));
    }
}

void CalculatorTest::editingKeysStillWork()
{
    makeForm(QStringLiteral("."));
    LabeledEdit *edit = editOf(*form, "LabeledEdit1");
    type(edit, QStringLiteral("1234"));
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Delete);
    QCOMPARE(edit->text(), QStringLiteral("234"));
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QStringLiteral("23"));
    QTest::keyClick(edit, Qt::Key_Left);
    QTest::keyClick(edit, Qt::Key_9);
    QCOMPARE(edit->text(), QStringLiteral("293"));

    // The clipboard shortcuts arrive as control characters and are discarded with them.
    QApplication::clipboard()->setText(QStringLiteral("77"));
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->text(), QStringLiteral("293"));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(edit->text(), QStringLiteral("293"));
}

void CalculatorTest::returnDoesNothing()
{
    makeForm(QStringLiteral("."));
    type(editOf(*form, "LabeledEdit1"), QStringLiteral("10"));
    type(editOf(*form, "LabeledEdit2"), QStringLiteral("45"));
    for (LabeledEdit *edit : {editOf(*form, "LabeledEdit1"), editOf(*form, "LabeledEdit2")}) {
        QSignalSpy returned(edit, &QLineEdit::returnPressed);
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(returned.count(), 0);
    }
    QCOMPARE(control<QLabel>(*form, "hautcalc")->text(), QStringLiteral("0"));
    QCOMPARE(editOf(*form, "LabeledEdit1")->text(), QStringLiteral("10"));
    QCOMPARE(editOf(*form, "LabeledEdit2")->text(), QStringLiteral("45"));
    QVERIFY(boxes.isEmpty());
    QVERIFY(failures.isEmpty());
}

void CalculatorTest::pastedTextIsNotFiltered()
{
    makeForm(QStringLiteral("."));
    // What the context menu's "Paste" does reaches the edit unfiltered and fails at
    // conversion; the elevation is converted first, so its text is the one named.
    QApplication::clipboard()->setText(QStringLiteral("x"));
    editOf(*form, "LabeledEdit1")->paste();
    QCOMPARE(editOf(*form, "LabeledEdit1")->text(), QStringLiteral("x"));
    calculate(QString(), QStringLiteral("-"));
    QCOMPARE(failures, QStringList{notANumber(QStringLiteral("-"))});

    // Spaces only are no missing field: they go on to conversion.
    failures.clear();
    editOf(*form, "LabeledEdit1")->setText(QStringLiteral("  "));
    editOf(*form, "LabeledEdit2")->setText(QStringLiteral("45"));
    QTest::mouseClick(buttonOf(*form, "butcalc"), Qt::LeftButton);
    QCOMPARE(failures, QStringList{notANumber(QStringLiteral("  "))});

    // An exponent cannot be typed, but pasted it is read.
    failures.clear();
    editOf(*form, "LabeledEdit1")->setText(QStringLiteral("1e3"));
    QTest::mouseClick(buttonOf(*form, "butcalc"), Qt::LeftButton);
    QVERIFY(failures.isEmpty());
    QCOMPARE(control<QLabel>(*form, "hautcalc")->text(), QStringLiteral("1000.0"));
}

void CalculatorTest::followsLocaleChange()
{
    makeForm(QStringLiteral("."));
    calculate(QStringLiteral("1"), QStringLiteral("89"));
    QCOMPARE(control<QLabel>(*form, "hautcalc")->text(), QStringLiteral("57.3"));

    // The system announces a new locale: the window reads its separator again.
    QLocale::setDefault(localeWith(QStringLiteral(",")));
    QEvent changed(QEvent::LocaleChange);
    QCoreApplication::sendEvent(form.get(), &changed);

    QTest::mouseClick(buttonOf(*form, "butcalc"), Qt::LeftButton);
    QCOMPARE(control<QLabel>(*form, "hautcalc")->text(), QStringLiteral("57,3"));
    editOf(*form, "LabeledEdit1")->clear();
    type(editOf(*form, "LabeledEdit1"), QStringLiteral("2,5"));
    QCOMPARE(editOf(*form, "LabeledEdit1")->text(), QStringLiteral("2,5"));
    QVERIFY(failures.isEmpty());
}

QTEST_MAIN(CalculatorTest)
#include "calculator_test.moc"
