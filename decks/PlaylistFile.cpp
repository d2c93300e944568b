#include "decks/PlaylistFile.h"

#include "decks/SaveJournal.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string folderOf(const std::string& file) {
    const size_t slash = file.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

// The file a save must change: a playlist reached through a symbolic link is
// the file the link points to, so the link stays a link.
std::string saveTarget(const std::string& file) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return file;
    char* resolved = ::realpath(file.c_str(), nullptr);
    if (!resolved)
        return file; // a dangling link is replaced by the new file
    std::string target = resolved;
    std::free(resolved);
    return target;
}

constexpr char kTemporaryPrefix[] = ".kvd-"; // + the six characters of mkstemp

bool isTemporaryName(const char* name) {
    const size_t prefix = sizeof kTemporaryPrefix - 1;
    if (std::strncmp(name, kTemporaryPrefix, prefix) != 0 || std::strlen(name) != prefix + 6)
        return false;
    for (const char* c = name + prefix; *c; ++c) {
        if (!std::isalnum(static_cast<unsigned char>(*c)))
            return false;
    }
    return true;
}

// Removes the temporaries that killed saves left in folder: only files of
// exactly our pattern, regular, of this user, and stale: a save in progress
// holds a lock on its temporary, which ends with the process.
void removeStaleTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryName(entry->d_name))
            continue;
        const int fd =
            ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}
} // namespace

bool writePlaylistFile(const std::string& file, const std::vector<std::string>& paths) {
    return writePlaylistFile(file, paths, journalFolder());
}

bool writePlaylistFile(const std::string& file, const std::vector<std::string>& paths,
                       const std::string& journalFolder) {
    // A line break inside a path would read back as two rows: such a list
    // cannot be written as lines, so the save fails instead of lying.
    if (std::any_of(paths.begin(), paths.end(), [](const std::string& path) {
            return path.find_first_of("\r\n") != std::string::npos;
        }))
        return false;
    restoreUnfinishedSaves(journalFolder);
    std::string data;
    for (const std::string& path : paths) {
        data += path;
        data += "\r\n";
    }
    const std::string target = saveTarget(file);
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    removeStaleTemporaries(folderOf(target));
    std::string temp = folderOf(target) + "/" + kTemporaryPrefix + "XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        // Without room for a new file beside it (a folder the user may not
        // write to), a playlist that may be written is overwritten in place,
        // its old content kept in a journal until the new one is complete.
        return replacing && S_ISREG(old.st_mode) &&
               overwriteWithJournal(target, data, journalFolder);
    }
    ::flock(fd, LOCK_EX); // a live save's: not to be cleaned away
    // The new file takes the old one's permissions (and, where allowed, its
    // owner and group); a new playlist gets what the user's umask gives.
    ::fchmod(fd, replacing ? (old.st_mode & 07777) : newFileMode());
    if (replacing && ::fchown(fd, old.st_uid, old.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        // Not the owner's to give away: the file stays the user's.
    }
    if (!writeSyncClose(fd, data) || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty())
        lines.push_back(std::move(line));
    return lines;
}

bool readPlaylistFile(const std::string& file, std::vector<std::string>& lines) {
    return readPlaylistFile(file, lines, journalFolder());
}

bool readPlaylistFile(const std::string& file, std::vector<std::string>& lines,
                      const std::string& journalFolder) {
    restoreUnfinishedSaves(journalFolder);
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (!f)
        return false;
    std::string text;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed)
        return false;
    lines = splitLines(text);
    return true;
}
