#pragma once

#include <string>

// The per-user data folder: <XDG data folder> + "/Kolvadeck/". Creates it and
// its "/queries/" and "/downloads/" sub-folders, in that order, where no file of
// that name exists; failures are ignored (a missing folder makes later writes
// into it fail where they happen). Returns the data folder, ending in "/".
std::string createDataFolders(const std::string& localAppData);
