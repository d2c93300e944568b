#pragma once

#include "catalog/Database.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

// Keeps the catalogue in step with the user's folders: new and changed files
// (by size and modification time) are read, unchanged ones skipped, files no
// longer there dropped. Music is the sound formats the decks play (MP3, FLAC, Ogg, Opus, WAV, AIFF,
// M4A/AAC); videos the usual containers.
namespace scanning {
struct FoundFile;
struct Known;
} // namespace scanning

struct ScanFolders {
    std::vector<std::string> music;
    std::vector<std::string> videos;
};

struct ScanReport {
    std::int64_t found = 0;     // media files found in the folders
    std::int64_t read = 0;      // new or changed files whose tags were read
    std::int64_t unchanged = 0; // skipped: same size and time as catalogued
    std::int64_t removed = 0;   // catalogued files that are gone
};

class Scanner {
public:
    // progress(done, total) is called every kProgressEvery files and at the end.
    using Progress = std::function<void(std::int64_t done, std::int64_t total)>;

    Scanner(Database& db, ScanFolders folders);
    static constexpr std::int64_t kProgressEvery = 500;
    void setProgress(Progress progress) { progress_ = std::move(progress); }
    // A flag another thread may set to end the scan early (nothing is dropped then).
    void setStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }

    ScanReport run();
    // Brings these files and folders (below the catalogued folders) in step,
    // as Run does for everything: a file or folder that is there is read
    // where new or changed, one that is gone leaves the catalogue with
    // everything below it. Few changed tracks update the similarity lists in
    // place, in the same transaction.
    ScanReport update(const std::vector<std::string>& paths);

private:
    using KnownFiles = std::unordered_map<std::string, scanning::Known>;
    ScanReport apply(std::vector<scanning::FoundFile> found, KnownFiles tracks, KnownFiles videos);

    bool stopped() const { return stop_ && *stop_; }

    Database& db_;
    ScanFolders folders_;
    Progress progress_;
    const std::atomic<bool>* stop_ = nullptr;
};

bool isMusicFile(const std::string& path);
bool isVideoFile(const std::string& path);
// The media type of a video file extension (lower case, no dot); nullptr for
// any other extension.
const char* videoMediaType(const std::string& extension);
// The lower-case extension without its dot ("mp4"), empty when none.
std::string extensionOf(const std::string& path);
