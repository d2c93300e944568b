#include "platform/Download.h"

#include "platform/Guarded.h"
#include "platform/LoadableModule.h"
#include "platform/PlatformLog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

long fromEnvironment(const char* name, long fallback) {
    const char* value = std::getenv(name);
    if (!value || !*value)
        return fallback;
    char* end = nullptr;
    const long parsed = std::strtol(value, &end, 10);
    return end && *end == '\0' && parsed > 0 ? parsed : fallback;
}

DownloadTimeouts& currentTimeouts() {
    static DownloadTimeouts timeouts{
        fromEnvironment("KOLVADECK_CONNECT_TIMEOUT_MS", DownloadTimeouts{}.connectMs),
        fromEnvironment("KOLVADECK_DOWNLOAD_TIMEOUT_MS", DownloadTimeouts{}.totalMs)};
    return timeouts;
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool cannotStandInUrl(const std::string& text, size_t i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte <= 0x20 || byte >= 0x7F)
        return true;
    if (std::strchr("\"<>\\^`{|}", static_cast<char>(byte)))
        return true;
    return byte == '%' &&
           !(i + 2 < text.size() && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2]));
}

} // namespace

DownloadTimeouts getDownloadTimeouts() {
    return currentTimeouts();
}

void setDownloadTimeouts(const DownloadTimeouts& timeouts) {
    currentTimeouts() = timeouts;
}

std::string escapeAddress(const std::string& address) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    out.reserve(address.size());
    for (size_t i = 0; i < address.size(); ++i) {
        if (!cannotStandInUrl(address, i)) {
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

Downloaded downloadToFile(const std::string& address, const std::string& file, long long maxBytes,
                          const std::atomic<bool>* cancelled) {
    // What the module's transfer returns (download/CurlTransfer.cpp).
    enum : int { kTransferDone = 0, kTransferTooLarge = 2 };
    try {
        if (address.empty() || file.empty())
            return {};
        using Transfer =
            int (*)(const char*, FILE*, long long, const std::atomic<bool>*, long, long);
        static const Transfer transfer = [] {
            std::string why;
            auto found = reinterpret_cast<Transfer>(
                moduleSymbol("kolvadeck-download", "kolvadeck_transfer", &why));
            if (!found)
                std::fprintf(stderr, "kolvadeck: nothing can be downloaded: %s\n", why.c_str());
            return found;
        }();
        if (!transfer)
            return {};
        std::string temporary = file + ".XXXXXX";
        const int descriptor = mkstemp(temporary.data());
        if (descriptor < 0)
            return {};
        // mkstemp makes the file its owner's alone (0600), whatever the umask:
        // an answer says what the user searched for.
        FILE* out = fdopen(descriptor, "wb");
        if (!out) {
            close(descriptor);
            std::remove(temporary.c_str());
            return {};
        }
        const DownloadTimeouts timeouts = getDownloadTimeouts();
        const int transferred = transfer(escapeAddress(address).c_str(), out, maxBytes, cancelled,
                                         timeouts.connectMs, timeouts.totalMs);
        Downloaded result;
        result.tooLarge = transferred == kTransferTooLarge;
        result.written = std::fclose(out) == 0 && transferred == kTransferDone &&
                         !(cancelled && cancelled->load()) &&
                         std::rename(temporary.c_str(), file.c_str()) == 0;
        if (!result.written)
            std::remove(temporary.c_str());
        return result;
    } catch (...) {
        logCaughtException(lcPlatform, "download");
        return {};
    }
}
