#pragma once

#include <QLoggingCategory>

// The log of the conversions ("kolvadeck.convert"): warnings show, debug and info only when turned
// on, e.g. QT_LOGGING_RULES="kolvadeck.convert.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcConvert)
