// Spot checks of the window's fixed layout: names, places and sizes in pixels at 96 dpi,
// captions, colours, the explanation texts and the tab order.
#include "app/form1.h"
#include "app/spinedit.h"
#include "app/widgets.h"
#include "tests/app/formtest.h"
#include "tests/app/virtualscreen.h"
#include "view/bitmappicture.h"
#include "view/pictureview.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>

#include <memory>

namespace {

QString textOf(const QWidget *widget)
{
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (const auto *edit = qobject_cast<const QLineEdit *>(widget))
        return edit->text();
    if (const auto *group = qobject_cast<const QGroupBox *>(widget))
        return group->title();
    return QString();
}

} // namespace

class LayoutTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;

private slots:
    void initTestCase()
    {
        form = std::make_unique<TForm1>();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    void cleanupTestCase() { form.reset(); }

    void window()
    {
        QCOMPARE(form->objectName(), QStringLiteral("Form1"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Selmarin"));
        // Task lists built on icon names show the application's title, not the caption.
        QCOMPARE(form->windowIconText(), QStringLiteral("Korvalen"));
        QCOMPARE(form->pos(), QPoint(503, 122));
        QVERIFY(!form->windowIcon().isNull());
        QCOMPARE(form->windowIcon().pixmap(32, 32).size(), QSize(32, 32));
        QCOMPARE(form->font().pixelSize(), 11);
        QCOMPARE(control<QTabWidget>(*form, "PageControl1")->count(), 2);
        QCOMPARE(control<QTabWidget>(*form, "PageControl1")->tabText(0), QStringLiteral("Mesures"));
        QCOMPARE(
            control<QTabWidget>(*form, "PageControl1")->tabText(1), QStringLiteral("Explications"));
        QCOMPARE(control<QTabWidget>(*form, "PageControl1")->currentWidget(),
            control<QWidget>(*form, "TabSheet1"));
    }

    void controls_data()
    {
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("bounds");
        QTest::addColumn<QString>("text");
        auto row = [](const char *name, const char *parent, QRect bounds, const QString &text) {
            QTest::newRow(name) << QString::fromLatin1(parent) << bounds << text;
        };
        row("Label5", "TabSheet1", {12, 237, 101, 13}, QStringLiteral("Décalage des tracés:"));
        row("Image1", "TabSheet1", {34, 596, 50, 50}, QString());
        row("point", "TabSheet1", {16, 75, 92, 34}, QString());
        row("label1", "TabSheet1", {18, 185, 89, 21}, QString());
        row("label1Caption", "TabSheet1", {18, 169, 68, 13}, QStringLiteral("Rayon lunaire:"));
        row("Button4", "TabSheet1", {15, 537, 92, 28}, QStringLiteral("Effacer image"));
        row("Button3", "TabSheet1", {15, 506, 92, 28}, QStringLiteral("Effacer tracés"));
        row("Button1", "TabSheet1", {16, 122, 92, 37}, QStringLiteral("Traçage des lignes"));
        row("Panel1", "TabSheet1", {30, 254, 65, 34}, QString());
        row("left", "Panel1", {2, 2, 15, 30}, QStringLiteral("<"));
        row("up", "Panel1", {18, 2, 30, 15}, QStringLiteral("^"));
        row("right", "Panel1", {48, 2, 15, 30}, QStringLiteral(">"));
        row("down", "Panel1", {17, 17, 30, 15}, QStringLiteral("v"));
        row("Panel2", "TabSheet1", {10, 315, 108, 124}, QString());
        row("Label2", "Panel2", {7, 11, 95, 13}, QStringLiteral("Position terminateur:"));
        row("SpinEditB", "Panel2", {19, 32, 70, 22}, QStringLiteral("0"));
        row("Label3", "Panel2", {6, 70, 97, 13}, QStringLiteral("Hauteur du Soleil (°):"));
        row("spinmes", "Panel2", {19, 90, 70, 22}, QStringLiteral("0"));
        row("Button2", "TabSheet1", {16, 17, 92, 37}, QStringLiteral("Ouvrir une image"));
        row("Memo1", "TabSheet2", {52, 45, 407, 66}, QString());
        row("Memo2", "TabSheet2", {53, 119, 407, 123}, QString());
        row("Memo3", "TabSheet2", {476, 45, 407, 197}, QString());
        row("Button5",
            "TabSheet2",
            {258, 281, 373, 40},
            QStringLiteral("Compléments: Chez Tavelin"));
        row("GroupBox1", "TabSheet2", {52, 361, 407, 144}, QStringLiteral("Aide au calcul"));
        row("LabeledEdit1", "GroupBox1", {15, 42, 100, 21}, QString());
        row("LabeledEdit1Caption",
            "GroupBox1",
            {15, 26, 99, 13},
            QStringLiteral("Longueur de l'ombre:"));
        row("LabeledEdit2", "GroupBox1", {14, 101, 100, 21}, QString());
        row("LabeledEdit2Caption",
            "GroupBox1",
            {14, 85, 97, 13},
            QStringLiteral("Hauteur du Soleil (°):"));
        row("butcalc", "GroupBox1", {148, 66, 57, 24}, QStringLiteral("Calcul"));
        row("Label6", "GroupBox1", {231, 46, 84, 13}, QStringLiteral("Hauteur calculée:"));
        row("hautcalc", "GroupBox1", {260, 71, 6, 13}, QStringLiteral("0"));
        row("butdatelieu", "barreetat", {4, 1, 84, 20}, QStringLiteral("Date et lieu…"));
        row("datelieu", "barreetat", {96, 4, 150, 14}, QString());
        row("lieucurseur", "barreetat", {252, 4, 350, 14}, QString());
        row("controleheure", "barreetat", {608, 4, 342, 14}, QString());
        row("conseilcadrage",
            "TabSheet1",
            {2, 207, 124, 28},
            QStringLiteral("Trop grande\u00a0: rouvrez avec «\u00a0Cadrer sur la Lune\u00a0»."));
    }
    void controls()
    {
        QFETCH(QString, parent);
        QFETCH(QRect, bounds);
        QFETCH(QString, text);
        const auto *control =
            form->findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(control);
        QCOMPARE(control->parentWidget()->objectName(), parent);
        QCOMPARE(control->geometry(), bounds);
        QCOMPARE(textOf(control), text);
    }

    void pictureLayersShareTheirBoundsInStackingOrder()
    {
        const QSize page = control<QWidget>(*form, "TabSheet1")->size();
        const QList<QWidget *> children =
            control<QWidget>(*form, "TabSheet1")
                ->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
        const QStringList layers{"pic3", "pic", "picmesure", "picellipse"};
        int previous = -1;
        for (const QString &name : layers) {
            auto *layer = form->findChild<view::PictureView *>(name);
            QVERIFY(layer);
            QCOMPARE(layer->geometry(), QRect(128, 0, page.width() - 99, page.height() + 5));
            QCOMPARE(layer->cursor().shape(), Qt::CrossCursor);
            QCOMPARE(layer->isTransparent(), name != QLatin1String("pic3"));
            QVERIFY(children.indexOf(layer) > previous);
            previous = static_cast<int>(children.indexOf(layer));
        }
    }

    void initialStates()
    {
        QVERIFY(!control<QSlider>(*form, "point")->isEnabled());
        QCOMPARE(control<QSlider>(*form, "point")->minimum(), 1);
        QCOMPARE(control<QSlider>(*form, "point")->maximum(), 2);
        QCOMPARE(control<QSlider>(*form, "point")->value(), 1);
        QCOMPARE(control<QSlider>(*form, "point")->tickPosition(), QSlider::TicksBelow);
        QVERIFY(!buttonOf(*form, "Button1")->isEnabled());
        QCOMPARE(spinOf(*form, "SpinEditB")->palette().color(QPalette::Text), QColor(255, 0, 0));
        QCOMPARE(spinOf(*form, "spinmes")->palette().color(QPalette::Text), QColor(0, 0, 128));
        QCOMPARE(spinOf(*form, "spinmes")->palette().color(QPalette::Base), QColor(255, 255, 255));
        QCOMPARE(control<QTextEdit>(*form, "Memo1")->palette().color(QPalette::Base),
            QColor(192, 192, 192));
        QCOMPARE(control<QTextEdit>(*form, "Memo2")->palette().color(QPalette::Base),
            QColor(192, 192, 192));
        QCOMPARE(control<QTextEdit>(*form, "Memo3")->palette().color(QPalette::Base),
            QColor(192, 220, 192));
        QCOMPARE(control<QTextEdit>(*form, "Memo1")->document()->defaultTextOption().alignment(),
            Qt::AlignHCenter);
        QCOMPARE(
            control<QTextEdit>(*form, "Memo3")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    }

    void logoSitsTopLeftOnAWhiteTransparentSurface()
    {
        QCOMPARE(layerOf(*form, "Image1")->toolTip(), QStringLiteral("@"));
        QCOMPARE(layerOf(*form, "Image1")->toolTipDuration(), 2500);
        QCOMPARE(layerOf(*form, "Image1")->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(layerOf(*form, "Image1")->isTransparent());
        const auto *bitmap =
            dynamic_cast<const view::BitmapPicture *>(layerOf(*form, "Image1")->picture());
        QVERIFY(bitmap);
        const QImage tavelin(QStringLiteral(":/tavelin.bmp"));
        QCOMPARE(tavelin.size(), QSize(46, 45));
        QCOMPARE(tavelin.depth() >= 24, true);
        const QImage &logo = bitmap->image();
        QCOMPARE(logo.size(), QSize(50, 50));
        QCOMPARE(logo.copy(0, 0, 46, 45).convertToFormat(QImage::Format_RGB32),
            tavelin.convertToFormat(QImage::Format_RGB32));
        QCOMPARE(logo.pixel(47, 10) & 0xFFFFFF, 0xFFFFFFu);
        QCOMPARE(logo.pixel(10, 46) & 0xFFFFFF, 0xFFFFFFu);
    }

    void explanationTexts_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("Memo1") << QStringList{QStringLiteral("Objectif du programme:"),
            QString(),
            QStringLiteral(
                "Déterminer la hauteur d'une montagne lunaire à partir de la longueur de son "),
            QStringLiteral("ombre."),
            QString()};
        QTest::newRow("Memo2") << QStringList{
            QStringLiteral("-Pour cela, il faut connaître la hauteur du Soleil par rapport à "
                           "l'horizontale à "),
            QStringLiteral("l'endroit de la mesure. Les calculs peuvent être fastidieux..."),
            QString(),
            QStringLiteral("-Ce programme permet de l'obtenir facilement, à condition d'avoir une "
                           "image réalisée "),
            QStringLiteral("à la même date, où la Lune est visible entièrement.")};
        QTest::newRow("Memo3") << QStringList{QStringLiteral("Ordre logique des opérations:"),
            QString(),
            QStringLiteral("1/ Ouvrir une image où la Lune est visible dans sa totalité."),
            QString(),
            QStringLiteral(
                "2/ Positionner par deux clicks, les extrémités du \"croissant\" lunaire."),
            QString(),
            QStringLiteral("3/ Cliquez sur \"Traçage de lignes\" afin d'avoir le tracé du "
                           "pourtour circulaire de la "),
            QStringLiteral("Lune."),
            QString(),
            QStringLiteral(
                "4/ Eventuellement, ajustez ce pourtour à l'aide des 4 flêches de direction."),
            QString(),
            QStringLiteral("5/ Positionnez alors le terminateur lunaire au mieux (\"Position "
                           "terminateur\")."),
            QString(),
            QStringLiteral(
                "6/ Enfin, trouvez la hauteur du Soleil au lieu étudié (\"Hauteur du Soleil\") ")};
    }
    void explanationTexts()
    {
        QFETCH(QStringList, lines);
        const auto *memo =
            form->findChild<QTextEdit *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(memo);
        QCOMPARE(memo->toPlainText().split(QLatin1Char('\n')), lines);
        QVERIFY(!memo->isReadOnly());
        QCOMPARE(memo->lineWrapMode(), QTextEdit::WidgetWidth);
        QCOMPARE(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    }

    // The hint wraps inside the strip between Button4 and the logo, hidden until needed.
    void framingHintFitsItsStrip()
    {
        const QLabel *hint = control<QLabel>(*form, "conseilcadrage");
        QVERIFY(hint->isHidden() && hint->wordWrap());
        QVERIFY(hint->heightForWidth(hint->width()) <= hint->height());
    }

    // The details of a measured shadow are plain text the user can select and copy.
    void shadowDetailsAreCopied()
    {
        auto *details = control<QLabel>(*form, "detailsombre");
        QCOMPARE(details->textFormat(), Qt::PlainText);
        control<QTabWidget>(*form, "PageControl1")->setCurrentIndex(1);
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::mousePress(details, Qt::LeftButton, {}, QPoint(2, 6));
        QTest::mouseMove(details, QPoint(60, 6));
        QTest::mouseRelease(details, Qt::LeftButton, {}, QPoint(60, 6));
        QVERIFY(details->hasSelectedText());
        QTest::keyClick(details, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(details, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), details->text());
        control<QTabWidget>(*form, "PageControl1")->setCurrentIndex(0);
    }

    void onlyTheLogoHasATooltip()
    {
        const QList<QWidget *> widgets = form->findChildren<QWidget *>();
        for (const QWidget *widget : widgets) {
            // The open-picture dialog is a window of its own.
            if (widget->window() == form.get() && widget != layerOf(*form, "Image1"))
                QVERIFY2(widget->toolTip().isEmpty(), qPrintable(widget->objectName()));
        }
    }

    void editsTakeTextsOfAnyLength()
    {
        const QString longText(40000, QLatin1Char('7'));
        for (LabeledEdit *edit : {editOf(*form, "label1"),
                 editOf(*form, "LabeledEdit1"),
                 editOf(*form, "LabeledEdit2")}) {
            const QString before = edit->text();
            edit->setText(longText);
            QCOMPARE(edit->text().size(), longText.size());
            edit->setText(before);
        }
    }

    // Controls that only paint what they show are read by assistive technology through these.
    void accessibleTexts_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        QTest::newRow("photograph") << "pic3"
                                    << "Photographie"
                                    << "Aucune image";
        QTest::newRow("cusps and limb") << "pic"
                                        << "Cornes et pourtour lunaire"
                                        << "Aucun tracé";
        QTest::newRow("terminator") << "picellipse"
                                    << "Terminateur"
                                    << "Aucun tracé";
        QTest::newRow("elevation curve") << "picmesure"
                                         << "Courbe d'égale hauteur du Soleil"
                                         << "Aucun tracé";
        QTest::newRow("shadow") << "picombre"
                                << "Ombre mesurée"
                                << "Aucun tracé";
        // Captions that stand apart from their control, and arrows.
        auto named = [](const char *control, const char *name) {
            QTest::newRow(control) << control << name << "";
        };
        named("point", "Corne à placer");
        named("SpinEditB", "Position terminateur");
        named("spinmes", "Hauteur du Soleil (°)");
        named("left", "Décaler à gauche");
        named("up", "Décaler vers le haut");
        named("right", "Décaler à droite");
        named("down", "Décaler vers le bas");
        QTest::newRow("framing hint")
            << "conseilcadrage"
            << "Trop grande\u00a0: rouvrez avec «\u00a0Cadrer sur la Lune\u00a0»."
            << "Photographie plus grande que la zone d'image : cochez « Cadrer "
               "sur la Lune » dans la boîte d'ouverture pour y amener le disque.";
        QTest::newRow("logo") << "Image1"
                              << "Logo"
                              << "Ouvre la page d'accueil de l'auteur dans le navigateur";
    }

    void accessibleTexts()
    {
        QFETCH(QString, control);
        QFETCH(QString, name);
        QFETCH(QString, description);
        QAccessibleInterface *read =
            QAccessible::queryAccessibleInterface(form->findChild<QWidget *>(control));
        QVERIFY(read);
        QCOMPARE(read->text(QAccessible::Name), name);
        QCOMPARE(read->text(QAccessible::Description), description);
    }

    void spinArrowsAreNamed()
    {
        for (const SpinEdit *spin :
            {control<SpinEdit>(*form, "SpinEditB"), control<SpinEdit>(*form, "spinmes")}) {
            QCOMPARE(
                QAccessible::queryAccessibleInterface(spin->upArrow())->text(QAccessible::Name),
                QStringLiteral("Augmenter"));
            QCOMPARE(
                QAccessible::queryAccessibleInterface(spin->downArrow())->text(QAccessible::Name),
                QStringLiteral("Diminuer"));
        }
    }

    void tabOrder_data()
    {
        QTest::addColumn<QStringList>("order");
        QTest::newRow("Mesures") << QStringList{"label1",
            "Button4",
            "Button3",
            "Button1",
            "left",
            "up",
            "right",
            "down",
            "SpinEditB",
            "spinmes",
            "Button2",
            "butajuste",
            "butombre"};
        QTest::newRow("Explications") << QStringList{
            "LabeledEdit1", "LabeledEdit2", "butcalc", "Memo1", "Memo2", "Memo3", "Button5"};
    }
    void tabOrder()
    {
        QFETCH(QStringList, order);
        QWidget *widget = form->findChild<QWidget *>(order.first());
        QStringList seen;
        for (int i = 0; i < 200 && seen.size() < order.size(); ++i) {
            if (order.contains(widget->objectName()) && !seen.contains(widget->objectName()))
                seen << widget->objectName();
            widget = widget->nextInFocusChain();
        }
        QCOMPARE(seen, order);
    }
};

// A screen on which the designed place of the window fits.
KORVALEN_TEST_MAIN_ON_SCREENS(LayoutTest, VirtualScreen{{0, 0, 1920, 1080}, 1})
#include "layout_test.moc"
