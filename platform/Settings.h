#pragma once

#include <string>

// Host settings of the program: a built-in default each, overridable by an
// environment variable (see README.md).
namespace settings {

// Host of the maker's web site ("About", the promotional movie).
// Environment: KOLVADECK_SITE_HOST.
std::string siteHost();

// Host (with optional ":port") of the search service. Environment:
// KOLVADECK_SEARCH_HOST.
std::string searchHost();

} // namespace settings
