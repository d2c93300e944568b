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
void consider(std::string path, const std::vector<std::string>& folders, Kind kind,
              std::vector<FoundFile>& found) {
    if (kind == Kind::Music ? !isMusicFile(path) : !isVideoFile(path))
        return;
    if (isTemporaryName(path.substr(path.rfind('/') + 1)))
        return;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return;
    if (S_ISLNK(info.st_mode)) {
        std::error_code linkError;
        const std::string target = fs::canonical(path, linkError).string();
        const bool inside =
            !linkError && std::any_of(folders.begin(), folders.end(), [&](const auto& folder) {
                return insideFolder(target, folder);
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
void walk(const std::string& root, const std::vector<std::string>& folders, Kind kind,
          std::vector<FoundFile>& found) {
    std::error_code error;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error))
        consider(it->path().string(), folders, kind, found);
}

KnownFiles loadKnown(Database& db, const char* table) {
    KnownFiles known;
    Statement& all = db.prepare(std::string("SELECT path, id, size, mtime FROM ") + table);
    while (all.step())
        known.emplace(all.text(0), Known{all.integer(1), all.integer(2), all.integer(3)});
    return known;
}

// The catalogued files at path and below it (when it is a folder).
void loadKnownAt(Database& db, const char* table, const std::string& path, KnownFiles& known) {
    const std::string columns = std::string("SELECT path, id, size, mtime FROM ") + table;
    Statement& exact = db.prepare(columns + " WHERE path = ?");
    exact.bind(1, path);
    while (exact.step())
        known.emplace(exact.text(0), Known{exact.integer(1), exact.integer(2), exact.integer(3)});
    exact.reset();
    // Paths below the folder sort between "folder/" and "folder0" ('0' follows '/').
    Statement& below = db.prepare(columns + " WHERE path >= ? AND path < ?");
    below.bind(1, path + "/").bind(2, path + "0");
    while (below.step())
        known.emplace(below.text(0), Known{below.integer(1), below.integer(2), below.integer(3)});
    below.reset();
}

// known: the file was catalogued before (its old genres go).
std::int64_t storeTrack(Database& db, const FoundFile& file, const TrackTags& tags, bool known) {
    Statement& upsert = db.prepare(
        "INSERT INTO tracks(path, size, mtime, title, artist, album, year, name) "
        "VALUES (?,?,?,?,?,?,?,?) "
        "ON CONFLICT(path) DO UPDATE SET size=excluded.size, mtime=excluded.mtime, "
        "title=excluded.title, artist=excluded.artist, album=excluded.album, year=excluded.year, "
        "name=excluded.name RETURNING id");
    upsert.bind(1, file.path).bind(2, file.size).bind(3, file.mtime).bind(4, tags.title);
    upsert.bind(5, tags.artist).bind(6, tags.album).bind(7, std::int64_t{tags.year});
    upsert.bind(8, tags.name);
    upsert.step();
    const std::int64_t id = upsert.integer(0);
    upsert.run();
    if (known)
        db.prepare("DELETE FROM track_genres WHERE track_id = ?").bind(1, id).run();
    Statement& genre =
        db.prepare("INSERT OR IGNORE INTO track_genres(track_id, genre) VALUES (?,?)");
    for (const std::string& key : tags.genres)
        genre.reset().bind(1, id).bind(2, key).run();
    return id;
}

void storeVideo(Database& db, const FoundFile& file, const VideoTags& tags) {
    Statement& upsert =
        db.prepare("INSERT INTO videos(path, size, mtime, extension, name, title, artist, seconds) "
                   "VALUES (?,?,?,?,?,?,?,?) ON CONFLICT(path) DO UPDATE SET size=excluded.size, "
                   "mtime=excluded.mtime, extension=excluded.extension, name=excluded.name, "
                   "title=excluded.title, artist=excluded.artist, seconds=excluded.seconds");
    upsert.bind(1, file.path)
        .bind(2, file.size)
        .bind(3, file.mtime)
        .bind(4, extensionOf(file.path));
    upsert.bind(5, tags.name).bind(6, tags.title).bind(7, tags.artist);
    upsert.bind(8, std::int64_t{tags.seconds});
    upsert.run();
}

// The id the table gives its next row (1 when it is empty).
std::int64_t nextId(Database& db, const char* table) {
    Statement& last = db.prepare(std::string("SELECT coalesce(max(id), 0) + 1 FROM ") + table);
    last.step();
    const std::int64_t next = last.integer(0);
    last.reset();
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
        , firstTrack_(nextId(db, "tracks"))
        , firstVideo_(nextId(db, "videos")) {
        db_.prepare("INSERT INTO scan_batch DEFAULT VALUES").run();
    }

    bool due() const { return std::chrono::steady_clock::now() - started_ >= kBatchTime; }

    void commit() {
        db_.prepare("DELETE FROM scan_batch").run();
        db_.prepare(schema::kIndexNewTracks).bind(1, firstTrack_).run();
        db_.prepare(schema::kIndexNewVideos).bind(1, firstVideo_).run();
        transaction_.commit();
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
std::vector<std::string> missingFolderPrefixes(const std::vector<std::string>& folders) {
    std::vector<std::string> missing;
    for (const std::string& folder : folders) {
        std::error_code error;
        if (!fs::is_directory(folder, error))
            missing.push_back(folder.ends_with('/') ? folder : folder + "/");
    }
    return missing;
}

bool underAny(const std::string& path, const std::vector<std::string>& prefixes) {
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](const std::string& prefix) { return path.starts_with(prefix); });
}

} // namespace

std::string extensionOf(const std::string& path) {
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
bool isMusicFile(const std::string& path) {
    static const char* const kMusic[] = {"mp3", "flac", "ogg",  "oga", "opus",
                                         "wav", "aif",  "aiff", "m4a", "aac"};
    const std::string extension = extensionOf(path);
    return std::any_of(std::begin(kMusic), std::end(kMusic),
                       [&](const char* name) { return extension == name; });
}

const char* videoMediaType(const std::string& extension) {
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

bool isVideoFile(const std::string& path) {
    return videoMediaType(extensionOf(path)) != nullptr;
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

ScanReport Scanner::run() {
    std::vector<FoundFile> found;
    for (const std::string& folder : folders_.music)
        walk(folder, folders_.music, Kind::Music, found);
    for (const std::string& folder : folders_.videos)
        walk(folder, folders_.videos, Kind::Video, found);
    return apply(std::move(found), loadKnown(db_, "tracks"), loadKnown(db_, "videos"));
}

ScanReport Scanner::update(const std::vector<std::string>& paths) {
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
            loadKnownAt(db_, kind == Kind::Music ? "tracks" : "videos", path,
                        kind == Kind::Music ? tracks : videos);
            if (folder)
                walk(path, folders, kind, found);
            else
                consider(path, folders, kind, found);
        }
    }
    return apply(std::move(found), std::move(tracks), std::move(videos));
}

ScanReport Scanner::apply(std::vector<FoundFile> found, KnownFiles tracks, KnownFiles videos) {
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
        const std::vector<std::string> missing = missingFolderPrefixes(folders);
        for (const auto& [path, entry] : known)
            if (!underAny(path, missing))
                ids.push_back(entry.id);
        return ids;
    };
    const std::vector<std::int64_t> goneTracks = gone(tracks, folders_.music);
    const std::vector<std::int64_t> goneVideos = gone(videos, folders_.videos);

    std::int64_t done = report.unchanged;
    if (progress_ && done > 0 && done != report.found)
        progress_(done, report.found);

    const bool inPlace =
        changed.size() + goneTracks.size() <= kMostInPlace && similarity::ready(db_);
    std::vector<similarity::TrackState> before;
    std::vector<std::int64_t> touched = changedTracks;
    touched.insert(touched.end(), goneTracks.begin(), goneTracks.end());
    if (inPlace)
        before = similarity::readStates(db_, touched);

    // A scan of many files changes pages all over the tables and their
    // indexes: with SQLite's small default cache it would write many of them
    // out again and again.
    if (!inPlace)
        db_.execute("PRAGMA cache_size = -32768");
    // Indexes a scan stopped short of making again (see Schema.h) are made
    // by the next one.
    db_.execute(schema::kSecondaryIndexes);
    const bool indexLater = !inPlace && changed.size() > kMostInPlace && nextId(db_, "tracks") == 1;
    // Commits in batches, about one a second, so that the service already
    // answers from what the scan has read while it goes on.
    auto batch = std::make_unique<Batch>(db_);
    if (!inPlace && (!changed.empty() || !goneTracks.empty()))
        similarity::invalidate(db_);
    if (indexLater)
        db_.execute(schema::kDropSecondaryIndexes);
    const auto commit = [&] {
        if (indexLater)
            db_.execute(schema::kSecondaryIndexes);
        batch->commit();
    };
    ReadAhead reader(std::move(jobs), stop_);
    for (size_t i = 0; i < changed.size(); ++i) {
        const FoundFile* file = changed[i];
        const std::optional<ReadAhead::Result> tags = reader.next();
        if (!tags || stopped())
            break;
        if (file->kind == Kind::Music) {
            const std::int64_t id = storeTrack(db_, *file, tags->track, catalogued[i]);
            if (inPlace)
                touched.push_back(id);
        } else {
            storeVideo(db_, *file, tags->video);
        }
        ++report.read;
        ++done;
        if (!inPlace && batch->due()) {
            batch->commit();
            batch = std::make_unique<Batch>(db_);
        }
        if (progress_ && done % kProgressEvery == 0 && done != report.found)
            progress_(done, report.found);
    }
    if (stopped()) {
        // A change in place is dropped whole; batches keep what they stored.
        if (!inPlace)
            commit();
        return report;
    }
    for (const std::int64_t id : goneTracks)
        db_.prepare("DELETE FROM tracks WHERE id = ?").bind(1, id).run();
    for (const std::int64_t id : goneVideos)
        db_.prepare("DELETE FROM videos WHERE id = ?").bind(1, id).run();
    report.removed = static_cast<std::int64_t>(goneTracks.size() + goneVideos.size());
    const bool tracksChanged = !touched.empty() || !goneTracks.empty() ||
                               std::any_of(changed.begin(), changed.end(), [](const FoundFile* f) {
                                   return f->kind == Kind::Music;
                               });
    if (inPlace && tracksChanged) {
        std::sort(touched.begin(), touched.end());
        touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
        similarity::update(db_, before, touched);
    }
    commit();
    // The similarity lists follow the tracks once the scan has seen them all.
    if (!inPlace && (tracksChanged || !similarity::ready(db_)))
        similarity::recompute(db_);
    if (progress_)
        progress_(done, report.found);
    return report;
}
