#include "decks/SaveJournal.h"

#include "platform/Shell.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr char kJournalPrefix[] = "playlist-save-"; // + the six characters of mkstemp

bool writeAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool readAll(int fd, std::string& text) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        text.append(buffer, size_t(n));
    }
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Replaces the whole content of an existing file, flushed to disk.
bool overwrite(const std::string& file, const std::string& data) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    return fd >= 0 && writeSyncClose(fd, data);
}

bool isJournalName(const char* name) {
    const size_t prefix = sizeof kJournalPrefix - 1;
    if (std::strncmp(name, kJournalPrefix, prefix) != 0 || std::strlen(name) != prefix + 6)
        return false;
    for (const char* c = name + prefix; *c; ++c) {
        if (!std::isalnum(static_cast<unsigned char>(*c)))
            return false;
    }
    return true;
}

// Restores one journal opened (and locked) as fd; true when it may go.
bool restore(int fd) {
    std::string text;
    if (!readAll(fd, text))
        return false;
    unsigned long targetLength = 0, contentLength = 0;
    int header = 0;
    if (std::sscanf(text.c_str(), "KVDJOURNAL %lu %lu\n%n", &targetLength, &contentLength,
                    &header) != 2 ||
        header == 0 || text.size() != size_t(header) + targetLength + contentLength)
        return true; // cut short: its save never touched the file
    const std::string target = text.substr(size_t(header), targetLength);
    return overwrite(target, text.substr(size_t(header) + targetLength));
}
} // namespace

bool writeSyncClose(int fd, const std::string& data) {
    const bool written = writeAll(fd, data) && ::fsync(fd) == 0;
    return ::close(fd) == 0 && written;
}

std::string journalFolder() {
    return shell::localAppDataFolder() + "/Kolvadeck/";
}

bool overwriteWithJournal(const std::string& file, const std::string& data,
                          const std::string& journalFolder) {
    std::string old;
    const int in = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    const bool read = readAll(in, old);
    ::close(in);
    if (!read)
        return false;
    ::mkdir(journalFolder.c_str(), 0700);
    std::string journal = journalFolder + "/" + kJournalPrefix + "XXXXXX";
    const int fd = ::mkstemp(journal.data());
    if (fd < 0)
        return false; // no safe way to overwrite it
    ::flock(fd, LOCK_EX);
    const std::string header =
        "KVDJOURNAL " + std::to_string(file.size()) + " " + std::to_string(old.size()) + "\n";
    if (!writeAll(fd, header + file + old) || ::fsync(fd) != 0) {
        ::unlink(journal.c_str());
        ::close(fd);
        return false;
    }
    syncFolder(journalFolder);
    const bool saved = overwrite(file, data);
    // A failed overwrite puts the old content back at once; where even that
    // fails, the journal stays for the next load to restore.
    if (saved || overwrite(file, old))
        ::unlink(journal.c_str());
    ::close(fd);
    return saved;
}

void restoreUnfinishedSaves(const std::string& journalFolder) {
    DIR* folder = ::opendir(journalFolder.c_str());
    if (!folder)
        return;
    while (const dirent* entry = ::readdir(folder)) {
        if (!isJournalName(entry->d_name))
            continue;
        const int fd = ::openat(::dirfd(folder), entry->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && restore(fd))
            ::unlinkat(::dirfd(folder), entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(folder);
}
