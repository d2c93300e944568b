#pragma once

#include <string>
#include <string_view>

// Writing XML 1.0 text safely. Answers carry names from tags and file names,
// which may hold markup characters, control characters or broken UTF-8.
namespace xmltext {

// The text with invalid UTF-8 bytes, characters XML 1.0 does not allow (most
// controls, surrogates, U+FFFE/U+FFFF) removed and markup characters escaped
// (& < > " '), fit for element content and quoted attribute values alike.
std::string escape(std::string_view text);

// Appends escape(text) to out.
void appendEscaped(std::string& out, std::string_view text);

// Appends <name>escaped text</name>; an empty text gives <name/>.
void appendElement(std::string& out, std::string_view name, std::string_view text);

} // namespace xmltext
