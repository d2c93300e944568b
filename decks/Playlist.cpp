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
std::string cleanField(const std::string& field) {
    std::string text = field.substr(0, std::strlen(field.c_str()));
    size_t end = text.size();
    while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    text.resize(end);
    return text;
}

// The name as the file system sees it ends at the first zero byte.
std::string nameBeforeZero(const std::string& path) {
    return std::string(path.c_str());
}

// The add-tracks dialog's filter: every playable extension, in lower and
// upper case, since the dialog's filter may compare case.
QString soundFileFilter() {
    QStringList patterns;
    for (const char* ext :
         {"mp3", "flac", "ogg", "oga", "opus", "wav", "aif", "aiff", "m4a", "aac"})
        patterns << QStringLiteral("*.") + QLatin1String(ext)
                 << QStringLiteral("*.") + QString::fromLatin1(ext).toUpper();
    return QObject::tr("Sound files (%1)").arg(patterns.join(QLatin1Char(' ')));
}
} // namespace

std::optional<QString> trackTitleFromTag(const std::string& path) {
    const TitleTag tag = readTitleTag(path);
    // A file without the tag marker carries no ID3v1 tag: its last bytes are
    // audio, not names, so the row shows the file name instead.
    if (tag.marker != "TAG")
        return std::nullopt;
    return ansiToQString(cleanField(tag.artist) + " - " + cleanField(tag.title));
}

std::string fileNamePart(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

Playlist::Playlist(QWidget* parent)
    : dialogParent(parent) {}

Playlist::~Playlist() = default;

int Playlist::selectedIndex() const {
    return playlist::selectedIndex(selection_);
}

void Playlist::select(int i) {
    playlist::select(selection_, i);
}

void Playlist::markPlayable(int i) {
    items_.setPlayability(i, Playability::Playable);
}

void Playlist::markUnplayable(int i, const QString& reason) {
    items_.setPlayability(i, Playability::Unplayable, reason);
}

std::optional<Playlist::FirstTitle> Playlist::rowTitle(const std::string& path) {
    const std::string name = nameBeforeZero(path);
    if (!audio::isPlayableExtension(name))
        return std::nullopt;
    const QString fileName = QFile::decodeName(QByteArray::fromStdString(fileNamePart(path)));
    // Every other format is named by its own tags (Vorbis comments, MP4
    // atoms, ID3v2, RIFF INFO) through TagLib, later and off this thread.
    if (!audio::isMp3Extension(name))
        return FirstTitle{fileName, true};
    // MP3 files are named by their ID3v1 tag: 128 bytes, read at once.
    std::optional<QString> title;
    try {
        title = trackTitleFromTag(path);
    } catch (const std::exception&) {
    }
    return FirstTitle{title.value_or(fileName), false};
}

void Playlist::appendRows(const std::vector<std::string>& paths) {
    std::vector<PlaylistEntry> rows;
    std::vector<bool> readTags;
    rows.reserve(paths.size());
    for (const std::string& path : paths)
        if (std::optional<FirstTitle> first = rowTitle(path)) {
            rows.push_back({path, std::move(first->title), Playability::Untried, {}, 0});
            readTags.push_back(first->readTags);
        }
    const int start = items_.count();
    items_.append(std::move(rows));
    for (std::size_t i = 0; i < readTags.size(); ++i)
        if (readTags[i]) {
            const PlaylistEntry& row = items_.at(start + int(i));
            titles_.request(row.id, row.path);
        }
}

bool Playlist::addFile(const std::string& path) {
    if (path.find_first_of("\r\n") != std::string::npos) {
        QString name = QFile::decodeName(QByteArray::fromStdString(path));
        name.replace(QLatin1Char('\r'), QChar(0x21B5)).replace(QLatin1Char('\n'), QChar(0x21B5));
        dialogs::showMessage(tr("This file is not added: its name holds a line break, which "
                                "a playlist file cannot keep.\n%1")
                                 .arg(name),
                             dialogParent);
        return false;
    }
    if (!audio::isPlayableExtension(nameBeforeZero(path)))
        return false;
    appendRows({path});
    return true;
}

void Playlist::addTracks() {
    dialogs::Request request;
    request.title = tr("Add Tracks");
    request.filter = soundFileFilter();
    request.defaultSuffix = QStringLiteral("mp3");
    request.multiSelect = true;
    request.folderKey = QStringLiteral("tracks");
    dialogs::getOpenFileNames(request, dialogParent,
                              [self = QPointer<Playlist>(this)](const QStringList& files) {
                                  for (const QString& file : files)
                                      if (self)
                                          self->addFile(QFile::encodeName(file).toStdString());
                              });
}

void Playlist::removeSelected() {
    const int i = selectedIndex();
    if (i >= 0)
        items_.removeAt(i);
}

// A moved item keeps what the decks found out about it.
void Playlist::moveUp() {
    const int i = selectedIndex();
    if (i <= 0)
        return;
    items_.insert(i - 1, items_.at(i));
    items_.removeAt(i + 1);
    select(i - 1);
}

void Playlist::moveDown() {
    const int i = selectedIndex();
    if (i < 0 || i >= count() - 1)
        return;
    items_.insert(i + 2, items_.at(i));
    items_.removeAt(i);
    select(i + 1);
}

void Playlist::onViewKeyPress(QChar key) {
    if (key == QLatin1Char('-'))
        moveUp();
    else if (key == QLatin1Char('+'))
        moveDown();
}

void Playlist::addDroppedFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths)
        if (shell::isExistingFile(path))
            addFile(path);
}

// Rebuilt items start untried: the decks find out afresh whether they play.
void Playlist::refreshTitles() {
    std::vector<std::string> paths;
    paths.reserve(static_cast<size_t>(count()));
    for (int i = 0; i < count(); ++i)
        paths.push_back(pathAt(i));
    PathList = std::move(paths);
    items_.clear();
    // The same rows addFile would append one by one, added to the list at once.
    appendRows(PathList);
}
