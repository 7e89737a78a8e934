// The window as a whole: where it opens on screens too small for it, Ctrl+O, and the hint
// shown under the buttons while a photograph is larger than the picture area.
#include "app/form1.h"
#include "app/widgets.h"
#include "measure/failure.h"
#include "tests/app/formtest.h"
#include "tests/app/virtualscreen.h"
#include "view/opendialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A laptop's screen, and beside it one at 200 % whose logical area is half of 1366 × 768.
const QRect kLaptop(0, 0, 1366, 768);
const QRect kDoubled(1366, 0, 683, 384);

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;
    QStringList failures;
    QTemporaryDir folder;

    void showForm(QScreen *screen = nullptr)
    {
        form = std::make_unique<TForm1>();
        form->effects.showFailure = [this](const QString &message) {
            failures << message;
        };
        form->effects.messageBox = [](const QString &, const QString &) {
        };
        // The window opens on the screen it stands on.
        if (screen)
            form->move(screen->geometry().topLeft());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

private slots:
    void cleanup()
    {
        form.reset();
        failures.clear();
    }

    void placedFrame_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QPoint>("placed");
        QTest::newRow("fits") << QRect(0, 0, 1920, 1080) << QPoint(503, 122);
        QTest::newRow("fits exactly") << QRect(503, 122, 962, 732) << QPoint(503, 122);
        QTest::newRow("1366 x 768, no panel") << QRect(0, 0, 1366, 768) << QPoint(404, 36);
        QTest::newRow("1366 x 768, panel") << QRect(0, 0, 1366, 728) << QPoint(404, 0);
        QTest::newRow("dock, top panel") << QRect(64, 300, 1302, 780) << QPoint(404, 300);
        QTest::newRow("narrow, tall") << QRect(0, 0, 800, 1280) << QPoint(0, 122);
        QTest::newRow("200 %") << QRect(0, 0, 683, 384) << QPoint(0, 0);
        QTest::newRow("screen above") << QRect(1920, -1080, 1920, 1080) << QPoint(1920, -732);
    }
    void placedFrame()
    {
        QFETCH(QRect, available);
        QFETCH(QPoint, placed);
        QCOMPARE(::placedFrame(TForm1::kFrame, available), placed);
    }

    // The frame's size is the designed one once the frame's margins are known.
    void opensInsideTheScreen_data()
    {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("1366 x 768") << kLaptop << QRect(404, 36, 962, 732) << qreal(1);
        QTest::newRow("200 %") << kDoubled << QRect(1366, 0, 962, 732) << qreal(2);
    }
    void opensInsideTheScreen()
    {
        QFETCH(QRect, screen);
        QFETCH(QRect, frame);
        QFETCH(qreal, ratio);
        QScreen *shown = QGuiApplication::screenAt(screen.center());
        if (!shown || shown->geometry() != screen)
            QSKIP("the screens are the display's, not the offscreen ones");
        showForm(shown);
        QTRY_COMPARE(form->frameGeometry(), frame);
        QCOMPARE(form->screen(), shown);
        QCOMPARE(form->devicePixelRatioF(), ratio);
    }

    void ctrlOOpensAPicture_data()
    {
        QTest::addColumn<QString>("focused");
        QTest::addColumn<bool>("throws");
        QTest::newRow("Mesures") << "Button3" << false;
        QTest::newRow("Explications") << "Memo3" << false;
        QTest::newRow("failing chooser") << "Button3" << true;
    }
    void ctrlOOpensAPicture()
    {
        QFETCH(QString, focused);
        QFETCH(bool, throws);
        showForm();
        int asked = 0;
        form->effects.choosePicture = [&]() -> std::optional<QString> {
            ++asked;
            if (throws)
                throw measure::Failure("Lecture impossible");
            return std::nullopt;
        };
        auto *target = form->findChild<QWidget *>(focused);
        control<QTabWidget>(*form, "PageControl1")->setCurrentWidget(target->parentWidget());
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        target->setFocus();
        QTest::keyClick(target, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(asked, 1);
        QCOMPARE(failures, throws ? QStringList{"Lecture impossible."} : QStringList());
    }

    void framingHint_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("frame");
        QTest::addColumn<bool>("clear");
        QTest::addColumn<bool>("hint");
        QTest::newRow("larger, unframed") << QSize(2000, 1500) << false << false << true;
        QTest::newRow("wider only") << QSize(1200, 300) << false << false << true;
        QTest::newRow("fits") << QSize(640, 480) << false << false << false;
        QTest::newRow("no disc to frame") << QSize(2000, 1500) << true << false << false;
        QTest::newRow("then erased") << QSize(2000, 1500) << false << true << false;
    }
    void framingHint()
    {
        QFETCH(QSize, size);
        QFETCH(bool, frame);
        QFETCH(bool, clear);
        QFETCH(bool, hint);
        showForm();
        QImage sky(size, QImage::Format_RGB32);
        sky.fill(qRgb(6, 6, 6));
        const QString file = folder.filePath(QStringLiteral("sky.bmp"));
        QVERIFY(sky.save(file, "BMP"));
        form->openDialog().runModal = [&](QFileDialog &dialog) {
            dialog.selectFile(file);
            dialog.findChild<QCheckBox *>(QStringLiteral("cadrerlune"))->setChecked(frame);
            return true;
        };
        QTest::mouseClick(buttonOf(*form, "Button2"), Qt::LeftButton);
        if (clear)
            QTest::mouseClick(buttonOf(*form, "Button4"), Qt::LeftButton);
        QVERIFY(QMetaObject::invokeMethod(form.get(), "updateFramingHint"));
        QCOMPARE(failures, QStringList());
        QCOMPARE(control<QLabel>(*form, "conseilcadrage")->isVisible(), hint);
    }
};

KORVALEN_TEST_MAIN_ON_SCREENS(WindowTest, VirtualScreen{kLaptop, 1}, VirtualScreen{kDoubled, 2})
#include "window_test.moc"
