#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A command line's arguments from fuzz input: the bytes split at zero bytes,
// the one byte no argument can hold. An input ending in a zero byte ends with
// an empty argument.
std::vector<std::string> fuzzArguments(const uint8_t* data, std::size_t size);
