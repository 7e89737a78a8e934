// The spin boxes: refused typing, Delete, keys, arrows with their repetition, change events,
// clamping; and a failing change event stopping a held arrow in the real window.
#include "app/form1.h"
#include "app/spinedit.h"
#include "app/widgets.h"
#include "tests/app/formtest.h"
#include "view/pictureview.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <stdexcept>

class SpinEditTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QWidget> window;
    SpinEdit *box = nullptr;
    SpinEdit *other = nullptr;

private slots:
    void init()
    {
        window = std::make_unique<QWidget>();
        box = new SpinEdit(-90, 90, window.get());
        box->setGeometry(10, 10, 70, 22);
        other = new SpinEdit(-90, 90, window.get());
        other->setGeometry(10, 40, 70, 22);
        box->setValue(0);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        box->setFocus();
    }
    void cleanup() { window.reset(); }

    void settingTheSameTextFiresNothing()
    {
        QSignalSpy changes(box, &QLineEdit::textChanged);
        box->setValue(0);
        box->setValue(-0);
        QCOMPARE(changes.count(), 0);
        box->setValue(7);
        QCOMPARE(changes.count(), 1);
    }

    void typingIsRefused_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::newRow("digit") << int(Qt::Key_5) << QStringLiteral("5") << Qt::KeyboardModifiers();
        QTest::newRow("minus") << int(Qt::Key_Minus) << QStringLiteral("-")
                               << Qt::KeyboardModifiers();
        QTest::newRow("letter") << int(Qt::Key_A) << QStringLiteral("a") << Qt::KeyboardModifiers();
        QTest::newRow("backspace")
            << int(Qt::Key_Backspace) << QString() << Qt::KeyboardModifiers();
        QTest::newRow("return") << int(Qt::Key_Return) << QString() << Qt::KeyboardModifiers();
        QTest::newRow("paste") << int(Qt::Key_V) << QString()
                               << Qt::KeyboardModifiers(Qt::ControlModifier);
        QTest::newRow("cut") << int(Qt::Key_X) << QString()
                             << Qt::KeyboardModifiers(Qt::ControlModifier);
        QTest::newRow("cut with shift+delete")
            << int(Qt::Key_Delete) << QString() << Qt::KeyboardModifiers(Qt::ShiftModifier);
    }
    void typingIsRefused()
    {
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        box->setValue(45);
        box->selectAll();
        QSignalSpy changes(box, &QLineEdit::textChanged);
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(box, &press);
        QCOMPARE(box->text(), QStringLiteral("45"));
        QCOMPARE(changes.count(), 0);
    }

    void deleteEmptiesTheTextWhichReadsAsTheMinimum()
    {
        box->setValue(45);
        QSignalSpy changes(box, &QLineEdit::textChanged);
        box->setCursorPosition(0);
        QTest::keyClick(box, Qt::Key_Delete);
        QCOMPARE(box->text(), QStringLiteral("5"));
        QTest::keyClick(box, Qt::Key_Delete);
        QCOMPARE(box->text(), QString());
        QCOMPARE(box->value(), -90);
        QCOMPARE(changes.count(), 2);
        box->setText(QStringLiteral("-"));
        QCOMPARE(box->value(), -90);
        QTest::keyClick(box, Qt::Key_Up);
        QCOMPARE(box->text(), QStringLiteral("-89"));
    }

    void arrowKeysStepWithinTheRange_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("changes");
        QTest::newRow("up") << 0 << int(Qt::Key_Up) << QStringLiteral("1") << 1;
        QTest::newRow("down") << 0 << int(Qt::Key_Down) << QStringLiteral("-1") << 1;
        QTest::newRow("up at 90") << 90 << int(Qt::Key_Up) << QStringLiteral("90") << 0;
        QTest::newRow("down at -90") << -90 << int(Qt::Key_Down) << QStringLiteral("-90") << 0;
    }
    void arrowKeysStepWithinTheRange()
    {
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(QString, after);
        QFETCH(int, changes);
        box->setValue(start);
        QSignalSpy spy(box, &QLineEdit::textChanged);
        QTest::keyClick(box, Qt::Key(key));
        QCOMPARE(box->text(), after);
        QCOMPARE(spy.count(), changes);
    }

    void aValueOutsideTheRangeIsClampedOnFocusLoss()
    {
        box->setText(QStringLiteral("123"));
        QCOMPARE(box->value(), 123);
        other->setFocus();
        QTRY_COMPARE(box->text(), QStringLiteral("90"));
        box->setFocus();
        box->setText(QString());
        other->setFocus();
        QTRY_VERIFY(!box->hasFocus());
        QCOMPARE(box->text(), QString()); // empty reads as -90, which is in range
    }

    void arrowStepsOnReleaseOverIt()
    {
        SpinArrow *up = box->upArrow();
        const QPoint inside = up->rect().center();
        QTest::mouseClick(up, Qt::LeftButton, {}, inside);
        QCOMPARE(box->text(), QStringLiteral("1"));
        QTest::mousePress(up, Qt::LeftButton, {}, inside);
        QTest::mouseRelease(up, Qt::LeftButton, {}, QPoint(-20, -20));
        QCOMPARE(box->text(), QStringLiteral("1"));
        QTest::mouseClick(box->downArrow(), Qt::LeftButton, {}, box->downArrow()->rect().center());
        QCOMPARE(box->text(), QStringLiteral("0"));
    }

    void aHeldArrowRepeatsAfter400msThenEvery100ms()
    {
        SpinArrow *up = box->upArrow();
        QElapsedTimer clock;
        QList<qint64> steps;
        connect(box, &QLineEdit::textChanged, this, [&] { steps << clock.elapsed(); });
        clock.start();
        QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
        QTest::qWait(1000);
        const int held = static_cast<int>(steps.size());
        QTest::mouseRelease(up, Qt::LeftButton, {}, up->rect().center());
        // Timers only ever run late, more so on a busy machine: check the lower bounds.
        QVERIFY2(held >= 3 && held <= 7, qPrintable(QString::number(held)));
        QVERIFY(steps.first() >= SpinArrow::kFirstDelay);
        for (int i = 1; i < held; ++i)
            QVERIFY(steps[i] - steps[i - 1] >= SpinArrow::kInterval - 1);
        QCOMPARE(steps.size(), held + 1); // and once more on the release over the button
        QCOMPARE(box->value(), held + 1);
        QVERIFY(!up->isRepeating());
    }

    void aHeldArrowPausesWhileThePointerIsOff()
    {
        SpinArrow *up = box->upArrow();
        QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
        QTest::mouseMove(up, QPoint(-30, -30));
        QTest::qWait(700);
        QCOMPARE(box->text(), QStringLiteral("0"));
        QTest::mouseRelease(up, Qt::LeftButton, {}, QPoint(-30, -30));
        QCOMPARE(box->text(), QStringLiteral("0"));
    }

    void aFailingChangeStopsTheRepetition()
    {
        TForm1 form;
        QStringList failures;
        form.effects.showFailure = [&](const QString &message) {
            failures << message;
        };
        // A change event that fails, run the way the window runs its handlers.
        connect(spinOf(form, "spinmes"), &QLineEdit::textChanged, &form, [&form] {
            form.guarded([] { throw std::runtime_error("Floating point overflow"); });
        });
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        SpinArrow *up = spinOf(form, "spinmes")->upArrow();
        QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
        QTRY_COMPARE(failures, QStringList{QStringLiteral("Floating point overflow.")});
        QVERIFY(!up->isRepeating());
        QTest::qWait(300);
        QTest::mouseRelease(up, Qt::LeftButton, {}, up->rect().center());
        QCOMPARE(failures.size(), 1);
        QCOMPARE(spinOf(form, "spinmes")->text(),
            QStringLiteral("1")); // the step before the failure stays
    }
};

QTEST_MAIN(SpinEditTest)
#include "spinedit_test.moc"
