#pragma once

#include <string>

// Decodes the stored Base64 texts of the program's web addresses.
// Throws std::runtime_error("Base64: Incorrect string format") when the length
// is not a multiple of four. Characters outside A-Z, a-z, 0-9 and "+" count as
// 63, and an "=" counts as padding only in the last group.
std::string base64Decode(const std::string& text);

// Removes trailing blanks and control characters (codes at or below 32).
std::string trimRight(const std::string& text);
