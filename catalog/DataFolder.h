#pragma once

#include <string>

// A folder of the catalogue's (its file's, its secret's), made with mode 0700 where it (or any
// folder above it) does not exist yet. An existing folder is tightened to
// 0700 only when it is Kolvadeck's own data folder, never a folder the user
// merely pointed --database into. Throws std::runtime_error on failure.
void prepareDataFolder(const std::string& folder, const std::string& ownDataFolder);
