#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// The video downloader's command line: --user-agent TEXT, -o FILE and the
// page address. The address comes from the search service, so it is never
// trusted: it can only be an http:// or https:// address and always reaches
// yt-dlp as an address, never as an option.
struct YtError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct YtRequest {
    std::string userAgent; // empty: yt-dlp's own
    std::string output;    // the exact file to write
    std::string address;   // the page address
};

// Reads the arguments (without the program name); the address comes last.
// Throws YtError for an unknown option (anything else beginning with "-", the
// address included), a missing value, a second -o, a missing output or
// address, anything after the address, or an address that FetchableAddress
// refuses.
YtRequest parseYtArguments(const std::vector<std::string>& arguments);

// True for an http:// or https:// address (scheme in any case) with a host,
// holding no blanks, control characters or double quotes. Local files (plain
// paths, file://) and every other scheme are refused.
bool fetchableAddress(const std::string& address);

// yt-dlp's arguments (without the program name) that write exactly
// request.output, replacing an existing file, reading no configuration files.
std::vector<std::string> ytDlpArguments(const YtRequest& request);
