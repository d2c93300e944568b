#pragma once

#include <string>

// Desktop services: the XDG data folder, private folders and files, file
// queries, the desktop's URL handler and the program's own folder.
namespace shell {

// The per-user data base folder ($XDG_DATA_HOME, else ~/.local/share), without
// a trailing separator. Not created.
std::string localAppDataFolder();

// True when the path names an existing regular file (folders do not count).
bool isExistingFile(const std::string& path);

// True when the path names anything that exists.
bool pathExists(const std::string& path);

// Creates one directory (not its parents), readable by its owner only;
// false on any failure.
bool createDirectory(const std::string& path);

// Creates the missing folders of an absolute path, parents first, each
// readable by its owner only (as the XDG base directories want); false when
// the path does not end up an existing folder.
bool createFolderPath(const std::string& path);

// The program's own folder (under the XDG data, cache or config folder):
// made with its missing parents as CreateFolderPath does, and set to 0700
// whatever the umask was when it was made; false when it is no folder.
bool createPrivateFolder(const std::string& path);

// The program's own file, before a writer (QSaveFile, QSettings) replaces
// it: made empty if missing, and set to 0600 either way. Those writers keep
// the permissions of the file they replace, so it stays private whatever
// the umask. False when it cannot be made or is no regular file.
bool makePrivateFile(const std::string& path);

// Size of a file in bytes, or -1 when it cannot be read.
long long fileSize64(const std::string& path);

// Hands an address to the desktop's URL handler without waiting; false on failure.
bool openUrl(const std::string& address);

// Folder of the running executable, with no trailing separator.
std::string programFolder();

} // namespace shell
