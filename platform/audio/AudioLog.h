#pragma once

#include <QLoggingCategory>

// The log of the sound output and input ("kolvadeck.audio"): warnings show, debug and info only
// when turned on, e.g. QT_LOGGING_RULES="kolvadeck.audio.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcAudio)
