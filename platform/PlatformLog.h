#pragma once

#include <QLoggingCategory>

// The log of the system services (downloads, files, dialogs) ("kolvadeck.platform"): warnings show,
// debug and info only when turned on, e.g. QT_LOGGING_RULES="kolvadeck.platform.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
