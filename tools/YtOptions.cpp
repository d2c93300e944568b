#include "tools/YtOptions.h"

#include <algorithm>
#include <cctype>

namespace {
bool startsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char p, char t) {
               return std::tolower(static_cast<unsigned char>(t)) == p;
           });
}

// yt-dlp reads the output as a template: "%" starts a field.
std::string literalTemplate(const std::string& path) {
    std::string escaped;
    for (char c : path) {
        escaped.push_back(c);
        if (c == '%')
            escaped.push_back('%');
    }
    return escaped;
}
} // namespace

bool fetchableAddress(const std::string& address) {
    size_t hostStart = 0;
    if (startsWithNoCase(address, "http://"))
        hostStart = 7;
    else if (startsWithNoCase(address, "https://"))
        hostStart = 8;
    else
        return false;
    if (hostStart >= address.size() || address[hostStart] == '/')
        return false;
    return std::none_of(address.begin(), address.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u <= ' ' || u == 0x7F || c == '"';
    });
}

YtRequest parseYtArguments(const std::vector<std::string>& arguments) {
    YtRequest request;
    bool haveOutput = false;
    bool haveAddress = false;
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& token = arguments[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size())
                throw YtError("option " + token + " needs a value");
            return arguments[++i];
        };
        // The address comes last: whatever follows it was smuggled in with it.
        if (haveAddress)
            throw YtError("unexpected argument after the page address: " + token);
        if (!optionsEnded && token == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && token == "--user-agent") {
            request.userAgent = value();
        } else if (!optionsEnded && token == "-o") {
            if (haveOutput)
                throw YtError("more than one output given");
            request.output = value();
            haveOutput = true;
        } else if (!optionsEnded && !token.empty() && token.front() == '-') {
            throw YtError("unknown option " + token);
        } else {
            request.address = token;
            haveAddress = true;
        }
    }
    if (!haveOutput || request.output.empty() || request.output == "-")
        throw YtError("no output file given (-o FILE)");
    if (!haveAddress)
        throw YtError("no page address given");
    if (!fetchableAddress(request.address))
        throw YtError("refusing to fetch \"" + request.address +
                      "\": only http:// and https:// addresses are fetched");
    return request;
}

std::vector<std::string> ytDlpArguments(const YtRequest& request) {
    std::vector<std::string> out = {"--ignore-config", "--quiet", "--no-warnings", "--no-playlist",
                                    "--force-overwrites",
                                    // Written straight to the file, so a stopped download leaves
                                    // nothing but the file the program removes.
                                    "--no-part",
                                    // One file holding sound and picture when the site has one; a
                                    // split pair is joined into the one file asked for.
                                    "--format", "b/bv*+ba", "--merge-output-format", "flv"};
    if (!request.userAgent.empty()) {
        out.push_back("--user-agent");
        out.push_back(request.userAgent);
    }
    out.push_back("--output");
    out.push_back(literalTemplate(request.output));
    out.push_back("--");
    out.push_back(request.address);
    return out;
}
