#pragma once

#include "search/SearchRequest.h"

#include <string>

// The service address of a request: the scheme prefix, the host, then the
// method's path and query with the arguments inserted as they are (the
// download layer makes the address fetchable), but for "+", which the service
// reads as a blank and so is written "%2B". Empty for a method the service
// does not know.
std::string searchAddress(const SearchRequest& request, int page, const std::string& host);

// The address with every "#" written as "%23". Service addresses carry no
// fragment, so a "#" can only come from a search text, where it would end the
// query and drop the keys after it (the page among them).
std::string escapeFragmentMarks(const std::string& address);

// The method's query file: dataFolder (ending in "/") + "queries/" + method + ".xml".
std::string queryFilePath(const std::string& dataFolder, const std::string& method);

// The scheme prefix, decoded from its stored form.
std::string schemePrefix();
