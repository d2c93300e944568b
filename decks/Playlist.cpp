#include "decks/Playlist.h"

#include "decks/PlaylistItems.h"
#include "decks/tags/MP3Works.h"
#include "platform/Ansi1252.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"

#include <QFile>
#include <QTreeWidget>
#include <cstring>

namespace {
// Field text as the list shows it: up to the first zero byte (the list control
// ends text there), then without trailing bytes of code 32 or below.
std::string CleanField(const std::string& field) {
    std::string text = field.substr(0, std::strlen(field.c_str()));
    size_t end = text.size();
    while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    text.resize(end);
    return text;
}

bool HasMp3Ending(const std::string& path) {
    const size_t length = std::strlen(path.c_str());
    return length >= 4 && path.compare(length - 4, 4, ".mp3") == 0;
}
} // namespace

std::optional<QString> TrackTitleFromTag(const std::string& path) {
    const TitleTag tag = ReadTitleTag(path);
    // A file without the tag marker carries no ID3v1 tag: its last bytes are
    // audio, not names, so the row shows the file name instead.
    if (tag.marker != "TAG")
        return std::nullopt;
    return AnsiToQString(CleanField(tag.artist) + " - " + CleanField(tag.title));
}

std::string FileNamePart(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

TPlaylist::TPlaylist(QTreeWidget* listView, QWidget* parent)
    : QObject(listView)
    , ListView1(listView)
    , dialogParent(parent) {}

std::optional<QString> TPlaylist::RowTitle(const std::string& path) {
    if (!HasMp3Ending(path))
        return std::nullopt;
    std::optional<QString> title;
    try {
        title = TrackTitleFromTag(path);
    } catch (const std::exception&) {
    }
    if (!title)
        title = QFile::decodeName(QByteArray::fromStdString(FileNamePart(path)));
    return title;
}

bool TPlaylist::AddFile(const std::string& path) {
    const std::optional<QString> title = RowTitle(path);
    if (!title)
        return false;
    playlist::Insert(ListView1, playlist::Count(ListView1), path, *title);
    return true;
}

void TPlaylist::AddTracks1Click() {
    dialogs::Request request;
    request.title = tr("Add Tracks");
    request.filter = QStringLiteral("*.mp3");
    request.defaultSuffix = QStringLiteral("mp3");
    request.fileName = QStringLiteral("*.mp3");
    request.multiSelect = true;
    for (const QString& file : dialogs::GetOpenFileNames(request, dialogParent))
        AddFile(QFile::encodeName(file).toStdString());
}

void TPlaylist::remove1Click() {
    const int i = playlist::SelectedIndex(ListView1);
    if (i >= 0)
        playlist::RemoveAt(ListView1, i);
}

void TPlaylist::Move1Click() {
    const int i = playlist::SelectedIndex(ListView1);
    if (i <= 0)
        return;
    const std::string path = playlist::PathAt(ListView1, i);
    const QString title = playlist::TitleAt(ListView1, i);
    playlist::Insert(ListView1, i - 1, path, title);
    playlist::RemoveAt(ListView1, i + 1);
    playlist::Select(ListView1, i - 1);
}

void TPlaylist::Move2Click() {
    const int i = playlist::SelectedIndex(ListView1);
    if (i < 0 || i >= playlist::Count(ListView1) - 1)
        return;
    const std::string path = playlist::PathAt(ListView1, i);
    const QString title = playlist::TitleAt(ListView1, i);
    playlist::Insert(ListView1, i + 2, path, title);
    playlist::RemoveAt(ListView1, i);
    playlist::Select(ListView1, i + 1);
}

void TPlaylist::ListView1KeyPress(QChar key) {
    if (key == QLatin1Char('-'))
        Move1Click();
    else if (key == QLatin1Char('+'))
        Move2Click();
}

void TPlaylist::WMDROPFILES(const std::vector<std::string>& paths) {
    for (const std::string& path : paths)
        if (shell::IsExistingFile(path))
            AddFile(path);
}

void TPlaylist::update_tracklist() {
    std::vector<std::string> paths;
    const int count = playlist::Count(ListView1);
    paths.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        paths.push_back(playlist::PathAt(ListView1, i));
    PathList = std::move(paths);
    playlist::Clear(ListView1);
    // The same rows AddFile would append one by one, added to the list at once.
    std::vector<playlist::Row> rows;
    rows.reserve(PathList.size());
    for (const std::string& path : PathList)
        if (std::optional<QString> title = RowTitle(path))
            rows.push_back({path, std::move(*title)});
    playlist::Append(ListView1, rows);
}
