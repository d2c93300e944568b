#include "platform/Download.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

long FromEnvironment(const char* name, long fallback) {
    const char* value = std::getenv(name);
    if (!value || !*value)
        return fallback;
    char* end = nullptr;
    const long parsed = std::strtol(value, &end, 10);
    return end && *end == '\0' && parsed > 0 ? parsed : fallback;
}

DownloadTimeouts& CurrentTimeouts() {
    static DownloadTimeouts timeouts{
        FromEnvironment("KOLVADECK_CONNECT_TIMEOUT_MS", DownloadTimeouts{}.connectMs),
        FromEnvironment("KOLVADECK_DOWNLOAD_TIMEOUT_MS", DownloadTimeouts{}.totalMs)};
    return timeouts;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool CannotStandInUrl(const std::string& text, size_t i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte <= 0x20 || byte >= 0x7F)
        return true;
    if (std::strchr("\"<>\\^`{|}", static_cast<char>(byte)))
        return true;
    return byte == '%' &&
           !(i + 2 < text.size() && IsHexDigit(text[i + 1]) && IsHexDigit(text[i + 2]));
}

struct Target {
    FILE* file;
    long long maxBytes; // 0: no limit
    long long written = 0;
};

// Returning less than was given makes libcurl end the transfer with an error.
size_t WriteToFile(char* data, size_t size, size_t count, void* target) {
    auto* t = static_cast<Target*>(target);
    const auto bytes = static_cast<long long>(size * count);
    if (t->maxBytes > 0 && t->written + bytes > t->maxBytes)
        return 0;
    t->written += bytes;
    return std::fwrite(data, size, count, t->file) * size;
}

// Asked by libcurl while data flows; non-zero aborts the transfer.
int CheckCancelled(void* cancelled, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return cancelled && static_cast<const std::atomic<bool>*>(cancelled)->load() ? 1 : 0;
}

// How long the transfer loop waits for the socket before it looks at the
// cancel flag again: the bound on how late a cancelled transfer ends.
constexpr int kCancelCheckMs = 50;

// Runs one transfer on a multi handle of its own instead of curl_easy_perform,
// whose internal wait only looks at the progress callback about once a second
// while a server sends nothing.
CURLcode Perform(CURL* curl, const std::atomic<bool>* cancelled) {
    CURLM* multi = curl_multi_init();
    if (!multi)
        return CURLE_OUT_OF_MEMORY;
    CURLcode result = CURLE_OK;
    if (curl_multi_add_handle(multi, curl) != CURLM_OK) {
        curl_multi_cleanup(multi);
        return CURLE_FAILED_INIT;
    }
    int running = 1;
    while (running) {
        if (cancelled && cancelled->load()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running && curl_multi_poll(multi, nullptr, 0, kCancelCheckMs, nullptr) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
    }
    if (!running) {
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left))
            if (message->msg == CURLMSG_DONE)
                result = message->data.result;
    }
    curl_multi_remove_handle(multi, curl);
    curl_multi_cleanup(multi);
    return result;
}

void InitialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool Transfer(const std::string& address, FILE* out, long long maxBytes,
              const std::atomic<bool>* cancelled) {
    CURL* curl = curl_easy_init();
    if (!curl)
        return false;
    const DownloadTimeouts timeouts = GetDownloadTimeouts();
    curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, timeouts.connectMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeouts.totalMs);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
    Target target{out, maxBytes};
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &target);
    if (maxBytes > 0) // refuses an announced oversized answer before it comes
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckCancelled);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(cancelled));
    const CURLcode result = Perform(curl, cancelled);
    curl_easy_cleanup(curl);
    return result == CURLE_OK;
}

} // namespace

DownloadTimeouts GetDownloadTimeouts() {
    return CurrentTimeouts();
}

void SetDownloadTimeouts(const DownloadTimeouts& timeouts) {
    CurrentTimeouts() = timeouts;
}

std::string EscapeAddress(const std::string& address) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    out.reserve(address.size());
    for (size_t i = 0; i < address.size(); ++i) {
        if (!CannotStandInUrl(address, i)) {
            out.push_back(address[i]);
            continue;
        }
        const auto byte = static_cast<unsigned char>(address[i]);
        out.push_back('%');
        out.push_back(kHex[byte >> 4]);
        out.push_back(kHex[byte & 0x0F]);
    }
    return out;
}

bool DownloadToFile(const std::string& address, const std::string& file, long long maxBytes,
                    const std::atomic<bool>* cancelled) {
    try {
        if (address.empty() || file.empty())
            return false;
        InitialiseCurlOnce();
        std::string temporary = file + ".XXXXXX";
        const int descriptor = mkstemp(temporary.data());
        if (descriptor < 0)
            return false;
        // mkstemp creates the file readable by its owner only; answers are ordinary files.
        fchmod(descriptor, 0644);
        FILE* out = fdopen(descriptor, "wb");
        if (!out) {
            close(descriptor);
            std::remove(temporary.c_str());
            return false;
        }
        bool ok = Transfer(EscapeAddress(address), out, maxBytes, cancelled);
        ok = std::fclose(out) == 0 && ok && !(cancelled && cancelled->load());
        if (ok)
            ok = std::rename(temporary.c_str(), file.c_str()) == 0;
        if (!ok)
            std::remove(temporary.c_str());
        return ok;
    } catch (...) {
        return false;
    }
}
