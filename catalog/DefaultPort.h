#pragma once

// The loopback port the bundled catalogue serves on unless told otherwise
// (the program's default search host, 127.0.0.1:8098, names the same).
inline constexpr int kDefaultCatalogPort = 8098;
