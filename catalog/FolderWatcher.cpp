#include "catalog/FolderWatcher.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Files are taken once written and closed or moved in; folders as they are
// made, moved in or out, or deleted.
constexpr std::uint32_t kMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE |
                                IN_CREATE | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;

std::string withoutTrailingSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

} // namespace

bool isTemporaryName(const std::string& name) {
    if (name.empty() || name.front() == '.' || name.back() == '~')
        return true;
    static const char* const kPartial[] = {".part",       ".partial",  ".tmp", ".temp",
                                           ".crdownload", ".download", ".swp"};
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::any_of(std::begin(kPartial), std::end(kPartial),
                       [&](const char* suffix) { return lower.ends_with(suffix); });
}

FolderWatcher::FolderWatcher(std::vector<std::string> roots) {
    for (std::string& root : roots)
        roots_.push_back(withoutTrailingSlash(std::move(root)));
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (inotify_ < 0) {
        std::fprintf(stderr,
                     "kolvadeck-catalog: cannot watch the folders (%s); new files are "
                     "found at the next start\n",
                     std::strerror(errno));
        return;
    }
    for (const std::string& root : roots_)
        watchTree(root);
}

FolderWatcher::~FolderWatcher() {
    if (inotify_ >= 0)
        close(inotify_);
    if (wake_ >= 0)
        close(wake_);
}

void FolderWatcher::watchTree(const std::string& folder) {
    if (inotify_ < 0)
        return;
    const auto watch = [&](const std::string& path) {
        const int wd = inotify_add_watch(inotify_, path.c_str(), kMask);
        if (wd >= 0) {
            folders_[wd] = path;
        } else if (errno == ENOSPC && !warnedFull_) {
            warnedFull_ = true;
            std::fprintf(stderr,
                         "kolvadeck-catalog: no more folders can be watched (raise "
                         "fs.inotify.max_user_watches); changes below %s are found at the next "
                         "start\n",
                         path.c_str());
        }
    };
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(folder, error)))
        return;
    watch(folder);
    // Links to folders are not followed, as the scan does not follow them.
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                        error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code kindError;
        if (it->is_directory(kindError) && !it->is_symlink(kindError))
            watch(it->path().string());
    }
}

void FolderWatcher::forget(const std::string& folder) {
    const std::string below = folder + "/";
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (it->second == folder || it->second.starts_with(below)) {
            inotify_rm_watch(inotify_, it->first);
            it = folders_.erase(it);
        } else {
            ++it;
        }
    }
}

void FolderWatcher::rewatch() {
    if (inotify_ < 0)
        return;
    for (const auto& [wd, folder] : folders_)
        inotify_rm_watch(inotify_, wd);
    folders_.clear();
    for (const std::string& root : roots_)
        watchTree(root);
}

void FolderWatcher::wake() {
    if (wake_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wake_, &one, sizeof one);
    }
}

bool FolderWatcher::drain(Changes& changes) {
    alignas(inotify_event) std::array<char, 64 * 1024> buffer;
    bool any = false;
    for (;;) {
        const ssize_t length = read(inotify_, buffer.data(), buffer.size());
        if (length <= 0)
            return any;
        any = true;
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                changes.overflow = true;
                continue;
            }
            if (event->mask & IN_IGNORED) {
                folders_.erase(event->wd);
                continue;
            }
            const auto folder = folders_.find(event->wd);
            if (folder == folders_.end() || event->len == 0)
                continue;
            const std::string name = event->name;
            const std::string path = folder->second + "/" + name;
            if (event->mask & IN_ISDIR) {
                // A folder made or moved in is watched and looked through (files
                // may have arrived before its watch); one deleted or moved away
                // takes its files with it.
                if (event->mask & (IN_CREATE | IN_MOVED_TO)) {
                    watchTree(path);
                    changes.paths.push_back(path);
                } else if (event->mask & (IN_DELETE | IN_MOVED_FROM)) {
                    forget(path);
                    changes.paths.push_back(path);
                }
            } else if ((event->mask & (IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM)) &&
                       !isTemporaryName(name)) {
                changes.paths.push_back(path);
            }
        }
    }
}

FolderWatcher::Changes FolderWatcher::collect(int waitMs, int settleMs, int maxMs) {
    Changes changes;
    std::array<pollfd, 2> fds{pollfd{inotify_, POLLIN, 0}, pollfd{wake_, POLLIN, 0}};
    const auto start = std::chrono::steady_clock::now();
    int timeout = waitMs;
    for (;;) {
        fds[0].revents = fds[1].revents = 0;
        const int ready = poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = read(wake_, &count, sizeof count);
            break;
        }
        if (ready <= 0 || !(fds[0].revents & POLLIN) || !drain(changes))
            break;
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        if (elapsed >= maxMs)
            break;
        timeout = static_cast<int>(std::min<long long>(settleMs, maxMs - elapsed));
    }
    std::sort(changes.paths.begin(), changes.paths.end());
    changes.paths.erase(std::unique(changes.paths.begin(), changes.paths.end()),
                        changes.paths.end());
    return changes;
}
