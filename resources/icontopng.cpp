// Build tool: writes the window's 32 px icon as the PNG that the icon theme wants, so the
// menu shows the very picture the window and the task bar carry.
#include <QImage>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: icontopng ICON.xpm OUT.png\n");
        return 2;
    }
    const QImage icon(QString::fromLocal8Bit(argv[1]));
    if (icon.isNull() || !icon.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "icontopng: cannot convert %s\n", argv[1]);
        return 1;
    }
    return 0;
}
