#include "search/SearchLog.h"

Q_LOGGING_CATEGORY(lcSearch, "kolvadeck.search", QtWarningMsg)
