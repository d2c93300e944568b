#pragma once

#include "search/SearchResults.h"

class QTreeWidget;

// Adds one row per caption to the results list, in answer order.
void ShowResultRows(QTreeWidget* resultsList, const SearchResults& results);
