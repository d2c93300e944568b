// yt's argument checks on arbitrary arguments (split at zero bytes): whatever
// passes reaches yt-dlp as an http(s) address after "--", never as an option.
#include "fuzz/FuzzArguments.h"
#include "fuzz/FuzzCheck.h"
#include "tools/YtOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    YtRequest request;
    try {
        request = parseYtArguments(fuzzArguments(data, size));
    } catch (const YtError&) {
        return 0;
    }
    fuzzCheck(fetchableAddress(request.address), "only fetchable addresses pass");
    fuzzCheck(!request.output.empty() && request.output != "-", "there is an output file");
    const std::vector<std::string> arguments = ytDlpArguments(request);
    fuzzCheck(arguments.size() >= 2 && arguments.back() == request.address &&
                  arguments[arguments.size() - 2] == "--",
              "the address comes last, after the end of the options");
    return 0;
}
