#pragma once

#include <string>
#include <unordered_map>
#include <vector>

// Watches the catalogued folders and everything below them with inotify, so
// that a file finished writing, moved in, deleted or moved away reaches the
// catalogue without waiting for a scan. New folders are watched as they come.
// Temporary and partial files (hidden names, *.part, *.tmp, *.crdownload...)
// are passed over: the file they turn into arrives by its own event.
class FolderWatcher {
public:
    // What happened since the last call: the paths (files or folders) to look
    // at again, and whether the kernel dropped events (then only a rescan of
    // every folder is safe).
    struct Changes {
        std::vector<std::string> paths;
        bool overflow = false;
        bool empty() const { return paths.empty() && !overflow; }
    };

    explicit FolderWatcher(std::vector<std::string> roots);
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    // Whether inotify could be set up at all (else Collect only waits).
    bool active() const { return inotify_ >= 0; }

    // Waits up to waitMs for a first event, then gathers what follows it
    // until the folders have been quiet for settleMs (at most maxMs in all),
    // so that a copy of many files is taken as one batch. Returns at once
    // when woken.
    Changes collect(int waitMs, int settleMs = 150, int maxMs = 1000);
    // Wakes a Collect that is waiting (any thread may call it).
    void wake();
    // Watches every root again from scratch (after an overflow).
    void rewatch();

private:
    void watchTree(const std::string& folder);
    void forget(const std::string& folder);
    // Reads the pending events into changes; false when none were there.
    bool drain(Changes& changes);

    std::vector<std::string> roots_;
    int inotify_ = -1;
    int wake_ = -1;
    std::unordered_map<int, std::string> folders_; // watch descriptor -> folder
    bool warnedFull_ = false;
};

// A file name a download or copy writes before the real one: hidden names,
// "*.part", "*.partial", "*.tmp", "*.crdownload", "*.download", "*.swp", "*~".
bool isTemporaryName(const std::string& name);
