#include "platform/Settings.h"

#include <cstdlib>

namespace settings {
namespace {
std::string fromEnvironment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : std::string(fallback);
}
} // namespace

std::string siteHost() {
    return fromEnvironment("KOLVADECK_SITE_HOST", "kolvadeck.org");
}

// The bundled catalogue service listens here by default.
std::string searchHost() {
    return fromEnvironment("KOLVADECK_SEARCH_HOST", "127.0.0.1:8098");
}

} // namespace settings
