#pragma once

#include <string>

// Desktop services that replace the Windows shell functions.
namespace shell {

// The per-user data base folder ($XDG_DATA_HOME, else ~/.local/share), without
// a trailing separator. Not created.
std::string LocalAppDataFolder();

// True when the path names an existing regular file (folders do not count).
bool IsExistingFile(const std::string& path);

// True when the path names anything that exists.
bool PathExists(const std::string& path);

// Creates one directory (not its parents); false on any failure.
bool CreateDirectory(const std::string& path);

// Creates the missing folders of an absolute path, parents first, each
// readable by its owner only (as the XDG base directories want); false when
// the path does not end up an existing folder.
bool CreateFolderPath(const std::string& path);

// Size of a file in bytes, or -1 when it cannot be read.
long long FileSize64(const std::string& path);

// Hands an address to the desktop's URL handler without waiting; false on failure.
bool OpenUrl(const std::string& address);

// Folder of the running executable, with no trailing separator.
std::string ProgramFolder();

} // namespace shell
