// The kolvadeck-download module: libcurl and the libraries it brings (TLS,
// HTTP/2, LDAP, Kerberos, SSH...) are loaded with the first download, not at
// every start (see platform/LoadableModule.h).
#include <curl/curl.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

struct Target {
    FILE* file;
    long long maxBytes; // 0: no limit
    long long written = 0;
    bool tooLarge = false; // refused for passing maxBytes
};

// Returning less than was given makes libcurl end the transfer with an error.
size_t writeToFile(char* data, size_t size, size_t count, void* target) {
    auto* t = static_cast<Target*>(target);
    const std::size_t given = size * count; // libcurl: size is 1, count a block
    const auto bytes = static_cast<long long>(given);
    if (t->maxBytes > 0 && t->written + bytes > t->maxBytes) {
        t->tooLarge = true;
        return 0;
    }
    t->written += bytes;
    return std::fwrite(data, size, count, t->file) * size;
}

// Asked by libcurl while data flows; non-zero aborts the transfer.
int checkCancelled(void* cancelled, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return cancelled && static_cast<const std::atomic<bool>*>(cancelled)->load() ? 1 : 0;
}

// How long the transfer loop waits for the socket before it looks at the
// cancel flag again: the bound on how late a cancelled transfer ends.
constexpr int kCancelCheckMs = 50;

// Runs one transfer on a multi handle of its own instead of curl_easy_perform,
// whose internal wait only looks at the progress callback about once a second
// while a server sends nothing.
CURLcode perform(CURL* curl, const std::atomic<bool>* cancelled) {
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

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

// What a transfer came to, by the numbers platform/Download.cpp reads.
constexpr int kTransferDone = 0;
constexpr int kTransferFailed = 1;
constexpr int kTransferTooLarge = 2; // the answer was longer than maxBytes

// The module's one entry: one transfer of address into out (see
// platform/Download.h for the limits and the cancel flag).
extern "C" __attribute__((visibility("default"))) int
kolvadeck_transfer(const char* address, FILE* out, long long maxBytes,
                   const std::atomic<bool>* cancelled, long connectMs, long totalMs) {
    initialiseCurlOnce();
    CURL* curl = curl_easy_init();
    if (!curl)
        return kTransferFailed;
    curl_easy_setopt(curl, CURLOPT_URL, address);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, totalMs);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeToFile);
    Target target{out, maxBytes};
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &target);
    if (maxBytes > 0) // refuses an announced oversized answer before it comes
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, checkCancelled);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(cancelled));
    const CURLcode result = perform(curl, cancelled);
    curl_easy_cleanup(curl);
    if (result == CURLE_OK)
        return kTransferDone;
    return result == CURLE_FILESIZE_EXCEEDED || target.tooLarge ? kTransferTooLarge
                                                                : kTransferFailed;
}
