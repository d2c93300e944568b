#pragma once

#include <QLoggingCategory>

// The log of the broadcast and its relay ("kolvadeck.broadcast"): warnings show, debug and info
// only when turned on, e.g. QT_LOGGING_RULES="kolvadeck.broadcast.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcBroadcast)
