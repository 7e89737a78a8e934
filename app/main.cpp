#include "app/form1.h"
#include "app/widgets.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The name, not the display name: Qt would append a display name to every window title,
    // and the main window's caption is its own.
    QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
    // Ties the windows to the installed menu entry korvalen.desktop (its icon on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("korvalen"));
    QApplication::setStyle(new ToolTipTiming);
    TForm1 form;
    QApplication::setWindowIcon(form.windowIcon());
    form.show();
    return application.exec();
}
