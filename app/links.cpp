// The two web links of the window: the logo and the button "Compléments: Chez Tavelin".
#include "app/links.h"

#include "app/form1.h"
#include "measure/texts.h"

#include <QDesktopServices>

namespace links {

UrlOpener desktopOpener()
{
    // The desktop starts the browser detached (xdg-open and the like), so nothing waits here.
    return [](const QUrl &url) {
        return QDesktopServices::openUrl(url);
    };
}

QUrl completedUrl(const QString &address)
{
    return QUrl(QString::fromStdString(measure::completeAddress(address.toStdString())));
}

} // namespace links

void TForm1::onlogodown(Qt::MouseButton button, Qt::KeyboardModifiers, bool doubleClick, QPoint)
{
    // A click on the logo is a press of the left button; the second press of a double click
    // does not open the page a second time.
    if (button == Qt::LeftButton && !doubleClick)
        ontavclick();
}

bool TForm1::openurl(const QString &address)
{
    // The browser starts on its own; when none can, the desktop may say so, the program doesn't.
    return effects.openUrl(links::completedUrl(address));
}

void TForm1::ontavclick()
{
    openurl(QString::fromUtf8(links::kHomePage));
}

void TForm1::Button5Click()
{
    openurl(QString::fromUtf8(links::kLunarMountainsPage));
}
