#include "app/CatalogService.h"
#include "app/CloseOnSignal.h"
#include "app/ExitWatchdog.h"
#include "app/MainWindow.h"
#include "app/PngImage.h"
#include "app/WindowStyle.h"
#include "catalog/DefaultPort.h"
#include "platform/audio/UnderrunLog.h"
#include "search/MusicLibrary.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kolvadeck"));
    QApplication::setDesktopFileName(QStringLiteral("kolvadeck"));
    // Fusion honours the window's own palette (black with light blue text).
    QApplication::setStyle(new WindowStyle);
    // Declared first so that it watches every teardown below it.
    ExitWatchdog exitWatchdog;

    // --verbose also shows the sound output's underruns as they happen.
    audio::UnderrunLog underrunLog(QApplication::arguments().contains(QStringLiteral("--verbose")));
    CloseOnSignal closeOnSignal;
    CatalogService catalog;

    MainWindow form;
    closeOnSignal.SetWindow(&form);
    // A search that finds the bundled catalogue gone starts it again once.
    form.musicLibrary->SetReconnect([&catalog](std::function<void()> retry) {
        return catalog.Revive(kDefaultCatalogPort, std::move(retry));
    });
    // No query leaves for the built-in catalogue's port until whoever holds
    // it is known not to be a stranger (another program or user).
    if (qEnvironmentVariableIsEmpty("KOLVADECK_SEARCH_HOST"))
        form.musicLibrary->SetSendCheck([&catalog](auto send) {
            catalog.FindPortHolder(kDefaultCatalogPort, [send](CatalogService::Port holder) {
                send(holder == CatalogService::Port::HeldByOther
                         ? QObject::tr("The Music Library's catalogue could not start: another "
                                       "program holds its port (127.0.0.1:%1). No search was "
                                       "sent to it.")
                               .arg(kDefaultCatalogPort)
                         : QString());
            });
        });
    form.showMaximized();
    // Once the window is up: the catalogue is a process of its own that would
    // compete with the window for the processor while it shows, and the
    // 256-pixel icon takes a few milliseconds to decode.
    QTimer::singleShot(0, [&catalog] {
        catalog.StartIfDefault();
        QApplication::setWindowIcon(
            QIcon(QPixmap::fromImage(ReadPng(QStringLiteral(":/kolvadeck.png")))));
    });
    const int status = QApplication::exec();
    exitWatchdog.Arm(std::chrono::seconds(8), status);
    return status;
}
