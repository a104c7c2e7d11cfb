// Saves what the X server's screen shows as a PNG: screen_grab PATH.
// Run with DISPLAY set; exit 0 when the file was written.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication application(argc, argv);
    if (argc != 2 || !QGuiApplication::primaryScreen())
        return 2;
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    return !screen.isNull() && screen.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
