#include "app/CatalogService.h"
#include "app/CloseOnSignal.h"
#include "app/ExitWatchdog.h"
#include "app/MainWindow.h"
#include "app/WindowStyle.h"
#include "catalog/DefaultPort.h"
#include "platform/audio/UnderrunLog.h"
#include "search/MusicLibrary.h"

#include <QApplication>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kolvadeck"));
    QApplication::setDesktopFileName(QStringLiteral("kolvadeck"));
    // Read as PNG only: sniffing the format would load every image plugin.
    QImageReader iconReader(QStringLiteral(":/kolvadeck.png"), "png");
    iconReader.setAutoDetectImageFormat(false);
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(iconReader.read())));
    // Fusion honours the window's own palette (black with light blue text).
    QApplication::setStyle(new WindowStyle);
    // Declared first so that it watches every teardown below it.
    ExitWatchdog exitWatchdog;

    // --verbose also shows the sound output's underruns as they happen.
    audio::UnderrunLog underrunLog(QApplication::arguments().contains(QStringLiteral("--verbose")));
    CloseOnSignal closeOnSignal;
    CatalogService catalog;
    catalog.StartIfDefault();

    MainWindow form;
    closeOnSignal.SetWindow(&form);
    // A search that finds the bundled catalogue gone starts it again once.
    form.musicLibrary->SetReconnect([&catalog](std::function<void()> retry) {
        return catalog.Revive(kDefaultCatalogPort, std::move(retry));
    });
    form.showMaximized();
    const int status = QApplication::exec();
    exitWatchdog.Arm(std::chrono::seconds(8), status);
    return status;
}
