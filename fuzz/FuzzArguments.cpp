#include "fuzz/FuzzArguments.h"

std::vector<std::string> fuzzArguments(const uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments;
    if (size == 0)
        return arguments;
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    arguments.push_back(std::move(current));
    return arguments;
}
