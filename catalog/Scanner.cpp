#include "catalog/Scanner.h"

#include "catalog/FolderWatcher.h"
#include "catalog/MediaFile.h"
#include "catalog/ReadAhead.h"
#include "catalog/Schema.h"
#include "catalog/Similarity.h"
#include "catalog/TagReading.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <unordered_map>

namespace fs = std::filesystem;

namespace scanning {

enum class Kind { Music, Video };

struct FoundFile {
    std::string path;
    Kind kind;
    std::int64_t size;
    std::int64_t mtime; // nanoseconds
};

struct Known {
    std::int64_t id;
    std::int64_t size;
    std::int64_t mtime;
};

using KnownFiles = std::unordered_map<std::string, Known>;

} // namespace scanning

using namespace scanning;

namespace {

// A media file of that kind at path, when it is one. A link to a file is
// taken only when it resolves to a regular file inside one of the folders,
// and is catalogued by its resolved path: a link never makes a file from
// elsewhere (another user's, a private one) servable. Temporary and partial
// files are passed over, as the watcher passes them over.
void Consider(std::string path, const std::vector<std::string>& folders, Kind kind,
              std::vector<FoundFile>& found) {
    if (kind == Kind::Music ? !IsMusicFile(path) : !IsVideoFile(path))
        return;
    if (IsTemporaryName(path.substr(path.rfind('/') + 1)))
        return;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return;
    if (S_ISLNK(info.st_mode)) {
        std::error_code linkError;
        const std::string target = fs::canonical(path, linkError).string();
        const bool inside =
            !linkError && std::any_of(folders.begin(), folders.end(), [&](const auto& folder) {
                return InsideFolder(target, folder);
            });
        if (!inside || lstat(target.c_str(), &info) != 0)
            return;
        path = target;
    }
    if (!S_ISREG(info.st_mode))
        return;
    found.push_back(
        {path, kind, static_cast<std::int64_t>(info.st_size),
         static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec});
}

// Every media file below the folder; directory links are not followed, so a
// link cycle cannot trap the walk. Unreadable folders are passed over.
void Walk(const std::string& root, const std::vector<std::string>& folders, Kind kind,
          std::vector<FoundFile>& found) {
    std::error_code error;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error))
        Consider(it->path().string(), folders, kind, found);
}

KnownFiles LoadKnown(Database& db, const char* table) {
    KnownFiles known;
    Statement& all = db.Prepare(std::string("SELECT path, id, size, mtime FROM ") + table);
    while (all.Step())
        known.emplace(all.Text(0), Known{all.Int(1), all.Int(2), all.Int(3)});
    return known;
}

// The catalogued files at path and below it (when it is a folder).
void LoadKnownAt(Database& db, const char* table, const std::string& path, KnownFiles& known) {
    const std::string columns = std::string("SELECT path, id, size, mtime FROM ") + table;
    Statement& exact = db.Prepare(columns + " WHERE path = ?");
    exact.Bind(1, path);
    while (exact.Step())
        known.emplace(exact.Text(0), Known{exact.Int(1), exact.Int(2), exact.Int(3)});
    exact.Reset();
    // Paths below the folder sort between "folder/" and "folder0" ('0' follows '/').
    Statement& below = db.Prepare(columns + " WHERE path >= ? AND path < ?");
    below.Bind(1, path + "/").Bind(2, path + "0");
    while (below.Step())
        known.emplace(below.Text(0), Known{below.Int(1), below.Int(2), below.Int(3)});
    below.Reset();
}

// known: the file was catalogued before (its old genres go).
std::int64_t StoreTrack(Database& db, const FoundFile& file, const TrackTags& tags, bool known) {
    Statement& upsert = db.Prepare(
        "INSERT INTO tracks(path, size, mtime, title, artist, album, year, name) "
        "VALUES (?,?,?,?,?,?,?,?) "
        "ON CONFLICT(path) DO UPDATE SET size=excluded.size, mtime=excluded.mtime, "
        "title=excluded.title, artist=excluded.artist, album=excluded.album, year=excluded.year, "
        "name=excluded.name RETURNING id");
    upsert.Bind(1, file.path).Bind(2, file.size).Bind(3, file.mtime).Bind(4, tags.title);
    upsert.Bind(5, tags.artist).Bind(6, tags.album).Bind(7, std::int64_t{tags.year});
    upsert.Bind(8, tags.name);
    upsert.Step();
    const std::int64_t id = upsert.Int(0);
    upsert.Run();
    if (known)
        db.Prepare("DELETE FROM track_genres WHERE track_id = ?").Bind(1, id).Run();
    Statement& genre =
        db.Prepare("INSERT OR IGNORE INTO track_genres(track_id, genre) VALUES (?,?)");
    for (const std::string& key : tags.genres)
        genre.Reset().Bind(1, id).Bind(2, key).Run();
    return id;
}

void StoreVideo(Database& db, const FoundFile& file, const VideoTags& tags) {
    Statement& upsert =
        db.Prepare("INSERT INTO videos(path, size, mtime, extension, name, title, artist, seconds) "
                   "VALUES (?,?,?,?,?,?,?,?) ON CONFLICT(path) DO UPDATE SET size=excluded.size, "
                   "mtime=excluded.mtime, extension=excluded.extension, name=excluded.name, "
                   "title=excluded.title, artist=excluded.artist, seconds=excluded.seconds");
    upsert.Bind(1, file.path)
        .Bind(2, file.size)
        .Bind(3, file.mtime)
        .Bind(4, ExtensionOf(file.path));
    upsert.Bind(5, tags.name).Bind(6, tags.title).Bind(7, tags.artist);
    upsert.Bind(8, std::int64_t{tags.seconds});
    upsert.Run();
}

// The id the table gives its next row (1 when it is empty).
std::int64_t NextId(Database& db, const char* table) {
    Statement& last = db.Prepare(std::string("SELECT coalesce(max(id), 0) + 1 FROM ") + table);
    last.Step();
    const std::int64_t next = last.Int(0);
    last.Reset();
    return next;
}

// A batch of a scan is committed after this time.
constexpr auto kBatchTime = std::chrono::seconds(1);

// The transaction of a batch of a scan. The rows it inserts get their
// full-text entries at its end, in one statement and in the index's order
// (see Schema.h): entries made one by one, by the insert triggers, would
// each be written out alone, as every insert opens a statement savepoint, at
// which the index writes out what it holds.
class Batch {
public:
    explicit Batch(Database& db)
        : db_(db)
        , transaction_(db)
        , firstTrack_(NextId(db, "tracks"))
        , firstVideo_(NextId(db, "videos")) {
        db_.Prepare("INSERT INTO scan_batch DEFAULT VALUES").Run();
    }

    bool Due() const { return std::chrono::steady_clock::now() - started_ >= kBatchTime; }

    void Commit() {
        db_.Prepare("DELETE FROM scan_batch").Run();
        db_.Prepare(schema::kIndexNewTracks).Bind(1, firstTrack_).Run();
        db_.Prepare(schema::kIndexNewVideos).Bind(1, firstVideo_).Run();
        transaction_.Commit();
    }

private:
    Database& db_;
    Transaction transaction_;
    std::int64_t firstTrack_;
    std::int64_t firstVideo_;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

// The folders that are not there now (an unplugged disk), each ending in '/':
// their catalogued files are kept.
std::vector<std::string> MissingFolderPrefixes(const std::vector<std::string>& folders) {
    std::vector<std::string> missing;
    for (const std::string& folder : folders) {
        std::error_code error;
        if (!fs::is_directory(folder, error))
            missing.push_back(folder.ends_with('/') ? folder : folder + "/");
    }
    return missing;
}

bool UnderAny(const std::string& path, const std::vector<std::string>& prefixes) {
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](const std::string& prefix) { return path.starts_with(prefix); });
}

} // namespace

std::string ExtensionOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

// The sound formats the decks play, so that every track the catalogue
// offers can be added to the playlist.
bool IsMusicFile(const std::string& path) {
    static const char* const kMusic[] = {"mp3", "flac", "ogg",  "oga", "opus",
                                         "wav", "aif",  "aiff", "m4a", "aac"};
    const std::string extension = ExtensionOf(path);
    return std::any_of(std::begin(kMusic), std::end(kMusic),
                       [&](const char* name) { return extension == name; });
}

const char* VideoMediaType(const std::string& extension) {
    static const std::pair<const char*, const char*> kTypes[] = {
        {"mp4", "video/mp4"},       {"m4v", "video/x-m4v"},      {"flv", "video/x-flv"},
        {"webm", "video/webm"},     {"mkv", "video/x-matroska"}, {"avi", "video/x-msvideo"},
        {"mov", "video/quicktime"}, {"3gp", "video/3gpp"},       {"mpg", "video/mpeg"},
        {"mpeg", "video/mpeg"},     {"wmv", "video/x-ms-wmv"},   {"ogv", "video/ogg"}};
    for (const auto& [name, type] : kTypes)
        if (extension == name)
            return type;
    return nullptr;
}

bool IsVideoFile(const std::string& path) {
    return VideoMediaType(ExtensionOf(path)) != nullptr;
}

Scanner::Scanner(Database& db, ScanFolders folders)
    : db_(db)
    , folders_(std::move(folders)) {}

namespace {

// Changes of at most this many tracks update the similarity lists in place,
// in one transaction with the tracks; more are stored in batches (the service
// answers from them as they come) and the lists made again at the end.
constexpr size_t kMostInPlace = 2000;

} // namespace

ScanReport Scanner::Run() {
    std::vector<FoundFile> found;
    for (const std::string& folder : folders_.music)
        Walk(folder, folders_.music, Kind::Music, found);
    for (const std::string& folder : folders_.videos)
        Walk(folder, folders_.videos, Kind::Video, found);
    return Apply(std::move(found), LoadKnown(db_, "tracks"), LoadKnown(db_, "videos"));
}

ScanReport Scanner::Update(const std::vector<std::string>& paths) {
    std::vector<FoundFile> found;
    KnownFiles tracks;
    KnownFiles videos;
    const auto under = [](const std::string& path, const std::vector<std::string>& folders) {
        return std::any_of(folders.begin(), folders.end(), [&](std::string folder) {
            while (folder.size() > 1 && folder.back() == '/')
                folder.pop_back();
            return path.starts_with(folder + "/");
        });
    };
    for (const std::string& path : paths) {
        std::error_code error;
        const bool folder = fs::is_directory(fs::symlink_status(path, error));
        for (const Kind kind : {Kind::Music, Kind::Video}) {
            const std::vector<std::string>& folders =
                kind == Kind::Music ? folders_.music : folders_.videos;
            if (!under(path, folders))
                continue;
            LoadKnownAt(db_, kind == Kind::Music ? "tracks" : "videos", path,
                        kind == Kind::Music ? tracks : videos);
            if (folder)
                Walk(path, folders, kind, found);
            else
                Consider(path, folders, kind, found);
        }
    }
    return Apply(std::move(found), std::move(tracks), std::move(videos));
}

ScanReport Scanner::Apply(std::vector<FoundFile> found, KnownFiles tracks, KnownFiles videos) {
    // A file reached both by its name and through a link is catalogued once.
    std::sort(found.begin(), found.end(),
              [](const FoundFile& a, const FoundFile& b) { return a.path < b.path; });
    found.erase(
        std::unique(found.begin(), found.end(),
                    [](const FoundFile& a, const FoundFile& b) { return a.path == b.path; }),
        found.end());

    ScanReport report;
    report.found = static_cast<std::int64_t>(found.size());
    // Unchanged files are passed over first; the rest are read ahead on a
    // thread of their own while this one stores them.
    std::vector<const FoundFile*> changed;
    std::vector<bool> catalogued; // per changed file: whether it was before
    std::vector<ReadAhead::Job> jobs;
    std::vector<std::int64_t> changedTracks; // catalogued before, changed now
    for (const FoundFile& file : found) {
        auto& known = file.kind == Kind::Music ? tracks : videos;
        const auto entry = known.find(file.path);
        if (entry != known.end() && entry->second.size == file.size &&
            entry->second.mtime == file.mtime) {
            ++report.unchanged;
        } else {
            changed.push_back(&file);
            catalogued.push_back(entry != known.end());
            jobs.push_back({file.path, file.kind == Kind::Music});
            if (entry != known.end() && file.kind == Kind::Music)
                changedTracks.push_back(entry->second.id);
        }
        if (entry != known.end())
            known.erase(entry);
    }
    // What is left of the catalogued files is gone, except below a folder
    // that is not there now (an unplugged disk).
    const auto gone = [&](const KnownFiles& known, const std::vector<std::string>& folders) {
        std::vector<std::int64_t> ids;
        const std::vector<std::string> missing = MissingFolderPrefixes(folders);
        for (const auto& [path, entry] : known)
            if (!UnderAny(path, missing))
                ids.push_back(entry.id);
        return ids;
    };
    const std::vector<std::int64_t> goneTracks = gone(tracks, folders_.music);
    const std::vector<std::int64_t> goneVideos = gone(videos, folders_.videos);

    std::int64_t done = report.unchanged;
    if (progress_ && done > 0 && done != report.found)
        progress_(done, report.found);

    const bool inPlace =
        changed.size() + goneTracks.size() <= kMostInPlace && similarity::Ready(db_);
    std::vector<similarity::TrackState> before;
    std::vector<std::int64_t> touched = changedTracks;
    touched.insert(touched.end(), goneTracks.begin(), goneTracks.end());
    if (inPlace)
        before = similarity::ReadStates(db_, touched);

    // A scan of many files changes pages all over the tables and their
    // indexes: with SQLite's small default cache it would write many of them
    // out again and again.
    if (!inPlace)
        db_.Exec("PRAGMA cache_size = -32768");
    // Indexes a scan stopped short of making again (see Schema.h) are made
    // by the next one.
    db_.Exec(schema::kSecondaryIndexes);
    const bool indexLater = !inPlace && changed.size() > kMostInPlace && NextId(db_, "tracks") == 1;
    // Commits in batches, about one a second, so that the service already
    // answers from what the scan has read while it goes on.
    auto batch = std::make_unique<Batch>(db_);
    if (!inPlace && (!changed.empty() || !goneTracks.empty()))
        similarity::Invalidate(db_);
    if (indexLater)
        db_.Exec(schema::kDropSecondaryIndexes);
    const auto commit = [&] {
        if (indexLater)
            db_.Exec(schema::kSecondaryIndexes);
        batch->Commit();
    };
    ReadAhead reader(std::move(jobs), stop_);
    for (size_t i = 0; i < changed.size(); ++i) {
        const FoundFile* file = changed[i];
        const std::optional<ReadAhead::Result> tags = reader.Next();
        if (!tags || Stopped())
            break;
        if (file->kind == Kind::Music) {
            const std::int64_t id = StoreTrack(db_, *file, tags->track, catalogued[i]);
            if (inPlace)
                touched.push_back(id);
        } else {
            StoreVideo(db_, *file, tags->video);
        }
        ++report.read;
        ++done;
        if (!inPlace && batch->Due()) {
            batch->Commit();
            batch = std::make_unique<Batch>(db_);
        }
        if (progress_ && done % kProgressEvery == 0 && done != report.found)
            progress_(done, report.found);
    }
    if (Stopped()) {
        // A change in place is dropped whole; batches keep what they stored.
        if (!inPlace)
            commit();
        return report;
    }
    for (const std::int64_t id : goneTracks)
        db_.Prepare("DELETE FROM tracks WHERE id = ?").Bind(1, id).Run();
    for (const std::int64_t id : goneVideos)
        db_.Prepare("DELETE FROM videos WHERE id = ?").Bind(1, id).Run();
    report.removed = static_cast<std::int64_t>(goneTracks.size() + goneVideos.size());
    const bool tracksChanged = !touched.empty() || !goneTracks.empty() ||
                               std::any_of(changed.begin(), changed.end(), [](const FoundFile* f) {
                                   return f->kind == Kind::Music;
                               });
    if (inPlace && tracksChanged) {
        std::sort(touched.begin(), touched.end());
        touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
        similarity::Update(db_, before, touched);
    }
    commit();
    // The similarity lists follow the tracks once the scan has seen them all.
    if (!inPlace && (tracksChanged || !similarity::Ready(db_)))
        similarity::Recompute(db_);
    if (progress_)
        progress_(done, report.found);
    return report;
}
