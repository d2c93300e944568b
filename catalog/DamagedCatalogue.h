#pragma once

#include "catalog/Database.h"

#include <string>

// The catalogue only mirrors the user's folders, so a damaged file (garbage
// bytes, a torn disk write) is no loss: it is moved aside to "<file>.corrupt"
// for whoever wants to look at it, and a fresh one is made for the scan to
// fill. The user is told on standard error.

// Opens the catalogue and checks it (SQLite's quick check reads every page,
// so damage inside the data is found, not only a broken header), rebuilding
// it when it is damaged. Throws CatalogError
// when the fresh file cannot be made either, or when the failure was not
// damage (a lock, a missing folder).
void openOrRebuildCatalogue(const std::string& path);

// Moves the damaged file aside and makes a fresh, empty catalogue.
void rebuildCatalogue(const std::string& path, const CatalogError& damage);
