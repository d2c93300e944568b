#pragma once

#include "search/SearchResults.h"

#include <pugixml.hpp>

#include <string>

// Reads a loaded answer of the search service into rows, by the layout of the
// method that asked for it. Rows read before a failure stay; a malformed or
// unexpected answer never raises, it just ends the reading. An unknown method
// reads nothing.
void readAnswer(const std::string& method, const pugi::xml_document& answer,
                SearchResults& results);

// Parses a query file the way the search reads it: whitespace-only text between
// elements, comments and processing instructions are not part of the document.
// False when the file is missing or not well-formed XML.
bool loadAnswer(const std::string& file, pugi::xml_document& answer);
