#include "view/opendialog.h"

#include "view/picture.h"
#include "view/pictureformats.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCompleter>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <exception>

namespace view {

namespace {

constexpr int kCaptionHeight = 23;
constexpr QSize kButtonSize(23, 22);
constexpr int kButtonInset = 2;
constexpr int kPaneWidth = 220;
constexpr int kWindowMargin = 5;
constexpr int kWindowBorder = 1;
// Room for the file list beside the preview pane at the first showing; the user may resize.
constexpr QSize kInitialSize(860, 480);

// The largest rectangle of the picture's proportions inside `box`, centred in it.
QRect fitted(const QSize &picture, const QRect &box)
{
    if (picture.isEmpty() || box.isEmpty())
        return {};
    const QSize size = picture.scaled(box.size(), Qt::KeepAspectRatio);
    return QRect(box.x() + (box.width() - size.width()) / 2,
        box.y() + (box.height() - size.height()) / 2,
        size.width(),
        size.height());
}

// Draws a picture scaled to fit in `box`. The scaled rendering is kept until the box changes
// size, so that a large photograph is not scaled down again at every repaint.
class FittedPicture {
public:
    void set(const Picture *picture)
    {
        picture_ = picture;
        cache_ = QImage();
    }
    [[nodiscard]] const Picture *get() const { return picture_; }

    void paint(QPainter &painter, const QRect &box)
    {
        if (!picture_)
            return;
        const QSize natural = picture_->naturalSize();
        const QRect target = fitted(natural, box);
        if (target.isEmpty())
            return;
        if (cache_.size() != target.size()) {
            cache_ = QImage(target.size(), QImage::Format_ARGB32_Premultiplied);
            cache_.fill(Qt::transparent);
            QPainter scaled(&cache_);
            scaled.setRenderHint(QPainter::SmoothPixmapTransform);
            scaled.scale(static_cast<qreal>(target.width()) / natural.width(),
                static_cast<qreal>(target.height()) / natural.height());
            picture_->paint(scaled, QRect(QPoint(0, 0), natural), false);
        }
        painter.drawImage(target.topLeft(), cache_);
    }

private:
    const Picture *picture_ = nullptr;
    QImage cache_;
};

// The sunken box of the preview pane.
class PreviewBox : public QFrame {
public:
    explicit PreviewBox(QWidget *parent)
        : QFrame(parent)
    {
        setObjectName(QStringLiteral("previewBox"));
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setMinimumSize(64, 64);
        setAccessibleName(text());
    }

    /// `name` is what assistive technology reads while the picture is shown, since the box
    /// only paints it.
    void setPicture(const Picture *picture, const QString &name)
    {
        picture_.set(picture);
        setAccessibleName(picture ? name : text());
        update();
    }
    [[nodiscard]] const Picture *picture() const { return picture_.get(); }
    /// What the box reads when it shows no picture.
    [[nodiscard]] QString text() const
    {
        return picture_.get() ? QString() : QStringLiteral("(None)");
    }

    std::function<void()> doubleClicked;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QFrame::paintEvent(event);
        QPainter painter(this);
        if (picture_.get())
            picture_.paint(painter, contentsRect());
        else
            painter.drawText(contentsRect(), Qt::AlignCenter, text());
    }
    void mouseDoubleClickEvent(QMouseEvent *) override
    {
        if (doubleClicked)
            doubleClicked();
    }

private:
    FittedPicture picture_;
};

// The client area of the "Preview" window: the picture fitted inside a single-line border and
// a 5-pixel margin, on the window's background.
class PreviewCanvas : public QWidget {
public:
    PreviewCanvas(std::unique_ptr<Picture> picture, const QString &name, QWidget *parent)
        : QWidget(parent)
        , owned_(std::move(picture))
    {
        setObjectName(QStringLiteral("previewCanvas"));
        setAccessibleName(name);
        picture_.set(owned_.get());
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        const int inset = kWindowBorder + kWindowMargin;
        picture_.paint(painter, rect().adjusted(inset, inset, -inset, -inset));
    }

private:
    std::unique_ptr<Picture> owned_;
    FittedPicture picture_;
};

QString caption(const QSize &size)
{
    return QStringLiteral(" (%1x%2)").arg(size.width()).arg(size.height());
}

} // namespace

QStringList pictureNameFilters()
{
    // "description (patterns)|patterns" pairs; Qt wants the patterns inside the parentheses
    // separated by blanks.
    const QStringList parts = pictureFilter().split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        const qsizetype open = name.lastIndexOf(QStringLiteral(" ("));
        if (open >= 0)
            name.truncate(open);
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << QStringLiteral("%1 (%2)").arg(name, patterns);
    }
    return filters;
}

struct OpenPictureDialog::State {
    QPointer<QFileDialog> dialog;
    QStringList filters;
    QLabel *caption = nullptr;
    QToolButton *button = nullptr;
    PreviewBox *box = nullptr;
    QCheckBox *frameOnMoon = nullptr;
    std::unique_ptr<Picture> picture;
    QString shownName; // what the pane's box and the "Preview" window are read as
    QString fileName;
    int filterIndex = 1;
    bool frameOnMoonChosen = false;
};

namespace {

void configure(QFileDialog &dialog, const QStringList &filters)
{
    dialog.setObjectName(QStringLiteral("openpic"));
    // Qt's own dialog, so that the preview pane can join its layout.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name need not exist: the load then says why it cannot open it.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    // Camera files are named IMG_0001.JPG: the patterns match in any letter case.
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    dialog.setSizeGripEnabled(true);
    dialog.setModal(true);
    dialog.resize(kInitialSize);
}

// The size, type and date of the detailed list take the width of their values ("115,2 Kio",
// "image JPEG", a date and time), whatever the widths a former run left; the names take the
// rest.
void fitDetailColumns(QFileDialog &dialog)
{
    auto *tree = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    if (!tree)
        return;
    QHeaderView *header = tree->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < header->count(); ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
}

// The caption line: "Picture:" or the picture's size, and the preview button.
QHBoxLayout *captionLine(QLabel *&caption, QToolButton *&button, QWidget *pane)
{
    auto *line = new QHBoxLayout;
    line->setContentsMargins(0, 0, kButtonInset, 0);
    caption = new QLabel(QStringLiteral("Picture:"), pane);
    caption->setObjectName(QStringLiteral("previewCaption"));
    caption->setTextFormat(Qt::PlainText);
    caption->setFixedHeight(kCaptionHeight);
    button = new QToolButton(pane);
    button->setObjectName(QStringLiteral("previewButton"));
    button->setToolTip(QStringLiteral("Preview"));
    button->setAccessibleName(QStringLiteral("Preview"));
    button->setIcon(pane->style()->standardIcon(QStyle::SP_FileDialogContentsView));
    button->setFixedSize(kButtonSize);
    button->setEnabled(false);
    line->addWidget(caption, 1);
    line->addWidget(button);
    return line;
}

// The pane goes right of everything in the dialog's grid, over all its rows.
void addBeside(QFileDialog &dialog, QWidget *pane)
{
    if (auto *grid = qobject_cast<QGridLayout *>(dialog.layout()))
        grid->addWidget(pane, 0, grid->columnCount(), grid->rowCount(), 1);
    else
        dialog.layout()->addWidget(pane);
}

} // namespace

OpenPictureDialog::OpenPictureDialog(QWidget *parent)
    : runModal([](QFileDialog &dialog) { return dialog.exec() == QDialog::Accepted; })
    , runPreview([](QDialog &window) { window.exec(); })
    , state_(std::make_unique<State>())
{
    State &s = *state_;
    s.filters = pictureNameFilters();
    s.dialog = new QFileDialog(parent);
    configure(*s.dialog, s.filters);
    fitDetailColumns(*s.dialog);
    addBeside(*s.dialog, makePreviewPane());
    connectPreview();
}

QWidget *OpenPictureDialog::makePreviewPane()
{
    State &s = *state_;
    auto *pane = new QWidget(s.dialog.data());
    pane->setObjectName(QStringLiteral("previewPane"));
    pane->setFixedWidth(kPaneWidth);
    auto *column = new QVBoxLayout(pane);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(captionLine(s.caption, s.button, pane));
    s.box = new PreviewBox(pane);
    column->addWidget(s.box, 1);
    s.frameOnMoon = new QCheckBox(QStringLiteral("Cadrer sur la Lune"), pane);
    s.frameOnMoon->setObjectName(QStringLiteral("cadrerlune"));
    column->addWidget(s.frameOnMoon);
    return pane;
}

void OpenPictureDialog::connectPreview()
{
    State &s = *state_;
    const auto openPreview = [this] {
        if (const auto window = makePreviewWindow())
            runPreview(*window);
    };
    QObject::connect(s.button, &QToolButton::clicked, s.dialog.data(), openPreview);
    s.box->doubleClicked = openPreview;
    QObject::connect(s.dialog.data(),
        &QFileDialog::currentChanged,
        s.dialog.data(),
        [this](const QString &file) { showFile(file); });
}

OpenPictureDialog::~OpenPictureDialog()
{
    delete state_->dialog.data();
}

bool OpenPictureDialog::execute()
{
    State &s = *state_;
    showFile(QString());
    s.dialog->selectNameFilter(s.filters.value(s.filterIndex - 1));
    // Like the file name, the box shows the last confirmed choice, not what a cancel left.
    s.frameOnMoon->setChecked(s.frameOnMoonChosen);
    if (s.fileName.isEmpty()) {
        // Whatever a cancelled visit left typed in goes; nothing was confirmed yet.
        if (auto *edit = s.dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            edit->clear();
    } else {
        s.dialog->selectFile(s.fileName);
    }
    const bool confirmed = runModal(*s.dialog);
    // A name typed and confirmed with Return while the completion list is open leaves that
    // list on screen after the dialog hides; it would sit over the main window and swallow
    // the next click there.
    if (auto *edit = s.dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        if (QCompleter *completer = edit->completer())
            completer->popup()->hide();
    showFile(QString()); // the preview's picture is not kept beyond the dialog
    const QStringList files = s.dialog->selectedFiles();
    if (!confirmed || files.isEmpty() || files.first().isEmpty())
        return false;
    s.fileName = files.first();
    s.filterIndex = static_cast<int>(s.filters.indexOf(s.dialog->selectedNameFilter())) + 1;
    if (s.filterIndex < 1)
        s.filterIndex = 1;
    s.frameOnMoonChosen = s.frameOnMoon->isChecked();
    return true;
}

QString OpenPictureDialog::fileName() const
{
    return state_->fileName;
}

int OpenPictureDialog::filterIndex() const
{
    return state_->filterIndex;
}

bool OpenPictureDialog::frameOnMoon() const
{
    return state_->frameOnMoonChosen;
}

QFileDialog &OpenPictureDialog::fileDialog() const
{
    return *state_->dialog;
}

void OpenPictureDialog::showFile(const QString &fileName)
{
    State &s = *state_;
    std::unique_ptr<Picture> picture;
    // Only existing regular files are tried, and every failure is silent: the pane is a
    // convenience, the load after confirming reports what is wrong.
    if (!fileName.isEmpty() && QFileInfo(fileName).isFile()) {
        try {
            picture = readPictureFile(fileName);
            // A JPEG whose header reads is loaded, as it would be into the picture area; data
            // that fail to decode leave what was decoded to show, and say nothing here.
            (void)picture->prepare();
        } catch (const std::exception &) {
            picture.reset();
        }
    }
    s.shownName =
        picture ? QFileInfo(fileName).fileName() + caption(picture->naturalSize()) : QString();
    s.box->setPicture(picture.get(), s.shownName);
    s.picture = std::move(picture);
    s.caption->setText(s.picture ? caption(s.picture->naturalSize()) : QStringLiteral("Picture:"));
    s.button->setEnabled(s.picture != nullptr);
}

const Picture *OpenPictureDialog::previewPicture() const
{
    return state_->picture.get();
}

std::unique_ptr<QDialog> OpenPictureDialog::makePreviewWindow() const
{
    const State &s = *state_;
    if (!s.picture)
        return nullptr;
    auto window = std::make_unique<QDialog>(s.dialog.data(), Qt::Tool);
    window->setObjectName(QStringLiteral("previewWindow"));
    window->setWindowTitle(QStringLiteral("Preview"));
    window->setModal(true);
    auto *layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new PreviewCanvas(s.picture->clone(), s.shownName, window.get()));

    const QScreen *screen = s.dialog->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int extra = 2 * (kWindowMargin + kWindowBorder);
    const QSize natural = s.picture->naturalSize();
    const QSize client(std::min(natural.width() + extra, available.width() * 3 / 4),
        std::min(natural.height() + extra, available.height() * 3 / 4));
    window->resize(client);
    window->move(available.center() - QPoint(client.width() / 2, client.height() / 2));
    return window;
}

} // namespace view
