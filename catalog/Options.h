#pragma once

#include "catalog/DefaultPort.h"
#include "catalog/Scanner.h"

#include <optional>
#include <string>
#include <vector>

// The command line and environment of kolvadeck-catalog.
struct Options {
    enum class Mode {
        ServeAndScan, // serve at once and scan in the background (default)
        ScanThenServe,
        ServeOnly,
        ScanOnly,
    };
    Mode mode = Mode::ServeAndScan;
    std::string bind = "127.0.0.1";
    int port = kDefaultCatalogPort;
    std::string database;
    ScanFolders folders;
    bool help = false;
};

inline constexpr const char* kUsage =
    "Usage: kolvadeck-catalog [options]\n"
    "Serves searches over your own music and videos to Kolvadeck.\n"
    "  --port N            port to listen on (default 8098; 0 picks a free one)\n"
    "  --bind ADDRESS      address to listen on (default 127.0.0.1, loopback only)\n"
    "  --database FILE     catalogue file (default $XDG_DATA_HOME/Kolvadeck/catalog.sqlite,\n"
    "                      or $KOLVADECK_CATALOG_DB)\n"
    "  --music DIR         a further music folder (repeatable; also $KOLVADECK_MUSIC_DIRS,\n"
    "                      colon-separated)\n"
    "  --videos DIR        a further video folder (repeatable; also $KOLVADECK_VIDEO_DIRS)\n"
    "  --no-default-folders  leave out the XDG music and videos folders\n"
    "  --scan-only         scan the folders into the catalogue and exit\n"
    "  --scan-first        scan, then serve\n"
    "  --no-scan           serve the catalogue as it is\n"
    "  --help              this text\n"
    "By default it serves at once and scans the folders in the background.\n"
    "Prints \"listening on http://ADDRESS:PORT\" on standard output once it serves.\n";

// Nothing (and a message in error) when the arguments are not understood.
std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string& error);

// The XDG user folder of that kind ("MUSIC", "VIDEOS"): $XDG_<KIND>_DIR, else
// user-dirs.dirs, else ~/Music or ~/Videos. Empty when it is the home folder
// itself (the XDG way of saying "none") or there is no home.
std::string xdgUserFolder(const std::string& kind);

// $XDG_DATA_HOME/Kolvadeck/catalog.sqlite (~/.local/share when unset).
std::string defaultDatabasePath();
