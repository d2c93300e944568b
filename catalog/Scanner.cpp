#include "catalog/Scanner.h"

#include "catalog/MediaFile.h"
#include "catalog/ReadAhead.h"
#include "catalog/Similarity.h"
#include "catalog/TagReading.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unordered_map>

namespace fs = std::filesystem;

namespace {

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

// Every media file below the folders; directory links are not followed, so a
// link cycle cannot trap the walk. A link to a file is taken only when it
// resolves to a regular file inside one of the folders, and is catalogued by
// its resolved path: a link never makes a file from elsewhere (another
// user's, a private one) servable. Unreadable folders are passed over.
void Walk(const std::string& root, const std::vector<std::string>& folders, Kind kind,
          std::vector<FoundFile>& found) {
    std::error_code error;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::string path = it->path().string();
        if (kind == Kind::Music ? !IsMusicFile(path) : !IsVideoFile(path))
            continue;
        std::error_code linkError;
        if (it->is_symlink(linkError)) {
            const std::string target = fs::canonical(path, linkError).string();
            const bool inside =
                !linkError && std::any_of(folders.begin(), folders.end(), [&](const auto& folder) {
                    return InsideFolder(target, folder);
                });
            if (!inside)
                continue;
            path = target;
        }
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        found.push_back(
            {path, kind, static_cast<std::int64_t>(info.st_size),
             static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec});
    }
}

std::unordered_map<std::string, Known> LoadKnown(Database& db, const char* table) {
    std::unordered_map<std::string, Known> known;
    Statement& all = db.Prepare(std::string("SELECT path, id, size, mtime FROM ") + table);
    while (all.Step())
        known.emplace(all.Text(0), Known{all.Int(1), all.Int(2), all.Int(3)});
    return known;
}

void StoreTrack(Database& db, const FoundFile& file, const TrackTags& tags) {
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
    db.Prepare("DELETE FROM track_genres WHERE track_id = ?").Bind(1, id).Run();
    Statement& genre =
        db.Prepare("INSERT OR IGNORE INTO track_genres(track_id, genre) VALUES (?,?)");
    for (const std::string& key : tags.genres)
        genre.Reset().Bind(1, id).Bind(2, key).Run();
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

ScanReport Scanner::Run() {
    std::vector<FoundFile> found;
    for (const std::string& folder : folders_.music)
        Walk(folder, folders_.music, Kind::Music, found);
    for (const std::string& folder : folders_.videos)
        Walk(folder, folders_.videos, Kind::Video, found);
    // A file reached both by its name and through a link is catalogued once.
    std::sort(found.begin(), found.end(),
              [](const FoundFile& a, const FoundFile& b) { return a.path < b.path; });
    found.erase(
        std::unique(found.begin(), found.end(),
                    [](const FoundFile& a, const FoundFile& b) { return a.path == b.path; }),
        found.end());

    std::unordered_map<std::string, Known> tracks = LoadKnown(db_, "tracks");
    std::unordered_map<std::string, Known> videos = LoadKnown(db_, "videos");

    ScanReport report;
    report.found = static_cast<std::int64_t>(found.size());
    // Unchanged files are passed over first; the rest are read ahead on a
    // thread of their own while this one stores them.
    std::vector<const FoundFile*> changed;
    std::vector<ReadAhead::Job> jobs;
    for (const FoundFile& file : found) {
        auto& known = file.kind == Kind::Music ? tracks : videos;
        const auto entry = known.find(file.path);
        if (entry != known.end() && entry->second.size == file.size &&
            entry->second.mtime == file.mtime) {
            ++report.unchanged;
        } else {
            changed.push_back(&file);
            jobs.push_back({file.path, file.kind == Kind::Music});
        }
        if (entry != known.end())
            known.erase(entry);
    }
    std::int64_t done = report.unchanged;
    if (progress_ && done > 0 && done != report.found)
        progress_(done, report.found);

    // Commits in batches, so that the service already answers from what the
    // scan has read while it goes on.
    constexpr std::int64_t kBatch = 500;
    auto transaction = std::make_unique<Transaction>(db_);
    if (!changed.empty())
        similarity::Invalidate(db_);
    ReadAhead reader(std::move(jobs), stop_);
    for (const FoundFile* file : changed) {
        const std::optional<ReadAhead::Result> tags = reader.Next();
        if (!tags || Stopped())
            break;
        if (file->kind == Kind::Music)
            StoreTrack(db_, *file, tags->track);
        else
            StoreVideo(db_, *file, tags->video);
        ++report.read;
        ++done;
        if (report.read % kBatch == 0) {
            transaction->Commit();
            transaction = std::make_unique<Transaction>(db_);
        }
        if (progress_ && done % kProgressEvery == 0 && done != report.found)
            progress_(done, report.found);
    }
    if (!Stopped()) {
        const auto drop = [&](const std::unordered_map<std::string, Known>& gone,
                              const std::vector<std::string>& folders, const char* sql) {
            Statement& remove = db_.Prepare(sql);
            const std::vector<std::string> missing = MissingFolderPrefixes(folders);
            for (const auto& [path, entry] : gone) {
                if (UnderAny(path, missing))
                    continue;
                if (report.removed++ == 0)
                    similarity::Invalidate(db_);
                remove.Reset().Bind(1, entry.id).Run();
            }
        };
        drop(tracks, folders_.music, "DELETE FROM tracks WHERE id = ?");
        drop(videos, folders_.videos, "DELETE FROM videos WHERE id = ?");
    }
    transaction->Commit();
    // The similarity lists follow the tracks once the scan has seen them all.
    if (!Stopped() && (report.read > 0 || report.removed > 0 || !similarity::Ready(db_)))
        similarity::Recompute(db_);
    if (progress_)
        progress_(done, report.found);
    return report;
}
