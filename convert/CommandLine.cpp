#include "convert/CommandLine.h"

namespace {
bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
} // namespace

std::vector<std::string> splitCommandLine(const std::string& parameters) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false; // something (even "") has started an argument
    bool quoted = false;
    size_t i = 0;
    const size_t n = parameters.size();
    while (i < n) {
        const char c = parameters[i];
        if (!quoted && isBlank(c)) {
            if (inArgument) {
                arguments.push_back(current);
                current.clear();
                inArgument = false;
            }
            ++i;
            continue;
        }
        inArgument = true;
        if (c == '\\') {
            size_t backslashes = 0;
            while (i < n && parameters[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && parameters[i] == '"') {
                current.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    current.push_back('"');
                    ++i;
                }
                // An even run leaves the quote to toggle quoting below.
            } else {
                current.append(backslashes, '\\');
            }
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
            ++i;
            continue;
        }
        current.push_back(c);
        ++i;
    }
    if (inArgument)
        arguments.push_back(current);
    return arguments;
}

bool fitsBetweenQuotes(const std::string& value) {
    return value.find('"') == std::string::npos && (value.empty() || value.back() != '\\');
}
