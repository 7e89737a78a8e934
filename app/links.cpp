#include "app/links.h"

#include "measure/texts.h"

#include <QDesktopServices>

namespace links {

UrlOpener desktopOpener()
{
    // The desktop starts the browser detached (xdg-open and the like), so nothing waits here.
    return [](const QUrl &url) { return QDesktopServices::openUrl(url); };
}

QUrl completedUrl(const QString &address)
{
    return QUrl(QString::fromStdString(measure::completeAddress(address.toStdString())));
}

} // namespace links
