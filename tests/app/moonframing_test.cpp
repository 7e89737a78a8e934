// "Cadrer sur la Lune" through the real window and dialog: the check box, its state over a
// cancel, a picture that fits, one without a disc and one with.
#include "app/form1.h"
#include "tests/app/formclicks.h"
#include "tests/synth/synthmoon.h"
#include "view/jpegpicture.h"
#include "view/opendialog.h"
#include "view/pictureview.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

// A drawn photograph: a bright disc on a black sky, or the sky alone.
QString photograph(const QTemporaryDir &folder, const QString &name, QSize size, QRect disc)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(6, 6, 6));
    if (!disc.isNull()) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(210, 210, 200));
        painter.drawEllipse(disc);
    }
    const QString path = folder.filePath(name);
    if (!image.save(path, name.endsWith(QLatin1String(".bmp")) ? "BMP" : "JPG", 92))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// A camera-sized crescent of radius 900 at (1500, 1000), its cusp line level, with the
// terminator at B = -23.6° and the day below the cusp line.
QString crescent(const QTemporaryDir &folder, const QString &name)
{
    synth::Scene scene;
    scene.width = 3000;
    scene.height = 2000;
    scene.centreX = 1500;
    scene.centreY = 1000;
    scene.radius = 900;
    scene.colour = name.endsWith(QLatin1String("-colour.jpg"));
    const double b = -23.6 * M_PI / 180;
    scene.sun = {0, -std::cos(b), std::sin(b)};
    const synth::Photo photo = synth::render(scene);
    const QString path = folder.filePath(name);
    if (name.endsWith(QLatin1String(".jpg"))) {
        const std::vector<std::uint8_t> bytes = synth::encodeJpeg(photo, 90);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(
                   reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()))
                != static_cast<qint64>(bytes.size()))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    QImage image(photo.width, photo.height, QImage::Format_Grayscale8);
    for (int y = 0; y < photo.height; ++y)
        std::copy_n(
            &photo.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(photo.width)],
            photo.width,
            image.scanLine(y));
    if (!image.save(path, "BMP"))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

} // namespace

class MoonFramingTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;
    QStringList failures;
    QStringList messages;
    QTemporaryDir folder;

    QCheckBox *checkBox() const
    {
        return form->openDialog().fileDialog().findChild<QCheckBox *>(QStringLiteral("cadrerlune"));
    }
    // Opens `file` through the dialog with the box set to `frame`.
    void open(const QString &file, bool frame)
    {
        form->openDialog().runModal = [&](QFileDialog &dialog) {
            dialog.selectFile(file);
            checkBox()->setChecked(frame);
            return true;
        };
        QTest::mouseClick(buttonOf(*form, "Button2"), Qt::LeftButton);
    }
    QSize shown() const
    {
        return layerOf(*form, "pic3")->isEmpty() ? QSize()
                                                 : layerOf(*form, "pic3")->picture()->naturalSize();
    }

private slots:
    void init()
    {
        form = std::make_unique<TForm1>();
        failures.clear();
        messages.clear();
        form->effects.showFailure = [this](const QString &message) {
            failures << message;
        };
        form->effects.messageBox = [this](const QString &text, const QString &caption) {
            messages << caption + QStringLiteral(": ") + text;
        };
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    void cleanup() { form.reset(); }

    void checkBoxUnderThePictureBox()
    {
        QCheckBox *box = checkBox();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Cadrer sur la Lune"));
        QVERIFY(!box->isChecked());
        QVERIFY(!form->openDialog().frameOnMoon());
        auto *preview =
            form->openDialog().fileDialog().findChild<QFrame *>(QStringLiteral("previewBox"));
        QCOMPARE(box->parentWidget(), preview->parentWidget());
        form->openDialog().fileDialog().show();
        QVERIFY(box->geometry().top() >= preview->geometry().bottom());
        form->openDialog().fileDialog().hide();
    }

    void stateKeptOverACancel()
    {
        const QString file = photograph(folder, QStringLiteral("small.bmp"), {64, 48}, {});
        QList<bool> seen;
        bool confirm = true;
        bool check = true;
        form->openDialog().runModal = [&](QFileDialog &dialog) {
            seen << checkBox()->isChecked();
            dialog.selectFile(file);
            checkBox()->setChecked(check);
            return confirm;
        };
        QTest::mouseClick(buttonOf(*form, "Button2"), Qt::LeftButton);
        QVERIFY(form->openDialog().frameOnMoon());
        confirm = false;
        check = false;
        QTest::mouseClick(buttonOf(*form, "Button2"), Qt::LeftButton); // unchecked, then cancelled
        QVERIFY(form->openDialog().frameOnMoon());
        confirm = true;
        QTest::mouseClick(buttonOf(*form, "Button2"), Qt::LeftButton);
        QVERIFY(!form->openDialog().frameOnMoon());
        QTest::mouseClick(buttonOf(*form, "Button2"), Qt::LeftButton);
        QCOMPARE(seen, QList<bool>({false, true, true, false}));
        QCOMPARE(failures, QStringList());
    }

    void opening_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("disc");
        QTest::addColumn<bool>("frame");
        QTest::addColumn<QSize>("part"); // invalid when the whole picture opens
        QTest::addColumn<QStringList>("said");
        const QString none = QStringLiteral("Korvalen: Aucun disque lunaire n'a été trouvé sur "
                                            "cette image.");
        // The disc of radius 250 at (1500, 1000): 1.2 radii each way, 601 pixels.
        const QRect disc(1250, 750, 500, 500);
        const QSize big(3000, 2000);
        QTest::newRow("unchecked") << "a.jpg" << big << disc << false << QSize() << QStringList();
        QTest::newRow("fits as it is") << "b.jpg" << QSize(700, 500) << QRect(100, 50, 400, 400)
                                       << true << QSize() << QStringList();
        QTest::newRow("no disc") << "c.jpg" << big << QRect() << true << QSize()
                                 << QStringList{none};
        QTest::newRow("disc") << "d.jpg" << big << disc << true << QSize(601, 601) << QStringList();
        // Radius 900: 2161 pixels across and the whole 2000 high, more than the area.
        QTest::newRow("disc reduced") << "e.jpg" << big << QRect(600, 100, 1800, 1800) << true
                                      << QSize(2161, 2000) << QStringList();
        QTest::newRow("bitmap") << "f.bmp" << QSize(2000, 1500) << QRect(750, 500, 500, 500) << true
                                << QSize(601, 601) << QStringList();
    }
    void opening()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFETCH(QRect, disc);
        QFETCH(bool, frame);
        QFETCH(QSize, part);
        QFETCH(QStringList, said);
        open(photograph(folder, name, size, disc), frame);
        QCOMPARE(failures, QStringList());
        QCOMPARE(messages, said);
        if (!part.isValid()) {
            QCOMPARE(shown(), size);
            return;
        }
        // The exact parts and factors are the finder's tests; here the window must apply them
        // to the visible part of the area, which depends on the style's tab frame.
        const QSize visible =
            (layerOf(*form, "pic3")->geometry() & control<QWidget>(*form, "TabSheet1")->rect())
                .size();
        QVERIFY(shown().width() <= visible.width() && shown().height() <= visible.height());
        const int factor = (part.height() + shown().height() - 1) / shown().height();
        QVERIFY(part.width() <= visible.width() * factor);
        QVERIFY(part.width() > visible.width() * (factor - 1)
            || part.height() > visible.height() * (factor - 1));
        QVERIFY(std::abs((part.width() + factor - 1) / factor - shown().width()) <= 1);
        QVERIFY(std::abs((part.height() + factor - 1) / factor - shown().height()) <= 1);
    }

    // The framed picture is measured as any other: a trace on the cusps as shown, then
    // "Ajuster", reads the reduced pixels of whatever kind the picture became.
    void ajusterOnAFramedPhotograph_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("grey JPEG") << "crescent-grey.jpg";
        QTest::newRow("colour JPEG") << "crescent-colour.jpg";
        QTest::newRow("bitmap") << "crescent.bmp";
    }
    void ajusterOnAFramedPhotograph()
    {
        QFETCH(QString, name);
        open(crescent(folder, name), true);
        QCOMPARE(failures, QStringList());
        QCOMPARE(messages, QStringList());
        // The part starts a tenth of the diameter left of the disc and at the top of the file.
        const QSize full(3000, 2000);
        const int factor = (full.height() + shown().height() - 1) / shown().height();
        const int left = 1500 - 900 - 180;
        traceCircle(*form,
            QPoint((1500 - 900 - left) / factor, 1000 / factor),
            QPoint((1500 + 900 - left) / factor, 1000 / factor));
        QTest::mouseClick(buttonOf(*form, "butajuste"), Qt::LeftButton);
        QCOMPARE(failures, QStringList());
        QCOMPARE(messages, QStringList());
        const int b = spinOf(*form, "SpinEditB")->value();
        QVERIFY2(std::abs(b + 24) <= 1, qPrintable(QString::number(b)));
    }
};

QTEST_MAIN(MoonFramingTest)
#include "moonframing_test.moc"
