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
#include <QPainter>
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
    QStringList messages;
    QTemporaryDir folder;

    void showForm(QScreen *screen = nullptr)
    {
        form = std::make_unique<TForm1>();
        form->effects.showFailure = [this](const QString &message) {
            failures << message;
        };
        form->effects.messageBox = [this](const QString &text, const QString &) {
            messages << text;
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
        messages.clear();
    }

    void placedFrame_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QPoint>("placed");
        auto row = [](const char *name, QRect available, QPoint placed) {
            QTest::newRow(name) << available << placed;
        };
        row("fits", {0, 0, 1920, 1080}, {503, 122});
        row("fits exactly", {503, 122, 962, 710}, {503, 122});
        row("1366 x 768", {0, 0, 1366, 768}, {404, 58});
        row("panel at the bottom", {0, 0, 1366, 728}, {404, 18});
        row("dock on the left", {64, 0, 1302, 768}, {404, 58});
        row("panel at the top", {0, 300, 1920, 780}, {503, 300});
        row("as wide as the frame", {0, 0, 962, 1080}, {0, 122});
        row("narrow and tall", {0, 0, 800, 1280}, {0, 122});
        row("200 % of 1366 x 768", {0, 0, 683, 384}, {0, 0});
        row("second screen on the right", {1920, 0, 1366, 768}, {1920, 58});
        row("second screen above", {0, -1080, 1920, 1080}, {503, -710});
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
        QTest::newRow("1366 x 768") << kLaptop << QRect(404, 58, 962, 710) << qreal(1);
        QTest::newRow("200 %") << kDoubled << QRect(1366, 0, 962, 710) << qreal(2);
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
        QVERIFY(form->frameGeometry().topLeft() == shown->availableGeometry().topLeft()
            || shown->availableGeometry().contains(form->frameGeometry()));
    }

    void ctrlOOpensAPicture_data()
    {
        QTest::addColumn<QString>("focused");
        QTest::addColumn<bool>("throws");
        QTest::newRow("Mesures") << "Button3" << false;
        QTest::newRow("spin box") << "spinmes" << false;
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
        QTest::newRow("framed on its disc") << QSize(2000, 1500) << true << false << false;
        QTest::newRow("no disc to frame") << QSize(3000, 2000) << true << false << false;
        QTest::newRow("then erased") << QSize(2000, 1500) << false << true << false;
    }
    void framingHint()
    {
        QFETCH(QSize, size);
        QFETCH(bool, frame);
        QFETCH(bool, clear);
        QFETCH(bool, hint);
        showForm();
        // A bright disc on a black sky, but no disc in the photograph of 3000 × 2000.
        QImage image(size, QImage::Format_RGB32);
        image.fill(qRgb(6, 6, 6));
        if (size.width() != 3000) {
            QPainter painter(&image);
            painter.setBrush(QColor(210, 210, 200));
            painter.drawEllipse(
                QRect(QPoint(size.width() / 2 - 120, size.height() / 2 - 120), QSize(240, 240)));
        }
        const QString file = folder.filePath(QStringLiteral("photo.bmp"));
        QVERIFY(image.save(file, "BMP"));
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
