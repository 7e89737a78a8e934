// "Copier" and Ctrl+C through the real window: the measurement as a French text and the
// picture area as the screen shows it, on the clipboard; nothing written anywhere else.
#include "app/calculator.h"
#include "app/form1.h"
#include "tests/app/formclicks.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class CopyTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TForm1> form;

    void move(QPoint at) { moveOverArea(*form, at); }

private slots:
    void init()
    {
        form = std::make_unique<TForm1>();
        form->effects.showFailure = [](const QString &message) {
            QFAIL(qPrintable(message));
        };
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QGuiApplication::clipboard()->clear();
    }
    void cleanup() { form.reset(); }

    void copiesTheTextAndThePicture_data()
    {
        QTest::addColumn<bool>("shortcut");
        QTest::newRow("Copier") << false;
        QTest::newRow("Ctrl+C") << true;
    }
    void copiesTheTextAndThePicture()
    {
        QFETCH(bool, shortcut);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("lune.bmp"));
        QImage photograph(600, 500, QImage::Format_RGB32);
        photograph.fill(qRgb(40, 40, 40));
        QVERIFY(photograph.save(file));
        form->openPicture(file);
        traceCircle(*form, {100, 200}, {300, 200});
        spinOf(*form, "SpinEditB")->setValue(30);
        move({200, 200});
        QTest::mouseClick(buttonOf(*form, "butombre"), Qt::LeftButton);
        clickArea(*form, {200, 230});
        clickArea(*form, {200, 236});
        if (shortcut) {
            layerOf(*form, "picellipse")->setFocus();
            QTest::keyClick(layerOf(*form, "picellipse"), Qt::Key_C, Qt::ControlModifier);
        } else {
            QTest::mouseClick(buttonOf(*form, "butcopier"), Qt::LeftButton);
        }
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data);
        const QString text = data->text();
        const QString comma = calculator::localeDecimalSeparator();
        for (const QString &part : {QStringLiteral("lune.bmp"),
                 QStringLiteral("rayon 100") + comma + QStringLiteral("0"),
                 QStringLiteral("B = 30") + comma + QStringLiteral("0° ± 0") + comma
                     + QStringLiteral("5°"),
                 QStringLiteral("(200 ; 200)"),
                 QStringLiteral("30") + comma + QStringLiteral("0° ± "),
                 QStringLiteral("Ombre")})
            QVERIFY2(text.contains(part), qPrintable(part + QStringLiteral(" in:\n") + text));
        // The image is the part of the area the page shows: the red terminator's pixels are there.
        const QImage image = qvariant_cast<QImage>(data->imageData());
        const QWidget *area = layerOf(*form, "picellipse");
        QCOMPARE(image.size(), (area->geometry() & area->parentWidget()->rect()).size());
        QCOMPARE(image.pixel(200, 250) & 0xFFFFFF, qRgb(255, 0, 0) & 0xFFFFFF);
        QCOMPARE(image.pixel(400, 400) & 0xFFFFFF, qRgb(40, 40, 40) & 0xFFFFFF);
    }

    void nothingButTheFileNameBeforeAnyTrace()
    {
        QTest::mouseClick(buttonOf(*form, "butcopier"), Qt::LeftButton);
        const QString text = QGuiApplication::clipboard()->mimeData()->text();
        QVERIFY2(!text.contains(QStringLiteral("Disque")), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("Ombre")), qPrintable(text));
    }
};

QTEST_MAIN(CopyTest)
#include "copy_test.moc"
