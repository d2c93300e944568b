#pragma once

#include <QLoggingCategory>

// The log of the mixer panel and the input level meter ("kolvadeck.mixer"): warnings show, debug
// and info only when turned on, e.g. QT_LOGGING_RULES="kolvadeck.mixer.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcMixer)
