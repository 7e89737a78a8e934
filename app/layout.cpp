// The fixed layout of the main window: every control with its place, size and initial state.
// Positions and sizes are pixels at 96 dots per inch; a control's place is relative to the
// client area of its parent (the page, a panel or the group box).
#include "app/form1.h"
#include "app/spinedit.h"
#include "app/widgets.h"
#include "view/loupe.h"
#include "view/pictureview.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStringList>
#include <QTabWidget>
#include <QTextEdit>

namespace {

template <typename Widget> Widget *place(Widget *widget, const char *name, const QRect &bounds)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(bounds);
    return widget;
}

template <typename Widget>
Widget *place(Widget *widget, const char *name, int left, int top, int width, int height)
{
    return place(widget, name, QRect(left, top, width, height));
}

LabeledEdit *placeEdit(QWidget *parent,
    const char *name,
    int left,
    int top,
    int width,
    int height,
    const QString &caption,
    QSize captionSize)
{
    auto *edit = new LabeledEdit(caption, captionSize, parent);
    edit->setObjectName(QLatin1String(name));
    edit->caption()->setObjectName(QLatin1String(name) + QStringLiteral("Caption"));
    edit->setBounds(left, top, width, height);
    return edit;
}

QLabel *label(const QString &text, QWidget *parent)
{
    auto *result = new QLabel(text, parent);
    // hautcalc shows what the calculator made of the user's figures: no markup is guessed.
    result->setTextFormat(Qt::PlainText);
    result->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return result;
}

QPushButton *button(const QString &caption, QWidget *parent)
{
    auto *result = new QPushButton(caption, parent);
    result->setAutoDefault(true); // Return clicks the focused button, as Space does.
    return result;
}

view::PictureView *layer(QWidget *parent, bool transparent)
{
    auto *result = new view::PictureView(parent);
    result->setTransparent(transparent);
    result->setCursor(Qt::CrossCursor);
    return result;
}

QTextEdit *memo(const QStringList &lines, QColor background, QWidget *parent)
{
    auto *result = new QTextEdit(parent);
    result->setAcceptRichText(false);
    result->setTabChangesFocus(true);
    result->setLineWrapMode(QTextEdit::WidgetWidth);
    result->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    result->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette palette = result->palette();
    palette.setColor(QPalette::Base, background);
    result->setPalette(palette);
    result->setPlainText(lines.join(QLatin1Char('\n')));
    return result;
}

void centre(QTextEdit *memo)
{
    QTextOption option = memo->document()->defaultTextOption();
    option.setAlignment(Qt::AlignHCenter);
    memo->document()->setDefaultTextOption(option);
}

void setTextColour(QWidget *widget, QColor text, std::optional<QColor> base = std::nullopt)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Text, text);
    if (base)
        palette.setColor(QPalette::Base, *base);
    widget->setPalette(palette);
}

const QColor kSilver(192, 192, 192);
const QColor kMoneyGreen(192, 220, 192);
const QColor kRed(255, 0, 0);
const QColor kNavy(0, 0, 128);
const QColor kWhite(255, 255, 255);

} // namespace

QRect TForm1::pictureArea(QSize page)
{
    return QRect(128, 0, page.width() - 99, page.height() + 5);
}

void TForm1::layoutControls()
{
    // An 8-point sans serif with a character height of 11 pixels. DejaVu Sans runs about a
    // quarter wider than the face the sizes below were measured with, so it is narrowed to 80 %:
    // the captions then fit the fixed widths of their labels instead of being cut off.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    font.setStretch(80);
    setFont(font);

    move(kFrame.topLeft());
    resize(kClientSize);
    PageControl1 = place(new QTabWidget(this), "PageControl1", 0, 0, 954, 683);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Mesures"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Explications"));
    PageControl1->setCurrentWidget(TabSheet1);
    layoutMesures();
    layoutExplications();
    layoutStatusLine();
}

void TForm1::layoutMesures()
{
    QWidget *page = TabSheet1;
    // One control per line: name, then left, top, width and height.
    // clang-format off
    // Creation order is stacking order: the photograph at the bottom, the terminator on top.
    pic3 = place(layer(page, false), "pic3", pictureArea(kPageSize));
    pic = place(layer(page, true), "pic", pictureArea(kPageSize));
    picmesure = place(layer(page, true), "picmesure", pictureArea(kPageSize));
    picellipse = place(layer(page, true), "picellipse", pictureArea(kPageSize));
    picombre = place(layer(page, true), "picombre", pictureArea(kPageSize));
    Label5 = place(label(QStringLiteral("Décalage des tracés:"), page), "Label5", 12, 237, 101, 13);
    Image1 = place(new view::PictureView(page), "Image1", 34, 596, 50, 50);
    point = place(new QSlider(Qt::Horizontal, page), "point", 16, 75, 92, 34);
    label1 = placeEdit(page, "label1", 18, 185, 89, 21, QStringLiteral("Rayon lunaire:"), {68, 13});
    Button4 = place(button(QStringLiteral("Effacer image"), page), "Button4", 15, 537, 92, 28);
    Button3 = place(button(QStringLiteral("Effacer tracés"), page), "Button3", 15, 506, 92, 28);
    Button1 = place(new WrapButton(QStringLiteral("Traçage des lignes"), page), "Button1", 16, 122, 92, 37);
    Panel1 = place(new BevelPanel(BevelPanel::Bevel::Lowered, BevelPanel::Bevel::Space, page), "Panel1", 30, 254, 65, 34);
    left = place(button(QStringLiteral("<"), Panel1), "left", 2, 2, 15, 30);
    up = place(button(QStringLiteral("^"), Panel1), "up", 18, 2, 30, 15);
    right = place(button(QStringLiteral(">"), Panel1), "right", 48, 2, 15, 30);
    down = place(button(QStringLiteral("v"), Panel1), "down", 17, 17, 30, 15);
    Panel2 = place(new BevelPanel(BevelPanel::Bevel::Lowered, BevelPanel::Bevel::Raised, page), "Panel2", 10, 315, 108, 124);
    Label2 = place(label(QStringLiteral("Position terminateur:"), Panel2), "Label2", 7, 11, 95, 13);
    SpinEditB = place(new SpinEdit(-90, 90, Panel2), "SpinEditB", 19, 32, 70, 22);
    Label3 = place(label(QStringLiteral("Hauteur du Soleil (°):"), Panel2), "Label3", 6, 70, 97, 13);
    spinmes = place(new SpinEdit(-90, 90, Panel2), "spinmes", 19, 90, 70, 22);
    Button2 = place(button(QStringLiteral("Ouvrir une image"), page), "Button2", 16, 17, 92, 37);
    butombre = place(button(QStringLiteral("Ombre"), page), "butombre", 66, 444, 52, 20);
    hautombre = place(label(QString(), page), "hautombre", 6, 486, 116, 14);
    // In the free strip between Panel2 and Button3.
    butajuste = place(button(QStringLiteral("Ajuster"), page), "butajuste", 10, 444, 52, 20);
    soleilcurseur = place(label(QString(), page), "soleilcurseur", 6, 468, 116, 14);
    // In the free strip between label1 and Label5.
    conseilcadrage = place(label(QStringLiteral("Trop grande\u00a0: rouvrez avec «\u00a0Cadrer sur la Lune\u00a0»."), page), "conseilcadrage", 2, 207, 124, 28);
    // In the free strip between Panel1 and Panel2.
    butloupe = place(button(QStringLiteral("Loupe"), page), "butloupe", 10, 292, 52, 20);
    butcopier = place(button(QStringLiteral("Copier"), page), "butcopier", 66, 292, 52, 20);
    // In the free strip between Button4 and the logo.
    resultatajuste = place(label(QString(), page), "resultatajuste", 6, 567, 120, 28);
    // clang-format on

    // The views only paint; these are what assistive technology reads of them.
    pic3->setAccessibleName(QStringLiteral("Photographie"));
    pic3->setAccessibleTexts(
        QStringLiteral("Aucune image"), QStringLiteral("Image de %1 × %2 pixels"));
    pic->setAccessibleName(QStringLiteral("Cornes et pourtour lunaire"));
    picellipse->setAccessibleName(QStringLiteral("Terminateur"));
    picmesure->setAccessibleName(QStringLiteral("Courbe d'égale hauteur du Soleil"));
    picombre->setAccessibleName(QStringLiteral("Ombre mesurée"));
    for (view::PictureView *drawing : {pic, picellipse, picmesure, picombre})
        drawing->setAccessibleTexts(QStringLiteral("Aucun tracé"), QStringLiteral("Tracé"));
    // The spin boxes' captions are labels of their own and the nudge buttons show arrows only:
    // these are the names read aloud.
    point->setAccessibleName(QStringLiteral("Corne à placer"));
    SpinEditB->setAccessibleName(QStringLiteral("Position terminateur"));
    spinmes->setAccessibleName(QStringLiteral("Hauteur du Soleil (°)"));
    left->setAccessibleName(QStringLiteral("Décaler à gauche"));
    up->setAccessibleName(QStringLiteral("Décaler vers le haut"));
    right->setAccessibleName(QStringLiteral("Décaler à droite"));
    down->setAccessibleName(QStringLiteral("Décaler vers le bas"));
    conseilcadrage->setAccessibleDescription(
        QStringLiteral("Photographie plus grande que la zone d'image : cochez « Cadrer sur la "
                       "Lune » dans la boîte d'ouverture pour y amener le disque."));
    Image1->setAccessibleName(QStringLiteral("Logo"));
    Image1->setAccessibleDescription(
        QStringLiteral("Ouvre la page d'accueil de l'auteur dans le navigateur"));

    // The shadow's layer only shows: presses go through it to the layers below, which have
    // always taken them.
    picombre->setAttribute(Qt::WA_TransparentForMouseEvents);
    butombre->setCheckable(true);
    // Above every layer, as the last child of the page made so far.
    loupe = new view::Loupe({pic3, pic, picmesure, picellipse, picombre}, page);
    loupe->setObjectName(QStringLiteral("loupe"));
    loupe->setAccessibleName(QStringLiteral("Pixels agrandis autour du pointeur"));
    butloupe->setCheckable(true);
    butloupe->setAccessibleName(QStringLiteral("Loupe"));
    butcopier->setAccessibleDescription(QStringLiteral(
        "Copie la mesure en texte et la zone d'image avec ses tracés dans le presse-papiers"));
    butloupe->setAccessibleDescription(QStringLiteral(
        "Montre les pixels autour du pointeur, agrandis ; la molette change le grossissement"));
    conseilcadrage->setWordWrap(true);
    conseilcadrage->hide();

    Image1->setTransparent(true);
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->setToolTip(QStringLiteral("@"));
    Image1->setToolTipDuration(ToolTipTiming::kDuration);
    point->setRange(1, 2);
    point->setPageStep(1);
    point->setValue(1);
    point->setTickPosition(QSlider::TicksBelow);
    point->setTickInterval(1);
    point->setEnabled(false);
    Button1->setAutoDefault(true);
    Button1->setEnabled(false);
    SpinEditB->setValue(0);
    setTextColour(SpinEditB, kRed);
    spinmes->setValue(0);
    setTextColour(spinmes, kNavy, kWhite);

    setTabOrder(point, label1);
    setTabOrder(label1, Button4);
    setTabOrder(Button4, Button3);
    setTabOrder(Button3, Button1);
    setTabOrder(Button1, left);
    setTabOrder(left, up);
    setTabOrder(up, right);
    setTabOrder(right, down);
    setTabOrder(down, SpinEditB);
    setTabOrder(SpinEditB, spinmes);
    setTabOrder(spinmes, Button2);
    // The controls added below Panel2 come after the first ones, left to right.
    setTabOrder(Button2, butajuste);
    setTabOrder(butajuste, butombre);
    setTabOrder(butombre, butloupe);
    setTabOrder(butloupe, butcopier);
}

void TForm1::layoutExplications()
{
    QWidget *page = TabSheet2;
    // One control per line: name, then left, top, width and height.
    // clang-format off
    Memo1 = place(memo({QStringLiteral("Objectif du programme:"),
                           QString(),
                           QStringLiteral("Déterminer la hauteur d'une montagne lunaire à partir de la longueur de son "),
                           QStringLiteral("ombre."),
                           QString()},
                      kSilver,
                      page),
        "Memo1", 52, 45, 407, 66);
    Memo2 = place(memo({QStringLiteral("-Pour cela, il faut connaître la hauteur du Soleil par rapport à l'horizontale à "),
                           QStringLiteral("l'endroit de la mesure. Les calculs peuvent être fastidieux..."),
                           QString(),
                           QStringLiteral("-Ce programme permet de l'obtenir facilement, à condition d'avoir une image réalisée "),
                           QStringLiteral("à la même date, où la Lune est visible entièrement.")},
                      kSilver,
                      page),
        "Memo2", 53, 119, 407, 123);
    Memo3 = place(memo({QStringLiteral("Ordre logique des opérations:"),
                           QString(),
                           QStringLiteral("1/ Ouvrir une image où la Lune est visible dans sa totalité."),
                           QString(),
                           QStringLiteral("2/ Positionner par deux clicks, les extrémités du \"croissant\" lunaire."),
                           QString(),
                           QStringLiteral("3/ Cliquez sur \"Traçage de lignes\" afin d'avoir le tracé du pourtour circulaire de la "),
                           QStringLiteral("Lune."),
                           QString(),
                           QStringLiteral("4/ Eventuellement, ajustez ce pourtour à l'aide des 4 flêches de direction."),
                           QString(),
                           QStringLiteral("5/ Positionnez alors le terminateur lunaire au mieux (\"Position terminateur\")."),
                           QString(),
                           QStringLiteral("6/ Enfin, trouvez la hauteur du Soleil au lieu étudié (\"Hauteur du Soleil\") ")},
                      kMoneyGreen,
                      page),
        "Memo3", 476, 45, 407, 197);
    Button5 = place(button(QStringLiteral("Compléments: Chez Tavelin"), page), "Button5", 258, 281, 373, 40);
    GroupBox1 = place(new QGroupBox(QStringLiteral("Aide au calcul"), page), "GroupBox1", 52, 361, 407, 144);
    LabeledEdit1 = placeEdit(GroupBox1, "LabeledEdit1", 15, 42, 100, 21, QStringLiteral("Longueur de l'ombre:"), {99, 13});
    LabeledEdit2 = placeEdit(GroupBox1, "LabeledEdit2", 14, 101, 100, 21, QStringLiteral("Hauteur du Soleil (°):"), {97, 13});
    butcalc = place(button(QStringLiteral("Calcul"), GroupBox1), "butcalc", 148, 66, 57, 24);
    Label6 = place(label(QStringLiteral("Hauteur calculée:"), GroupBox1), "Label6", 231, 46, 84, 13);
    hautcalc = place(label(QStringLiteral("0"), GroupBox1), "hautcalc", 260, 71, 6, 13);
    GroupBox2 = place(new QGroupBox(QStringLiteral("Assistant ombre"), page), "GroupBox2", 476, 361, 407, 144);
    detailsombre = place(label(QString::fromUtf8(kShadowHelp), GroupBox2), "detailsombre", 12, 20, 385, 116);
    // Under the two group boxes.
    GroupBox3 = place(new QGroupBox(QStringLiteral("Ajustement sur la photographie"), page), "GroupBox3", 52, 515, 831, 136);
    detailsajuste = place(label(QString::fromUtf8(kFitHelp), GroupBox3), "detailsajuste", 12, 20, 807, 110);
    // clang-format on

    centre(Memo1);
    detailsombre->setWordWrap(true);
    // The figures of a measured shadow are worth copying into notes.
    detailsombre->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    detailsajuste->setWordWrap(true);
    detailsajuste->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    detailsajuste->setTextInteractionFlags(
        Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    hautcalc->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    setTabOrder(LabeledEdit1, LabeledEdit2);
    setTabOrder(LabeledEdit2, butcalc);
    setTabOrder(butcalc, Memo1);
    setTabOrder(Memo1, Memo2);
    setTabOrder(Memo2, Memo3);
    setTabOrder(Memo3, Button5);
    setTabOrder(Button5, detailsombre);
    setTabOrder(detailsombre, detailsajuste);
}

void TForm1::layoutStatusLine()
{
    // Under the pages, whose controls all keep their places: the date of the photograph, then
    // what the pointer is on, then the check of the fitted terminator against the date.
    // clang-format off
    barreetat = place(new QWidget(this), "barreetat", 0, 683, 954, kStatusLineHeight);
    butdatelieu = place(button(QStringLiteral("Date et lieu…"), barreetat), "butdatelieu", 4, 1, 84, 20);
    datelieu = place(label(QString(), barreetat), "datelieu", 96, 4, 150, 14);
    lieucurseur = place(label(QString(), barreetat), "lieucurseur", 252, 4, 350, 14);
    controleheure = place(label(QString(), barreetat), "controleheure", 608, 4, 342, 14);
    // clang-format on

    butdatelieu->setEnabled(false);
    butdatelieu->setAccessibleName(QStringLiteral("Date et lieu de la photographie"));
    butdatelieu->setAccessibleDescription(
        QStringLiteral("Montre et corrige la date, l'heure et le lieu de la prise de vue, lus dans "
                       "la photographie"));
    datelieu->setAccessibleName(QStringLiteral("Date de la photographie"));
    lieucurseur->setAccessibleName(QStringLiteral("Lieu sous le pointeur"));
    controleheure->setAccessibleName(QStringLiteral("Terminateur ajusté et date"));
    setTabOrder(butcopier, butdatelieu);
}
