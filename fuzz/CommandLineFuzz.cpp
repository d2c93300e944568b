// The parameter-string splitter of the tool runner on arbitrary text: every
// argument it yields that fits between quotes comes back unchanged when the
// arguments are written quoted into a new parameter string, as the conversion
// writes its file names and addresses.
#include "convert/CommandLine.h"
#include "fuzz/FuzzCheck.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string parameters(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> arguments = splitCommandLine(parameters);

    std::vector<std::string> fitting;
    std::string quoted;
    for (const std::string& argument : arguments) {
        fuzzCheck(argument.size() <= size, "an argument is no longer than the text");
        if (!fitsBetweenQuotes(argument))
            continue;
        fitting.push_back(argument);
        quoted += (quoted.empty() ? "\"" : " \"") + argument + "\"";
    }
    fuzzCheck(splitCommandLine(quoted) == fitting, "quoted arguments split back unchanged");
    return 0;
}
