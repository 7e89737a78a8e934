// Pictures dropped on the main window: the file manager's way of choosing a photograph.
#include "app/dropping.h"

#include "app/form1.h"

#include <QApplication>
#include <QDropEvent>
#include <QEvent>
#include <QMimeData>
#include <QObject>
#include <QTimer>
#include <QWidget>

std::optional<QString> droppedFile(const QList<QUrl> &urls)
{
    if (urls.size() != 1)
        return std::nullopt;
    const QUrl &url = urls.front();
    // A file:// address naming another host is a network share seen through the file manager,
    // not a file this program can open by its path.
    if (!url.isLocalFile())
        return std::nullopt;
    QUrl local = url;
    if (local.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        local.setHost(QString());
    if (!local.host().isEmpty())
        return std::nullopt;
    const QString path = local.toLocalFile();
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

namespace {

class PictureDrop : public QObject {
public:
    explicit PictureDrop(TForm1 &form)
        : QObject(&form)
        , form_(form)
    { }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
            return QObject::eventFilter(watched, event);
        // QDragEnterEvent and QDragMoveEvent are drop events too.
        auto *drop = static_cast<QDropEvent *>(event);
        // Text dragged onto an edit stays the edit's business.
        if (!drop->mimeData() || !drop->mimeData()->hasUrls())
            return false;
        const std::optional<QString> file = droppedFile(drop->mimeData()->urls());
        // Only a copy is taken: accepting a move would let the file manager delete the file.
        // While a message box or the open dialog is up the window takes no input, drops
        // included.
        if (!file || !(drop->possibleActions() & Qt::CopyAction)
            || QApplication::activeModalWidget()) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        if (type == QEvent::Drop)
            open(*file);
        return true;
    }

private:
    void open(const QString &file)
    {
        // After the drop has returned: a failure's message box must not hold the file manager
        // inside its drag until the user closes it.
        TForm1 *form = &form_;
        QTimer::singleShot(
            0, form, [form, file] { form->guarded([form, &file] { form->openPicture(file); }); });
    }

    TForm1 &form_;
};

} // namespace

void acceptDroppedPictures(TForm1 &form)
{
    auto *filter = new PictureDrop(form);
    form.setAcceptDrops(true);
    form.installEventFilter(filter);
    // Edits and texts take drops of their own and would paste the file's address as text, so
    // the filter sits on every widget of the window, ahead of their handlers. The open dialog is
    // a window of its own and keeps its drops.
    for (QWidget *widget : form.findChildren<QWidget *>()) {
        if (widget->window() == &form)
            widget->installEventFilter(filter);
    }
}
