// The open-picture dialog without exec(): its file types, case-insensitive matching, the
// remembered choice, the preview pane and the "Preview" window.
#include "testsupport.h"
#include "view/jpegpicture.h"
#include "view/opendialog.h"
#include "view/picture.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QCompleter>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include <algorithm>

using view::OpenPictureDialog;

namespace {

// The names of the files the dialog lists in `folder` at this moment. The model reads the
// folder in the background, so callers wait for the list they expect (QTRY_COMPARE).
QStringList listed(QFileDialog &dialog, const QString &folder)
{
    auto *model = dialog.findChild<QFileSystemModel *>();
    if (!model)
        qFatal("no file system model in the dialog");
    const QModelIndex parent = model->index(folder);
    QStringList names;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (!model->isDir(index) && (model->flags(index) & Qt::ItemIsEnabled))
            names << model->fileName(index);
    }
    names.sort();
    return names;
}

QString captionOf(OpenPictureDialog &dialog)
{
    return dialog.fileDialog().findChild<QLabel *>(QStringLiteral("previewCaption"))->text();
}

bool previewButtonEnabled(OpenPictureDialog &dialog)
{
    return dialog.fileDialog()
        .findChild<QToolButton *>(QStringLiteral("previewButton"))
        ->isEnabled();
}

// moon-colour.jpg with a scan header libjpeg refuses: the header reads, the decode fails.
QByteArray undecodable()
{
    QByteArray bytes = fixture(QStringLiteral("moon-colour.jpg"));
    bytes[bytes.indexOf("\xFF\xDA") + 6] = '\x33';
    return bytes;
}

QString accessibleName(QWidget *widget)
{
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

} // namespace

class OpenDialogTest : public QObject {
    Q_OBJECT
private slots:
    void fileTypes();
    void matchesInAnyCase_data();
    void matchesInAnyCase();
    void remembersTheConfirmedChoice();
    void completionListClosesWithTheDialog();
    void previewPane_data();
    void previewPane();
    void undecodedPartIsShown();
    void previewButton();
    void previewWindow_data();
    void previewWindow();
    void escapeClosesThePreview();
    void detailColumnsShowWholeValues();
};

void OpenDialogTest::fileTypes()
{
    OpenPictureDialog dialog(nullptr);
    QFileDialog &files = dialog.fileDialog();
    QCOMPARE(files.nameFilters(),
        QStringList({QStringLiteral("All (*.jpg *.jpeg *.bmp *.ico *.emf *.wmf)"),
            QStringLiteral("JPEG Image File (*.jpg)"),
            QStringLiteral("JPEG Image File (*.jpeg)"),
            QStringLiteral("Bitmaps (*.bmp)"),
            QStringLiteral("Icons (*.ico)"),
            QStringLiteral("Enhanced Metafiles (*.emf)"),
            QStringLiteral("Metafiles (*.wmf)")}));
    QCOMPARE(dialog.filterIndex(), 1);
    QCOMPARE(dialog.fileName(), QString());
    QVERIFY(files.testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(files.fileMode(), QFileDialog::AnyFile);
    QVERIFY(files.isModal());
    QVERIFY(files.isSizeGripEnabled());
    QVERIFY(files.findChild<QWidget *>(QStringLiteral("previewPane")));
}

void OpenDialogTest::matchesInAnyCase_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("All") << 0 << QStringList{"IMG_0001.JPG", "Moon.Jpeg", "icon.ICO", "old.bmp"};
    QTest::newRow("jpg") << 1 << QStringList{"IMG_0001.JPG"};
    QTest::newRow("jpeg") << 2 << QStringList{"Moon.Jpeg"};
    QTest::newRow("bmp") << 3 << QStringList{"old.bmp"};
    QTest::newRow("ico") << 4 << QStringList{"icon.ICO"};
}

void OpenDialogTest::matchesInAnyCase()
{
    QFETCH(int, type);
    QFETCH(QStringList, names);
    QTemporaryDir dir;
    for (const char *name : {"IMG_0001.JPG", "Moon.Jpeg", "icon.ICO", "old.bmp", "notes.txt"})
        place(dir, QLatin1String(name), "x");
    OpenPictureDialog dialog(nullptr);
    QFileDialog &files = dialog.fileDialog();
    files.setDirectory(dir.path());
    files.selectNameFilter(files.nameFilters()[type]);
    names.sort();
    QTRY_COMPARE_WITH_TIMEOUT(listed(files, dir.path()), names, 10000);
    QTest::qWait(100); // nothing else turns up later
    QCOMPARE(listed(files, dir.path()), names);
}

void OpenDialogTest::remembersTheConfirmedChoice()
{
    QTemporaryDir dir;
    const QString first = place(dir, QStringLiteral("first.bmp"), "x");
    const QString typed = dir.filePath(QStringLiteral("typed-but-missing.jpg"));
    OpenPictureDialog dialog(nullptr);
    QStringList seenFiles;
    QStringList seenFilters;
    QString choose;
    QString chooseFilter;
    bool confirm = true;
    dialog.runModal = [&](QFileDialog &files) {
        seenFiles << files.selectedFiles().value(0);
        seenFilters << files.selectedNameFilter();
        files.selectNameFilter(chooseFilter);
        files.selectFile(choose);
        return confirm;
    };
    const QStringList types = dialog.fileDialog().nameFilters();

    choose = first;
    chooseFilter = types[3];
    QVERIFY(dialog.execute());
    QCOMPARE(dialog.fileName(), first);
    QCOMPARE(dialog.filterIndex(), 4);

    // Cancelled: the choice made meanwhile is forgotten.
    choose = typed;
    chooseFilter = types[1];
    confirm = false;
    QVERIFY(!dialog.execute());
    QCOMPARE(dialog.fileName(), first);
    QCOMPARE(dialog.filterIndex(), 4);

    // A name that does not exist may be confirmed; the load reports it.
    confirm = true;
    QVERIFY(dialog.execute());
    QCOMPARE(dialog.fileName(), typed);
    QCOMPARE(dialog.filterIndex(), 2);

    QVERIFY(dialog.execute());
    QCOMPARE(seenFilters, QStringList({types[0], types[3], types[3], types[1]}));
    QCOMPARE(seenFiles.mid(1), QStringList({first, first, typed}));
}

// A name typed fast and confirmed with Return can leave the completion list open; it must
// not stay on screen over the main window and swallow the next click there.
void OpenDialogTest::completionListClosesWithTheDialog()
{
    QTemporaryDir dir;
    place(dir, QStringLiteral("moon.bmp"), "x");
    OpenPictureDialog dialog(nullptr);
    QAbstractItemView *popup = nullptr;
    bool listedInTime = false;
    bool shownWhileOpen = false;
    dialog.runModal = [&](QFileDialog &files) {
        files.setDirectory(dir.path());
        files.show();
        auto *edit = files.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        edit->setFocus();
        listedInTime = QTest::qWaitFor([&] { return !listed(files, dir.path()).isEmpty(); }, 10000);
        QTest::keyClicks(edit, QStringLiteral("moo"));
        popup = edit->completer()->popup();
        shownWhileOpen = QTest::qWaitFor([&] { return popup->isVisible(); });
        files.hide();
        return false;
    };
    dialog.execute();
    QVERIFY(listedInTime);
    QVERIFY(shownWhileOpen);
    QVERIFY(!popup->isVisible());
}

void OpenDialogTest::previewPane_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("caption");
    const QByteArray colour = fixture(QStringLiteral("moon-colour.jpg"));
    QTest::newRow("jpg") << "moon.jpg" << colour << " (97x61)";
    QTest::newRow("upper-case JPG") << "IMG_0001.JPG" << colour << " (97x61)";
    QTest::newRow("greyscale") << "grey.jpg" << fixture(QStringLiteral("moon-grey.jpg"))
                               << " (97x61)";
    QTest::newRow("missing") << "" << QByteArray() << "Picture:";
    QTest::newRow("not a jpeg") << "bad.jpg" << QByteArray("BM not a jpeg") << "Picture:";
    QTest::newRow("empty jpg") << "empty.jpg" << QByteArray("") << "Picture:";
    QTest::newRow("unknown extension") << "moon.png" << colour << "Picture:";
    // The header reads, so the load succeeds; the decode's failure stays silent.
    QTest::newRow("fails to decode") << "broken.jpg" << undecodable() << " (97x61)";
}

void OpenDialogTest::previewPane()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, caption);
    QTemporaryDir dir;
    const QString path =
        name.isEmpty() ? dir.filePath(QStringLiteral("missing.jpg")) : place(dir, name, bytes);
    OpenPictureDialog dialog(nullptr);
    QCOMPARE(captionOf(dialog), QStringLiteral("Picture:"));
    dialog.showFile(place(dir, QStringLiteral("first.jpg"), fixture("moon-progressive.jpg")));
    QVERIFY(dialog.previewPicture());
    dialog.showFile(path);
    QCOMPARE(captionOf(dialog), caption);
    const bool shown = caption != QStringLiteral("Picture:");
    QCOMPARE(dialog.previewPicture() != nullptr, shown);
    QCOMPARE(previewButtonEnabled(dialog), shown);
    QCOMPARE(static_cast<bool>(dialog.makePreviewWindow()), shown);
    // The box only paints, so what it shows is told to assistive technology by its name.
    const QString read = shown ? QFileInfo(path).fileName() + caption : QStringLiteral("(None)");
    QCOMPARE(accessibleName(dialog.fileDialog().findChild<QWidget *>(QStringLiteral("previewBox"))),
        read);
    if (const auto window = dialog.makePreviewWindow())
        QCOMPARE(
            accessibleName(window->findChild<QWidget *>(QStringLiteral("previewCanvas"))), read);
}

void OpenDialogTest::undecodedPartIsShown()
{
    QVERIFY(view::JpegPicture::load(undecodable())->prepare().has_value());
    QTemporaryDir dir;
    OpenPictureDialog dialog(nullptr);
    auto *box = dialog.fileDialog().findChild<QWidget *>(QStringLiteral("previewBox"));
    box->resize(120, 90);
    dialog.showFile(dir.filePath(QStringLiteral("missing.jpg")));
    const QImage none = box->grab().toImage();
    dialog.showFile(place(dir, QStringLiteral("broken.jpg"), undecodable()));
    // Nothing was decoded, so the box is blank; it does not claim "(None)".
    QVERIFY(box->grab().toImage() != none);
    QVERIFY(previewButtonEnabled(dialog));
}

void OpenDialogTest::previewButton()
{
    OpenPictureDialog dialog(nullptr);
    auto *button = dialog.fileDialog().findChild<QToolButton *>(QStringLiteral("previewButton"));
    QCOMPARE(button->toolTip(), QStringLiteral("Preview"));
    QCOMPARE(accessibleName(button), QStringLiteral("Preview"));
    QCOMPARE(button->size(), QSize(23, 22));
    QVERIFY(!button->isEnabled());
    QVERIFY(!button->icon().isNull());
    // Once a picture is shown, the button runs the Preview window through the replaceable
    // runner, never a real exec() here.
    QTemporaryDir dir;
    dialog.showFile(place(dir, QStringLiteral("moon.jpg"), fixture("moon-colour.jpg")));
    QStringList run;
    dialog.runPreview = [&run](QDialog &window) {
        run << window.windowTitle();
    };
    button->click();
    QCOMPARE(run, QStringList{QStringLiteral("Preview")});
}

void OpenDialogTest::previewWindow_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("small") << QSize(97, 61);
    QTest::newRow("larger than the screen") << QSize(1300, 1100); // offscreen: 800 × 800
}

void OpenDialogTest::previewWindow()
{
    QFETCH(QSize, size);
    QTemporaryDir dir;
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::gray);
    const QString path = dir.filePath(QStringLiteral("picture.bmp"));
    QVERIFY(image.save(path, "BMP"));
    OpenPictureDialog dialog(nullptr);
    dialog.showFile(path);
    const auto window = dialog.makePreviewWindow();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("Preview"));
    QVERIFY(window->windowFlags().testFlag(Qt::Tool));
    QVERIFY(window->isModal());
    const QRect screen = dialog.fileDialog().screen()->availableGeometry();
    const QSize expected(std::min(size.width() + 12, screen.width() * 3 / 4),
        std::min(size.height() + 12, screen.height() * 3 / 4));
    QCOMPARE(window->size(), expected);
    // Centred, give or take the rounding of an odd difference.
    const QPoint offset = window->geometry().center() - screen.center();
    QVERIFY2(std::abs(offset.x()) <= 1 && std::abs(offset.y()) <= 1, "not centred");
}

void OpenDialogTest::escapeClosesThePreview()
{
    QTemporaryDir dir;
    OpenPictureDialog dialog(nullptr);
    dialog.showFile(place(dir, QStringLiteral("moon.jpg"), fixture("moon-colour.jpg")));
    const auto window = dialog.makePreviewWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QVERIFY(!window->isVisible());
}

void OpenDialogTest::detailColumnsShowWholeValues()
{
    // A camera file of some megabytes and a long type name: at the dialog's first size the
    // size, type and date columns show their values whole.
    QTemporaryDir dir;
    place(dir, QStringLiteral("IMG_0001.JPEG"), QByteArray(1234567, 'x'));
    OpenPictureDialog dialog(nullptr);
    QFileDialog &files = dialog.fileDialog();
    files.setDirectory(dir.path());
    files.setViewMode(QFileDialog::Detail);
    files.show();
    QVERIFY(QTest::qWaitForWindowExposed(&files));
    QTRY_COMPARE(listed(files, dir.path()), QStringList{QStringLiteral("IMG_0001.JPEG")});
    auto *tree = files.findChild<QTreeView *>(QStringLiteral("treeView"));
    QVERIFY(tree);
    auto *model = files.findChild<QFileSystemModel *>();
    const QModelIndex file = model->index(dir.filePath(QStringLiteral("IMG_0001.JPEG")));
    const QStyleOptionViewItem option;
    for (int column = 1; column < model->columnCount(); ++column) {
        const QString text = model->index(file.row(), column, file.parent()).data().toString();
        const int needed = tree->fontMetrics().horizontalAdvance(text)
            + 2 * (tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree) + 1);
        const int width = tree->header()->sectionSize(column);
        qInfo("column %d: '%s' needs %d, has %d", column, qPrintable(text), needed, width);
        QVERIFY2(width >= needed, qPrintable(text));
    }
}

QTEST_MAIN(OpenDialogTest)
#include "opendialog_test.moc"
