#include "app/CatalogService.h"
#include "app/CloseOnSignal.h"
#include "app/ExitWatchdog.h"
#include "app/MainWindow.h"
#include "app/MprisService.h"
#include "app/PngImage.h"
#include "app/WindowStyle.h"
#include "catalog/DefaultPort.h"
#include "decks/Playlist.h"
#include "platform/Version.h"
#include "platform/audio/UnderrunLog.h"
#include "search/MusicLibrary.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLoggingCategory>
#include <QPixmap>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <cstring>

namespace {
constexpr const char* kUsage =
    "Usage: kolvadeck [option...] [file...]\n"
    "A two-deck DJ player: the playlist plays in turn with a ten-second cross-fade.\n"
    "\n"
    "Files (MP3, FLAC, Ogg Vorbis, Opus, WAV, AIFF, M4A/AAC) are added to the\n"
    "playlist; when Kolvadeck already runs, to the playlist of that one, and this\n"
    "start ends there.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -v, --version  show the version and exit\n"
    "  --verbose      also log the sound output's underruns as they happen and\n"
    "                 the hand-over planned for each pair of tracks\n"
    "  --             the arguments after it are files, whatever their names\n"
    "\n"
    "The Qt options (-platform, -style, ...) are understood as well.\n";

// --help and --version, looked for before anything starts: they print and
// leave the display, the mixer and the sound devices alone.
bool isInfoOption(const char* arg, const char* shortName, const char* longName) {
    return std::strcmp(arg, shortName) == 0 || std::strcmp(arg, longName) == 0;
}

int infoOption(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (isInfoOption(argv[i], "-h", "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (isInfoOption(argv[i], "-v", "--version")) {
            std::printf("%s\n", kv::kWindowCaption);
            return 0;
        }
    }
    return -1;
}

// The files of the command line (after Qt took its own options) as absolute
// paths; false, with a message, for an option the program does not know.
bool fileArguments(QStringList* files) {
    QStringList args = QApplication::arguments();
    args.removeFirst();
    bool onlyFiles = false;
    for (const QString& arg : args) {
        const bool option = !onlyFiles && arg.size() > 1 && arg.startsWith(QLatin1Char('-'));
        if (option && arg == QLatin1String("--")) {
            onlyFiles = true;
        } else if (option && arg != QLatin1String("--verbose")) {
            std::fprintf(stderr, "kolvadeck: unknown option %s (see kolvadeck --help)\n",
                         qPrintable(arg));
            return false;
        } else if (!option) {
            const QUrl url(arg);
            const QString path = url.isLocalFile() ? url.toLocalFile() : arg;
            const QFileInfo file(path);
            if (file.isFile())
                files->append(file.absoluteFilePath());
            else
                std::fprintf(stderr, "kolvadeck: %s: no such file\n", qPrintable(arg));
        }
    }
    return true;
}
} // namespace

int main(int argc, char** argv) {
    if (const int status = infoOption(argc, argv); status >= 0)
        return status;
    QApplication app(argc, argv);
    QStringList files;
    if (!fileArguments(&files))
        return 2;
    if (!files.isEmpty()) {
        QString why;
        switch (MprisService::handToRunningPlayer(files, &why)) {
        case MprisService::HandOver::Taken:
            return 0;
        case MprisService::HandOver::Failed:
            std::fprintf(stderr, "kolvadeck: the running Kolvadeck did not take the files: %s\n",
                         qPrintable(why));
            return 1;
        case MprisService::HandOver::NoneRunning:
            break;
        }
    }
    QApplication::setApplicationName(QStringLiteral("Kolvadeck"));
    QApplication::setDesktopFileName(QStringLiteral("kolvadeck"));
    // Fusion honours the window's own palette (black with light blue text).
    QApplication::setStyle(new WindowStyle);
    // Declared first so that it watches every teardown below it.
    ExitWatchdog exitWatchdog;

    // --verbose also shows the sound output's underruns as they happen, and
    // each pair's planned hand-over.
    const bool verbose = QApplication::arguments().contains(QStringLiteral("--verbose"));
    audio::UnderrunLog underrunLog(verbose);
    if (verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("kolvadeck.app.debug=true"));
    CloseOnSignal closeOnSignal;
    CatalogService catalog;

    MainWindow form;
    closeOnSignal.setWindow(&form);
    // A search that finds the bundled catalogue gone starts it again once.
    form.musicLibrary()->setReconnect([&catalog](std::function<void()> retry) {
        return catalog.revive(kDefaultCatalogPort, std::move(retry));
    });
    // No query leaves for the built-in catalogue's port until whoever holds
    // it is known not to be a stranger (another program or user).
    if (qEnvironmentVariableIsEmpty("KOLVADECK_SEARCH_HOST"))
        form.musicLibrary()->setSendCheck([&catalog](auto send) {
            catalog.findPortHolder(kDefaultCatalogPort, [send](CatalogService::Port holder) {
                send(holder == CatalogService::Port::HeldByOther
                         ? QObject::tr("The Music Library's catalogue could not start: another "
                                       "program holds its port (127.0.0.1:%1). No search was "
                                       "sent to it.")
                               .arg(kDefaultCatalogPort)
                         : QString());
            });
        });
    std::vector<std::string> paths;
    for (const QString& file : files)
        paths.push_back(QFile::encodeName(file).toStdString());
    form.playlist()->addDroppedFiles(paths);
    form.showMaximized();
    // Once the window is up: the catalogue is a process of its own that would
    // compete with the window for the processor while it shows, and the
    // 256-pixel icon takes a few milliseconds to decode.
    QTimer::singleShot(0, [&catalog] {
        catalog.startIfDefault();
        QApplication::setWindowIcon(
            QIcon(QPixmap::fromImage(readPng(QStringLiteral(":/kolvadeck.png")))));
    });
    const int status = QApplication::exec(); // wait-ok: the program's own event loop
    exitWatchdog.arm(std::chrono::seconds(8), status);
    return status;
}
