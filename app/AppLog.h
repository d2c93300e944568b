#pragma once

#include <QLoggingCategory>

// The log of the main window and the program's start ("kolvadeck.app"): warnings show, debug and
// info only when turned on, e.g. QT_LOGGING_RULES="kolvadeck.app.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcApp)
