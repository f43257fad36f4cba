// Saves a picture of every screen of the running X display, one PNG per screen: <prefix>-<n>.png.
// Used for screenshots of walls under Xvfb, where no screenshot program may be installed.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    const QString prefix = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString("shot");
    int n = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        const QString path = prefix + "-" + QString::number(n++) + ".png";
        if (!screen->grabWindow(0, g.x(), g.y(), g.width(), g.height()).save(path)) {
            std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s\n", qPrintable(path));
    }
    return 0;
}
