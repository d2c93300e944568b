#include "catalog/Options.h"

#include <charconv>
#include <cstdlib>
#include <fstream>

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::vector<std::string> splitColons(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(':', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string home() {
    return environment("HOME");
}

std::string configHome() {
    const std::string xdg = environment("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.front() == '/')
        return xdg;
    return home().empty() ? std::string() : home() + "/.config";
}

// Reads XDG_<KIND>_DIR="$HOME/Music" from user-dirs.dirs.
std::string fromUserDirsFile(const std::string& kind) {
    std::ifstream file(configHome() + "/user-dirs.dirs");
    const std::string key = "XDG_" + kind + "_DIR=\"";
    std::string line;
    while (std::getline(file, line)) {
        if (!line.starts_with(key) || line.size() < key.size() + 1 || line.back() != '"')
            continue;
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.starts_with("$HOME"))
            value = home() + value.substr(5);
        return value.empty() || value.front() != '/' ? std::string() : value;
    }
    return {};
}

bool sameFolder(std::string a, std::string b) {
    while (a.size() > 1 && a.back() == '/')
        a.pop_back();
    while (b.size() > 1 && b.back() == '/')
        b.pop_back();
    return a == b;
}

} // namespace

std::string xdgUserFolder(const std::string& kind) {
    std::string folder = environment(("XDG_" + kind + "_DIR").c_str());
    if (folder.empty())
        folder = fromUserDirsFile(kind);
    if (folder.empty() && !home().empty())
        folder = home() + (kind == "MUSIC" ? "/Music" : "/Videos");
    if (folder.empty() || sameFolder(folder, home()))
        return {};
    return folder;
}

std::string defaultDatabasePath() {
    const std::string fromEnvironment = environment("KOLVADECK_CATALOG_DB");
    if (!fromEnvironment.empty())
        return fromEnvironment;
    std::string dataHome = environment("XDG_DATA_HOME");
    if (dataHome.empty() || dataHome.front() != '/')
        dataHome = home() + "/.local/share";
    return dataHome + "/Kolvadeck/catalog.sqlite";
}

std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string& error) {
    Options options;
    bool defaultFolders = true;
    std::vector<std::string> music;
    std::vector<std::string> videos;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= arguments.size()) {
                error = argument + " needs a value";
                return std::nullopt;
            }
            return arguments[++i];
        };
        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--port") {
            const auto text = value();
            if (!text)
                return std::nullopt;
            int port = -1;
            const auto [end, failure] =
                std::from_chars(text->data(), text->data() + text->size(), port);
            if (failure != std::errc() || end != text->data() + text->size() || port < 0 ||
                port > 65535) {
                error = "not a port: " + *text;
                return std::nullopt;
            }
            options.port = port;
        } else if (argument == "--bind") {
            const auto text = value();
            if (!text)
                return std::nullopt;
            options.bind = *text;
        } else if (argument == "--database") {
            const auto text = value();
            if (!text)
                return std::nullopt;
            options.database = *text;
        } else if (argument == "--music" || argument == "--videos") {
            const auto text = value();
            if (!text)
                return std::nullopt;
            (argument == "--music" ? music : videos).push_back(*text);
        } else if (argument == "--no-default-folders") {
            defaultFolders = false;
        } else if (argument == "--scan-only") {
            options.mode = Options::Mode::ScanOnly;
        } else if (argument == "--scan-first") {
            options.mode = Options::Mode::ScanThenServe;
        } else if (argument == "--no-scan") {
            options.mode = Options::Mode::ServeOnly;
        } else {
            error = "unknown option: " + argument;
            return std::nullopt;
        }
    }
    if (options.database.empty())
        options.database = defaultDatabasePath();
    if (defaultFolders) {
        if (const std::string folder = xdgUserFolder("MUSIC"); !folder.empty())
            options.folders.music.push_back(folder);
        if (const std::string folder = xdgUserFolder("VIDEOS"); !folder.empty())
            options.folders.videos.push_back(folder);
    }
    for (const std::string& folder : splitColons(environment("KOLVADECK_MUSIC_DIRS")))
        options.folders.music.push_back(folder);
    for (const std::string& folder : splitColons(environment("KOLVADECK_VIDEO_DIRS")))
        options.folders.videos.push_back(folder);
    options.folders.music.insert(options.folders.music.end(), music.begin(), music.end());
    options.folders.videos.insert(options.folders.videos.end(), videos.begin(), videos.end());
    return options;
}
