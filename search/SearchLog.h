#pragma once

#include <QLoggingCategory>

// The log of the searches and the preview ("kolvadeck.search"): warnings show, debug and info only
// when turned on, e.g. QT_LOGGING_RULES="kolvadeck.search.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcSearch)
