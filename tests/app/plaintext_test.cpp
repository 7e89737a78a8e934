// What the user typed or a file name carries is shown as it is: the failure display, the
// calculator's box and every label of the window take no text for markup.
#include "app/form1.h"
#include "app/messagebox.h"
#include "app/widgets.h"
#include "tests/app/formtest.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class PlainTextTest : public QObject {
    Q_OBJECT
private slots:
    void boxShowsItsTextAsIs_data();
    void boxShowsItsTextAsIs();
    void failuresReachTheBoxAsIs_data();
    void failuresReachTheBoxAsIs();
    void everyLabelIsPlain();
};

void PlainTextTest::boxShowsItsTextAsIs_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("text");
    const int critical = QMessageBox::Critical;
    QTest::newRow("bold tag") << critical
                              << QStringLiteral("'<b>1</b>' is not a valid floating point value.");
    QTest::newRow("ampersand") << critical << QStringLiteral("'1 & 2' is not a valid value.");
    QTest::newRow("image tag") << critical
                               << QStringLiteral("Cannot open file \"/tmp/<img src=x.png>.jpg\". "
                                                 "No such file or directory");
    QTest::newRow("entity") << critical << QStringLiteral("&lt;b&gt; &amp;");
    QTest::newRow("calculator") << int(QMessageBox::NoIcon)
                                << QStringLiteral("Il manque quelque chose...");
}

void PlainTextTest::boxShowsItsTextAsIs()
{
    QFETCH(int, icon);
    QFETCH(QString, text);
    const auto box =
        makeMessageBox(QMessageBox::Icon(icon), QStringLiteral("Korvalen"), text, nullptr);
    QCOMPARE(box->textFormat(), Qt::PlainText);
    QCOMPARE(box->text(), text);
    auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    QVERIFY(label);
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(label->text(), text);
    QCOMPARE(box->windowTitle(), QStringLiteral("Korvalen"));
    QCOMPARE(box->icon(), QMessageBox::Icon(icon));
    QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box->windowModality(), Qt::ApplicationModal);
}

void PlainTextTest::failuresReachTheBoxAsIs_data()
{
    QTest::addColumn<QString>("length"); // pasted into the calculator, or empty
    QTest::addColumn<QString>("file"); // a picture name under a fresh folder, or empty
    QTest::addColumn<QString>("message"); // %1: the folder
    QTest::newRow("pasted length")
        << QStringLiteral("<b>1</b>") << QString()
        << QStringLiteral("'<b>1</b>' is not a valid floating point value.");
    QTest::newRow("pasted ampersand") << QStringLiteral(
        "1&2") << QString() << QStringLiteral("'1&2' is not a valid floating point value.");
    QTest::newRow("file name with an image tag")
        << QString() << QStringLiteral("<img src=moon.png>.jpg")
        << QStringLiteral("Cannot open file \"%1/<img src=moon.png>.jpg\". No such file or "
                          "directory.");
    QTest::newRow("extension with a tag")
        << QString() << QStringLiteral("moon.<b>")
        << QStringLiteral("Unknown picture file extension (.<b>)");
}

void PlainTextTest::failuresReachTheBoxAsIs()
{
    QFETCH(QString, length);
    QFETCH(QString, file);
    QFETCH(QString, message);
    QTemporaryDir dir;
    TForm1 form;
    QStringList shown;
    form.effects.showFailure = [&](const QString &text) {
        shown << text;
    };
    if (!length.isEmpty()) {
        // Pasting is not filtered: the calculator meets the text as it was copied.
        editOf(form, "LabeledEdit1")->setText(length);
        editOf(form, "LabeledEdit2")->setText(QStringLiteral("45"));
        QTest::mouseClick(buttonOf(form, "butcalc"), Qt::LeftButton);
    } else {
        form.effects.choosePicture = [&]() -> std::optional<QString> {
            return dir.filePath(file);
        };
        QTest::mouseClick(buttonOf(form, "Button2"), Qt::LeftButton);
    }
    const QString expected =
        message.contains(QStringLiteral("%1")) ? message.arg(dir.path()) : message;
    QCOMPARE(shown, QStringList{expected});
    const auto box = makeMessageBox(QMessageBox::Critical, QString(), shown.front(), nullptr);
    QCOMPARE(box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))->text(), expected);
    QCOMPARE(box->textFormat(), Qt::PlainText);
}

void PlainTextTest::everyLabelIsPlain()
{
    TForm1 form;
    QList<QLabel *> labels = form.findChildren<QLabel *>();
    // The file dialog's own labels ("Look in:", "File name:") are Qt's fixed words; its
    // preview pane is ours.
    const auto qtOwn = [](const QLabel *label) {
        for (const QObject *o = label; o; o = o->parent())
            if (o->objectName() == QStringLiteral("previewPane"))
                return false;
        for (const QObject *o = label; o; o = o->parent())
            if (o->inherits("QFileDialog"))
                return true;
        return false;
    };
    labels.removeIf(qtOwn);
    QVERIFY(labels.size() >= 9);
    for (const QLabel *label : labels)
        QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
}

QTEST_MAIN(PlainTextTest)
#include "plaintext_test.moc"
