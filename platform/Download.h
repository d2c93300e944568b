#pragma once

#include <atomic>
#include <string>

// Fetches web addresses into local files (libcurl).
//
// Redirects are followed; an HTTP error status (400 and above) counts as a
// failed transfer. The answer is written to a temporary file beside the target
// and renamed over it only when the transfer succeeded, so a failed or cut-off
// transfer never leaves a partial file under the target's name; an earlier
// file of that name stays as it was.

// Time-outs of every transfer, in milliseconds. Defaults: 10 s to connect and
// 60 s for the whole transfer, so a dead or silent server cannot block the
// caller for ever. The environment variables KOLVADECK_CONNECT_TIMEOUT_MS and
// KOLVADECK_DOWNLOAD_TIMEOUT_MS override them at start.
struct DownloadTimeouts {
    long connectMs = 10000;
    long totalMs = 60000;
};

DownloadTimeouts getDownloadTimeouts();
void setDownloadTimeouts(const DownloadTimeouts& timeouts);

// Makes an address fetchable: bytes that cannot stand in a URL (controls,
// blanks, bytes above 127, the characters " < > \ ^ ` { | } and a "%" that does
// not start an escape) become %XX escapes of the text's UTF-8 bytes. Every
// other character, "&", "=", "?" and "#" among them, goes through unchanged.
std::string escapeAddress(const std::string& address);

// What a download came to.
struct Downloaded {
    bool written = false;  // the whole answer is in the file
    bool tooLarge = false; // the answer was longer than maxBytes, and refused
    explicit operator bool() const { return written; }
};

// Downloads the address into the file (created or overwritten). True when the
// whole answer was written; false on any failure (empty or malformed address,
// no connection, time-out, HTTP error status, file not writable, an answer
// longer than maxBytes when that is above 0, which alone sets tooLarge, a
// cancelled transfer). Never throws. Blocks its caller until the transfer ends, so it runs on a
// worker (platform/BackgroundTask.h), never on the window's thread. When `cancelled` is given,
// setting it ends the transfer within about 50 ms and leaves nothing behind, as any other failure.
Downloaded downloadToFile(const std::string& address, const std::string& file,
                          long long maxBytes = 0, const std::atomic<bool>* cancelled = nullptr);
