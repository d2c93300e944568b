#pragma once

// How kolvadeck-catalog ends when it does not serve, for the program that
// starts it.
namespace catalog_exit {
inline constexpr int kFailed = 1;
inline constexpr int kBadArguments = 2;
// This user's catalogue already serves the port: searches go to it.
inline constexpr int kAlreadyServing = 3;
// Another program (or another user) holds the port.
inline constexpr int kPortHeldByOther = 4;
} // namespace catalog_exit
