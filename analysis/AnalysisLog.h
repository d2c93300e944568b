#pragma once

#include <QLoggingCategory>

// The log of the loudness and silence analysis ("kolvadeck.analysis"): warnings show, debug and
// info only when turned on, e.g. QT_LOGGING_RULES="kolvadeck.analysis.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcAnalysis)
