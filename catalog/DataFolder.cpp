#include "catalog/DataFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

void prepareDataFolder(const std::string& folder, const std::string& ownDataFolder) {
    std::filesystem::path made;
    for (const auto& part : std::filesystem::path(folder)) {
        made /= part;
        if (mkdir(made.c_str(), 0700) != 0 && errno != EEXIST)
            throw std::runtime_error("cannot make " + made.string() + ": " + std::strerror(errno));
    }
    std::error_code error;
    if (!std::filesystem::equivalent(folder, ownDataFolder, error))
        return;
    struct stat info {};
    if (stat(folder.c_str(), &info) == 0 && info.st_uid == getuid() && (info.st_mode & 077) != 0)
        chmod(folder.c_str(), 0700);
}
