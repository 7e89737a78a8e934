// Pictures dropped on the real main window, delivered as the window system delivers them: to
// the widget under the pointer, or the nearest one above it that takes drops.
#include "app/dropping.h"
#include "app/form1.h"
#include "app/spinedit.h"
#include "app/widgets.h"
#include "tests/app/formclicks.h"
#include "view/bitmappicture.h"
#include "view/picture.h"
#include "view/pictureview.h"
#include "view/surface.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <cstring>
#include <memory>

namespace {

struct DragOutcome {
    bool entered = false;
    bool moved = false;
    bool dropped = false;
    Qt::DropAction action = Qt::IgnoreAction;
};

// Where the window system sends a drag over `widget`'s centre.
QWidget *dropTarget(QWidget *window, QWidget *widget, QPoint *position)
{
    const QPoint inWindow = widget->mapTo(window, widget->rect().center());
    QWidget *target = window->childAt(inWindow);
    if (!target)
        target = window;
    while (!target->acceptDrops() && !target->isWindow())
        target = target->parentWidget();
    *position = target->mapFrom(window, inWindow);
    return target->acceptDrops() ? target : nullptr;
}

DragOutcome drag(QWidget *window,
    QWidget *over,
    const QMimeData &data,
    Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction,
    Qt::KeyboardModifiers modifiers = {})
{
    DragOutcome outcome;
    QPoint at;
    QWidget *target = dropTarget(window, over, &at);
    if (!target)
        return outcome;
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &enter);
    outcome.entered = enter.isAccepted();
    if (!outcome.entered)
        return outcome;
    QDragMoveEvent move(at, actions, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &move);
    outcome.moved = move.isAccepted();
    QDropEvent drop(QPointF(at), actions, &data, Qt::NoButton, modifiers);
    QApplication::sendEvent(target, &drop);
    outcome.dropped = drop.isAccepted();
    outcome.action = drop.dropAction();
    // The picture opens once the drop has returned to the file manager.
    QCoreApplication::processEvents();
    return outcome;
}

std::unique_ptr<QMimeData> urls(const QList<QUrl> &list)
{
    auto data = std::make_unique<QMimeData>();
    data->setUrls(list);
    // File managers offer the addresses as plain text too, which an edit would paste.
    QStringList text;
    for (const QUrl &url : list)
        text << url.toString();
    data->setText(text.join(QLatin1Char('\n')));
    return data;
}

QImage bitmapOf(const view::PictureView *layer)
{
    const auto *bitmap = dynamic_cast<const view::BitmapPicture *>(layer->picture());
    return bitmap ? bitmap->image() : QImage();
}

QSize pictureSize(const view::PictureView *layer)
{
    return layer->picture() ? layer->picture()->naturalSize() : QSize();
}

} // namespace

class DroppingTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;
    QStringList failures;
    QTemporaryDir folder;
    QString moon; // a 64 × 48 photograph

    QWidget *widget(const QString &name)
    {
        auto *found = name == form->objectName() ? form.get() : form->findChild<QWidget *>(name);
        if (!found)
            qFatal("no widget %s", qPrintable(name));
        return found;
    }
    void trace()
    {
        traceCircle(*form, {100, 200}, {300, 200});
        spinOf(*form, "SpinEditB")->setValue(20);
        spinOf(*form, "spinmes")->setValue(10);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        moon = folder.filePath(QStringLiteral("lune.BMP"));
        QImage photograph(64, 48, QImage::Format_RGB888);
        photograph.fill(qRgb(40, 40, 40));
        QVERIFY(photograph.save(moon, "BMP"));
    }
    void init()
    {
        form = std::make_unique<TForm1>();
        failures.clear();
        form->effects.showFailure = [this](const QString &message) {
            failures << message;
        };
        form->effects.choosePicture = [] {
            return std::optional<QString>();
        };
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        layerOf(*form, "pic3")->giveBitmap(view::newBitmap(20, 20)); // the photograph shown before
    }
    void cleanup() { form.reset(); }

    void addressesTakenFromADrag_data()
    {
        QTest::addColumn<QList<QUrl>>("dragged");
        QTest::addColumn<QString>("file");
        const QString none;
        QTest::newRow("one file") << QList<QUrl>{QUrl(QStringLiteral("file:///home/l/lune.jpg"))}
                                  << QStringLiteral("/home/l/lune.jpg");
        QTest::newRow("escaped name")
            << QList<QUrl>{QUrl(QStringLiteral("file:///home/l/pleine%20lune%C3%A9.JPG"))}
            << QStringLiteral("/home/l/pleine luneé.JPG");
        QTest::newRow("localhost") << QList<QUrl>{QUrl(QStringLiteral("file://localhost/l.bmp"))}
                                   << QStringLiteral("/l.bmp");
        QTest::newRow("other host")
            << QList<QUrl>{QUrl(QStringLiteral("file://serveur/l.bmp"))} << none;
        QTest::newRow("web") << QList<QUrl>{QUrl(QStringLiteral("https://example.org/l.jpg"))}
                             << none;
        QTest::newRow("two files") << QList<QUrl>{QUrl(QStringLiteral("file:///a.jpg")),
            QUrl(QStringLiteral("file:///b.jpg"))}
                                   << none;
        QTest::newRow("nothing") << QList<QUrl>{} << none;
    }
    void addressesTakenFromADrag()
    {
        QFETCH(QList<QUrl>, dragged);
        QFETCH(QString, file);
        QCOMPARE(droppedFile(dragged).value_or(QString()), file);
    }

    // The widgets under the pointer, on both pages: the drop opens the photograph on each.
    void aDroppedPictureOpensAnywhere_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("over");
        QTest::newRow("picture area") << 0 << QStringLiteral("picellipse");
        QTest::newRow("open button") << 0 << QStringLiteral("Button2");
        QTest::newRow("spin box") << 0 << QStringLiteral("spinmes");
        QTest::newRow("radius edit") << 0 << QStringLiteral("label1");
        QTest::newRow("logo") << 0 << QStringLiteral("Image1");
        QTest::newRow("explanation text") << 1 << QStringLiteral("Memo1");
        QTest::newRow("calculator edit") << 1 << QStringLiteral("LabeledEdit1");
        QTest::newRow("result") << 1 << QStringLiteral("hautcalc");
    }
    void aDroppedPictureOpensAnywhere()
    {
        QFETCH(int, page);
        QFETCH(QString, over);
        trace();
        control<QTabWidget>(*form, "PageControl1")->setCurrentIndex(page);
        const measure::TMesureState state = form->state;
        const QImage limb = bitmapOf(layerOf(*form, "pic"));
        const QImage terminator = bitmapOf(layerOf(*form, "picellipse"));
        const QImage curve = bitmapOf(layerOf(*form, "picmesure"));
        const QStringList texts{editOf(*form, "label1")->text(),
            spinOf(*form, "SpinEditB")->text(),
            spinOf(*form, "spinmes")->text(),
            editOf(*form, "LabeledEdit1")->text(),
            editOf(*form, "LabeledEdit2")->text(),
            control<QTextEdit>(*form, "Memo1")->toPlainText()};
        auto *dialog = form->findChild<QFileDialog *>();
        QVERIFY(dialog);
        const QStringList offered = dialog->selectedFiles();
        const QString filter = dialog->selectedNameFilter();

        const auto data = urls({QUrl::fromLocalFile(moon)});
        const DragOutcome outcome = drag(form.get(), widget(over), *data);
        QVERIFY(outcome.entered);
        QVERIFY(outcome.moved);
        QVERIFY(outcome.dropped);
        QCOMPARE(outcome.action, Qt::CopyAction);
        QCOMPARE(failures, QStringList());
        QCOMPARE(pictureSize(layerOf(*form, "pic3")), QSize(64, 48));

        QVERIFY(std::memcmp(&state, &form->state, sizeof state) == 0);
        QCOMPARE(bitmapOf(layerOf(*form, "pic")), limb);
        QCOMPARE(bitmapOf(layerOf(*form, "picellipse")), terminator);
        QCOMPARE(bitmapOf(layerOf(*form, "picmesure")), curve);
        QCOMPARE(QStringList({editOf(*form, "label1")->text(),
                     spinOf(*form, "SpinEditB")->text(),
                     spinOf(*form, "spinmes")->text(),
                     editOf(*form, "LabeledEdit1")->text(),
                     editOf(*form, "LabeledEdit2")->text(),
                     control<QTextEdit>(*form, "Memo1")->toPlainText()}),
            texts);
        QCOMPARE(dialog->selectedFiles(), offered);
        QCOMPARE(dialog->selectedNameFilter(), filter);
    }

    // Every visible widget of either page passes a picture drag to the window's handling:
    // none takes it as text of its own.
    void noWidgetKeepsAPictureDragToItself()
    {
        const auto data = urls({QUrl::fromLocalFile(moon)});
        for (int page : {0, 1}) {
            control<QTabWidget>(*form, "PageControl1")->setCurrentIndex(page);
            for (QWidget *child : form->findChildren<QWidget *>()) {
                if (child->window() != form.get() || !child->isVisible())
                    continue;
                QPoint at;
                QWidget *target = dropTarget(form.get(), child, &at);
                QVERIFY2(target, qPrintable(child->objectName()));
                QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, {});
                QApplication::sendEvent(target, &enter);
                QVERIFY2(enter.isAccepted() && enter.dropAction() == Qt::CopyAction,
                    qPrintable(QStringLiteral("%1 (%2)").arg(child->objectName(),
                        QString::fromLatin1(child->metaObject()->className()))));
            }
        }
    }

    void refusedDrags_data()
    {
        QTest::addColumn<QList<QUrl>>("dragged");
        QTest::addColumn<int>("actions");
        QTest::newRow("two files") << QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/a.bmp")),
            QUrl::fromLocalFile(QStringLiteral("/b.bmp"))}
                                   << int(Qt::CopyAction);
        QTest::newRow("web address")
            << QList<QUrl>{QUrl(QStringLiteral("https://example.org/lune.jpg"))}
            << int(Qt::CopyAction);
        QTest::newRow("remote file")
            << QList<QUrl>{QUrl(QStringLiteral("file://serveur/photos/lune.bmp"))}
            << int(Qt::CopyAction);
        // The source would delete its file after a move.
        QTest::newRow("move only") << QList<QUrl>{QUrl::fromLocalFile(moon)} << int(Qt::MoveAction);
    }
    void refusedDrags()
    {
        QFETCH(QList<QUrl>, dragged);
        QFETCH(int, actions);
        const auto data = urls(dragged);
        for (const char *over : {"picellipse", "spinmes", "label1"}) {
            const DragOutcome outcome = drag(
                form.get(), widget(QString::fromLatin1(over)), *data, Qt::DropActions(actions));
            QVERIFY2(!outcome.entered, over);
            // Refused without a word, and nothing was pasted into the edits.
            QCOMPARE(failures, QStringList());
            QCOMPARE(pictureSize(layerOf(*form, "pic3")), QSize(20, 20));
            QCOMPARE(editOf(*form, "label1")->text(), QString());
            QCOMPARE(spinOf(*form, "spinmes")->text(), QStringLiteral("0"));
        }
    }

    void refusedWhileAModalWindowIsUp()
    {
        QDialog box(form.get());
        box.setWindowModality(Qt::ApplicationModal);
        box.show();
        const auto data = urls({QUrl::fromLocalFile(moon)});
        QVERIFY(!drag(form.get(), layerOf(*form, "picellipse"), *data).entered);
        box.hide();
        QVERIFY(drag(form.get(), layerOf(*form, "picellipse"), *data).dropped);
        QCOMPARE(pictureSize(layerOf(*form, "pic3")), QSize(64, 48));
    }

    void aMoveBecomesACopy()
    {
        const auto data = urls({QUrl::fromLocalFile(moon)});
        const DragOutcome outcome = drag(form.get(),
            layerOf(*form, "picellipse"),
            *data,
            Qt::CopyAction | Qt::MoveAction,
            Qt::ShiftModifier);
        QVERIFY(outcome.dropped);
        QCOMPARE(outcome.action, Qt::CopyAction);
        QVERIFY(QFile::exists(moon));
        QCOMPARE(pictureSize(layerOf(*form, "pic3")), QSize(64, 48));
    }

    // Text dragged from elsewhere is not a picture: the edits take it as before.
    void textStillDropsIntoTheEdits()
    {
        QMimeData text;
        text.setText(QStringLiteral("12,5"));
        control<QTabWidget>(*form, "PageControl1")->setCurrentIndex(1);
        const DragOutcome outcome =
            drag(form.get(), editOf(*form, "LabeledEdit1"), text, Qt::CopyAction);
        QVERIFY(outcome.dropped);
        QCOMPARE(editOf(*form, "LabeledEdit1")->text(), QStringLiteral("12,5"));
        QCOMPARE(pictureSize(layerOf(*form, "pic3")), QSize(20, 20));
    }

    // A file that cannot be read fails with the very message the open button gives for it, and
    // the photograph shown before stays.
    void aFailingFileFailsAsTheOpenButtonDoes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        const QByteArray absent("(absent)");
        QTest::newRow("missing") << QStringLiteral("absente.bmp") << absent;
        QTest::newRow("unknown extension") << QStringLiteral("lune.png") << QByteArray("\x89PNG");
        QTest::newRow("no extension") << QStringLiteral("lune") << QByteArray("BM");
        QTest::newRow("bitmap named jpg") << QStringLiteral("faux.jpg") << QByteArray(64, 'B');
        QTest::newRow("short bitmap") << QStringLiteral("court.bmp") << QByteArray("BM123");
        QTest::newRow("folder") << QStringLiteral("dossier.jpg") << QByteArray("(folder)");
    }
    void aFailingFileFailsAsTheOpenButtonDoes()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QTemporaryDir files;
        const QString path = files.filePath(name);
        if (content == "(folder)") {
            QVERIFY(QDir(files.path()).mkdir(name));
        } else if (content != "(absent)") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        form->effects.choosePicture = [path] {
            return std::optional<QString>(path);
        };
        QTest::mouseClick(buttonOf(*form, "Button2"), Qt::LeftButton);
        QCOMPARE(failures.size(), 1);
        const auto data = urls({QUrl::fromLocalFile(path)});
        const DragOutcome outcome = drag(form.get(), layerOf(*form, "picellipse"), *data);
        QVERIFY(outcome.dropped);
        QCOMPARE(failures.size(), 2);
        QVERIFY(!failures[0].isEmpty());
        QCOMPARE(failures[1], failures[0]);
        QCOMPARE(pictureSize(layerOf(*form, "pic3")), QSize(20, 20));
    }
};

QTEST_MAIN(DroppingTest)
#include "dropping_test.moc"
