#pragma once

// The program's names as the desktop shows them.
namespace kv {
inline constexpr const char* kApplicationTitle = "KOLVADECK v2.6.0";
inline constexpr const char* kWindowCaption = "Kolvadeck v2.6.0";
inline constexpr const char* kDesignCaption = "KOLVADECK";
} // namespace kv
