// The reference for bench_startup: the least a Qt 6 Widgets program does to
// show a main window, started the way the program is started.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.showMaximized();
    return QApplication::exec();
}
