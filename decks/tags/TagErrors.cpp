#include "decks/tags/TagErrors.h"

#include <cstring>

EFOpenError::EFOpenError(const std::string& path, int error)
    : std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(error)) {}

EInOutError::EInOutError(const std::string& what, const std::string& path, int error)
    : std::runtime_error("I/O error " + what + " \"" + path + "\": " + std::strerror(error)) {}
