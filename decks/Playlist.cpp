#include "decks/Playlist.h"

#include "decks/PlaylistItems.h"
#include "decks/tags/QuickTag.h"
#include "platform/Ansi1252.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "platform/audio/TrackDecoder.h"

#include <QFile>
#include <QPointer>
#include <QStringList>
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

// The name as the file system sees it ends at the first zero byte.
std::string NameBeforeZero(const std::string& path) {
    return std::string(path.c_str());
}

// The add-tracks dialog's filter: every playable extension, in lower and
// upper case, since the dialog's filter may compare case.
QString SoundFileFilter() {
    QStringList patterns;
    for (const char* ext :
         {"mp3", "flac", "ogg", "oga", "opus", "wav", "aif", "aiff", "m4a", "aac"})
        patterns << QStringLiteral("*.") + QLatin1String(ext)
                 << QStringLiteral("*.") + QString::fromLatin1(ext).toUpper();
    return QObject::tr("Sound files (%1)").arg(patterns.join(QLatin1Char(' ')));
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

Playlist::Playlist(QWidget* parent)
    : dialogParent(parent) {}

Playlist::~Playlist() = default;

int Playlist::SelectedIndex() const {
    return playlist::SelectedIndex(selection_);
}

void Playlist::Select(int i) {
    playlist::Select(selection_, i);
}

void Playlist::MarkPlayable(int i) {
    items_.SetPlayability(i, Playability::Playable);
}

void Playlist::MarkUnplayable(int i, const QString& reason) {
    items_.SetPlayability(i, Playability::Unplayable, reason);
}

std::optional<Playlist::FirstTitle> Playlist::RowTitle(const std::string& path) {
    const std::string name = NameBeforeZero(path);
    if (!audio::IsPlayableExtension(name))
        return std::nullopt;
    const QString fileName = QFile::decodeName(QByteArray::fromStdString(FileNamePart(path)));
    // Every other format is named by its own tags (Vorbis comments, MP4
    // atoms, ID3v2, RIFF INFO) through TagLib, later and off this thread.
    if (!audio::IsMp3Extension(name))
        return FirstTitle{fileName, true};
    // MP3 files are named by their ID3v1 tag: 128 bytes, read at once.
    std::optional<QString> title;
    try {
        title = TrackTitleFromTag(path);
    } catch (const std::exception&) {
    }
    return FirstTitle{title.value_or(fileName), false};
}

void Playlist::AppendRows(const std::vector<std::string>& paths) {
    std::vector<PlaylistEntry> rows;
    std::vector<bool> readTags;
    rows.reserve(paths.size());
    for (const std::string& path : paths)
        if (std::optional<FirstTitle> first = RowTitle(path)) {
            rows.push_back({path, std::move(first->title), Playability::Untried, {}, 0});
            readTags.push_back(first->readTags);
        }
    const int start = items_.Count();
    items_.Append(std::move(rows));
    for (std::size_t i = 0; i < readTags.size(); ++i)
        if (readTags[i]) {
            const PlaylistEntry& row = items_.At(start + int(i));
            titles_.Request(row.id, row.path);
        }
}

bool Playlist::addFile(const std::string& path) {
    if (path.find_first_of("\r\n") != std::string::npos) {
        QString name = QFile::decodeName(QByteArray::fromStdString(path));
        name.replace(QLatin1Char('\r'), QChar(0x21B5)).replace(QLatin1Char('\n'), QChar(0x21B5));
        dialogs::ShowMessage(tr("This file is not added: its name holds a line break, which "
                                "a playlist file cannot keep.\n%1")
                                 .arg(name),
                             dialogParent);
        return false;
    }
    if (!audio::IsPlayableExtension(NameBeforeZero(path)))
        return false;
    AppendRows({path});
    return true;
}

void Playlist::addTracks() {
    dialogs::Request request;
    request.title = tr("Add Tracks");
    request.filter = SoundFileFilter();
    request.defaultSuffix = QStringLiteral("mp3");
    request.multiSelect = true;
    request.folderKey = QStringLiteral("tracks");
    dialogs::GetOpenFileNames(request, dialogParent,
                              [self = QPointer<Playlist>(this)](const QStringList& files) {
                                  for (const QString& file : files)
                                      if (self)
                                          self->addFile(QFile::encodeName(file).toStdString());
                              });
}

void Playlist::removeSelected() {
    const int i = SelectedIndex();
    if (i >= 0)
        items_.RemoveAt(i);
}

// A moved item keeps what the decks found out about it.
void Playlist::moveUp() {
    const int i = SelectedIndex();
    if (i <= 0)
        return;
    items_.Insert(i - 1, items_.At(i));
    items_.RemoveAt(i + 1);
    Select(i - 1);
}

void Playlist::moveDown() {
    const int i = SelectedIndex();
    if (i < 0 || i >= Count() - 1)
        return;
    items_.Insert(i + 2, items_.At(i));
    items_.RemoveAt(i);
    Select(i + 1);
}

void Playlist::onViewKeyPress(QChar key) {
    if (key == QLatin1Char('-'))
        moveUp();
    else if (key == QLatin1Char('+'))
        moveDown();
}

void Playlist::addDroppedFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths)
        if (shell::IsExistingFile(path))
            addFile(path);
}

// Rebuilt items start untried: the decks find out afresh whether they play.
void Playlist::refreshTitles() {
    std::vector<std::string> paths;
    paths.reserve(static_cast<size_t>(Count()));
    for (int i = 0; i < Count(); ++i)
        paths.push_back(PathAt(i));
    PathList = std::move(paths);
    items_.Clear();
    // The same rows addFile would append one by one, added to the list at once.
    AppendRows(PathList);
}
